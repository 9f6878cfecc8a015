#include "listener/waiting_room.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavrel {

void WaitingRoom::Add(int connection, Clock::time_point deadline) {
  waiting_.push_back({connection, deadline});
}

WaitingRoom::Turn WaitingRoom::Wait(int listener, int stop_fd) {
  using namespace std::chrono;
  std::vector<pollfd> fds;
  fds.reserve(waiting_.size() + 2);
  fds.push_back({stop_fd, POLLIN, 0});
  fds.push_back({listener, static_cast<short>(Full() ? 0 : POLLIN), 0});
  Clock::time_point first = Clock::time_point::max();
  for (const Waiting& w : waiting_) {
    fds.push_back({w.connection, POLLIN, 0});
    first = std::min(first, w.deadline);
  }
  int timeout_ms = -1;
  if (first != Clock::time_point::max()) {
    const auto left = duration_cast<milliseconds>(first - Clock::now() + microseconds(999));
    timeout_ms = static_cast<int>(std::max<long long>(0, left.count()));
  }
  Turn turn;
  int ready;
  do {
    ready = ::poll(fds.data(), fds.size(), timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    turn.failed = true;
    return turn;
  }
  turn.stop = fds[0].revents != 0;
  turn.listener_ready = fds[1].revents != 0;
  const Clock::time_point now = Clock::now();
  std::vector<Waiting> still;
  for (std::size_t i = 0; i < waiting_.size(); ++i) {
    if (fds[i + 2].revents != 0) {
      turn.ready.push_back(waiting_[i].connection);
    } else if (now >= waiting_[i].deadline) {
      turn.expired.push_back(waiting_[i].connection);
    } else {
      still.push_back(waiting_[i]);
    }
  }
  waiting_ = std::move(still);
  return turn;
}

void WaitingRoom::CloseAll() {
  for (const Waiting& w : waiting_) ::close(w.connection);
  waiting_.clear();
}

}  // namespace tavrel
