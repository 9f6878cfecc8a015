// The three loaders against store fixtures, without a window: counter rules,
// ranges, records without text, field sizes, and the row helpers of the
// selection handlers.
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/codepage.h"
#include "platform/station.h"
#include "platform/textfile.h"
#include "console/send_progress.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "tests/console/views_fixture.h"

namespace tavrel::console {
namespace {

using Numbers_ = std::vector<long>;

class ViewsLoaderTest : public ConsoleTest {
 protected:
  const std::string day_ = "2003-5-12";
};

TEST_F(ViewsLoaderTest, CountersSplitTheOutboxIntoPendingAndSent) {
  PutRecords(station_, day_, kNewBox, 5);
  PutCounter(station_, day_, kNewBox, "5");
  PutCounter(station_, day_, kSendBox, "3");

  RecordingSink pending;
  LoadPendingList(station_, day_, pending);
  ASSERT_EQ(pending.rows.size(), 2u);
  EXPECT_EQ(pending.rows[0], (RowValues{"1", "4", "13800000004", "text 4", StampOf(day_, 4)}));
  EXPECT_EQ(pending.rows[1], (RowValues{"2", "5", "13800000005", "text 5", StampOf(day_, 5)}));

  RecordingSink sent;
  LoadSentList(station_, day_, sent);
  EXPECT_EQ(Numbers(sent.rows), (Numbers_{1, 2, 3}));
  EXPECT_EQ(sent.rows[2][0], "3");

  // Before the engine's first cycle of the day there is no send counter:
  // everything is pending and the sent list is emptied.
  ASSERT_EQ(::unlink(CounterPath(MailboxDir(station_, day_, kSendBox)).c_str()), 0);
  RecordingSink all;
  LoadPendingList(station_, day_, all);
  EXPECT_EQ(Numbers(all.rows), (Numbers_{1, 2, 3, 4, 5}));
  sent.rows = {{"stale"}};
  LoadSentList(station_, day_, sent);
  EXPECT_TRUE(sent.rows.empty());
  EXPECT_EQ(sent.clears, 2);

  // Without a new counter the pending list is left alone, not even cleared.
  ASSERT_EQ(::unlink(CounterPath(MailboxDir(station_, day_, kNewBox)).c_str()), 0);
  RecordingSink untouched;
  untouched.rows = {{"kept"}};
  LoadPendingList(station_, day_, untouched);
  EXPECT_EQ(untouched.clears, 0);
  EXPECT_EQ(untouched.rows.size(), 1u);
}

TEST_F(ViewsLoaderTest, SmallAndOddCountersFollowEachViewsRule) {
  PutRecords(station_, day_, kNewBox, 2);
  PutRecords(station_, day_, kRecvBox, 2);
  auto pending = [&] { RecordingSink s; LoadPendingList(station_, day_, s); return Numbers(s.rows); };
  auto sent = [&] { RecordingSink s; LoadSentList(station_, day_, s); return Numbers(s.rows); };
  auto received = [&] { RecordingSink s; LoadReceivedList(station_, day_, s); return Numbers(s.rows); };

  // Below 1: the pending and received views still look at record 1, the
  // sent view at nothing.
  PutCounter(station_, day_, kNewBox, "0");
  PutCounter(station_, day_, kSendBox, "-4");
  PutCounter(station_, day_, kRecvBox, "junk");
  EXPECT_EQ(pending(), (Numbers_{1}));
  EXPECT_EQ(sent(), Numbers_{});
  EXPECT_EQ(received(), (Numbers_{1}));

  // Leading digits count; the views read only the first 8 bytes.
  PutCounter(station_, day_, kNewBox, "2\r\n7");
  PutCounter(station_, day_, kSendBox, "1x");
  PutCounter(station_, day_, kRecvBox, "000000002");
  EXPECT_EQ(pending(), (Numbers_{2}));
  EXPECT_EQ(sent(), (Numbers_{1}));
  // The ninth byte is never read: "00000000" is 0, below 1, so record 1.
  EXPECT_EQ(received(), (Numbers_{1}));
}

TEST_F(ViewsLoaderTest, ARecordWithoutTextIsSkippedInTheOutboxAndEndsTheInbox) {
  for (std::string_view box : {kNewBox, kRecvBox}) {
    PutRecord(station_, day_, box, 1, "13800000001", "one");
    PutRecord(station_, day_, box, 2, "13800000002", std::nullopt);
    PutRecord(station_, day_, box, 3, "13800000003", "three");
    // Text without recipients counts as incomplete too.
    PutRecord(station_, day_, box, 4, "x", "four");
    ASSERT_EQ(::unlink(RecordPath(MailboxDir(station_, day_, box), "R", 4).c_str()), 0);
    PutRecord(station_, day_, box, 5, "13800000005", "five");
  }
  PutCounter(station_, day_, kNewBox, "5");
  PutCounter(station_, day_, kSendBox, "5");
  PutCounter(station_, day_, kRecvBox, "5");

  RecordingSink sent;
  LoadSentList(station_, day_, sent);
  EXPECT_EQ(Numbers(sent.rows), (Numbers_{1, 3, 5}));
  EXPECT_EQ(sent.rows[1][0], "2");  // positions run on without gaps
  EXPECT_EQ(sent.rows[2][0], "3");

  PutCounter(station_, day_, kSendBox, "0");
  RecordingSink pending;
  LoadPendingList(station_, day_, pending);
  EXPECT_EQ(Numbers(pending.rows), (Numbers_{1, 3, 5}));

  RecordingSink received;
  LoadReceivedList(station_, day_, received);
  EXPECT_EQ(Numbers(received.rows), (Numbers_{1}));
}

TEST_F(ViewsLoaderTest, RowsCarryTheFilesAsReadTheForbidMarkAndFieldCuts) {
  const std::string long_text(20000, 'a');
  PutRecord(station_, day_, kNewBox, 1, "*13800000001\n13800000002", long_text);
  PutRecord(station_, day_, kNewBox, 2, "13800000002;\r\n", Gbk("你好") + "\r\nsecond");
  ASSERT_EQ(::unlink(RecordPath(MailboxDir(station_, day_, kNewBox), "H", 2).c_str()), 0);
  PutCounter(station_, day_, kNewBox, "2");
  PutCounter(station_, day_, kSendBox, "2");

  RecordingSink sent;
  LoadSentList(station_, day_, sent);
  ASSERT_EQ(sent.rows.size(), 2u);
  // The forbidden record carries the marker as a sixth value; the other has
  // five, and an empty time when its header is gone.
  EXPECT_EQ(sent.rows[0].size(), 6u);
  EXPECT_EQ(sent.rows[0][5], Gbk("禁发"));
  EXPECT_EQ(sent.rows[0][2], "*13800000001\n13800000002");
  EXPECT_EQ(sent.rows[0][3], std::string(1023, 'a'));
  EXPECT_EQ(sent.rows[1].size(), 5u);
  // CR LF on disk reads back as LF; a CR the writer kept stays.
  EXPECT_EQ(sent.rows[1][2], "13800000002;\r\n");
  EXPECT_EQ(sent.rows[1][3], Gbk("你好") + "\r\nsecond");
  EXPECT_EQ(sent.rows[1][4], "");

  PutCounter(station_, day_, kSendBox, "0");
  RecordingSink pending;
  LoadPendingList(station_, day_, pending);
  EXPECT_EQ(pending.rows.at(0)[3], std::string(10239, 'a'));
}

TEST_F(ViewsLoaderTest, ALoadThatIsReplacedStopsAtItsNextRecord) {
  PutRecords(station_, day_, kRecvBox, 50);
  PutCounter(station_, day_, kRecvBox, "50");
  RecordingSink sink;
  sink.stop_after = 7;
  LoadReceivedList(station_, day_, sink);
  EXPECT_EQ(sink.rows.size(), 7u);
}

// Journal lines (raw bytes) for recipients 138000000<index>; the states
// and details as "state|detail", stamped 10:mm:ss from second on, step
// seconds apart.
std::string JournalLines(const std::string& day,
                         std::initializer_list<std::pair<long, const char*>> lines, long second = 0,
                         long step = 0) {
  std::string bytes;
  for (const auto& [index, state_and_detail] : lines) {
    char time[48];
    std::snprintf(time, sizeof time, " 10:%02ld:%02ld", second / 60 % 60, second % 60);
    bytes += std::to_string(index) + "|1380000000" + std::to_string(index) + "|" +
             std::string(state_and_detail).insert(std::string(state_and_detail).find('|') + 1,
                                                  day + time + "|") +
             "\r\n";
    second += step;
  }
  return bytes;
}

TEST_F(ViewsLoaderTest, SentRowsSayWhatTheJournalSaysAndListTheUnsentRecipients) {
  PutRecords(station_, day_, kNewBox, 3);
  PutRecord(station_, day_, kNewBox, 1, "13800000001\n13800000002\n13800000003", "one");
  PutRecord(station_, day_, kNewBox, 2, "*13800000001\n13800000002\n13800000003", "two");
  PutCounter(station_, day_, kNewBox, "3");
  PutCounter(station_, day_, kSendBox, "3");
  ASSERT_TRUE(ReplaceFile(JournalPath(station_, day_, 1),
                            JournalLines(day_, {{1, "sent|4"}, {2, "failed|+CMS ERROR: 21"},
                                                {3, "skipped|not an 11-digit number"}})));
  // Forbidden while it was sent.
  ASSERT_TRUE(ReplaceFile(JournalPath(station_, day_, 2),
                            JournalLines(day_, {{1, "sent|5"}, {2, "skipped|forbidden"},
                                                {3, "skipped|forbidden"}})));

  RecordingSink sent;
  LoadSentList(station_, day_, sent);
  ASSERT_EQ(sent.rows.size(), 3u);
  EXPECT_EQ(sent.rows[0].at(5), Gbk("1/3 已发，1 失败，1 跳过"));
  EXPECT_EQ(sent.rows[1].at(5), Gbk("禁发 1/3 已发，2 跳过"));
  EXPECT_EQ(sent.rows[2].size(), 5u);  // no journal: the five values it always had

  RecordingSink unsent;
  LoadUnsentList(station_, day_, 1, unsent);
  EXPECT_EQ(unsent.rows, (std::vector<RowValues>{
                             {"2", "13800000002", Gbk("失败"), "+CMS ERROR: 21"},
                             {"3", "13800000003", Gbk("跳过"), "not an 11-digit number"}}));

  // A record of thousands that all failed lists a thousand and says so.
  std::string failed;
  for (long i = 1; i <= 1005; ++i) failed += JournalLines(day_, {{i, "failed|ERROR"}});
  ASSERT_TRUE(ReplaceFile(JournalPath(station_, day_, 3), failed));
  RecordingSink many;
  LoadUnsentList(station_, day_, 3, many);
  ASSERT_EQ(many.rows.size(), 1001u);
  EXPECT_EQ(many.rows[999][0], "1000");
  EXPECT_EQ(many.rows[1000], (RowValues{"", "", "", Gbk("……另有 5 个未列出")}));
}

TEST_F(ViewsLoaderTest, TheProgressOfTheRecordBeingSentComesFromItsJournal) {
  PutRecords(station_, day_, kNewBox, 3);
  PutRecord(station_, day_, kNewBox, 2, std::string(10, '\n'), "ten lines");
  PutCounter(station_, day_, kNewBox, "3");
  PutCounter(station_, day_, kSendBox, "1");
  SendProgressReader reader(station_);
  EXPECT_EQ(reader.Read(day_).record, 0);  // record 2 has not begun

  // Two seconds a recipient.
  const std::string path = JournalPath(station_, day_, 2);
  ASSERT_TRUE(ReplaceFile(path, JournalLines(day_, {{1, "sent|1"}, {2, "sent|2"}, {3, "failed|ERROR"},
                                                      {4, "skipped|not an 11-digit number"}},
                                               0, 2)));
  SendProgress progress = reader.Read(day_);
  EXPECT_EQ(progress.record, 2);
  EXPECT_EQ(progress.recipients, 10);
  EXPECT_EQ(progress.sent, 2);
  EXPECT_EQ(progress.failed, 1);
  EXPECT_EQ(progress.skipped, 1);
  EXPECT_EQ(progress.seconds_left, 12);
  EXPECT_EQ(ProgressText(progress), Gbk("正在发送第 2 条：4/10\n已发 2，失败 1，跳过 1\n约剩 12 秒"));

  ASSERT_TRUE(ReplaceFile(path, FileBytes(path) + JournalLines(day_, {{5, "sent|3"}}, 8)));
  EXPECT_EQ(reader.Read(day_).sent, 3);
  PutCounter(station_, day_, kSendBox, "3");
  EXPECT_EQ(ProgressText(reader.Read(day_)), "");
}

TEST(RowFields, TheSelectionHandlersReadValuesUpToTheirFirstLineBreak) {
  const RowValues row{"3", "17", "13800000001", "first\r\nsecond", "2003-5-12 10:00:00"};
  EXPECT_EQ(RowRecordNumber(row), 17);
  EXPECT_EQ(RowFieldLine(row, 3), "13800000001");
  EXPECT_EQ(RowFieldLine(row, 4), "first");
  EXPECT_EQ(RowFieldLine({"1", "2", "x", "only\nline"}, 4), "only");
  // A sender that itself holds a line break pushes the text a field on.
  EXPECT_EQ(RowFieldLine({"1", "2", "138\n000", "text"}, 4), "000");
}

}  // namespace
}  // namespace tavrel::console
