#pragma once
// The two halves of every engine cycle. The engine reads the DayFolder name
// and the three counters at the top of the cycle and hands them, with the
// port, the pacer, the trace and the monitor, to each phase in turn.
//
// A phase passes the pacer's checkpoint before every file write (the port
// and the trace pass it themselves) and lets every exception through: the
// engine's tear-down leaves a phase through a checkpoint.
#include <memory>
#include <mutex>
#include <string>

#include "engine/engine_log.h"
#include "engine/exchange.h"
#include "engine/monitor.h"
#include "engine/port.h"
#include "platform/station.h"

namespace tavrel {

class SendGuards;

struct CycleContext {
  const Station& station;
  std::string day;     // DayFolder name of this cycle
  long send_acc = 0;   // counters read at the top of the cycle; absent or
  long recv_acc = 0;   // below 1 counts as 0
  long new_acc = 0;
  Port& port;
  Pacer& pacer;
  EngineLog& trace;
  Monitor& monitor;
  // The pacing of the modem exchange; the fixed pauses when none is given.
  Exchange* exchange = nullptr;
  // Made on first use when exchange is not given.
  mutable std::unique_ptr<Exchange> fixed_exchange = nullptr;
  // Counts every SMS the modem took, for the engine's status; may be null.
  long* sent_count = nullptr;
  // Quiet hours, caps and opt-outs of the modem; the send phase reads its
  // own for the modem COM when none is given.
  SendGuards* guards = nullptr;
  // In a modem pool, held while a message is filed into recv (and its
  // fingerprints and parts kept), so engines filing at once take turns.
  std::mutex* filing = nullptr;
  // The modem's settings key: what the state kept per modem (concatenation
  // references, the references of delivery reports) is filed under.
  std::string modem = "COM";
};

Exchange& ExchangeOf(const CycleContext& cycle);

// The same engine's cycle on another day and send counter, for work of a
// day other than the cycle's (the day before, finished first).
CycleContext CycleOnDay(const CycleContext& cycle, const std::string& day, long send_acc);

// Sends records send_acc + 1 .. new_acc of the day's new mailbox and ends by
// writing new_acc into send's acc.
void SendPhase(const CycleContext& cycle);

// Lists, deletes, files and answers what the modem has received.
void ReceivePhase(const CycleContext& cycle);

}  // namespace tavrel
