#pragma once
// What the start and stop buttons drive: the engine of a station with one
// modem, exactly as it always was, or one engine per modem of a pool with
// the dispatcher they share. Which it is follows server.txt at the first
// start, when the engine has always read its port.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/monitor.h"
#include "platform/station.h"

namespace tavrel {

class Dispatcher;
class MarkedMonitor;
class PoolStatus;
class myterad;
struct PoolSeat;

class Engines {
 public:
  Engines(Monitor& monitor, Station station);
  ~Engines();  // every engine leaves at its next checkpoint
  Engines(const Engines&) = delete;
  Engines& operator=(const Engines&) = delete;

  // The first start reads the modems and starts their engines; later ones
  // let every paused engine go on.
  void Resume();
  void Suspend();  // every engine stops at its next checkpoint
  // True once every engine holds (see SuspendableThread::WaitSuspended).
  bool WaitSuspended(std::chrono::milliseconds timeout);
  void RequestFinish();
  void WaitFinished();
  // Only the engine of a lone modem ends, when its port fails at start; a
  // pool's modems are looked for again instead.
  bool Ended() const;
  std::string FailureDetail() const;
  // How many modems the engines drive: 0 before the first start.
  std::size_t Modems() const { return engines_.size(); }

 private:
  Monitor& monitor_;
  const Station station_;
  std::unique_ptr<Dispatcher> dispatcher_;
  std::unique_ptr<PoolStatus> status_;
  std::mutex filing_;
  std::vector<std::unique_ptr<PoolSeat>> seats_;
  std::vector<std::unique_ptr<MarkedMonitor>> monitors_;
  std::vector<std::unique_ptr<myterad>> engines_;
};

}  // namespace tavrel
