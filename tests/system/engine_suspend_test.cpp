// The stop and start requests of headless Ravelin (SIGUSR1, SIGUSR2) against
// modemsim: a stopped engine talks to nobody and writes nothing.
#include <signal.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "tests/system/support/system_support.h"

namespace tavrel::system_test {
namespace {

const char* kStarted = "-------------收发进程已经启动！\n";
const char* kStopped =
    "[caption] Tavrelsms客户管理系统  ：   收发进程已经停止！\n-------------收发进程已经停止！\n";

std::size_t ListingsSince(const std::string& traffic_log, double since_ms) {
  std::size_t n = 0;
  for (const auto& t : ReadTraffic(traffic_log)) n += t.in && t.ms > since_ms && t.data == "at+cmgl=4\r\n";
  return n;
}

bool AnyInputSince(const std::string& traffic_log, double since_ms) {
  for (const auto& t : ReadTraffic(traffic_log)) {
    if (t.in && t.ms > since_ms) return true;
  }
  return false;
}

TEST(EngineSuspend, AStoppedEngineIsSilentAndGoesOnWhereItStopped) {
  StationDir dir;
  const std::string traffic = dir.root() + "/traffic.jsonl";
  auto modem = StartModemsim(dir, {"--traffic-log", traffic});
  ASSERT_NE(modem, nullptr);
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}});
  auto ravelin = StartHeadlessRavelin(dir);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(ravelin->WaitForOutput(kStarted));
  ASSERT_TRUE(Eventually([&] { return ListingsSince(traffic, 0) >= 2; }));

  const std::string day = Station().Today();
  // Stop at a few different points of the cycle.
  for (int round = 0; round < 3; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(13 + 17 * round));
    const std::size_t before = ravelin->output().size();
    ravelin->Signal(SIGUSR1);
    ASSERT_TRUE(ravelin->WaitForOutput(kStopped, 20s, before)) << ravelin->output();
    const double stopped = NowMs();
    const std::string log = dir.Read("sms.log");
    const long long log_time = ModifiedNs(dir / "sms.log");
    const long long acc_time = ModifiedNs(dir / day + "/send/acc");

    // Many cycles' worth at this time scale.
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(AnyInputSince(traffic, stopped)) << "round " << round;
    EXPECT_EQ(dir.Read("sms.log"), log) << "round " << round;
    EXPECT_EQ(ModifiedNs(dir / "sms.log"), log_time);
    EXPECT_EQ(ModifiedNs(dir / day + "/send/acc"), acc_time);

    const std::size_t at = ravelin->output().size();
    ravelin->Signal(SIGUSR2);
    ASSERT_TRUE(ravelin->WaitForOutput(kStarted, 20s, at));
    const double resumed = NowMs();
    ASSERT_TRUE(Eventually([&] { return ListingsSince(traffic, resumed) >= 1; })) << "round " << round;
    // Continued from where it was, not started over.
    const std::string later = dir.Read("sms.log");
    EXPECT_GT(later.size(), log.size());
    EXPECT_EQ(later.compare(0, log.size(), log), 0) << "round " << round;
  }

  // Stop requests before a start are undone by one start.
  for (int stops = 0; stops < 2; ++stops) {
    const std::size_t before = ravelin->output().size();
    ravelin->Signal(SIGUSR1);
    ASSERT_TRUE(ravelin->WaitForOutput(kStopped, 20s, before));
  }
  const std::size_t at = ravelin->output().size();
  ravelin->Signal(SIGUSR2);
  ASSERT_TRUE(ravelin->WaitForOutput(kStarted, 20s, at));
  const double resumed = NowMs();
  EXPECT_TRUE(Eventually([&] { return ListingsSince(traffic, resumed) >= 1; }));
  EXPECT_EQ(ravelin->Stop(), 0);
}

// The pause before a listing is read is 3000 ms; the read of a short reply
// waits out its 3560 ms timeout; then 3000 ms pass before the next listing
// command. At scale 0.4 these are 1200, 1424 and 1200 ms. A stop 800 ms
// into the first pause leaves 400 ms of it for after the start.
TEST(EngineSuspend, AnInterruptedPauseFinishesItsRestAfterTheStart) {
  StationDir dir;
  const std::string traffic = dir.root() + "/traffic.jsonl";
  auto modem = StartModemsim(dir, {"--traffic-log", traffic});
  ASSERT_NE(modem, nullptr);
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}});
  auto ravelin = StartHeadlessRavelin(dir, "0.4");
  ASSERT_NE(ravelin, nullptr);

  double written = 0;  // when the listing command reached the modem
  ASSERT_TRUE(Eventually([&] {
    for (const auto& t : ReadTraffic(traffic)) {
      if (t.in && t.data == "at+cmgl=4\r\n") written = t.ms;
    }
    return written > 0;
  }));
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(written + 800 - NowMs()));
  const double stop_sent = NowMs();
  const std::size_t before = ravelin->output().size();
  ravelin->Signal(SIGUSR1);
  ASSERT_TRUE(ravelin->WaitForOutput(kStopped, 20s, before));
  std::this_thread::sleep_for(500ms);

  const double start_sent = NowMs();
  ravelin->Signal(SIGUSR2);
  double next = 0;
  ASSERT_TRUE(Eventually([&] {
    for (const auto& t : ReadTraffic(traffic)) {
      if (t.in && t.ms > start_sent && t.data == "at+cmgl=4\r\n") {
        next = t.ms;
        return true;
      }
    }
    return false;
  }));
  const double rest = 1200 - (stop_sent - written);
  const double expected = rest + 1424 + 1200;
  // Without the rest it would come 400 ms sooner, with the pause started
  // over 800 ms later.
  EXPECT_GT(next - start_sent, expected - 200) << "rest " << rest;
  EXPECT_LT(next - start_sent, expected + 300) << "rest " << rest;
  EXPECT_EQ(ravelin->Stop(), 0);
}

}  // namespace
}  // namespace tavrel::system_test
