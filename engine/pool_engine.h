#pragma once
// One modem's engine in a pool: what it shares with the others (the
// dispatcher, the status file, the turn at filing into recv) and the cycle
// it runs on its own port. The thread, the port and its reopening are the
// one-modem engine's own (engine_thread.h).
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/dispatcher.h"
#include "engine/monitor.h"
#include "engine/phases.h"
#include "engine/send_guards.h"
#include "platform/station.h"
#include "store/engine_status.h"
#include "store/modem_list.h"

namespace tavrel {

// state/status for every modem of the pool, each engine updating its own
// line; the console's strip reads the same through Snapshot.
class PoolStatus {
 public:
  PoolStatus(const Station& station, const std::vector<ModemSetting>& modems);

  // state: up, sending, waiting, gone. A cycle's end also sets last_cycle.
  void Update(std::size_t slot, const char* state, long sent_today, long long until = 0,
              bool cycle_ended = false, long cycle_seconds = 0, const std::string& note = {});
  // Stopped engines write nothing; the strip shows them paused.
  void SetPaused(bool paused);
  EngineStatus Snapshot() const;

 private:
  const Station station_;
  mutable std::mutex mutex_;
  EngineStatus status_;
  bool paused_ = false;
};

// One modem's place in the pool; touched only by its engine's thread, apart
// from the shared pieces it points to.
struct PoolSeat {
  ModemSetting modem;
  std::size_t slot = 0;
  Dispatcher* dispatcher = nullptr;
  PoolStatus* status = nullptr;
  std::mutex* filing = nullptr;
  // The engine's own state from cycle to cycle.
  std::unique_ptr<SendGuards> guards;  // the modem's opt-outs, caps and quiet hours
  std::string day;
  long sent_today = 0;
  // Bring the modem back (ESC, AT) before its next send; at the start too,
  // as a station killed mid-send may have left it waiting for a PDU.
  bool check_modem = true;

  // ./sms.log for the first modem, ./sms<n>.log for COM<n>.
  std::string LogName() const;
};

// Monitor lines of one modem of a pool, each marked with its port's key, so
// that the operator can tell the modems apart; a replaced text becomes a
// marked line too, as the box is shared.
class MarkedMonitor : public Monitor {
 public:
  MarkedMonitor(Monitor& monitor, std::string key) : monitor_(monitor), mark_(key + ": ") {}
  void PrependText(const std::string& text, std::size_t reset_above = 0) override;
  void ReplaceText(const std::string& text) override { PrependText(text); }
  void SetCaption(const std::string& text) override { monitor_.SetCaption(text); }

 private:
  Monitor& monitor_;
  std::string mark_;
};

// Marks every line of text that has something on it.
std::string MarkLines(const std::string& text, const std::string& mark);

// One cycle of a pool's engine: recipients from the dispatcher for as long
// as it has some for this modem, then the receive phase on its own modem.
// present: whether the port's device is there now.
void RunPoolCycle(CycleContext& cycle, PoolSeat& seat, const std::function<bool()>& present);

}  // namespace tavrel
