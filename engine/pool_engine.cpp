#include "engine/pool_engine.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <utility>

#include <unistd.h>

#include "engine/recipient_send.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "store/state_lines.h"

namespace tavrel {
namespace {

// The modem's rest as the status file gives it: unix seconds.
long long RestEnd(const Station& station, Dispatcher& dispatcher, const std::string& key) {
  const std::optional<Dispatcher::Clock::time_point> until = dispatcher.RestingUntil(key);
  if (!until) return 0;
  const auto left = std::chrono::ceil<std::chrono::seconds>(*until - Dispatcher::Clock::now());
  return StationSeconds(station) + left.count();
}

// A hold the modem met, told to the operator once.
void TellHold(const CycleContext& cycle, SendGuards& guards) {
  const std::optional<Hold> hold = guards.EarliestHold();
  if (!hold || !guards.IsNewHold(*hold)) return;
  cycle.trace.Printf("%s held until %lld\n", guards.modem_key().c_str(), hold->until);
  cycle.monitor.PrependText(guards.modem_key() + " " + guards.HoldText(*hold) + "\r\n");
}

// Recipients for as long as the dispatcher has some for this modem. A
// station-side fault gives the recipient back and ends the modem's turn:
// the others carry on while it rests, and it is brought back (ESC, AT)
// before it sends again.
void PoolSendPhase(const CycleContext& cycle, PoolSeat& seat) {
  Dispatcher& dispatcher = *seat.dispatcher;
  const std::string& key = seat.modem.key;
  for (;;) {
    if (seat.check_modem) {
      if (dispatcher.RestingUntil(key)) return;
      if (!ExchangeOf(cycle).CheckModem()) {
        dispatcher.Rest(key);
        return;
      }
      seat.check_modem = false;
    }
    std::optional<PoolJob> job = dispatcher.Take(key, cycle, seat.guards.get());
    if (!job) {
      TellHold(cycle, *seat.guards);
      return;
    }
    const CycleContext on_day = CycleOnDay(cycle, job->day, 0);
    RecipientTurn turn{job->attempts, true};
    turn.guards = seat.guards.get();
    turn.own_reply = seat.guards->IsOwnReply(job->day, job->n);
    turn.index = job->index;
    const RecipientOutcome outcome = SendToRecipient(on_day, job->n, *job->message, job->line, turn);
    if (outcome.handed_back) {
      seat.check_modem = outcome.check_modem;
      dispatcher.HandBack(std::move(*job), outcome, key);
      return;
    }
    dispatcher.Finish(*job, outcome, key, cycle);
  }
}

long CounterOrZero(std::optional<long> counter) {
  return counter && *counter >= 1 ? *counter : 0;
}

}  // namespace

PoolStatus::PoolStatus(const Station& station, const std::vector<ModemSetting>& modems)
    : station_(station) {
  status_.pid = static_cast<long>(::getpid());
  for (const ModemSetting& modem : modems) {
    ModemStatus line;
    line.key = modem.key;
    line.port = modem.com;
    status_.modems.push_back(std::move(line));
  }
}

void PoolStatus::Update(std::size_t slot, const char* state, long sent_today, long long until,
                        bool cycle_ended, long cycle_seconds, const std::string& note) {
  std::lock_guard<std::mutex> lock(mutex_);
  ModemStatus& modem = status_.modems.at(slot);
  const long long now = StationSeconds(station_);
  modem.state = state;
  modem.sent_today = sent_today;
  modem.until = until;
  modem.note = note;
  if (cycle_ended) {
    modem.last_cycle = now;
    status_.cycle_seconds = cycle_seconds;
  }
  status_.written = now;
  WriteEngineStatus(station_, status_);
}

void PoolStatus::SetPaused(bool paused) {
  std::lock_guard<std::mutex> lock(mutex_);
  paused_ = paused;
}

EngineStatus PoolStatus::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  EngineStatus status = status_;
  if (paused_) {
    for (ModemStatus& modem : status.modems) modem.state = "paused";
  }
  return status;
}

std::string PoolSeat::LogName() const {
  return "./sms" + modem.key.substr(std::string_view("COM").size()) + ".log";
}

std::string MarkLines(const std::string& text, const std::string& mark) {
  std::string marked;
  bool line_start = true;
  for (char c : text) {
    if (line_start && c != '\r' && c != '\n') marked += mark;
    marked += c;
    line_start = c == '\n';
  }
  return marked;
}

void MarkedMonitor::PrependText(const std::string& text, std::size_t reset_above) {
  monitor_.PrependText(MarkLines(text, mark_), reset_above);
}

void RunPoolCycle(CycleContext& cycle, PoolSeat& seat, const std::function<bool()>& present) {
  const Station& station = cycle.station;
  EngineLog& trace = cycle.trace;
  if (cycle.day != seat.day) seat.sent_today = 0;
  seat.day = cycle.day;
  cycle.sent_count = &seat.sent_today;
  cycle.filing = seat.filing;
  if (seat.guards) {
    seat.guards->BeginCycle();
  } else {
    seat.guards = std::make_unique<SendGuards>(station, seat.modem.key);
  }
  const auto started = std::chrono::steady_clock::now();

  cycle.pacer.Checkpoint();
  EnsureDayFolder(station, cycle.day);
  trace.Printf("\n\n\n&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&%s\n===%s\n", Gbk("开始").c_str(),
               CounterFileName(cycle.day, kSendBox).c_str());
  cycle.send_acc = CounterOrZero(ReadMailboxCounter(station, cycle.day, kSendBox));
  cycle.recv_acc = CounterOrZero(ReadMailboxCounter(station, cycle.day, kRecvBox));
  cycle.new_acc = CounterOrZero(ReadMailboxCounter(station, cycle.day, kNewBox));
  trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
               cycle.send_acc);
  Dispatcher& dispatcher = *seat.dispatcher;
  // A modem held (its caps, or quiet hours over all it could send) waits as
  // one modem alone does, and so does one resting after a fault.
  const auto show = [&](bool sending, bool cycle_ended, long cycle_seconds) {
    const std::optional<Hold> hold = seat.guards->EarliestHold();
    const bool present_now = present();
    if (present_now && hold) {
      seat.status->Update(seat.slot, "waiting", seat.sent_today, hold->until, cycle_ended,
                          cycle_seconds, seat.guards->HoldText(*hold));
      return;
    }
    const long long rest_end = RestEnd(station, dispatcher, seat.modem.key);
    const char* state = !present_now ? "gone" : rest_end ? "waiting" : sending ? "sending" : "up";
    seat.status->Update(seat.slot, state, seat.sent_today, rest_end, cycle_ended, cycle_seconds);
  };
  seat.guards->CapHold(StationSeconds(station));
  show(cycle.new_acc > cycle.send_acc, false, 0);
  PoolSendPhase(cycle, seat);
  ReceivePhase(cycle);
  trace.Flush();
  cycle.pacer.Checkpoint();
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - started);
  show(false, true, static_cast<long>(took.count()));
}

}  // namespace tavrel
