#include "engine/engine_thread.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <unistd.h>

#include "engine/engine_log.h"
#include "engine/exchange.h"
#include "engine/link.h"
#include "engine/phases.h"
#include "engine/send_guards.h"
#include "engine/pool_engine.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "platform/serial.h"
#include "platform/station.h"
#include "store/engine_status.h"
#include "store/record_store.h"
#include "store/state_lines.h"
#include "store/settings.h"

namespace tavrel {
namespace {

constexpr const char* kReadyText =
    "系统已准备好，开始收发信息..................................!\r\n";
constexpr const char* kOpenFailedText =
    "数据线没有准备好，或COM口忙!\r\n数据线没有准备好，或COM口忙!请先关闭系统，检查后重试!\r\n\r\n";
constexpr const char* kSettingsRefusedText =
    "!!! 数据线没有准备好，或COM口忙!\r\n!!! 请先关闭系统，检查后重试!\r\n";
// The window's first caption, with the two blanks the engine leaves after it.
constexpr const char* kSettingsRefusedCaption = "Tavrelsms客户管理系统--企业服务器2.21版  ";
constexpr const char* kLineLostText = "!!! 数据线断开，正在重新连接...\r\n";
constexpr const char* kLineBackText = "数据线已重新连接。\r\n";
// How often a vanished modem is looked for; a USB modem that is plugged in
// again takes about this long to be registered anyway.
constexpr std::chrono::milliseconds kReopenInterval{5000};

class ThreadPacer : public Pacer {
 public:
  ThreadPacer(std::function<void(std::chrono::milliseconds)> pause, std::function<void()> checkpoint,
              std::function<void(bool)> must_finish)
      : pause_(std::move(pause)),
        checkpoint_(std::move(checkpoint)),
        must_finish_(std::move(must_finish)) {}
  void Pause(std::chrono::milliseconds nominal) override { pause_(nominal); }
  void Checkpoint() override { checkpoint_(); }
  void BeginMustFinish() override { must_finish_(true); }
  void EndMustFinish() override { must_finish_(false); }

 private:
  std::function<void(std::chrono::milliseconds)> pause_;
  std::function<void()> checkpoint_;
  std::function<void(bool)> must_finish_;
};

// The serial port as the link sees it: a stopped engine neither writes to
// nor reads from the modem.
//
// A modem that goes away (a USB modem unplugged, a cable pulled) leaves a
// handle that only fails, and writing into it for ever would lose every
// later message. The port then lets the handle go and opens the same device
// again, with the same line settings, at a paced interval. While it is away,
// writes go nowhere and reads find nothing, so the phases go on cycling and
// report exactly what they report for a modem that does not answer. The
// device is taken up again only when the engine next reads, so that the
// first bytes it gets begin a command line, never the middle of an exchange.
class EnginePort : public Port {
 public:
  // com is the value as configured, for the trace; device is where it is.
  EnginePort(std::unique_ptr<SerialPort> serial, std::string com, std::string device,
             std::string rate, int wake_fd, Pacer& pacer, EngineLog& trace, Monitor& monitor)
      : serial_(std::move(serial)),
        com_(std::move(com)),
        device_(std::move(device)),
        rate_(std::move(rate)),
        wake_fd_(wake_fd),
        pacer_(pacer),
        trace_(trace),
        monitor_(monitor) {}

  void Write(std::string_view bytes) override {
    pacer_.Checkpoint();
    if (!serial_) return;
    serial_->Write(bytes);
    LetGoIfLost();
  }

  // False while the device is away.
  bool Present() const { return serial_ != nullptr; }

  std::string Read(std::size_t max) override {
    pacer_.Checkpoint();
    if (!serial_) {
      if (Clock::now() >= next_reopen_) Reopen();
      return {};
    }
    std::string bytes = serial_->Read(max);
    if (bytes.empty()) serial_->CheckStillThere();
    LetGoIfLost();
    return bytes;
  }

 private:
  using Clock = std::chrono::steady_clock;

  void LetGoIfLost() {
    if (!serial_->Lost()) return;
    trace_.Printf("com=...%s lost: %s\n", com_.c_str(), serial_->LossReason().c_str());
    monitor_.PrependText(Gbk(kLineLostText));
    serial_.reset();  // lets the exclusive hold go with the handle
    next_reopen_ = Clock::now();
  }

  void Reopen() {
    std::string why;
    std::unique_ptr<SerialPort> serial = SerialPort::Open(device_, &why);
    if (serial && !serial->Configure(rate_, &why)) serial.reset();
    if (!serial) {
      trace_.Printf("com=...%s reopen failed: %s\n", com_.c_str(), why.c_str());
      next_reopen_ = Clock::now() + Paced(kReopenInterval);
      return;
    }
    serial->ApplyTimeoutsAndPurge();
    serial->SetWakeFd(wake_fd_);
    serial_ = std::move(serial);
    trace_.Printf("com=...%s reopened, rate..%s\n", com_.c_str(), rate_.c_str());
    monitor_.PrependText(Gbk(kLineBackText));
  }

