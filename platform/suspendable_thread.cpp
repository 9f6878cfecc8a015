#include "platform/suspendable_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/pace.h"

namespace tavrel {

SuspendableThread::SuspendableThread() {
  if (::pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    stop_pipe_[0] = stop_pipe_[1] = -1;
  }
}

SuspendableThread::~SuspendableThread() {
  // A derived class must already have stopped the worker, since Execute is
  // its own; this is only the last guard for the thread object.
  StopAndJoin();
  for (int fd : stop_pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void SuspendableThread::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  suspended_ = false;
  if (!started_ && !stop_) {
    started_ = true;
    thread_ = std::thread(&SuspendableThread::Run, this);
  }
  changed_.notify_all();
}

void SuspendableThread::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  // Before the first Resume the thread is simply not running yet, and the
  // first Resume clears this again.
  suspended_ = true;
  changed_.notify_all();
}

bool SuspendableThread::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void SuspendableThread::WaitFinished() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return finished_; });
}

bool SuspendableThread::WaitSuspended(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto settled = [this] { return !started_ || finished_ || holding_ || !suspended_; };
  changed_.wait_for(lock, timeout, settled);
  return !started_ || finished_ || (suspended_ && holding_);
}

void SuspendableThread::Checkpoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  HoldWhileSuspended(lock);
}

void SuspendableThread::HoldWhileSuspended(std::unique_lock<std::mutex>& lock) {
  if (Leaving()) throw StopRequested{};
  if (!suspended_ || Hurrying()) return;
  holding_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !suspended_ || stop_ || finish_; });
  holding_ = false;
  if (Leaving()) throw StopRequested{};
}

void SuspendableThread::RequestFinish() {
  std::lock_guard<std::mutex> lock(mutex_);
  finish_ = true;
  changed_.notify_all();
}

void SuspendableThread::BeginMustFinish() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++must_finish_;
}

void SuspendableThread::EndMustFinish() {
  std::lock_guard<std::mutex> lock(mutex_);
  --must_finish_;
}

void SuspendableThread::Pause(std::chrono::milliseconds nominal) {
  using Clock = std::chrono::steady_clock;
  Clock::duration left = Paced(nominal);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    HoldWhileSuspended(lock);
    // Finishing, the work goes on at once: the process is about to end.
    if (Hurrying()) return;
    const auto deadline = Clock::now() + left;
    const bool interrupted =
        changed_.wait_until(lock, deadline, [this] { return suspended_ || stop_ || finish_; });
    if (!interrupted) return;
    // Keep what was still to wait, and wait it after the next Resume.
    left = std::max(Clock::duration::zero(), deadline - Clock::now());
  }
}

void SuspendableThread::StopAndJoin() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stop_) {
      stop_ = true;
      if (stop_pipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(stop_pipe_[1], &byte, 1);
      }
    }
    changed_.notify_all();
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SuspendableThread::Run() {
  try {
    Execute();
  } catch (const StopRequested&) {
    // Tear-down: Execute was left at a checkpoint.
  }
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

}  // namespace tavrel
