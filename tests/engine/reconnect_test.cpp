// A modem that goes away while the engine runs and comes back under the same
// name, as a USB modem unplugged and plugged in again: pseudo-terminals stand
// in for it, the link ./modem for its device node.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_thread.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/serial.h"
#include "store/record_store.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::Slurp;
using testing::TempDir;

const bool kScaled = [] { return ::setenv("TAVREL_TIME_SCALE", "0.001", 0) == 0; }();

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A modem on a pseudo-terminal, linked as link. With `answering` it takes
// every send (the PDU's Ctrl-Z) with OK and lists nothing; otherwise it is
// silent. Unplug closes its side and removes the link, as the device node
// of an unplugged USB modem disappears.
class PtyModem {
 public:
  PtyModem(std::string link, bool answering) : link_(std::move(link)) {
    char name[256];
    int slave = -1;
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    ::close(slave);  // the pseudo-terminal lives while its master is open
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(name, link_);
    if (answering) answerer_ = std::thread([this] { Answer(); });
  }
  ~PtyModem() { Unplug(); }

  void Unplug() {
    stop_ = true;
    if (answerer_.joinable()) answerer_.join();
    if (master_ >= 0) {
      std::error_code ignored;
      std::filesystem::remove(link_, ignored);
      ::close(master_);
      master_ = -1;
    }
  }

  std::string Heard() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!answerer_.joinable()) Drain();
    return heard_;
  }

  // The line settings of the device as the engine left them.
  termios Settings() const {
    termios settings{};
    ::tcgetattr(master_, &settings);  // a master reports its slave's settings
    return settings;
  }

 private:
  void Drain() {
    char buffer[1024];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0) heard_.append(buffer, static_cast<std::size_t>(n));
  }

  void Answer() {
    std::size_t sends = 0;
    std::size_t listings = 0;
    std::size_t checks = 0;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      ::poll(&p, 1, 5);
      std::lock_guard<std::mutex> lock(mutex_);
      Drain();
      for (auto at = heard_.find('\x1a', sends); at != std::string::npos; at = heard_.find('\x1a', sends)) {
        Reply("\r\n+CMGS: 1\r\n\r\nOK\r\n");
        sends = at + 1;
      }
      for (auto at = heard_.find("at+cmgl=4\r\n", listings); at != std::string::npos;
           at = heard_.find("at+cmgl=4\r\n", listings)) {
        Reply("\r\nOK\r\n");
        listings = at + 1;
      }
      for (auto at = heard_.find("AT\r\n", checks); at != std::string::npos;
           at = heard_.find("AT\r\n", checks)) {
        Reply("\r\nOK\r\n");
        checks = at + 1;
      }
    }
  }
  void Reply(std::string_view text) { [[maybe_unused]] auto n = ::write(master_, text.data(), text.size()); }

  int master_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string heard_;
  std::thread answerer_;
  const std::string link_;
};

class LinesMonitor : public Monitor {
 public:
  void PrependText(const std::string& text, std::size_t) override { Add(text); }
  void ReplaceText(const std::string& text) override { Add(text); }
  void SetCaption(const std::string&) override {}
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  bool Shown(const std::string& utf8) {
    const std::string gbk = Gbk(utf8);
    for (const std::string& line : lines()) {
      if (line == gbk) return true;
    }
    return false;
  }

