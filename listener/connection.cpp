#include "listener/connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "listener/request.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "store/message_settings.h"

namespace tavrel {
namespace {

// Waits for the request's bytes; false on time-out, stop or poll failure.
bool AwaitRequest(int connection, const ConnectionContext& context) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + Paced(context.receive_timeout);
  pollfd fds[2] = {{connection, POLLIN, 0}, {context.stop_fd, POLLIN, 0}};
  const nfds_t count = context.stop_fd >= 0 ? 2 : 1;
  for (;;) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now() +
                                                  microseconds(999));
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds, count, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    if (count == 2 && fds[1].revents != 0) return false;
    return fds[0].revents != 0;  // data, end of stream or error: recv tells
  }
}

std::string ReceiveRequest(int connection, const ConnectionContext& context, bool& received) {
  received = false;
  if (!AwaitRequest(connection, context)) return {};
  std::string buffer(kRequestSize, '\0');
  ssize_t count;
  do {
    count = ::recv(connection, buffer.data(), buffer.size(), 0);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) return {};
  received = true;
  buffer.resize(static_cast<std::size_t>(count));
  return buffer;
}

int SendReply(int connection, ReplyCode code) {
  const std::string reply = PaddedReply(code);
  // A client that has gone away must not take the service down with SIGPIPE.
  return static_cast<int>(::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL));
}

// Bytes left unread after the one receive would turn the close into a
// reset, which can destroy the reply before the client reads it.
int CloseConnection(int connection) {
  char discard[4096];
  while (::recv(connection, discard, sizeof discard, MSG_DONTWAIT) > 0) {
  }
  return ::close(connection);
}

ConnectionOutcome Refuse(int connection, ConnectionContext& context) {
  SendReply(connection, ReplyCode::BadRequest);
  CloseConnection(connection);
  context.log.Write(" " + ReplyText(ReplyCode::BadRequest) + "\r\n");
  return ConnectionOutcome::Refused;
}

}  // namespace

OutboxResult WriteRequestRecord(const Station& station, std::string_view numbers,
                                std::string_view text) {
  return WriteOutboxRecord(station, numbers, text, CounterRule::RefuseNegativeAndRetry);
}

ConnectionOutcome HandleConnection(int connection, ConnectionContext& context) {
  ListenerLog& log = context.log;
  log.Write("------------------------------thread start.......\r\n");

  bool received = false;
  const std::string bytes = ReceiveRequest(connection, context, received);
  if (!received) {
    ::close(connection);
    log.Write("-------------return -1..\r\n");
    log.Flush();
    return ConnectionOutcome::NoRequest;
  }
  log.Write("Thread recv over\r\n");

  const Request request = ParseRequest(bytes);
  context.view.ShowStatus(request.shown);
  if (!request.well_formed) return Refuse(connection, context);
  if (!TextFitsParts(request.text, PartsSetting(context.station))) {
    return Refuse(connection, context);
  }

  const OutboxResult filed =
      context.write_outbox ? context.write_outbox(request.numbers, request.text)
                           : WriteRequestRecord(context.station, request.numbers, request.text);
  if (!filed) {
    SendReply(connection, ReplyCode::ServerFault);
    CloseConnection(connection);
    log.Write(ReplyText(ReplyCode::ServerFault) + "\r\n");
    // The operator needs the cause to mend the store; the client only the code.
    log.Write(filed.error().detail + "\r\n");
    return ConnectionOutcome::NotFiled;
  }
  context.view.ShowAccount(std::to_string(filed.value().number));

  const int sent = SendReply(connection, ReplyCode::Accepted);
  const int closed = CloseConnection(connection);
  log.Write(ReplyText(ReplyCode::Accepted) + "\r\n");
  log.Write(std::to_string(sent) + "-" + std::to_string(closed) + Gbk(",建立短消息 over") + "\r\n");
  return ConnectionOutcome::Filed;
}

}  // namespace tavrel
