#include "engine/engines.h"

#include <algorithm>

#include "engine/dispatcher.h"
#include "engine/engine_thread.h"
#include "engine/pool_engine.h"
#include "store/modem_list.h"
#include "store/settings.h"

namespace tavrel {

Engines::Engines(Monitor& monitor, Station station)
    : monitor_(monitor), station_(std::move(station)) {}

// A pool's engines meet at the dispatcher's and the filing locks: all are
// asked to leave before any is waited for, so that none waits on a lock
// that one not yet asked holds.
Engines::~Engines() {
  if (engines_.size() > 1) RequestFinish();
  engines_.clear();
}

void Engines::Resume() {
  if (engines_.empty()) {
    const std::vector<ModemSetting> modems =
        ReadModemList(station_, settings::kEngineCom, settings::kEngineRate);
    if (modems.size() == 1) {
      engines_.push_back(std::make_unique<myterad>(monitor_, station_));
    } else {
      dispatcher_ = std::make_unique<Dispatcher>(station_);
      status_ = std::make_unique<PoolStatus>(station_, modems);
      for (std::size_t slot = 0; slot < modems.size(); ++slot) {
        auto seat = std::make_unique<PoolSeat>();
        seat->modem = modems[slot];
        seat->slot = slot;
        seat->dispatcher = dispatcher_.get();
        seat->status = status_.get();
        seat->filing = &filing_;
        monitors_.push_back(std::make_unique<MarkedMonitor>(monitor_, modems[slot].key));
        engines_.push_back(std::make_unique<myterad>(*monitors_.back(), station_, seat.get()));
        seats_.push_back(std::move(seat));
      }
    }
  }
  for (const std::unique_ptr<myterad>& engine : engines_) engine->Resume();
}

void Engines::Suspend() {
  for (const std::unique_ptr<myterad>& engine : engines_) engine->Suspend();
}

bool Engines::WaitSuspended(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (const std::unique_ptr<myterad>& engine : engines_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!engine->WaitSuspended(std::max(left, std::chrono::milliseconds(0)))) return false;
  }
  return true;
}

void Engines::RequestFinish() {
  for (const std::unique_ptr<myterad>& engine : engines_) engine->RequestFinish();
}

void Engines::WaitFinished() {
  for (const std::unique_ptr<myterad>& engine : engines_) engine->WaitFinished();
}

bool Engines::Ended() const { return engines_.size() == 1 && engines_.front()->Ended(); }

std::string Engines::FailureDetail() const {
  return engines_.size() == 1 ? engines_.front()->FailureDetail() : std::string();
}

}  // namespace tavrel
