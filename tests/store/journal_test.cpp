#include "store/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/textfile.h"
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

}  // namespace
}  // namespace tavrel
