// The engine's start-up and cycle in a temporary working directory, with a
// pseudo-terminal standing in for a modem that never answers.
#include "engine/engine_thread.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/serial.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::Slurp;
using testing::TempDir;

const bool kScaled = [] { return ::setenv("TAVREL_TIME_SCALE", "0.001", 0) == 0; }();

class RecordingMonitor : public Monitor {
 public:
  struct Call {
    std::string what;
    std::string text;
  };
  void PrependText(const std::string& text, std::size_t) override { Add("prepend", text); }
  void ReplaceText(const std::string& text) override { Add("replace", text); }
  void SetCaption(const std::string& text) override { Add("caption", text); }
  std::vector<Call> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  void Add(const char* what, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({what, text});
  }
  std::mutex mutex_;
  std::vector<Call> calls_;
};

template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// The engine works in the current directory, so each test moves into a
// fresh one and back.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
  }

  void WriteSettings(const std::string& com, const std::string& rate) {
    std::FILE* f = std::fopen(At("server.txt").c_str(), "wb");
    std::fprintf(f, "[SET]\r\nCOM=%s\r\nRATE=%s\r\nSMSCODE=8613800000000\r\n", com.c_str(), rate.c_str());
    std::fclose(f);
  }

  // A modem on a pseudo-terminal that takes whatever is written and says
  // nothing; ./modem links to it.
  void MakeSilentModem() {
    char name[256];
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    ASSERT_EQ(::symlink(name, At("modem").c_str()), 0);
    ASSERT_EQ(::fcntl(master_, F_SETFL, O_NONBLOCK), 0);
  }
  std::string Heard() {
    std::string got;
    char buffer[1024];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }
  ~EngineTest() override {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }

  TempDir dir_;
  const Station station_{dir_.path()};
  std::string At(const std::string& relative) const { return dir_.path() + "/" + relative; }
  int master_ = -1;
  int slave_ = -1;
};

void ExpectDayFolder(const std::string& day) {
  for (const char* box : {"new", "send", "recv", "qury"}) {
    EXPECT_TRUE(std::filesystem::is_directory(day + "/" + box)) << day << "/" << box;
  }
}

TEST_F(EngineTest, APortThatCannotBeOpenedEndsTheEngine) {
  WriteSettings("./no-modem", "19200");
  RecordingMonitor monitor;
  myterad engine(monitor, station_);
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(std::filesystem::exists(At("sms.log")));  // created suspended
  engine.Resume();
  ASSERT_TRUE(Eventually([&] { return engine.Ended(); }));

  const auto calls = monitor.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].what, "replace");
  EXPECT_EQ(calls[0].text, Gbk("系统已准备好，开始收发信息..................................!\r\n"));
  EXPECT_EQ(calls[1].what, "replace");
  EXPECT_EQ(calls[1].text, Gbk("数据线没有准备好，或COM口忙!\r\n数据线没有准备好，或COM口忙!"
                               "请先关闭系统，检查后重试!\r\n\r\n"));
  // A COM value with '/' is a path and is read whole.
  EXPECT_EQ(Slurp(At("sms.log")), "com=..../no-modem\r\n");
  ExpectDayFolder(At(station_.Today()));
  EXPECT_NE(engine.FailureDetail().find(At("no-modem") + ":"), std::string::npos)
      << engine.FailureDetail();
}

TEST_F(EngineTest, ARateWithoutDigitsIsRefusedAndThePortClosed) {
  MakeSilentModem();
  WriteSettings("./modem", "fast");
  RecordingMonitor monitor;
  myterad engine(monitor, station_);
  engine.Resume();
  ASSERT_TRUE(Eventually([&] { return engine.Ended(); }));

  const auto calls = monitor.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].what, "caption");
  EXPECT_EQ(calls[1].text, Gbk("Tavrelsms客户管理系统--企业服务器2.21版  "));
  EXPECT_EQ(calls[2].what, "replace");
  EXPECT_EQ(calls[2].text, Gbk("!!! 数据线没有准备好，或COM口忙!\r\n!!! 请先关闭系统，检查后重试!\r\n"));
  EXPECT_EQ(Slurp(At("sms.log")), "com=..../modem\r\nrate..fast\r\n");

  std::string why;
  EXPECT_NE(SerialPort::Open(At("modem"), &why), nullptr) << why;
  EXPECT_EQ(Heard(), "");
}

