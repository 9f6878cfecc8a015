#include "listener_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrel::test {
namespace fs = std::filesystem;

namespace {
// Every pause and the receive time-out of the listener run this much faster.
[[maybe_unused]] const bool kPacedForTests = [] {
  ::setenv("TAVREL_TIME_SCALE", "0.02", 0);
  return true;
}();
}  // namespace

namespace {
std::string MakeTempFolder() {
  std::string pattern = (fs::temp_directory_path() / "tavrel-listener-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}
}  // namespace

TempStation::TempStation() : path_(MakeTempFolder()), station_(path_) {}

TempStation::~TempStation() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void RecordingView::Record(std::string event) {
  events_.push_back(std::move(event));
  changed_.notify_all();
}

void RecordingView::ShowStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  memo_ = text;
  Record("show:" + text);
}

void RecordingView::AppendStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  memo_ += "\r\n" + text;
  Record("append:" + text);
}

void RecordingView::ShowAccount(const std::string& text) {
  std::lock_guard lock(mutex_);
  account_ = text;
  Record("account:" + text);
}

std::string RecordingView::Memo() const {
  std::lock_guard lock(mutex_);
  return memo_;
}

std::string RecordingView::Account() const {
  std::lock_guard lock(mutex_);
  return account_;
}

std::vector<std::string> RecordingView::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

bool RecordingView::WaitForMemo(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout,
                           [&] { return memo_.find(text) != std::string::npos; });
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string OnlyDayFolder(const std::string& root) {
  std::string found;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (!entry.is_directory()) continue;
    if (!found.empty()) return "<several>";
    found = entry.path().filename().string();
  }
  return found;
}

std::uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

Exchange SendRequest(std::uint16_t port, const std::string& request, bool send_nothing) {
  Exchange exchange;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return exchange;
  }
  exchange.connected = true;
  if (!send_nothing) ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  char buffer[4096];
  for (;;) {
    // Bounded, so that a service that never answers fails the test instead
    // of hanging it.
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 20000) <= 0) break;
    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    exchange.reply.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  return exchange;
}

}  // namespace tavrel::test
