// Headless Ravelin sending today's outbox through modemsim, whose sent log
// decodes every accepted PDU on its own.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.02";

class StationSends : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  }

  void StartModem(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--sent-log", sent_log_});
    modem_ = StartModemsim(dir_, extra);
    ASSERT_NE(modem_, nullptr);
  }

  std::unique_ptr<Child> StartRavelin() {
    auto ravelin = StartHeadlessRavelin(dir_, kScale);
    EXPECT_NE(ravelin, nullptr);
    return ravelin;
  }

  std::string SendAcc() { return dir_.Read(Station().Today() + "/send/acc"); }
  bool WaitSendAcc(const std::string& value) {
    return Eventually([&] { return SendAcc() == value; }, 60s);
  }

  std::vector<std::string> Destinations() {
    std::vector<std::string> to;
    for (const SentSms& sms : ReadSentLog(sent_log_)) to.push_back(sms.to);
    return to;
  }

  StationDir dir_;
  std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::unique_ptr<Child> modem_;
};

TEST_F(StationSends, ARecordReachesTheModemAsOneUcs2SmsAndCounts) {
  StartModem();
  FileOutboxRecord(dir_, 1, "13012312312", Gbk("你好"));
  auto ravelin = StartRavelin();
  ASSERT_TRUE(WaitSendAcc("1")) << dir_.Read("sms.log");

  const std::vector<SentSms> sent = ReadSentLog(sent_log_);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].to, "13012312312");
  EXPECT_EQ(sent[0].smsc, "+8613800000000");
  EXPECT_EQ(sent[0].coding, "ucs2");
  EXPECT_EQ(sent[0].text, "你好");
  EXPECT_TRUE(ravelin->WaitForOutput("13012312312   0    发送成功.\n")) << ravelin->output();
}

// A USB modem is named on Linux by its stable link under /dev/serial/by-id,
// far longer than a COMn name.
TEST_F(StationSends, ALongAbsoluteDevicePathReachesTheModem) {
  StartModem();
  const std::string by_id = dir_.root() + "/dev/serial/by-id";
  const std::string device = by_id + "/usb-Simulated_GSM_Modem_0123456789ABCDEF-if00-port0";
  std::filesystem::create_directories(by_id);
  std::filesystem::create_symlink(dir_ / "modem", device);
  dir_.WriteSettings({{"COM", device}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  FileOutboxRecord(dir_, 1, "13012312312", "hello");
  auto ravelin = StartRavelin();
  ASSERT_TRUE(WaitSendAcc("1")) << dir_.Read("sms.log");
  EXPECT_EQ(Destinations(), std::vector<std::string>{"13012312312"});
  EXPECT_EQ(dir_.Read("sms.log").rfind("com=..." + device + "\r\n", 0), 0u);
}

TEST_F(StationSends, RecipientListsFollowTheirRules) {
  StartModem();
  WriteCatalogue(dir_, "cust/cust", "cust", {{"client7", "13900000007"}});
  FileOutboxRecord(dir_, 1, "*13000000001\n13000000009", "forbidden");
  FileOutboxRecord(dir_, 2, "client7;note\n130123123121\n13000000002", Gbk("第一行\r\n第二行"));
  FileOutboxRecord(dir_, 3, "13000000003", "three");
  auto ravelin = StartRavelin();
  ASSERT_TRUE(WaitSendAcc("3")) << dir_.Read("sms.log");

  const std::vector<SentSms> sent = ReadSentLog(sent_log_);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].to, "13900000007");
  EXPECT_EQ(sent[0].text, "第一行");
  EXPECT_EQ(sent[1].to, "13000000002");
  EXPECT_EQ(sent[1].text, "第一行");
  EXPECT_EQ(sent[2].to, "13000000003");
  EXPECT_EQ(sent[2].text, "three");
  EXPECT_TRUE(ravelin->WaitForOutput("13900000007   0    发送成功.\n")) << ravelin->output();
  // Neither the forbidden numbers nor the twelve digits ever reach the box.
  EXPECT_EQ(ravelin->output().find("13000000001"), std::string::npos);
  EXPECT_EQ(ravelin->output().find("130123123121"), std::string::npos);
}

