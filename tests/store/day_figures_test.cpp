#include "store/day_figures.h"

#include <gtest/gtest.h>

#include "platform/textfile.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;
using testing::WriteBytes;

constexpr const char* kDay = "2026-12-7";

class DayFiguresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* box : {"", "/new", "/send", "/recv"}) {
      ASSERT_TRUE(MakeDirectory(dir_.Path(std::string(kDay) + box)));
    }
  }
  void File(const std::string& relative, const std::string& bytes) {
    WriteBytes(dir_.Path(std::string(kDay) + "/" + relative), bytes);
  }
  void Append(const std::string& relative, const std::string& bytes) {
    File(relative, ReadBytes(dir_.Path(std::string(kDay) + "/" + relative)) + bytes);
  }
  void Record(const std::string& box, long n, const std::string& recipients,
              const std::string& time, const std::string& text) {
    const std::string at = box + "/";
    File(at + "R" + std::to_string(n), recipients);
    File(at + "H" + std::to_string(n), "[HEAD]\r\ntime=" + std::string(kDay) + " " + time + "\r\n");
    File(at + "DA" + std::to_string(n), text);
    File(at + "acc", std::to_string(n));
  }
  TempWorkDir dir_;
};

TEST_F(DayFiguresTest, CountsOutcomesAndHoursAndReadsOnlyWhatWasAdded) {
  Record("new", 1, "13000000001\r\n13000000002\r\nclient7\r\n", "09:00:00", "notice");
  Record("new", 2, "13000000003\r\n", "10:00:00", "second");
  File("send/J1",
       "1|13000000001|sent|2026-12-7 09:05:03|1\r\n"
       "2|13000000002|failed|2026-12-7 09:06:00|+CMS ERROR: 21\r\n"
       "1|13000000001|delivered|2026-12-8 00:01:00|00\r\n"
       "3|13000000009|se");  // an append cut by a crash
  File("send/acc", "0");
  Record("recv", 1, "13000000001", "09:30:00", "ok");
  Record("recv", 2, "13000000002", "23:59:59", "no");

  DayTally tally;
  DayFigures f = tally.Update(dir_.station(), kDay);
  EXPECT_EQ(f.records, 2);
  EXPECT_EQ(f.Waiting(), 2);
  EXPECT_EQ(f.received, 2);
  EXPECT_EQ(f.outcomes, (OutcomeCounts{1, 1, 0, 1, 0}));
  EXPECT_EQ(f.sent_by_hour[9], 1);
  EXPECT_EQ(f.received_by_hour[9], 1);
  EXPECT_EQ(f.received_by_hour[23], 1);

  std::vector<RecordOutcome> records = ReadRecordOutcomes(dir_.station(), kDay, 0, 10);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].recipients, 3);
  EXPECT_EQ(records[0].queued, 1);
  EXPECT_EQ(records[0].time, "2026-12-7 09:00:00");
  ASSERT_EQ(records[0].problems.size(), 1u);
  EXPECT_EQ(records[0].problems[0].detail, "+CMS ERROR: 21");
  EXPECT_EQ(records[1].queued, 1);

  // The cut line is completed by the resumed engine, the second record is
  // finished and a third message arrives: only the additions are counted.
  Append("send/J1", "\r\n3|13000000009|sent|2026-12-7 11:00:00|2\r\n");
  File("send/J2", "1|13000000003|skipped|2026-12-7 11:30:00|not an 11-character number\r\n");
  File("send/acc", "2");
  Record("recv", 3, "13000000003", "11:45:00", "<b>x</b>");
  f = tally.Update(dir_.station(), kDay);
  EXPECT_EQ(f.Waiting(), 0);
  EXPECT_EQ(f.received, 3);
  EXPECT_EQ(f.outcomes, (OutcomeCounts{2, 1, 1, 1, 0}));
  EXPECT_EQ(f.sent_by_hour[9], 1);
  EXPECT_EQ(f.sent_by_hour[11], 1);
  EXPECT_EQ(f.received_by_hour[11], 1);
  records = ReadRecordOutcomes(dir_.station(), kDay, 1, 10);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].record, 2);
  EXPECT_EQ(records[0].queued, 0);
  EXPECT_EQ(records[0].problems.at(0).state, Outcome::Skipped);

  // Another day starts from nothing.
  f = tally.Update(dir_.station(), "2026-12-8");
  EXPECT_EQ(f.records, 0);
  EXPECT_EQ(f.outcomes, OutcomeCounts{});
  EXPECT_EQ(f.sent_by_hour[9], 0);
}

}  // namespace
}  // namespace tavrel
