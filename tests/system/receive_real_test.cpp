// Headless Ravelin receiving the traffic of real networks from modemsim: any
// sender, long messages in parts, and nothing lost or doubled when the
// station is killed, stopped or finds its disk full.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.01";

class StationReceivesReal : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
    modem_ = StartModemsim(dir_, {"--spool", spool_, "--state", state_});
    ASSERT_NE(modem_, nullptr);
  }

  std::string Recv(const std::string& name) { return dir_.Read(day_ + "/recv/" + name); }
  long RecvCount() { return std::atol(Recv("acc").c_str()); }
  // The messages the modem stores, by its state file; -1 before it exists.
  long Stored() {
    const std::optional<std::string> state = ReadFileBytes(state_);
    return state ? static_cast<long>(std::count(state->begin(), state->end(), '\n')) : -1;
  }
  bool ModemEmpty() { return Stored() == 0; }
  // How often each text was filed in recv today.
  std::map<std::string, int> FiledTexts() {
    std::map<std::string, int> texts;
    for (long m = 1; m <= RecvCount(); ++m) ++texts[Recv("DA" + std::to_string(m))];
    return texts;
  }

  StationDir dir_;
  const std::string day_ = Station().Today();
  std::string spool_ = dir_.root() + "/spool";
  std::string state_ = dir_.root() + "/state.jsonl";
  std::unique_ptr<Child> modem_;
};

TEST_F(StationReceivesReal, ALongMessageInPartsOverTwoCyclesIsFiledOnceWholeInOrder) {
  const std::string text = "一二三四五六七八九十甲乙";
  const std::string parts = "from: 13012312312\nref: 7\npart-size: 8\n";
  ASSERT_TRUE(InjectMessage(spool_, parts + "parts: 3,1\n\n" + text));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return ModemEmpty(); }, 60s)) << dir_.Read("sms.log");
  EXPECT_EQ(RecvCount(), 0);

  ASSERT_TRUE(InjectMessage(spool_, parts + "parts: 2\n\n" + text));
  ASSERT_TRUE(Eventually([&] { return RecvCount() == 1; }, 60s)) << dir_.Read("sms.log");
  EXPECT_EQ(Recv("R1"), "13012312312");
  EXPECT_EQ(Recv("DA1"), Utf8ToGbk(text));
  ASSERT_TRUE(ravelin->WaitForOutput("13012312312\n    " + text + "\n"));
  EXPECT_TRUE(Eventually([&] { return ModemEmpty(); }));
}

TEST_F(StationReceivesReal, SendersOfEveryShapeAndSevenBitTextsAreFiledRight) {
  WriteCatalogue(dir_, "query/query", "query", {{"0001", Gbk("营业时间")}});
  ASSERT_TRUE(InjectMessage(spool_, "from: 106575000000123\nsmsc: none\ncoding: 7bit\n\n"
                                    "Code {1234} costs 5€ @home"));
  ASSERT_TRUE(InjectMessage(spool_, "from: Bank\n\n*0001"));
  ASSERT_TRUE(InjectMessage(spool_, "from: 95588\nsmsc: +8613800100500\n\n余额"));
  ASSERT_TRUE(InjectMessage(spool_, "from: +447700900123\n\nhi"));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return RecvCount() == 4; }, 60s)) << dir_.Read("sms.log");

  EXPECT_EQ(Recv("R1"), "106575000000123");
  EXPECT_EQ(Recv("DA1"), Utf8ToGbk("Code {1234} costs 5€ @home"));
  EXPECT_EQ(Recv("R2"), "Bank");
  EXPECT_EQ(Recv("DA2"), "*0001");
  EXPECT_EQ(Recv("R3"), "95588");
  EXPECT_EQ(Recv("DA3"), Gbk("余额"));
  EXPECT_EQ(Recv("R4"), "+447700900123");
  EXPECT_EQ(Recv("DA4"), "hi");
  // A name could match a customer's: a query from one is not answered.
  EXPECT_EQ(dir_.Read(day_ + "/new/acc"), "");
}

TEST_F(StationReceivesReal, KilledAtRandomMomentsEveryMessageIsFiledExactlyOnce) {
  std::mt19937 random(16);
  std::map<std::string, int> sent;
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 2; ++i) {
      const std::string text = "m" + std::to_string(round) + "-" + std::to_string(i);
      ASSERT_TRUE(InjectSms(spool_, "1380000" + std::to_string(1000 + round), text));
      ++sent[text];
    }
    if (round % 5 == 0) {
      const std::string text = "long " + std::to_string(round) + " in three parts of ten";
      ASSERT_TRUE(InjectMessage(spool_, "from: 13012312312\nref: " + std::to_string(round) +
                                            "\npart-size: 10\nparts: 2,3,1\n\n" + text));
      ++sent[text];
    }
    auto ravelin = StartHeadlessRavelin(dir_, kScale);
    ASSERT_NE(ravelin, nullptr);
    ::usleep(std::uniform_int_distribution<int>(50, 700)(random) * 1000);
    ravelin->Signal(SIGKILL);
    ASSERT_TRUE(ravelin->WaitExit());
  }
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return ModemEmpty() && FiledTexts().size() == sent.size(); }, 60s))
      << dir_.Read("sms.log");
  EXPECT_EQ(FiledTexts(), sent);
}

TEST_F(StationReceivesReal, APlainStopFilesAndDeletesTheMessageInFlight) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(InjectSms(spool_, "13800000000", "t" + std::to_string(i)));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(ravelin->WaitForOutput("13800000000\n    t0\n", 60s)) << dir_.Read("sms.log");
  ravelin->Signal(SIGTERM);
  ASSERT_EQ(ravelin->WaitExit(), 0);
  // Whatever was filed was deleted, and whatever was deleted was filed.
  const std::string modem = ReadFileBytes(state_).value_or("");
  const long filed = RecvCount();
  ASSERT_GE(filed, 1);
  for (long m = 1; m <= filed; ++m) {
    EXPECT_EQ(modem.find("\"text\":\"" + Recv("DA" + std::to_string(m)) + "\""), std::string::npos);
  }
  EXPECT_EQ(Stored(), 5 - filed);
}

TEST_F(StationReceivesReal, AFullDiskKeepsEveryMessageOnTheModemUntilSpaceReturns) {
  const FullDisk disk(dir_ / day_);
  if (!disk.mounted()) GTEST_SKIP() << "a small tmpfs needs root";
  disk.Fill();
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(InjectSms(spool_, "13800000000", "d" + std::to_string(i)));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(ravelin->WaitForOutput("!!! ", 60s)) << dir_.Read("sms.log");
  // Two whole cycles with the disk full: nothing deleted, nothing counted.
  const std::string log_mark = "read_cmgl_start";
  ASSERT_TRUE(Eventually([&] {
    const std::string log = dir_.Read("sms.log");
    const auto first = log.find(log_mark);
    return first != std::string::npos && log.find(log_mark, log.find(log_mark, first + 1) + 1) !=
                                              std::string::npos;
  }, 60s));
  EXPECT_EQ(Stored(), 7);
  EXPECT_EQ(RecvCount(), 0);

  disk.MakeRoom();
  ASSERT_TRUE(Eventually([&] { return ModemEmpty() && RecvCount() == 7; }, 60s)) << dir_.Read("sms.log");
  std::map<std::string, int> expected;
  for (int i = 0; i < 7; ++i) expected["d" + std::to_string(i)] = 1;
  EXPECT_EQ(FiledTexts(), expected);
}

}  // namespace
}  // namespace tavrel::system_test
