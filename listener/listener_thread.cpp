#include "listener/listener_thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "listener/allow_list.h"
#include "listener/connection.h"
#include "listener/http/service.h"
#include "listener/http/webhook.h"
#include "listener/listener_log.h"
#include "listener/waiting_room.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "store/settings.h"
#include "store/text.h"

namespace tavrel {
namespace {

const char* const kLogPath = "./log.txt";

enum class Wake { Ready, Stop, Failed };

// Waits until fd is readable or the stop pipe is; a negative timeout waits
// without end.
Wake WaitReadable(int fd, int stop_fd, int timeout_ms) {
  pollfd fds[2] = {{stop_fd, POLLIN, 0}, {fd, POLLIN, 0}};
  const nfds_t count = fd >= 0 ? 2 : 1;
  int ready;
  do {
    ready = ::poll(fds, count, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return Wake::Failed;
  if (fds[0].revents != 0) return Wake::Stop;
  return ready > 0 ? Wake::Ready : Wake::Failed;
}

// Errors that say only that one queued connection vanished before accept.
bool TransientAcceptError(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR ||
         error == ECONNABORTED || error == EPROTO;
}

void Serve(int connection, ConnectionContext& context, std::chrono::milliseconds timeout) {
  const std::chrono::milliseconds nominal = context.receive_timeout;
  context.receive_timeout = timeout;
  HandleConnection(connection, context);
  context.receive_timeout = nominal;
  context.log.Flush();
}

// Takes every connection the listen queue holds into the waiting room; a
// peer outside ALLOW is closed at once without an answer. False when accept
// failed for a reason that is not one vanished connection.
bool AcceptWaiting(int listener, const AllowList& allow, WaitingRoom& room,
                   ConnectionContext& context) {
  for (;;) {
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return TransientAcceptError(errno);
    if (!AllowsPeer(allow, connection)) {
      context.log.Write("refused " + PeerAddress(connection) + ": not in ALLOW\n");
      context.log.Flush();
      ::close(connection);
      continue;
    }
    if (room.Full()) {
      ::close(connection);
      continue;
    }
    room.Add(connection, WaitingRoom::Clock::now() + Paced(context.receive_timeout));
  }
}

}  // namespace

std::uint16_t PortNumber(std::string_view port_text) {
  return static_cast<std::uint16_t>(AtoL(port_text));
}

eee::eee(ListenerView& view, Station station) : view_(view), station_(std::move(station)) {
  Resume();
}

eee::~eee() { StopAndJoin(); }

void eee::Stop() { StopAndJoin(); }

void eee::Execute() {
  const std::string address = ReadSetting(station_, settings::kListenerServIp);
  view_.ShowStatus(address);
  const std::string port_text = ReadSetting(station_, settings::kListenerPort);
  view_.AppendStatus(port_text);
  const std::uint16_t port = PortNumber(port_text);

  ListenerLog log;
  if (!log.Open(station_.Path(kLogPath))) {
    view_.AppendStatus(Gbk("无法写入 ./log.txt：请检查工作目录的写权限。服务继续，但不记录日志。"));
  }
  log.Write("========SMS Socket Server is started==========\n");
  const Result<AllowList> allow = AllowList::Parse(ReadSetting(station_, settings::kAllow));
  if (!allow) {
    log.Write(allow.error().detail + "\n");
    log.Flush();
    log.Close();
    view_.ShowStatus(allow.error().text);
    return;
  }

  // Close-on-exec keeps the socket out of the help browser; non-blocking so
  // that a connection reset between poll and accept cannot hang the loop.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    log.Write("Socket(),error!<" + std::to_string(listener) + ">\n");
    view_.ShowStatus("Socket(),error!...");
    log.Flush();
    log.Close();
    return;
  }
  // Without it a restart within a minute of the last served client fails
  // to bind while that connection lingers in TIME_WAIT.
  const int reuse = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = ::inet_addr(address.c_str());
  local.sin_port = htons(port);
  // Text that is not an address converts to the broadcast address, which
  // Linux would let a listener bind; it is no address to serve on.
  if (local.sin_addr.s_addr == INADDR_NONE ||
      ::bind(listener, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    log.Write("Bind() error!\n");
    log.Flush();
    log.Close();
    view_.ShowStatus("err bind..");
    ::close(listener);
    return;
  }
  view_.AppendStatus("scoket over  bind.....");
  // Clients are served side by side now (see WaitingRoom), so the queue
  // may hold as many as the system allows.
  if (::listen(listener, SOMAXCONN) != 0) {
    log.Write("Listen() Error!\n");
    log.Flush();
    log.Close();
    ::close(listener);
    return;
  }
  view_.AppendStatus("over  listen..");
  view_.AppendStatus(Gbk("-------------系统启动成功...."));
  // Each connection's lines go to the disk when it is done, so that the log
  // is current while the service runs and survives a crash.
  log.Flush();

  // The HTTP API and the webhook live as long as the TCP listener.
  const std::unique_ptr<http::HttpService> api =
      http::StartHttpService(station_, log, view_, allow.value(), address);
  const std::unique_ptr<http::Webhook> hook = http::StartWebhook(station_, log);

  ConnectionContext context{log, view_, station_};
  context.stop_fd = StopFd();
  WaitingRoom room;
  for (;;) {
    WaitingRoom::Turn turn = room.Wait(listener, StopFd());
    if (turn.stop) break;
    for (int connection : turn.ready) Serve(connection, context, context.receive_timeout);
    // A silent client's time is up: its receive finds nothing, as always.
    for (int connection : turn.expired) Serve(connection, context, std::chrono::milliseconds(0));
    if (!turn.listener_ready && !turn.failed) continue;
    if (!AcceptWaiting(listener, allow.value(), room, context)) {
      log.Write("Accept() Error!\n");
      view_.ShowStatus("   Accept() Error!...");
      const int pause_ms = static_cast<int>((Paced(kAcceptRetryPause).count() + 999) / 1000);
      if (WaitReadable(-1, StopFd(), pause_ms) == Wake::Stop) break;
    }
  }
  ::close(listener);
  log.Close();
}

}  // namespace tavrel