TEST_F(StationSends, SixRefusalsGiveSixFailureLinesAndTheRecordStillCounts) {
  StartModem({"--fail-sends", "6"});
  FileOutboxRecord(dir_, 1, "13000000001\n13000000002", "x");
  auto ravelin = StartRavelin();
  ASSERT_TRUE(WaitSendAcc("1")) << dir_.Read("sms.log");
  ASSERT_TRUE(ravelin->WaitForOutput("13000000002   0    发送成功.\n")) << ravelin->output();

  // Each line goes on top of the box as it comes, so the order printed is
  // oldest first: attempts 0 to 5, then the next recipient.
  std::vector<std::string> status;
  for (const std::string& line : OutputLines(ravelin->output())) {
    if (line.starts_with("1300000000")) status.push_back(line);
  }
  std::vector<std::string> expected;
  for (int j = 0; j < 6; ++j) expected.push_back("13000000001   " + std::to_string(j) + "    发送失败!!!!!");
  expected.push_back("13000000002   0    发送成功.");
  EXPECT_EQ(status, expected);
  EXPECT_EQ(Destinations(), std::vector<std::string>{"13000000002"});
}

// Once, a record cut short by the end of the program was sent again from its
// first recipient. Now the outcome journal carries it: killed at random
// moments and started again, a record of 1,000 recipients reaches every
// number exactly once, except the one in flight at each kill.
TEST_F(StationSends, ARecordKilledFiveTimesReachesEveryNumberOnceButTheOnesInFlight) {
  dir_.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"},
                      {"PACE", "prompt"}});
  StartModem();
  constexpr int kRecipients = 1000;
  constexpr int kKills = 5;
  std::string recipients;
  for (int i = 0; i < kRecipients; ++i) recipients += std::to_string(13000000000LL + i) + "\n";
  FileOutboxRecord(dir_, 1, recipients, "once");

  std::mt19937 random(std::random_device{}());
  std::size_t kill_after = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    auto ravelin = StartRavelin();
    kill_after += std::uniform_int_distribution<std::size_t>(20, kRecipients / (kKills + 1))(random);
    ASSERT_TRUE(EventuallyDraining([&] { return Destinations().size() >= kill_after; },
                                   {ravelin.get()}, 120s))
        << Destinations().size() << " of " << kill_after << " sent before kill " << kill;
    ravelin->Signal(SIGKILL);
    ASSERT_TRUE(ravelin->WaitExit().has_value());
  }
  auto last = StartRavelin();
  ASSERT_TRUE(EventuallyDraining([&] { return SendAcc() == "1"; }, {last.get()}, 300s));

  std::map<std::string, int> times;
  for (const std::string& to : Destinations()) ++times[to];
  int repeats = 0;
  for (int i = 0; i < kRecipients; ++i) {
    const int sent = times[std::to_string(13000000000LL + i)];
    ASSERT_GE(sent, 1) << "number " << i << " got nothing";
    repeats += sent - 1;
  }
  EXPECT_LE(repeats, kKills);
  EXPECT_EQ(times.size(), static_cast<std::size_t>(kRecipients));

  // The journal finishes every recipient; a repeat was journalled once.
  const std::string journal = dir_.Read(Station().Today() + "/send/J1");
  std::set<long> finished;
  for (const std::string& line : OutputLines(journal)) {
    finished.insert(std::stol(line.substr(0, line.find('|'))));
    EXPECT_NE(line.find("|sent|"), std::string::npos) << line;
  }
  EXPECT_EQ(finished.size(), static_cast<std::size_t>(kRecipients));
}

// Once, on a full disk the send counter could not be written, the failure
// went unnoticed and every cycle sent every waiting record again. Now
// nothing is sent that could not be recorded: the engine says so and waits,
// and once the disk has room each number gets its one SMS.
TEST_F(StationSends, OnAFullDiskNothingIsSentUntilThereIsRoomAndThenEachNumberOnce) {
  const FullDisk disk(dir_ / Station().Today());
  if (!disk.mounted()) GTEST_SKIP() << "a small tmpfs needs root";
  StartModem();
  for (long n = 1; n <= 3; ++n) FileOutboxRecord(dir_, n, "1300000000" + std::to_string(n), "x");
  disk.Fill();
  auto ravelin = StartRavelin();
  ASSERT_TRUE(ravelin->WaitForOutput("!!! 磁盘无法写入发送记录，暂停发送: ", 60s)) << dir_.Read("sms.log");
  EXPECT_TRUE(Destinations().empty());

  disk.MakeRoom();
  ASSERT_TRUE(ravelin->WaitForOutput("发送记录已可写入，继续发送。\n")) << ravelin->output();
  ASSERT_TRUE(WaitSendAcc("3")) << dir_.Read("sms.log");
  EXPECT_EQ(Destinations(),
            (std::vector<std::string>{"13000000001", "13000000002", "13000000003"}));
}

}  // namespace
}  // namespace tavrel::system_test