  std::unique_ptr<SerialPort> serial_;  // null while the device is away
  const std::string com_;
  const std::string device_;
  const std::string rate_;
  const int wake_fd_;
  Pacer& pacer_;
  EngineLog& trace_;
  Monitor& monitor_;
  Clock::time_point next_reopen_;
};

long CounterOrZero(std::optional<long> counter) {
  return counter && *counter >= 1 ? *counter : 0;
}

// The day before today's, from the station's clock.
std::string Yesterday(const Station& station) {
  std::tm local = station.clock().LocalNow();
  local.tm_mday -= 1;
  local.tm_isdst = -1;
  std::mktime(&local);
  return DayFolderName(local);
}

// A record filed into a day's outbox after that day's last cycle began would
// otherwise never be sent: the first cycle of a new day, and the first after
// a start, finish the day before first. Nothing is traced when it has
// nothing waiting.
void FinishEarlierDay(const Station& station, const std::string& day, Port& port, Pacer& pacer,
                      EngineLog& trace, Monitor& monitor, Exchange& exchange, SendGuards& guards) {
  CycleContext earlier{station, day, 0, 0, 0, port, pacer, trace, monitor, &exchange};
  earlier.guards = &guards;
  earlier.send_acc = CounterOrZero(ReadMailboxCounter(station, day, kSendBox));
  earlier.new_acc = CounterOrZero(ReadMailboxCounter(station, day, kNewBox));
  if (earlier.new_acc <= earlier.send_acc) return;
  earlier.recv_acc = CounterOrZero(ReadMailboxCounter(station, day, kRecvBox));
  trace.Printf("the outbox of %s is finished first: records %ld to %ld\n", day.c_str(),
               earlier.send_acc + 1, earlier.new_acc);
  SendPhase(earlier);
}

// The engine's side of state/status: rewritten when a cycle begins to send
// and when it ends, so a reader sees a stale file only when the engine hangs
// or is gone.
class StatusKeeper {
 public:
  StatusKeeper(const Station& station, std::string com) : station_(station) {
    status_.pid = static_cast<long>(::getpid());
    ModemStatus modem;
    modem.key = std::string(settings::kEngineCom.key);
    modem.port = std::move(com);
    status_.modems.push_back(std::move(modem));
  }

  long* SentCount() { return &sent_today_; }

  void CycleBegins(const std::string& day, bool present, bool sending) {
    if (day != day_) sent_today_ = 0;
    day_ = day;
    started_ = StationSeconds(station_);
    const bool waiting = status_.modems.front().until > started_;
    Write(present ? (waiting ? "waiting" : sending ? "sending" : "up") : "gone");
  }

  // hold: what kept the modem from sending in this cycle, if anything.
  void CycleEnds(bool present, const std::optional<Hold>& hold, const std::string& hold_text) {
    ModemStatus& modem = status_.modems.front();
    const long long now = StationSeconds(station_);
    modem.last_cycle = now;
    modem.until = hold ? hold->until : 0;
    modem.note = hold ? hold_text : std::string();
    status_.cycle_seconds = static_cast<long>(now - started_);
    Write(present ? (hold ? "waiting" : "up") : "gone");
  }

 private:
  void Write(const char* state) {
    ModemStatus& modem = status_.modems.front();
    modem.state = state;
    modem.sent_today = sent_today_;
    status_.written = StationSeconds(station_);
    WriteEngineStatus(station_, status_);
  }

