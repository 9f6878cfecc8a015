#pragma once
// The modem engine: one worker thread that owns the serial port and repeats
// the send and receive cycle in the working directory.
#include "engine/monitor.h"
#include "platform/suspendable_thread.h"

namespace tavrel {

class myterad : public SuspendableThread {
 public:
  explicit myterad(Monitor& monitor);  // created suspended
  ~myterad() override;
  bool Ended() const { return Finished(); }  // only after a port failure

 protected:
  void Execute() override;

 private:
  Monitor& monitor_;
};

}  // namespace tavrel
