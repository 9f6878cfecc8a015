#pragma once
// The TCP connections accepted and not yet served: each waits, without a
// thread, until its one request arrives or its receive time-out ends, so a
// thousand idle clients cost descriptors and no client waits behind them.
// Requests are still handled one after another on the listener thread, in
// the order their bytes arrive, so records are numbered as they always were.
#include <chrono>
#include <cstddef>
#include <vector>

namespace tavrel {

class WaitingRoom {
 public:
  using Clock = std::chrono::steady_clock;
  // Beyond this many a new connection is closed at once.
  static constexpr std::size_t kCapacity = 4000;

  bool Full() const { return waiting_.size() >= kCapacity; }
  void Add(int connection, Clock::time_point deadline);

  struct Turn {
    bool stop = false;           // the stop descriptor woke
    bool listener_ready = false;  // a connection can be accepted
    bool failed = false;          // poll itself failed
    std::vector<int> ready;       // request bytes (or an end) arrived
    std::vector<int> expired;     // silent past the deadline
  };
  // Waits until the stop descriptor, the listener or a waiting connection
  // wakes, or a deadline passes. Connections it returns have left the room.
  Turn Wait(int listener, int stop_fd);

  // Closes every connection still waiting.
  void CloseAll();
  ~WaitingRoom() { CloseAll(); }

 private:
  struct Waiting {
    int connection;
    Clock::time_point deadline;
  };
  std::vector<Waiting> waiting_;
};

}  // namespace tavrel
