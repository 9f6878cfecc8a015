#pragma once
// The modem engine: one worker thread that owns the serial port and repeats
// the send and receive cycle in the working directory.
#include <string>

#include "engine/monitor.h"
#include "platform/station.h"
#include "platform/suspendable_thread.h"

namespace tavrel {

struct PoolSeat;

class myterad : public SuspendableThread {
 public:
  // created suspended; works on the station's files. With a seat it is one
  // modem of a pool: its port is the seat's, it sends what the pool's
  // dispatcher hands it, and a port that fails is looked for again instead
  // of ending the engine.
  myterad(Monitor& monitor, Station station, PoolSeat* seat = nullptr);
  ~myterad() override;                 // leaves Execute at its next checkpoint
  bool Ended() const { return Finished(); }  // only after a port failure

  // Why the port failed, in the system's words for an operator who reads a
  // terminal (device and reason); empty until Ended().
  std::string FailureDetail() const;

 protected:
  void Execute() override;

 private:
  Monitor& monitor_;
  const Station station_;
  std::string failure_;  // written by the worker before it finishes
  PoolSeat* const seat_;
};

}  // namespace tavrel