TEST_F(EngineTest, AGoodStartCyclesOverTheDaysCounters) {
  MakeSilentModem();
  WriteSettings("./modem", "19200");
  const std::string day = station_.Today();
  std::filesystem::create_directories(At(day) + "/new");
  std::filesystem::create_directories(At(day) + "/send");
  std::filesystem::create_directories(At(day) + "/recv");
  for (auto [box, n] : {std::pair{"new", "3"}, {"send", "3"}, {"recv", "2"}}) {
    std::FILE* f = std::fopen((At(day) + "/" + box + "/acc").c_str(), "wb");
    std::fputs(n, f);
    std::fclose(f);
  }

  RecordingMonitor monitor;
  myterad engine(monitor, station_);
  engine.Resume();
  const std::string cycle =
      "\r\n\r\n\r\n&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&" + Gbk("开始") + "\r\n===" + day +
      "/send/acc\r\n" + day + "/new/acc\r\n" + day + "/new/acc\r\naccI_new=3,accI_recv=2,acc_send=3\r\n";
  // Two cycles: the second starts when the first has run both phases.
  ASSERT_TRUE(Eventually([&] {
    const std::string log = Slurp(At("sms.log"));
    const auto first = log.find(cycle);
    return first != std::string::npos && log.find(cycle, first + 1) != std::string::npos;
  })) << Slurp(At("sms.log"));
  EXPECT_EQ(Slurp(At("sms.log")).rfind("com=..../modem\r\nrate..19200\r\nstar..../modem,19200\r\n" + cycle, 0), 0u);
  ExpectDayFolder(At(day));
  EXPECT_EQ(Slurp(At(day) + "/send/acc"), "3");
  EXPECT_NE(Heard().find("at+cmgl=4\r\n"), std::string::npos);
  EXPECT_FALSE(engine.Ended());

  // The engine holds its port for as long as it runs.
  std::string why;
  EXPECT_EQ(SerialPort::Open(At("modem"), &why), nullptr);
  EXPECT_NE(why.find("busy"), std::string::npos) << why;
}

TEST_F(EngineTest, ANewDayStartsWithZeroCountersAndSendsAccAtZero) {
  MakeSilentModem();
  WriteSettings("./modem", "19200");
  RecordingMonitor monitor;
  myterad engine(monitor, station_);
  engine.Resume();
  const std::string day = station_.Today();
  ASSERT_TRUE(Eventually([&] { return Slurp(At(day) + "/send/acc") == "0"; }));
  const std::string log = Slurp(At("sms.log"));
  EXPECT_NE(log.find("\r\n" + day + "/new/acc\r\naccI_new=0,accI_recv=0,acc_send=0\r\n"), std::string::npos)
      << log;
  ExpectDayFolder(At(day));
  EXPECT_FALSE(std::filesystem::exists(At(day) + "/new/acc"));
  EXPECT_FALSE(std::filesystem::exists(At(day) + "/recv/acc"));
}

TEST_F(EngineTest, AStoppedEngineWritesNothingAndGoesOnWhereItStopped) {
  MakeSilentModem();
  WriteSettings("./modem", "19200");
  RecordingMonitor monitor;
  myterad engine(monitor, station_);
  engine.Resume();
  ASSERT_TRUE(Eventually([&] { return Heard().find("at+cmgl=4") != std::string::npos; }));

  engine.Suspend();
  ASSERT_TRUE(engine.WaitSuspended(10s));
  Heard();
  const std::string log = Slurp(At("sms.log"));
  std::this_thread::sleep_for(100ms);  // many cycles' worth at this scale
  EXPECT_EQ(Slurp(At("sms.log")), log);
  EXPECT_EQ(Heard(), "");

  engine.Resume();
  ASSERT_TRUE(Eventually([&] { return Heard().find("at+cmgl=4") != std::string::npos; }));
  EXPECT_EQ(Slurp(At("sms.log")).rfind(log, 0), 0u);  // continued, not restarted
}

}  // namespace
}  // namespace tavrel
