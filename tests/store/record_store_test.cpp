#include "store/record_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;
using testing::WriteBytes;

// The counter retries pause through the pacing clock; keep them short.
[[maybe_unused]] const bool kFastPauses = [] { return setenv("TAVREL_TIME_SCALE", "0.001", 0) == 0; }();

std::string NewBox(const TempWorkDir& dir, const OutboxResult& r) {
  return MailboxDir(dir.station(), r.value().day, kNewBox);
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename());
  return names;
}

TEST(RecipientListRule, SemicolonsBecomeLineEndsUnlessALineEndFollowsTwoBytesOn) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"13012312312;11111111111", "13012312312\n11111111111"},
      {"13012312312;11111111111;", "13012312312\n11111111111\n"},
      {"13012312312;\r\n11111111111", "13012312312;\r\n11111111111"},
      {"a;;b", "a\n\nb"},
      {";x\n", ";x\n"},
      {";\n", "\n\n"},  // the LF directly after does not protect it
      {"", ""},
      {std::string("1;2\0;3", 6), "1\n2"},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyRecipientListRule(c.in), c.out) << c.in;
}

TEST(Headers, OutboxAndInboxLines) {
  EXPECT_EQ(OutboxHeader("2003-5-12 14:05:09"),
            "[HEAD]\ntime=2003-5-12 14:05:09\nsend= \ntype=\xB2\xE9\xD1\xAF\n"
            "stat=\xCE\xB4\xB7\xA2\njrade=\xBD\xF4\xBC\xB1\n");
  EXPECT_EQ(InboxHeader("2003-5-12 14:05:09"),
            "[HEAD]\ntime=2003-5-12 14:05:09\nsend= \nstat= \njrade= \n");
}

TEST(WriteOutboxRecord, FirstRecordOfTheDayReachesDiskByteExact) {
  TempWorkDir dir;
  std::string text = Gbk("你好\r\n朋友");
  OutboxResult r = WriteOutboxRecord(dir.station(), "13012312312;\r\n11111111111;22222222222", text);
  ASSERT_TRUE(r.ok()) << r.error().detail;
  EXPECT_EQ(r.value().number, 1);
  const std::string day = r.value().day;
  for (const char* box : {"new", "send", "recv", "qury"}) {
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path(day + "/" + box))) << box;
  }
  std::string box = NewBox(dir, r);
  EXPECT_EQ(ReadBytes(box + "/R1"), "13012312312;\r\r\n11111111111\r\n22222222222");
  EXPECT_EQ(ReadBytes(box + "/DA1"), "\xC4\xE3\xBA\xC3\r\r\n\xC5\xF3\xD3\xD1");
  EXPECT_EQ(ReadBytes(box + "/acc"), "1");
  std::string stamp = ReadRecordTime(box + "/H1");
  EXPECT_TRUE(testing::IsTimeStamp(stamp, day)) << stamp;
  EXPECT_EQ(ReadBytes(box + "/H1"),
            "[HEAD]\r\ntime=" + stamp +
                "\r\nsend= \r\ntype=\xB2\xE9\xD1\xAF\r\nstat=\xCE\xB4\xB7\xA2\r\n"
                "jrade=\xBD\xF4\xBC\xB1\r\n");
  // Readers get back what the writer was given.
  EXPECT_EQ(ReadRecordFile(box + "/DA1").value(), text);
}

TEST(Counters, AReplacedCounterLeavesNothingBehindButTheCounterAndTheLock) {
  TempWorkDir dir;
  ASSERT_TRUE(WriteOutboxRecord(dir.station(), "1", "t").ok());
  OutboxResult r = WriteOutboxRecord(dir.station(), "2", "u");
  ASSERT_TRUE(r.ok()) << r.error().detail;
  EXPECT_EQ(Names(NewBox(dir, r)),
            (std::set<std::string>{"R1", "H1", "DA1", "R2", "H2", "DA2", "acc", "lock"}));
  const std::string recv = MailboxDir(dir.station(), r.value().day, kRecvBox);
  ASSERT_TRUE(WriteCounter(recv, 1));
  ASSERT_TRUE(WriteCounter(recv, 2));
  EXPECT_EQ(Names(recv), (std::set<std::string>{"acc", "lock"}));
}

