// The engine in this process on a station whose clock the test sets, sending
// through modemsim across midnight.
#include <atomic>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "engine/engine_thread.h"
#include "engine/monitor.h"
#include "platform/station.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

class SetClock : public tavrel::Clock {
 public:
  explicit SetClock(std::time_t now) : now_(now) {}
  std::tm LocalNow() const override {
    const std::time_t now = now_.load();
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
  }
  void Set(std::time_t now) { now_.store(now); }

 private:
  std::atomic<std::time_t> now_;
};

class QuietMonitor : public Monitor {
 public:
  void PrependText(const std::string&, std::size_t) override {}
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
};

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

// Once, a record filed into a day's outbox after that day's last cycle had
// begun was never sent. Record 2 is filed while the last cycle before
// midnight sends record 1; the first cycle of the new day finishes the old
// day's outbox before its own.
TEST(EngineDay, ARecordFiledDuringTheLastCycleBeforeMidnightIsStillSent) {
  setenv("TAVREL_TIME_SCALE", "0.02", 0);  // the engine here and modemsim alike
  StationDir dir;
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"},
                     {"PACE", "prompt"}});
  const std::string sent_log = dir.root() + "/sent.jsonl";
  // A slow result keeps record 1 in flight while record 2 is filed.
  auto modem = StartModemsim(dir, {"--sent-log", sent_log, "--result-delay", "10000"});
  ASSERT_NE(modem, nullptr);
  SetClock before_midnight(LocalTime(2026, 3, 1, 23, 59, 58));
  SetClock engine_clock(LocalTime(2026, 3, 1, 23, 59, 58));
  const Station old_day(dir.station(), &before_midnight);
  ASSERT_TRUE(WriteOutboxRecord(old_day, "13000000001", "before midnight"));

  QuietMonitor monitor;
  myterad engine(monitor, Station(dir.station(), &engine_clock));
  engine.Resume();
  ASSERT_TRUE(
      Eventually([&] { return dir.Read("sms.log").find("star....1,") != std::string::npos; }));
  ASSERT_TRUE(WriteOutboxRecord(old_day, "13000000002", "filed during the last cycle"));
  engine_clock.Set(LocalTime(2026, 3, 2, 0, 0, 1));

  ASSERT_TRUE(Eventually([&] { return StoredCounter(dir, "2026-3-1", "send") == 2; }, 60s))
      << dir.Read("sms.log");
  const std::vector<SentSms> sent = ReadSentLog(sent_log);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].to, "13000000002");
  EXPECT_NE(dir.Read("sms.log").find("the outbox of 2026-3-1 is finished first: records 2 to 2"),
            std::string::npos);
  EXPECT_NE(dir.Read("2026-3-1/send/J2").find("|sent|2026-3-2 00:00:01|"), std::string::npos);
}

}  // namespace
}  // namespace tavrel::system_test
