#pragma once
// A thread created suspended, with Resume and Suspend. Suspension is
// cooperative: the worker stops at its checkpoints (before every modem write
// and read, every file write, and inside every pause).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavrel {

class SuspendableThread {
 public:
  SuspendableThread();
  virtual ~SuspendableThread();
  SuspendableThread(const SuspendableThread&) = delete;
  SuspendableThread& operator=(const SuspendableThread&) = delete;

  void Resume();   // the first call starts Execute; later calls continue it
  void Suspend();  // the worker stops at its next checkpoint
  bool Finished() const;  // Execute has returned
  void WaitFinished();

  // True once a suspended worker has reached a checkpoint and holds there
  // (or was never started, or has finished); false when timeout ran out
  // first or a Resume came in between. Suspend itself never waits, so a
  // window thread is not held up by a read in progress.
  bool WaitSuspended(std::chrono::milliseconds timeout);

  // A plain stop (SIGTERM): the worker leaves Execute at its next checkpoint
  // or pause outside a task it must finish, as in StopAndJoin; within such a
  // task, also a suspended one, it goes on without pausing until the task
  // ends. Does not wait.
  void RequestFinish();

 protected:
  virtual void Execute() = 0;
  void Checkpoint();                               // blocks while suspended
  void Pause(std::chrono::milliseconds nominal);   // paced; a suspended pause
                                                   // finishes its rest after Resume

  // For tear-down only (destructors, tests): the worker leaves Execute at its
  // next checkpoint or pause by an exception that only this class catches.
  // Blocking transfers should also watch StopFd(), which becomes readable.
  void StopAndJoin();

  // Brackets work that a finish request must not cut (a message being filed
  // and deleted); nestable.
  void BeginMustFinish();
  void EndMustFinish();
  int StopFd() const { return stop_pipe_[0]; }

 private:
  struct StopRequested {};
  void Run();
  void HoldWhileSuspended(std::unique_lock<std::mutex>& lock);  // lock held
  bool Leaving() const { return stop_ || (finish_ && must_finish_ == 0); }  // lock held
  bool Hurrying() const { return finish_ && must_finish_ > 0; }             // lock held

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool suspended_ = false;  // a Suspend not yet undone by Resume
  bool holding_ = false;    // the worker is parked at a checkpoint
  bool stop_ = false;
  bool finish_ = false;  // a RequestFinish
  int must_finish_ = 0;  // open BeginMustFinish brackets
  bool finished_ = false;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace tavrel