TEST(WriteOutboxRecord, BothCounterRules) {
  struct Case {
    std::string acc;  // raw bytes of new/acc before the write
    long restart;     // record number taken with RestartBelowOne
    long refuse;      // with RefuseNegativeAndRetry, 0 when it fails cleanly
  } cases[] = {
      {"41", 42, 42},         {"0", 1, 1},           {"abc", 1, 1},
      {"", 1, 1},             {"  +7", 8, 8},        {"12\r\n99", 13, 13},
      {"\r\n5", 1, 1},        {"1234567890", 123456790, 123456790},
      {"-3", 1, 0},
  };
  for (const Case& c : cases) {
    for (CounterRule rule : {CounterRule::RestartBelowOne, CounterRule::RefuseNegativeAndRetry}) {
      TempWorkDir dir;
      std::string day = dir.station().Today();
      EnsureDayFolder(dir.station(), day);
      std::string box = MailboxDir(dir.station(), day, kNewBox);
      WriteBytes(CounterPath(box), c.acc);
      OutboxResult r = WriteOutboxRecord(dir.station(), "1", "t", rule);
      long expected = rule == CounterRule::RestartBelowOne ? c.restart : c.refuse;
      if (expected == 0) {
        EXPECT_FALSE(r.ok()) << "acc=" << c.acc;
        EXPECT_EQ(r.error().text, Gbk("计数文件的数值为负：") + CounterPath(box));
        EXPECT_EQ(ReadBytes(CounterPath(box)), c.acc);
        continue;
      }
      ASSERT_TRUE(r.ok()) << "acc=" << c.acc << ": " << r.error().detail;
      EXPECT_EQ(r.value().number, expected) << "acc=" << c.acc;
      EXPECT_EQ(ReadBytes(CounterPath(box)), std::to_string(expected));
      EXPECT_TRUE(FileExists(RecordPath(box, "DA", expected)));
    }
  }
}

TEST(Counters, ReadAndWrite) {
  TempWorkDir dir;
  EnsureDayFolder(dir.station(), "2003-5-12");
  std::string box = MailboxDir(dir.station(), "2003-5-12", kRecvBox);
  EXPECT_FALSE(ReadCounter(box).has_value());
  ASSERT_TRUE(WriteCounter(box, 12));
  EXPECT_EQ(ReadBytes(box + "/acc"), "12");
  EXPECT_EQ(ReadCounter(box).value(), 12);
  ASSERT_TRUE(WriteCounter(box, 0));
  EXPECT_EQ(ReadCounter(box).value(), 0);
  WriteBytes(box + "/acc", "123456789");
  EXPECT_EQ(ReadCounter(box, kViewCounterBytes).value(), 12345678);
  EXPECT_EQ(ReadCounter(box).value(), 123456789);
  std::filesystem::remove(box + "/acc");
  std::filesystem::create_directory(box + "/acc");
  EXPECT_FALSE(ReadCounter(box).has_value());  // exists, but reads as nothing
  EXPECT_FALSE(WriteCounter(box, 3));
  EXPECT_FALSE(WriteCounter("2003-5-12/nothere", 3));
}

TEST(WriteOutboxRecord, ACounterThatCannotBeReadFailsBeforeAnythingIsWritten) {
  for (CounterRule rule : {CounterRule::RefuseNegativeAndRetry, CounterRule::RestartBelowOne}) {
    TempWorkDir dir;
    std::string day = dir.station().Today();
    EnsureDayFolder(dir.station(), day);
    std::string box = MailboxDir(dir.station(), day, kNewBox);
    std::filesystem::create_directory(CounterPath(box));
    OutboxResult r = WriteOutboxRecord(dir.station(), "13012312312", "t", rule);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, Gbk("无法读取计数文件：") + CounterPath(box));
    EXPECT_NE(r.error().detail.find("acc"), std::string::npos) << r.error().detail;
    EXPECT_FALSE(FileExists(box + "/R1"));
  }
}

TEST(WriteOutboxRecord, ARecordWhoseFilesCannotBeWrittenIsNotCounted) {
  for (const char* blocked : {"R", "H", "DA"}) {
    TempWorkDir dir;
    std::string day = dir.station().Today();
    EnsureDayFolder(dir.station(), day);
    std::string box = MailboxDir(dir.station(), day, kNewBox);
    WriteBytes(CounterPath(box), "4");
    std::filesystem::create_directory(RecordPath(box, blocked, 5));
    OutboxResult r = WriteOutboxRecord(dir.station(), "13012312312", "t");
    EXPECT_FALSE(r.ok()) << blocked;
    EXPECT_EQ(r.error().text, Gbk("无法写入文件：") + RecordPath(box, blocked, 5));
    EXPECT_NE(r.error().detail.find(RecordPath(box, blocked, 5)), std::string::npos)
        << r.error().detail;
    EXPECT_EQ(ReadBytes(CounterPath(box)), "4") << blocked;
  }
}

