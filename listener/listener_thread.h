#pragma once
// The listener thread: binds SERVIP:PORT from ./server.txt, writes
// ./log.txt and serves TCP connections side by side (and the HTTP API when
// HTTPPORT is set) until the process ends.
#include <chrono>
#include <cstdint>
#include <string_view>

#include "listener/listener_view.h"
#include "platform/station.h"
#include "platform/suspendable_thread.h"

namespace tavrel {

// The port of a PORT text: its leading decimal number, low 16 bits.
std::uint16_t PortNumber(std::string_view port_text);

// After a failed accept the loop waits this long (paced) so that a lasting
// failure, such as running out of descriptors, does not spin a core.
inline constexpr std::chrono::milliseconds kAcceptRetryPause{200};

class eee : public SuspendableThread {
 public:
  eee(ListenerView& view, Station station);  // created running
  ~eee() override;                   // stops it and waits for it

  // Ends the accept loop (and a pending receive) and waits until the thread
  // has closed its socket and log. The service itself never stops; this is
  // for an orderly end of the process.
  void Stop();

 protected:
  void Execute() override;

 private:
  ListenerView& view_;
  const Station station_;
};

}  // namespace tavrel