  const Station& station_;
  EngineStatus status_;
  std::string day_;
  long sent_today_ = 0;
  long long started_ = 0;
};

// last_day: the day of the cycle before, empty before the first.
void RunCycle(const Station& station, EnginePort& port, Pacer& pacer, EngineLog& trace,
              Monitor& monitor, std::string& last_day, StatusKeeper& status, SendGuards& guards) {
  const std::unique_ptr<Exchange> exchange = MakeExchange(
      PaceFromSetting(ReadSetting(station, settings::kEnginePace)), port, pacer, trace);
  CycleContext cycle{station, station.Today(), 0, 0, 0, port, pacer, trace, monitor,
                     exchange.get()};
  cycle.sent_count = status.SentCount();
  cycle.guards = &guards;
  guards.BeginCycle();
  // Yesterday is looked at in every cycle: quiet hours may hold its records
  // past midnight.
  const std::string earlier =
      last_day.empty() || last_day == cycle.day ? Yesterday(station) : last_day;
  last_day = cycle.day;
  FinishEarlierDay(station, earlier, port, pacer, trace, monitor, *exchange, guards);
  pacer.Checkpoint();
  EnsureDayFolder(station, cycle.day);
  trace.Printf("\n\n\n&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&%s\n===%s\n", Gbk("开始").c_str(),
               CounterFileName(cycle.day, kSendBox).c_str());
  cycle.send_acc = CounterOrZero(ReadMailboxCounter(station, cycle.day, kSendBox));
  cycle.recv_acc = CounterOrZero(ReadMailboxCounter(station, cycle.day, kRecvBox));
  const std::string new_counter = CounterFileName(cycle.day, kNewBox);
  trace.Printf("%s\n", new_counter.c_str());
  const std::optional<long> new_acc = ReadMailboxCounter(station, cycle.day, kNewBox);
  if (new_acc) trace.Printf("%s\n", new_counter.c_str());
  cycle.new_acc = CounterOrZero(new_acc);
  trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
               cycle.send_acc);
  status.CycleBegins(cycle.day, port.Present(), cycle.new_acc > cycle.send_acc);
  SendPhase(cycle);
  ReceivePhase(cycle);
  trace.Flush();
  pacer.Checkpoint();
  const std::optional<Hold> hold = guards.EarliestHold();
  status.CycleEnds(port.Present(), hold, hold ? guards.HoldText(*hold) : std::string());
}

// A modem of a pool that cannot be opened or set up is gone, not fatal: its
// port looks for it again while the other modems carry the work.
void RunPoolEngine(const Station& station, PoolSeat& seat, Monitor& monitor, int wake_fd,
                   std::unique_ptr<SerialPort> serial, const std::string& device, Pacer& pacer,
                   EngineLog& trace) {
  const std::string& com = seat.modem.com;
  const std::string& rate = seat.modem.rate;
  std::string why;
  if (serial) {
    serial->SetWakeFd(wake_fd);
    if (serial->Configure(rate, &why)) {
      serial->ApplyTimeoutsAndPurge();
      trace.Printf("rate..%s\nstar...%s,%s\n", rate.c_str(), com.c_str(), rate.c_str());
    } else {
      trace.Printf("rate..%s refused: %s\n", rate.c_str(), why.c_str());
      serial.reset();
    }
  } else {
    trace.Printf("com=...%s cannot be opened; looked for again\n", com.c_str());
  }
  if (!serial) monitor.PrependText(Gbk(kLineLostText));
  EnginePort port(std::move(serial), com, device, rate, wake_fd, pacer, trace, monitor);
  for (;;) {
    const std::unique_ptr<Exchange> exchange = MakeExchange(
        PaceFromSetting(ReadSetting(station, settings::kEnginePace)), port, pacer, trace);
    CycleContext cycle{station, station.Today(), 0, 0, 0, port, pacer, trace, monitor,
                       exchange.get()};
    cycle.modem = seat.modem.key;
    RunPoolCycle(cycle, seat, [&port] { return port.Present(); });
  }
}

}  // namespace

myterad::myterad(Monitor& monitor, Station station, PoolSeat* seat)
    : monitor_(monitor), station_(std::move(station)), seat_(seat) {}

myterad::~myterad() { StopAndJoin(); }

std::string myterad::FailureDetail() const {
  return Finished() ? failure_ : std::string();
}

void myterad::Execute() {
  ThreadPacer pacer([this](std::chrono::milliseconds nominal) { Pause(nominal); },
                    [this] { Checkpoint(); },
                    [this](bool begin) { begin ? BeginMustFinish() : EndMustFinish(); });

  monitor_.ReplaceText(Gbk(kReadyText));
  pacer.Checkpoint();
  EnsureDayFolder(station_, station_.Today());

  const std::string com = seat_ ? seat_->modem.com : ReadSetting(station_, settings::kEngineCom);
  const std::string device = ModemDevice(station_, com);
  std::string why;
  std::unique_ptr<SerialPort> serial = SerialPort::Open(device, &why);

  // The log is created whatever the open gave, so its first line always
  // names the port that was tried.
  EngineLog trace;
  pacer.Checkpoint();
  trace.Open(station_.Path(seat_ ? seat_->LogName() : "./sms.log"));
  trace.SetPacer(&pacer);
  trace.Printf("com=...%s\n", com.c_str());
  if (seat_) {
    return RunPoolEngine(station_, *seat_, monitor_, StopFd(), std::move(serial), device, pacer,
                         trace);
  }
  if (!serial) {
    failure_ = why;
    monitor_.ReplaceText(Gbk(kOpenFailedText));
    return;
  }
  serial->SetWakeFd(StopFd());

  const std::string rate = ReadSetting(station_, settings::kEngineRate);
  const bool configured = serial->Configure(rate, &why);
  trace.Printf("rate..%s\n", rate.c_str());
  if (!configured) {
    failure_ = why;
    monitor_.SetCaption(Gbk(kSettingsRefusedCaption));
    monitor_.ReplaceText(Gbk(kSettingsRefusedText));
    serial.reset();
    return;
  }
  serial->ApplyTimeoutsAndPurge();
  trace.Printf("star...%s,%s\n", com.c_str(), rate.c_str());

  EnginePort port(std::move(serial), com, device, rate, StopFd(), pacer, trace, monitor_);
  std::string last_day;
  StatusKeeper status(station_, com);
  SendGuards guards(station_, std::string(settings::kEngineCom.key));
  for (;;) RunCycle(station_, port, pacer, trace, monitor_, last_day, status, guards);
}

}  // namespace tavrel
