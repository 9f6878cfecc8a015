#include "listener/http/connections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace tavrel::http {
namespace {

using std::chrono::milliseconds;

// Ready within the time, or not (time-out, hang-up or error).
bool WaitReady(int fd, short events, milliseconds wait) {
  pollfd entry{fd, events, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, static_cast<int>(wait.count()));
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (entry.revents & events) != 0;
}

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

// The byte transport under the library's request reader and writer: reads
// buffered, each wait bounded by the silence limit.
class ConnectionStream : public httplib::Stream {
 public:
  explicit ConnectionStream(int fd) : fd_(fd) {}

  bool is_readable() const override {
    return begin_ < end_ || WaitReady(fd_, POLLIN, kSilence);
  }
  bool is_writable() const override { return WaitReady(fd_, POLLOUT, kSilence); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      if (!WaitReady(fd_, POLLIN, kSilence)) return -1;
      ssize_t count;
      do {
        count = ::recv(fd_, buffer_, sizeof buffer_, 0);
      } while (count < 0 && errno == EINTR);
      if (count <= 0) return count;
      begin_ = 0;
      end_ = static_cast<size_t>(count);
    }
    const size_t taken = std::min(size, end_ - begin_);
    std::memcpy(ptr, buffer_ + begin_, taken);
    begin_ += taken;
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t count;
    do {
      count = ::send(fd_, ptr, size, MSG_NOSIGNAL);
    } while (count < 0 && errno == EINTR);
    return count;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      AddressOf(address, ip, port);
    }
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      AddressOf(address, ip, port);
    }
  }
  socket_t socket() const override { return fd_; }

 private:
  int fd_;
  char buffer_[4096];
  size_t begin_ = 0;
  size_t end_ = 0;
};

// One thread per connection, started at once; shutdown waits for them all.
class ThreadPerConnection : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard lock(mutex_);
      ++running_;
    }
    std::thread([this, fn = std::move(fn)] {
      fn();
      std::lock_guard lock(mutex_);
      if (--running_ == 0) done_.notify_all();
    }).detach();
  }
  void shutdown() override {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return running_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t running_ = 0;
};

}  // namespace

GuardedServer::GuardedServer(AllowList allow, std::function<void(const std::string&)> refused)
    : allow_(std::move(allow)), refused_(std::move(refused)) {
  new_task_queue = [] { return new ThreadPerConnection; };
  set_payload_max_length(kMaxBody);
  set_read_timeout(kSilence);
  set_write_timeout(kSilence);
  set_keep_alive_timeout(kSilence.count());
}

GuardedServer::~GuardedServer() { StopAll(); }

void GuardedServer::WidenListenQueue() {
  // Linux takes a second listen() on a listening socket as a new queue size.
  ::listen(svr_sock_, SOMAXCONN);
}

void GuardedServer::StopAll() {
  stopping_ = true;
  stop();
  std::lock_guard lock(mutex_);
  for (socket_t sock : open_) ::shutdown(sock, SHUT_RDWR);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  bool admitted = false;
  {
    std::lock_guard lock(mutex_);
    if (!stopping_ && open_.size() < kMaxConnections && AllowsPeer(allow_, sock)) {
      open_.insert(sock);
      admitted = true;
    }
  }
  if (!admitted) {
    if (!AllowsPeer(allow_, sock) && refused_) refused_(PeerAddress(sock));
    ::close(sock);
    return false;
  }
  // The library writes a response's head and body apart; without this the
  // body waits for the client's delayed acknowledgement (40 ms on Linux).
  const int no_delay = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &no_delay, sizeof no_delay);
  const bool served = ServeKeptAlive(sock);
  {
    std::lock_guard lock(mutex_);
    open_.erase(sock);
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return served;
}

// Requests on one connection until the client closes, falls silent, asks to
// close, or has had its share.
bool GuardedServer::ServeKeptAlive(socket_t sock) {
  ConnectionStream stream(sock);
  bool served = false;
  for (std::size_t left = keep_alive_max_count_; left > 0 && !stopping_; --left) {
    if (!stream.is_readable()) break;
    bool connection_closed = false;
    served = process_request(stream, left == 1, connection_closed, nullptr);
    if (!served || connection_closed) break;
  }
  return served;
}

}  // namespace tavrel::http