TEST(WriteOutboxRecord, TheRetryingRuleRetriesTheCounterThenLeavesTheRecordUncounted) {
  TempWorkDir dir;
  std::string day = dir.station().Today();
  EnsureDayFolder(dir.station(), day);
  std::string box = MailboxDir(dir.station(), day, kNewBox);
  WriteBytes(CounterPath(box), "41");
  std::filesystem::create_directory(CounterPath(box) + ".tmp");  // blocks every replacement
  OutboxResult r = WriteOutboxRecord(dir.station(), "13012312312;", "t", CounterRule::RefuseNegativeAndRetry);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(ReadBytes(CounterPath(box)), "41");
  EXPECT_EQ(ReadBytes(RecordPath(box, "R", 42)), "13012312312\r\n");  // stays, uncounted
  // Once the counter can be written again the next request takes the same number.
  std::filesystem::remove(CounterPath(box) + ".tmp");
  r = WriteOutboxRecord(dir.station(), "22222222222", "u", CounterRule::RefuseNegativeAndRetry);
  ASSERT_TRUE(r.ok()) << r.error().detail;
  EXPECT_EQ(r.value().number, 42);
  EXPECT_EQ(ReadBytes(RecordPath(box, "R", 42)), "22222222222");
}

TEST(WriteOutboxRecord, HookSeesTheCompleteRecordBeforeTheCounterMoves) {
  TempWorkDir dir;
  bool called = false;
  OutboxResult r = WriteOutboxRecord(dir.station(), "1", "t", CounterRule::RefuseNegativeAndRetry, [&](long n) {
    called = true;
    EXPECT_EQ(n, 1);
    std::string box = MailboxDir(dir.station(), dir.station().Today(), kNewBox);
    EXPECT_EQ(ReadBytes(box + "/DA1"), "t");
    EXPECT_FALSE(ReadCounter(box).has_value());
  });
  EXPECT_TRUE(r.ok());
  EXPECT_TRUE(called);
}

TEST(WriteOutboxRecord, TextsEndAtTheirFirstNul) {
  TempWorkDir dir;
  OutboxResult r = WriteOutboxRecord(dir.station(), std::string("1;2\0;3", 6), std::string("ab\0cd", 5));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(ReadBytes(NewBox(dir, r) + "/R1"), "1\r\n2");
  EXPECT_EQ(ReadBytes(NewBox(dir, r) + "/DA1"), "ab");
}

TEST(WriteOutboxRecord, WritersInManyThreadsNeverShareANumber) {
  TempWorkDir dir;
  constexpr int kThreads = 4, kEach = 40;
  std::vector<std::vector<long>> numbers(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &numbers, &dir] {
      for (int i = 0; i < kEach; ++i) {
        std::string text = "t" + std::to_string(t) + "-" + std::to_string(i);
        OutboxResult r = WriteOutboxRecord(dir.station(), "13012312312", text);
        if (r) numbers[t].push_back(r.value().number);
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<long> all;
  for (auto& v : numbers) all.insert(v.begin(), v.end());
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), kThreads * kEach);
  std::string box = MailboxDir(dir.station(), dir.station().Today(), kNewBox);
  EXPECT_EQ(ReadCounter(box).value(), kThreads * kEach);
}

TEST(ReadRecords, FilesAndTimes) {
  TempWorkDir dir;
  EXPECT_FALSE(ReadRecordFile(dir.Path("absent")).has_value());
  WriteBytes(dir.Path("DA1"), "a\r\r\nb\rc\r\n");
  EXPECT_EQ(ReadRecordFile(dir.Path("DA1")).value(), "a\r\nb\rc\n");
  EXPECT_EQ(ReadRecordTime(dir.Path("absent")), "");
  WriteBytes(dir.Path("H1"), "[HEAD]\r\ntime=2003-5-12 14:05:09 and more\r\n");
  EXPECT_EQ(ReadRecordTime(dir.Path("H1")), "2003-5-12 14:05:09 ");
  WriteBytes(dir.Path("H2"), "[HEAD]\r\nsend= \r\n");
  EXPECT_EQ(ReadRecordTime(dir.Path("H2")), "");
}

