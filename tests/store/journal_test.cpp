#include "store/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;
using testing::WriteBytes;

JournalEntry Entry(long index, std::string number, Outcome state, std::string detail) {
  return {index, std::move(number), state, "2026-12-7 09:05:03", std::move(detail)};
}

TEST(Journal, LinesAreTheContractByteForByte) {
  struct Case {
    JournalEntry entry;
    std::string line;
  } cases[] = {
      {Entry(1, "13012312312", Outcome::Sent, "17"),
       "1|13012312312|sent|2026-12-7 09:05:03|17\r\n"},
      {Entry(2, "13012312312", Outcome::Sent, "18,19,20"),
       "2|13012312312|sent|2026-12-7 09:05:03|18,19,20\r\n"},
      {Entry(3, "1301231231", Outcome::Skipped, "not an 11-character number"),
       "3|1301231231|skipped|2026-12-7 09:05:03|not an 11-character number\r\n"},
      {Entry(4, "1301\x1b" "2312|1", Outcome::Failed, "+CMS ERROR: 21"),
       "4|1301?2312?1|failed|2026-12-7 09:05:03|+CMS ERROR: 21\r\n"},
      {Entry(12, "13012312312", Outcome::Undelivered, "41"),
       "12|13012312312|undelivered|2026-12-7 09:05:03|41\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatJournalLine(c.entry), c.line);
    std::optional<JournalEntry> back =
        ParseJournalLine(std::string_view(c.line).substr(0, c.line.size() - 2));
    ASSERT_TRUE(back) << c.line;
    EXPECT_EQ(FormatJournalLine(*back), c.line);
  }
  for (std::string_view bad : {"", "x|1|sent|t|d", "0|1|sent|t|d", "1|1|mailed|t|d", "1|1|sent|t"}) {
    EXPECT_FALSE(ParseJournalLine(bad)) << bad;
  }
}

TEST(Journal, ResumesAtTheFirstRecipientWithoutAFinalStateAndIgnoresATornLine) {
  TempWorkDir dir;
  Station station(dir.path());
  ASSERT_TRUE(MakeDirectory(dir.path() + "/2026-12-7"));
  ASSERT_TRUE(MakeDirectory(dir.path() + "/2026-12-7/send"));
  {
    JournalWriter writer(station, "2026-12-7", 5);
    ASSERT_TRUE(writer.Append(Entry(1, "13000000001", Outcome::Sent, "1")));
    ASSERT_TRUE(writer.Append(Entry(2, "x", Outcome::Skipped, "forbidden")));
    ASSERT_TRUE(writer.Append(Entry(1, "13000000001", Outcome::Delivered, "00")));
    ASSERT_TRUE(writer.Append(Entry(4, "13000000004", Outcome::Failed, "+CMS ERROR: 21")));
  }
  const std::string path = JournalPath(station, "2026-12-7", 5);
  EXPECT_EQ(path, dir.path() + "/2026-12-7/send/J5");
  // A crash in the middle of the next append.
  WriteBytes(path, ReadBytes(path) + "3|13000000003|se");

  JournalSummary summary = SummariseJournal(station, "2026-12-7", 5);
  EXPECT_EQ(summary.FirstOpen(), 3);
  EXPECT_TRUE(summary.Finished(4));
  EXPECT_EQ(summary.Count(Outcome::Sent), 1);
  EXPECT_EQ(summary.Count(Outcome::Delivered), 1);
  EXPECT_EQ(summary.Finals(), 3);
  EXPECT_EQ(ReadJournal(station, "2026-12-7", 5).size(), 4u);

  // The resumed append starts on a line of its own.
  JournalWriter writer(station, "2026-12-7", 5);
  ASSERT_TRUE(writer.Append(Entry(3, "13000000003", Outcome::Sent, "2")));
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.substr(bytes.size() - 43), "\r\n3|13000000003|sent|2026-12-7 09:05:03|2\r\n");
  EXPECT_EQ(SummariseJournal(station, "2026-12-7", 5).FirstOpen(), 5);
  EXPECT_TRUE(SummariseJournal(station, "2026-12-7", 6).Empty());
}

TEST(Journal, AnAppendThatCannotReachTheDiskSaysSo) {
  TempWorkDir dir;
  Station station(dir.path());
  JournalWriter writer(station, "2026-12-7", 1);  // no day folder
  EXPECT_FALSE(writer.Append(Entry(1, "13000000001", Outcome::Sent, "1")));
  EXPECT_NE(writer.error().find("J1"), std::string::npos) << writer.error();
}

JournalSummary SummaryOf(std::initializer_list<std::pair<long, Outcome>> lines) {
  JournalSummary summary;
  for (const auto& [index, state] : lines) summary.Add(Entry(index, "13000000000", state, ""));
  return summary;
}