 private:
  void Add(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class Reconnect : public ::testing::Test {
 protected:
  void SetUp() override {
    std::FILE* f = std::fopen(At("server.txt").c_str(), "wb");
    std::fputs("[SET]\r\nCOM=./modem\r\nRATE=9600\r\nSMSCODE=8613800000000\r\n", f);
    std::fclose(f);
  }

  TempDir dir_;
  const Station station_{dir_.path()};
  std::string At(const std::string& relative) const { return dir_.path() + "/" + relative; }
};

TEST_F(Reconnect, ASerialPortKnowsWhenItsDeviceHasGone) {
  {
    PtyModem modem(At("modem"), false);
    std::string why;
    auto port = SerialPort::Open(At("modem"), &why);
    ASSERT_NE(port, nullptr) << why;
    EXPECT_TRUE(port->CheckStillThere());
    EXPECT_EQ(port->Read(4), "");  // silence is not a loss
    EXPECT_FALSE(port->Lost());
    modem.Unplug();
    EXPECT_EQ(port->Read(4), "");
    EXPECT_TRUE(port->Lost());
    EXPECT_NE(port->LossReason().find(At("modem")), std::string::npos) << port->LossReason();
    port->Write("at\r\n");  // a write into the dead handle changes nothing
    EXPECT_TRUE(port->Lost());
  }
  {
    // The node goes but the handle stays quiet: another device now has the name.
    PtyModem first(At("modem"), false);
    std::string why;
    auto port = SerialPort::Open(At("modem"), &why);
    ASSERT_NE(port, nullptr) << why;
    PtyModem second(At("modem"), false);
    EXPECT_FALSE(port->Lost());
    EXPECT_FALSE(port->CheckStillThere());
    EXPECT_NE(port->LossReason().find("another device"), std::string::npos) << port->LossReason();
  }
}

TEST_F(Reconnect, TheEngineWaitsForTheModemWhileItIsAwayAndSendsOnceItIsBack) {
  auto modem = std::make_unique<PtyModem>(At("modem"), true);
  LinesMonitor monitor;
  myterad engine(monitor, station_);
  engine.Resume();
  ASSERT_TRUE(Eventually([&] { return modem->Heard().find("at+cmgl=4\r\n") != std::string::npos; }));

  modem->Unplug();
  ASSERT_TRUE(WriteOutboxRecord(station_, "13000000001", "while away").ok());
  const std::string day = station_.Today();
  ASSERT_TRUE(Eventually([&] { return monitor.Shown("!!! 数据线断开，正在重新连接...\r\n"); }));
  // A modem that is gone costs the recipient no attempt: the engine waits.
  ASSERT_TRUE(Eventually([&] {
    return monitor.Shown("13000000001   0    调制解调器故障，等待后重试: no answer\r\n");
  })) << Slurp(At("sms.log"));
  EXPECT_FALSE(monitor.Shown("13000000001   0    发送失败!!!!!\r\n"));
  EXPECT_NE(Slurp(At(day) + "/send/acc"), "1");
  EXPECT_FALSE(engine.Ended());
  // The engine looks for the device again and again, not just once.
  ASSERT_TRUE(Eventually([&] {
    const std::string log = Slurp(At("sms.log"));
    const auto first = log.find("com=..../modem reopen failed: ");
    return first != std::string::npos && log.find("com=..../modem reopen failed: ", first + 1) != std::string::npos;
  })) << Slurp(At("sms.log"));

  modem = std::make_unique<PtyModem>(At("modem"), true);  // plugged in again, on another device
  ASSERT_TRUE(Eventually([&] { return monitor.Shown("数据线已重新连接。\r\n"); })) << Slurp(At("sms.log"));
  ASSERT_TRUE(Eventually([&] { return monitor.Shown("13000000001   0    发送成功.\r\n"); }))
      << Slurp(At("sms.log"));
  ASSERT_TRUE(WriteOutboxRecord(station_, "13000000002", "after return").ok());
  // A loaded machine may let the first reply come late; it is a success all the same.
  ASSERT_TRUE(Eventually([&] {
    for (int attempt = 0; attempt < 6; ++attempt) {
      if (monitor.Shown("13000000002   " + std::to_string(attempt) + "    发送成功.\r\n")) return true;
    }
    return false;
  })) << Slurp(At("sms.log"));

  // Opened with the same line settings as at start, and held exclusively.
  const termios settings = modem->Settings();
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
  std::string why;
  EXPECT_EQ(SerialPort::Open(At("modem"), &why), nullptr);
  const std::string log = Slurp(At("sms.log"));
  EXPECT_NE(log.find("com=..../modem lost: " + At("modem")), std::string::npos) << log;
  EXPECT_NE(log.find("com=..../modem reopened, rate..9600\r\n"), std::string::npos) << log;
  // Each is announced once: the loss before the waits, the return after.
  const auto lines = monitor.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Gbk("!!! 数据线断开，正在重新连接...\r\n")), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Gbk("数据线已重新连接。\r\n")), 1);
}

}  // namespace
}  // namespace tavrel
