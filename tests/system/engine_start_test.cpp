// Ravelin --headless in a temporary station, on modemsim or on no modem.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "platform/serial.h"
#include "tests/system/support/system_support.h"

namespace tavrel::system_test {
namespace {

const char* kReady = "系统已准备好，开始收发信息..................................!\n";
const char* kStarted = "-------------收发进程已经启动！\n[caption] Tavrelsms客户管理系统  ：   收发进程已启动\n";

TEST(EngineStart, ANamedPortThatIsNotThereEndsTheEngine) {
  StationDir dir;
  dir.WriteSettings({{"COM", "./nomodem"}, {"RATE", "19200"}});
  auto ravelin = StartHeadlessRavelin(dir);
  ASSERT_NE(ravelin, nullptr);
  EXPECT_EQ(ravelin->WaitExit(), 1);

  const std::string out = ravelin->output();
  EXPECT_EQ(out.find(std::string(kStarted) + kReady), 0u) << out;
  EXPECT_NE(out.find("数据线没有准备好，或COM口忙!\n数据线没有准备好，或COM口忙!请先关闭系统，检查后重试!\n"),
            std::string::npos)
      << out;
  const std::string err = ReadFileBytes(dir.root() + "/Ravelin.stderr").value_or("");
  EXPECT_NE(err.find(dir / "nomodem"), std::string::npos) << err;
  EXPECT_NE(err.find("server.txt"), std::string::npos) << err;

  EXPECT_EQ(dir.Read("sms.log"), "com=..../nomodem\r\n");
  const std::string day = dir / Station().Today();
  for (const char* box : {"new", "send", "recv", "qury"}) EXPECT_TRUE(Exists(day + "/" + box)) << box;
}

TEST(EngineStart, ARateWithoutDigitsClosesThePortAndEndsTheEngine) {
  StationDir dir;
  auto modem = StartModemsim(dir, {"--traffic-log", dir.root() + "/traffic.jsonl"});
  ASSERT_NE(modem, nullptr);
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "fast"}});
  auto ravelin = StartHeadlessRavelin(dir);
  ASSERT_NE(ravelin, nullptr);
  EXPECT_EQ(ravelin->WaitExit(), 1);

  const std::string out = ravelin->output();
  EXPECT_NE(out.find("[caption] Tavrelsms客户管理系统--企业服务器2.21版  \n"
                     "!!! 数据线没有准备好，或COM口忙!\n!!! 请先关闭系统，检查后重试!\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(dir.Read("sms.log"), "com=..../modem\r\nrate..fast\r\n");
  EXPECT_TRUE(ReadTraffic(dir.root() + "/traffic.jsonl").empty());

  // Released: the next opener gets it.
  std::string why;
  EXPECT_NE(SerialPort::Open(dir / "modem", &why), nullptr) << why;
}

TEST(EngineStart, AGoodStartCyclesAndHoldsThePort) {
  StationDir dir;
  auto modem = StartModemsim(dir, {"--traffic-log", dir.root() + "/traffic.jsonl"});
  ASSERT_NE(modem, nullptr);
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  auto ravelin = StartHeadlessRavelin(dir);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(ravelin->WaitForOutput(kStarted)) << ravelin->output();

  const std::string day = Station().Today();
  const std::string counters = "\r\n\r\n\r\n&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&" + Gbk("开始") + "\r\n===" + day +
                               "/send/acc\r\n" + day + "/new/acc\r\naccI_new=0,accI_recv=0,acc_send=0\r\n";
  // The second cycle's counter lines show that the first one went round.
  ASSERT_TRUE(Eventually([&] {
    const std::string log = dir.Read("sms.log");
    const auto first = log.find(counters);
    return first != std::string::npos && log.find(counters, first + 1) != std::string::npos;
  })) << dir.Read("sms.log");
  const std::string log = dir.Read("sms.log");
  EXPECT_EQ(log.rfind("com=..../modem\r\nrate..19200\r\nstar..../modem,19200\r\n" + counters, 0), 0u) << log;
  EXPECT_NE(log.find("read....#############cmgl=at+cmgl=4\r\r\r\nOK\r\r\n\r\n"), std::string::npos) << log;

  for (const char* box : {"new", "send", "recv", "qury"}) EXPECT_TRUE(Exists(dir / day + "/" + box)) << box;
  EXPECT_EQ(dir.Read(day + "/send/acc"), "0");

  bool listed = false;
  for (const auto& t : ReadTraffic(dir.root() + "/traffic.jsonl")) listed |= t.in && t.data == "at+cmgl=4\r\n";
  EXPECT_TRUE(listed);

  // Nobody else gets the port while the engine runs: not this process, as
  // root, nor a second station whose COM leads to the same device.
  std::string why;
  EXPECT_EQ(SerialPort::Open(dir / "modem", &why), nullptr);
  EXPECT_NE(why.find("busy"), std::string::npos) << why;
  StationDir other;
  ASSERT_EQ(::symlink((dir / "modem").c_str(), (other / "modem").c_str()), 0);
  other.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}});
  auto second = StartHeadlessRavelin(other);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitExit(), 1);
  EXPECT_NE(second->output().find("数据线没有准备好，或COM口忙!"), std::string::npos);
  EXPECT_TRUE(ravelin->running());

  EXPECT_EQ(ravelin->Stop(), 0);
  EXPECT_NE(SerialPort::Open(dir / "modem", &why), nullptr) << why;
}

TEST(EngineStart, ASecondEngineOnTheStationRefusesAndTouchesNothing) {
  StationDir dir;
  auto modem = StartModemsim(dir);
  ASSERT_NE(modem, nullptr);
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  auto first = StartHeadlessRavelin(dir);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(Eventually([&] { return dir.Read("sms.log").find("accI_new") != std::string::npos; }))
      << dir.Read("sms.log");
  const std::string log_before = dir.Read("sms.log");
  const std::string lock_before = dir.Read("state/engine.lock");
  char link_before[256] = {};
  ASSERT_GT(::readlink((dir / "modem").c_str(), link_before, sizeof link_before - 1), 0);

  auto second = StartHeadlessRavelin(dir);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitExit(), 1);
  EXPECT_EQ(second->output(), "");
  const std::string err = ReadFileBytes(dir.root() + "/Ravelin.stderr").value_or("");
  EXPECT_NE(err.find("held by the engine of process " + std::to_string(first->pid())),
            std::string::npos)
      << err;

  // The first one's trace was not truncated, its lock note and its modem
  // link are as they were, and it goes on cycling.
  EXPECT_EQ(dir.Read("sms.log").rfind(log_before, 0), 0u);
  EXPECT_EQ(dir.Read("state/engine.lock"), lock_before);
  EXPECT_EQ(lock_before, std::to_string(first->pid()) + " engine\n");
  char link_after[256] = {};
  ASSERT_GT(::readlink((dir / "modem").c_str(), link_after, sizeof link_after - 1), 0);
  EXPECT_STREQ(link_after, link_before);
  EXPECT_TRUE(first->running());
  EXPECT_TRUE(Eventually([&] { return dir.Read("sms.log").size() > log_before.size(); }));
  EXPECT_EQ(first->Stop(), 0);
}

}  // namespace
}  // namespace tavrel::system_test
