#pragma once
// A thread created suspended, with Resume and Suspend. Suspension is
// cooperative: the worker stops at its checkpoints (before every modem write
// and read, every file write, and inside every pause).
#include <chrono>

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

 protected:
  virtual void Execute() = 0;
  void Checkpoint();                               // blocks while suspended
  void Pause(std::chrono::milliseconds nominal);   // paced; a suspended pause
                                                   // finishes its rest after Resume
};

}  // namespace tavrel
