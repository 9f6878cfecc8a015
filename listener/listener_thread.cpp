#include "listener/listener_thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "listener/connection.h"
#include "listener/listener_log.h"
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
  if (::listen(listener, 1) != 0) {
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

  ConnectionContext context{log, view_, station_};
  context.stop_fd = StopFd();
  for (;;) {
    const Wake wake = WaitReadable(listener, StopFd(), -1);
    if (wake == Wake::Stop) break;
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) {
      HandleConnection(connection, context);
      log.Flush();
      continue;
    }
    if (wake == Wake::Ready && TransientAcceptError(errno)) continue;
    log.Write("Accept() Error!\n");
    view_.ShowStatus("   Accept() Error!...");
    const int pause_ms = static_cast<int>((Paced(kAcceptRetryPause).count() + 999) / 1000);
    if (WaitReadable(-1, StopFd(), pause_ms) == Wake::Stop) break;
  }
  ::close(listener);
  log.Close();
}

}  // namespace tavrel
