#pragma once
// The HTTP server's connections: each on a thread of its own, so that a
// thousand idle clients cannot keep a real one waiting for a worker; a peer
// outside ALLOW closed at once without an answer; a client silent for
// kSilence dropped.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "listener/allow_list.h"

namespace tavrel::http {

// Real time: the pacing clock is for the modem exchange, not for clients.
inline constexpr std::chrono::seconds kSilence{10};
inline constexpr std::size_t kMaxBody = 65536;
// Beyond this many open connections a new one is closed at once: each costs
// a thread, and the descriptors must last for the TCP port too.
inline constexpr std::size_t kMaxConnections = 4000;

class GuardedServer : public httplib::Server {
 public:
  // refused is told the dotted address of every peer closed for ALLOW.
  GuardedServer(AllowList allow, std::function<void(const std::string&)> refused);
  ~GuardedServer() override;

  // The library listens with a queue of 5: a burst of clients beyond it
  // waits for SYN retries of a second and more. Call after bind_to_port.
  void WidenListenQueue();

  // Ends every open connection (their reads wake at once) and the listener.
  void StopAll();

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool ServeKeptAlive(socket_t sock);

  AllowList allow_;
  std::function<void(const std::string&)> refused_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::set<socket_t> open_;
  std::atomic<bool> stopping_{false};
};

}  // namespace tavrel::http