TEST(ReadRecords, AFieldHoldsItsSizeLessOneByteUpToANulAndTheEngineReadsWhole) {
  TempWorkDir dir;
  const std::string day = "2003-5-12";
  EnsureDayFolder(dir.station(), day);
  const std::string box = MailboxDir(dir.station(), day, kNewBox);
  WriteBytes(RecordPath(box, "DA", 1), std::string("ab\0cd", 5));
  WriteBytes(RecordPath(box, "R", 1), "13800000001\r\n13800000002");
  EXPECT_EQ(ReadRecordField(dir.station(), day, kNewBox, RecordPart::Text, 1, 7), "ab");
  EXPECT_EQ(ReadRecordField(dir.station(), day, kNewBox, RecordPart::Recipients, 1, 7), "138000");
  EXPECT_EQ(ReadRecordFile(dir.station(), day, kNewBox, RecordPart::Text, 1), std::string("ab\0cd", 5));
  EXPECT_EQ(ReadRecordFile(dir.station(), day, kNewBox, RecordPart::Recipients, 1), "13800000001\n13800000002");
  EXPECT_EQ(ReadRecordField(dir.station(), day, kNewBox, RecordPart::Text, 2, 7), std::nullopt);
  EXPECT_EQ(ReadRecordFile(dir.station(), day, kNewBox, RecordPart::Text, 2), std::nullopt);
  EXPECT_EQ(RecordFileName(day, kRecvBox, RecordPart::Header, 3), "2003-5-12/recv/H3");
  EXPECT_EQ(CounterFileName(day, kSendBox), "2003-5-12/send/acc");
}

TEST(ModifyAndForbid, TheTextIsRewrittenOnlyAfterTheRecipients) {
  TempWorkDir dir;
  const std::string day = "2003-5-12";
  EnsureDayFolder(dir.station(), day);
  const std::string box = MailboxDir(dir.station(), day, kNewBox);
  WriteBytes(RecordPath(box, "DA", 1), "kept");
  std::filesystem::create_directory(RecordPath(box, "R", 1));  // cannot be replaced
  EXPECT_FALSE(RewriteOutboxRecord(dir.station(), day, 1, "13900000000", "lost"));
  EXPECT_FALSE(ForbidOutboxRecord(dir.station(), day, 1, "13900000000"));
  EXPECT_EQ(ReadBytes(RecordPath(box, "DA", 1)), "kept");

  for (const auto& [recipients, forbidden] : std::initializer_list<std::pair<std::string, bool>>{
           {"*13800000001", true}, {"**1", true}, {"13800000001\n*1", false}, {"", false}}) {
    EXPECT_EQ(IsForbidden(recipients), forbidden) << recipients;
  }
}

TEST(WriteOutboxRecord, UnwritableWorkingDirectoryFailsCleanly) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders anyway";
  TempWorkDir dir;
  chmod(dir.path().c_str(), 0555);
  OutboxResult r = WriteOutboxRecord(dir.station(), "1", "t");
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.error().detail.empty());
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

// A modem pool and the tests run several stations in one process: each keeps
// its own records, counters and catalogue, whatever the working directory is.
TEST(Stations, TwoStationsInOneProcessKeepTheirOwnRecords) {
  TempWorkDir a, b;
  ASSERT_TRUE(WriteOutboxRecord(a.station(), "13000000001", "a1"));
  ASSERT_TRUE(WriteOutboxRecord(a.station(), "13000000002", "a2"));
  OutboxResult in_b = WriteOutboxRecord(b.station(), "13000000003", "b1");
  ASSERT_TRUE(in_b);
  EXPECT_EQ(in_b.value().number, 1);
  const std::string day = a.station().Today();
  EXPECT_EQ(ReadMailboxCounter(a.station(), day, kNewBox), 2);
  EXPECT_EQ(ReadMailboxCounter(b.station(), day, kNewBox), 1);
  EXPECT_EQ(ReadRecordFile(b.station(), day, kNewBox, RecordPart::Text, 1), "b1");
  EXPECT_EQ(ReadRecordFile(a.station(), day, kNewBox, RecordPart::Text, 1), "a1");
  EXPECT_FALSE(std::filesystem::exists(day));  // nothing in the working directory
}

}  // namespace
}  // namespace tavrel
