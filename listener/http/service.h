#pragma once
// Quillon's HTTP server on SERVIP:HTTPPORT: the API's routes behind the
// bearer tokens, and a place for the station's web page.
//
// To add an endpoint, register it in AddRoutes (service.cpp) through
// Authorised(), which checks the token, locks out guessers and traces the
// request. Static files (the web page) mount with MountStatic before Start.
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "listener/allow_list.h"
#include "listener/http/api.h"
#include "listener/http/connections.h"
#include "listener/http/tokens.h"
#include "listener/listener_log.h"
#include "listener/listener_view.h"
#include "platform/station.h"

namespace tavrel::http {

class JournalTally;

class HttpService {
 public:
  HttpService(Station station, ListenerLog& log, ListenerView& view, AllowList allow,
              Tokens tokens);
  ~HttpService();  // stops it

  // Serves url_prefix ("/") from the files of folder. Call before Start.
  bool MountStatic(const std::string& url_prefix, const std::string& folder);

  // Binds address:port and serves on a thread of its own; false, logged and
  // shown, when it cannot bind.
  bool Start(const std::string& address, std::uint16_t port);
  void Stop();

  GuardedServer& server() { return server_; }

 private:
  void AddRoutes();
  void Trace(const std::string& line);

  const Station station_;
  ListenerLog& log_;
  ListenerView& view_;
  Tokens tokens_;
  Lockout lockout_;
  IdempotencyKeys keys_;
  ApiContext api_;
  std::unique_ptr<JournalTally> tally_;
  GuardedServer server_;
  std::thread thread_;
};

// Reads HTTPPORT and api/tokens and starts the HTTP service when both are
// there; otherwise says why in the log and the view and returns nullptr.
std::unique_ptr<HttpService> StartHttpService(const Station& station, ListenerLog& log,
                                              ListenerView& view, const AllowList& allow,
                                              const std::string& address);

}  // namespace tavrel::http
