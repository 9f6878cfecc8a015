// Quiet hours beginning in the middle of a record, against a scripted modem
// and a clock the test moves: the record stops before its next recipient,
// the station's own reply behind it still goes, send's acc stays before the
// held record, and the record resumes where it stopped once the night ends.
#include <ctime>

#include <gtest/gtest.h>

#include "engine/phases.h"
#include "engine/send_guards.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "store/reply_log.h"
#include "store/settings.h"
#include "store/state_lines.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using testing::RecordingPacer;
using testing::ScriptedPort;
using testing::Slurp;
using testing::TempDir;

constexpr const char* kAccepted = "\r\n+CMGS: 1\r\n\r\nOK\r\n";

class SetClock : public Clock {
 public:
  std::tm LocalNow() const override { return now; }
  void Set(int day, int hour, int minute) {
    now = std::tm{};
    now.tm_year = 2026 - 1900;
    now.tm_mon = 11;
    now.tm_mday = day;
    now.tm_hour = hour;
    now.tm_min = minute;
    now.tm_isdst = -1;
    std::mktime(&now);
  }
  std::tm now{};
};

class ActingMonitor : public Monitor {
 public:
  void PrependText(const std::string& text, std::size_t) override {
    lines.push_back(text);
    if (on_line) on_line(text);
  }
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  std::function<void(const std::string&)> on_line;
  std::vector<std::string> lines;
};

TEST(SendHolds, QuietHoursStopARecordBetweenRecipientsAndLetTheStationsReplyGo) {
  TempDir dir;
  SetClock clock;
  clock.Set(7, 20, 59);
  const Station station(dir.path(), &clock);
  WriteSetting(station, "SMSCODE", "8613800000000");
  WriteSetting(station, "QUIET", "21:00-08:00");
  const std::string day = "2026-12-7";
  ASSERT_TRUE(WriteOutboxRecord(station, "13000000001\n13000000002\n13000000003", "promo"));
  ASSERT_TRUE(WriteOutboxRecord(station, "13000000009", "reply"));
  ASSERT_TRUE(ReplyLog(station, StationSeconds(station)).NoteReply(day, 2, "13000000009"));

  ScriptedPort port;
  port.Script(std::vector<std::string>(4, kAccepted));
  RecordingPacer pacer;
  EngineLog trace;
  ActingMonitor monitor;
  // Nine o'clock strikes while the first recipient is being sent.
  monitor.on_line = [&](const std::string&) { clock.Set(7, 21, 0); };
  SendGuards guards(station, "COM");
  CycleContext cycle{station, day, 0, 0, 2, port, pacer, trace, monitor};
  cycle.guards = &guards;
  SendPhase(cycle);

  std::vector<JournalEntry> promo = ReadJournal(station, day, 1);
  ASSERT_EQ(promo.size(), 1u);
  EXPECT_EQ(promo[0].number, "13000000001");
  ASSERT_EQ(ReadJournal(station, day, 2).size(), 1u);
  EXPECT_EQ(ReadJournal(station, day, 2)[0].number, "13000000009");
  EXPECT_EQ(Slurp(CounterPath(MailboxDir(station, day, kSendBox))), "");
  ASSERT_TRUE(guards.EarliestHold());
  const std::string sent = Gbk("    发送成功.\r\n");
  EXPECT_EQ(monitor.lines,
            (std::vector<std::string>{"13000000001   0" + sent,
                                      "COM " + Gbk("静默时段，08:00 后发送") + "\r\n",
                                      "13000000009   0" + sent}));

  // The next morning, in the cycle that finishes the day before.
  monitor.on_line = nullptr;
  clock.Set(8, 8, 0);
  guards.BeginCycle();
  SendPhase(cycle);
  promo = ReadJournal(station, day, 1);
  ASSERT_EQ(promo.size(), 3u);
  EXPECT_EQ(promo[1].number, "13000000002");
  EXPECT_EQ(promo[2].number, "13000000003");
  EXPECT_EQ(ReadJournal(station, day, 2).size(), 1u);  // the reply is not sent again
  EXPECT_EQ(Slurp(CounterPath(MailboxDir(station, day, kSendBox))), "2");
  EXPECT_FALSE(guards.EarliestHold());
}

}  // namespace
}  // namespace tavrel
