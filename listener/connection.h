#pragma once
// One connection of the request listener: receive one request, file it in
// today's outbox, send one reply, close.
#include <chrono>
#include <functional>
#include <string_view>

#include "listener/listener_log.h"
#include "listener/listener_view.h"
#include "store/record_store.h"

namespace tavrel {

using OutboxWriter = std::function<OutboxResult(std::string_view numbers, std::string_view text)>;

// WriteOutboxRecord with the rule for requests: a negative counter is
// refused and the counter write retried.
OutboxResult WriteRequestRecord(const Station& station, std::string_view numbers,
                                std::string_view text);

// A client that connects and stays silent is dropped after this (paced).
inline constexpr std::chrono::milliseconds kReceiveTimeout{10000};

struct ConnectionContext {
  ListenerLog& log;
  ListenerView& view;
  Station station{};           // whose outbox a request is filed in
  OutboxWriter write_outbox{};  // empty: WriteRequestRecord into station
  std::chrono::milliseconds receive_timeout = kReceiveTimeout;  // nominal
  int stop_fd = -1;  // when readable, a pending receive gives up at once
};

enum class ConnectionOutcome {
  NoRequest,  // closed, failed or silent client: no reply
  Refused,    // 0001
  NotFiled,   // 0002
  Filed,      // 0000
};

// Handles the accepted connection to the end and closes it exactly once.
ConnectionOutcome HandleConnection(int connection, ConnectionContext& context);

}  // namespace tavrel