TEST(Journal, TheOutcomeTextCountsEachRecipientsFinalStateOnce) {
  using enum Outcome;
  struct Case {
    JournalSummary summary;
    long recipients;
    const char* text;
  } cases[] = {
      {SummaryOf({}), 5, ""},
      {SummaryOf({{1, Sent}, {2, Sent}, {3, Sent}, {4, Sent}, {5, Sent}}), 5, "5/5 已发"},
      {SummaryOf({{1, Sent}, {2, Failed}, {3, Skipped}, {4, Sent}, {5, Sent}}), 5,
       "3/5 已发，1 失败，1 跳过"},
      // A delivery report is no new recipient; a repeat after a crash counts once.
      {SummaryOf({{1, Sent}, {1, Delivered}, {1, Sent}}), 4, "1/4 已发，3 待发，1/1 已送达"},
      {SummaryOf({{1, Sent}, {2, Sent}, {3, Sent}, {1, Delivered}, {3, Undelivered}}), 3,
       "3/3 已发，1/3 已送达"},
      {SummaryOf({{1, Failed}, {2, Failed}}), 2, "0/2 已发，2 失败"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutcomeText(c.summary, c.recipients), Gbk(c.text)) << c.text;
  }
}

TEST(Journal, AFollowerTakesTheLinesAppendedSinceItsLastLookAndMeasuresTheRate) {
  TempWorkDir dir;
  Station station(dir.path());
  ASSERT_TRUE(MakeDirectory(dir.path() + "/2026-12-7"));
  ASSERT_TRUE(MakeDirectory(dir.path() + "/2026-12-7/send"));
  const std::string path = JournalPath(station, "2026-12-7", 2);
  JournalFollower follower(station, "2026-12-7", 2);
  follower.Update();  // no journal yet
  EXPECT_TRUE(follower.summary().Empty());

  WriteBytes(path, "1|13000000001|sent|2026-12-7 09:00:00|1\r\n"
                   "2|13000000002|failed|2026-12-7 09:00:02|ERROR\r\n"
                   "3|13000000003|se");
  follower.Update();
  EXPECT_EQ(follower.summary().Finals(), 2);
  EXPECT_EQ(follower.Rate(), 0.5);
  // The torn line is taken once it is whole, and only then.
  WriteBytes(path, ReadBytes(path) + "nt|2026-12-7 09:00:04|2\r\n");
  follower.Update();
  EXPECT_EQ(follower.summary().Count(Outcome::Sent), 2);
  EXPECT_EQ(follower.summary().Finals(), 3);
  EXPECT_EQ(follower.Rate(), 0.5);
}

TEST(Journal, FailedAndSkippedRecipientsAreFiledAgainWithTheSameText) {
  TempWorkDir dir;
  const Station& station = dir.station();
  const std::string day = "2003-5-12";
  EnsureDayFolder(station, day);
  const std::string outbox = MailboxDir(station, day, kNewBox);
  WriteBytes(RecordPath(outbox, "R", 3),
             "client7;note\r\n13000000002\r\n*13000000003\r\n1300000000\r\n13000000005\r\n");
  WriteBytes(RecordPath(outbox, "DA", 3), Gbk("你好"));
  WriteBytes(JournalPath(station, day, 3),
             "1|13900000007|failed|2003-5-12 09:00:00|+CMS ERROR: 21\r\n"
             "2|13000000002|sent|2003-5-12 09:00:02|5\r\n"
             "3|13000000003|skipped|2003-5-12 09:00:02|forbidden\r\n"
             "4|1300000000|skipped|2003-5-12 09:00:02|not an 11-digit number\r\n"
             "5|13000000005|skipped|2003-5-12 09:00:02|forbidden\r\n");

  const Result<Refiled> refiled = FileUnsentAgain(station, day, 3);
  ASSERT_TRUE(refiled) << refiled.error().detail;
  EXPECT_EQ(refiled.value().recipients, 4);
  EXPECT_EQ(refiled.value().record.number, 1);
  const std::string today = MailboxDir(station, station.Today(), kNewBox);
  // The customer's key, not the number it once resolved to: a fixed
  // catalogue entry takes effect.
  EXPECT_EQ(ReadBytes(RecordPath(today, "R", 1)),
            "client7\r\n13000000003\r\n1300000000\r\n13000000005\r\n");
  EXPECT_EQ(ReadBytes(RecordPath(today, "DA", 1)), Gbk("你好"));

  // Nothing left to retry: nothing filed.
  WriteBytes(JournalPath(station, day, 3), "1|13900000007|sent|2003-5-12 09:00:00|1\r\n");
  const Result<Refiled> none = FileUnsentAgain(station, day, 3);
  ASSERT_TRUE(none);
  EXPECT_EQ(none.value().recipients, 0);
  EXPECT_EQ(ReadBytes(CounterPath(today)), "1");
  EXPECT_FALSE(FileUnsentAgain(station, day, 4));
}

}  // namespace
}  // namespace tavrel
