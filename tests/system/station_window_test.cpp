// Ravelin's window over a modem that answers noise and then nothing: the
// window keeps answering and its start and stop buttons keep working. The
// window runs on Xvfb; the test clicks it as a person would and pings it
// from outside the process.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"
#include "tests/system/support/station_x11.h"

namespace tavrel::system_test {
namespace {

// The window's client size and the centres of its start and stop buttons,
// as the console lays them out.
constexpr int kWindowWidth = 756;
constexpr int kWindowHeight = 496;
constexpr int kStartX = 6 + 75, kStopX = 160 + 75, kButtonY = 462 + 14;
// A window thread that takes longer than this to answer is taken for hung;
// a healthy one needs a few milliseconds.
constexpr auto kAnswerDeadline = 5s;

class StationWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed (apt-get install xvfb)";
    // Xvfb picks a free display itself and writes its number once it is ready.
    Child::Options x;
    x.args = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-ac", "-nolisten", "tcp"};
    x.stderr_path = dir_.root() + "/Xvfb.stderr";
    std::string error;
    xvfb_ = Child::Start(x, &error);
    ASSERT_NE(xvfb_, nullptr) << error;
    ASSERT_TRUE(xvfb_->WaitForOutput("\n")) << ReadFileBytes(x.stderr_path).value_or("");
    const int display = std::atoi(xvfb_->output().c_str());
    probe_ = XProbe::Connect(display, &error);
    ASSERT_NE(probe_, nullptr) << error;

    WriteStationSettings(dir_, FreeLoopbackPort());
    modem_ = StartModemsim(dir_, {"--spool", spool_, "--sent-log", sent_log_});
    ASSERT_NE(modem_, nullptr);
    Child::Options options;
    options.args = {Program("Ravelin"), "--dir", dir_.station()};
    options.env = {{"TAVREL_TIME_SCALE", "0.02"}, {"DISPLAY", ":" + std::to_string(display)},
                   {"QT_QPA_PLATFORM", "xcb"}};
    options.stderr_path = dir_.root() + "/Ravelin.stderr";
    ravelin_ = Child::Start(options, &error);
    ASSERT_NE(ravelin_, nullptr) << error;
    ASSERT_TRUE(Eventually([&] {
      window_ = probe_->FindWindow(kWindowWidth, kWindowHeight);
      return window_.id != 0 || !ravelin_->running();
    })) << ReadFileBytes(options.stderr_path).value_or("");
    ASSERT_NE(window_.id, 0u) << ReadFileBytes(options.stderr_path).value_or("");
  }

  void Click(int x, int y) {
    ASSERT_TRUE(probe_->Click(window_.x + x, window_.y + y)) << probe_->error();
    // The answer comes after the click: the window thread has handled it.
    ASSERT_TRUE(Answers());
  }

  bool Answers() {
    const auto asked = Clock::now();
    if (!probe_->Ping(window_, kAnswerDeadline)) {
      ADD_FAILURE() << "the window did not answer within " << kAnswerDeadline.count() << " s: " << probe_->error();
      return false;
    }
    slowest_ = std::max(slowest_, Clock::now() - asked);
    return true;
  }

  // Waits for condition while pinging the window over and over.
  bool WhileAnswering(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (!Answers()) return false;
      if (condition()) return true;
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);  // the pace of the pings, not a wait for the engine
    }
  }

  void FileRecord(long n) { FileOutboxRecord(dir_, n, "1300000000" + std::to_string(n), "window " + std::to_string(n)); }
  long Handled() { return StoredCounter(dir_, day_, "send"); }

  StationDir dir_;
  const std::string day_ = Station().Today();
  std::string spool_ = dir_.root() + "/spool";
  std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::unique_ptr<Child> xvfb_;
  std::unique_ptr<XProbe> probe_;
  std::unique_ptr<Child> modem_;
  std::unique_ptr<Child> ravelin_;
  XProbe::Window window_;
  Clock::duration slowest_{};
};

TEST_F(StationWindow, NoiseAndSilenceFromTheModemNeitherStopNorHoldTheWindow) {
  // The window opens with the engine stopped: nothing is sent until start.
  FileRecord(1);
  ASSERT_TRUE(Answers());
  EXPECT_FALSE(Exists(dir_ / "sms.log"));
  Click(kStartX, kButtonY);
  ASSERT_TRUE(WhileAnswering([&] { return Handled() == 1; }, 30s)) << dir_.Read("sms.log");
  EXPECT_EQ(ReadSentLog(sent_log_).size(), 1u);

  // Noise and silence cost the recipient nothing: its record waits for the
  // modem, and the window keeps answering meanwhile.
  ASSERT_TRUE(ControlModem(spool_, "garbage on"));
  FileRecord(2);
  const auto noisy_until = Clock::now() + 1500ms;
  WhileAnswering([&] { return Clock::now() > noisy_until; }, 5s);
  EXPECT_EQ(Handled(), 1) << "a record was given up while the modem answered noise";
  ASSERT_TRUE(ControlModem(spool_, "garbage off"));
  ASSERT_TRUE(WhileAnswering([&] { return Handled() == 2; }, 30s));
  ASSERT_TRUE(ControlModem(spool_, "silent on"));
  FileRecord(3);
  const auto silent_until = Clock::now() + 1500ms;
  WhileAnswering([&] { return Clock::now() > silent_until; }, 5s);
  EXPECT_EQ(Handled(), 2) << "a record was given up while the modem said nothing";

  // Stopped from the window while the modem says nothing: the records wait,
  // through many cycles' worth of time, until the next start.
  Click(kStopX, kButtonY);
  ASSERT_TRUE(ControlModem(spool_, "silent off"));
  FileRecord(4);
  const auto stopped_until = Clock::now() + 1500ms;
  WhileAnswering([&] { return Clock::now() > stopped_until; }, 5s);
  EXPECT_EQ(Handled(), 2) << "the stop button did not stop the engine";
  Click(kStartX, kButtonY);
  ASSERT_TRUE(WhileAnswering([&] { return Handled() == 4; }, 30s));

  std::vector<std::string> to;
  for (const SentSms& sms : ReadSentLog(sent_log_)) to.push_back(sms.to);
  EXPECT_EQ(to, (std::vector<std::string>{"13000000001", "13000000002", "13000000003",
                                         "13000000004"}));
  EXPECT_TRUE(ravelin_->running());
  std::printf("the slowest answer of the window took %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(slowest_).count()));
}

}  // namespace
}  // namespace tavrel::system_test
