#include "tests/system/support/station_support.h"
#include "platform/station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"

namespace tavrel::system_test {
namespace {

constexpr std::size_t kReplySize = 1024;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

int FreeLoopbackPort() {
  Socket probe;
  sockaddr_in address = Loopback(0);
  if (::bind(probe.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
  socklen_t size = sizeof address;
  ::getsockname(probe.fd(), reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

void WriteStationSettings(const StationDir& dir, int port) {
  dir.WriteSettings({{"COM", "./modem"},
                     {"RATE", "19200"},
                     {"SMSCODE", "8613800000000"},
                     {"SERVIP", "127.0.0.1"},
                     {"PORT", std::to_string(port)}});
}

std::unique_ptr<Child> StartHeadlessQuillon(const StationDir& dir, const std::string& scale) {
  Child::Options options;
  options.args = {Program("Quillon"), "--headless", "--dir", dir.station()};
  options.env = {{"TAVREL_TIME_SCALE", scale}};
  options.stderr_path = dir.root() + "/Quillon.stderr";
  std::string error;
  auto child = Child::Start(options, &error);
  if (!child) {
    ADD_FAILURE() << "cannot start Quillon (build it first): " << error;
    return nullptr;
  }
  if (!child->WaitForOutput("-------------系统启动成功....")) {
    ADD_FAILURE() << "Quillon did not start listening: " << child->output()
                  << ReadFileBytes(options.stderr_path).value_or("");
    return nullptr;
  }
  return child;
}

std::optional<std::string> QueueRequest(int port, const std::string& request,
                                        std::chrono::milliseconds timeout) {
  Socket client;
  if (client.fd() < 0) return std::nullopt;
  const sockaddr_in address = Loopback(port);
  if (::connect(client.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }
  // One send call, as the protocol wants the request in one piece.
  if (::send(client.fd(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return std::nullopt;
  }
  std::string reply;
  const auto deadline = Clock::now() + timeout;
  char buffer[kReplySize];
  while (reply.size() < kReplySize) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{client.fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::recv(client.fd(), buffer, kReplySize - reply.size(), 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  if (reply.size() != kReplySize) return std::nullopt;
  return reply.substr(0, reply.find('\0'));
}

std::string AcceptedReply() { return Gbk("0000|数据接收成功，服务正常！|"); }
std::string BadRequestReply() { return Gbk("0001|数据有误，请检查数据格式.|"); }

std::vector<StoredRecord> StoredRecords(const StationDir& dir, const std::string& day,
                                        const std::string& box, long count) {
  std::vector<StoredRecord> records;
  const std::string mailbox = dir / MailboxDir(tavrel::Station(), day, box);
  for (long n = 1; n <= count; ++n) {
    StoredRecord record;
    record.n = n;
    record.r = ReadFileBytes(RecordPath(mailbox, "R", n));
    record.h = ReadFileBytes(RecordPath(mailbox, "H", n));
    record.da = ReadFileBytes(RecordPath(mailbox, "DA", n));
    records.push_back(std::move(record));
  }
  return records;
}

long StoredCounter(const StationDir& dir, const std::string& day, const std::string& box) {
  const auto text = ReadFileBytes(dir / MailboxDir(tavrel::Station(), day, box) + "/acc");
  if (!text) return -1;
  return std::strtol(text->c_str(), nullptr, 10);
}

std::string OutboxHeaderOnDisk(const std::string& day) {
  return "[HEAD]\r\ntime=" + day + " hh:mm:ss\r\nsend= \r\ntype=" + Gbk("查询") + "\r\nstat=" +
         Gbk("未发") + "\r\njrade=" + Gbk("紧急") + "\r\n";
}

std::string InboxHeaderOnDisk(const std::string& day) {
  return "[HEAD]\r\ntime=" + day + " hh:mm:ss\r\nsend= \r\nstat= \r\njrade= \r\n";
}

bool EventuallyDraining(const std::function<bool()>& condition, const std::vector<Child*>& children,
                        std::chrono::milliseconds timeout) {
  return Eventually([&] {
    for (Child* child : children) {
      if (child != nullptr) child->output();
    }
    return condition();
  }, timeout);
}

bool ControlModem(const std::string& spool, const std::string& command) {
  static int serial = 0;
  std::filesystem::create_directories(spool);
  const std::string hidden = spool + "/.control";
  const std::string final_name = spool + "/station-" + std::to_string(++serial) + ".ctl";
  {
    std::ofstream out(hidden, std::ios::binary | std::ios::trunc);
    out << command << "\n";
  }
  std::filesystem::rename(hidden, final_name);
  return Eventually([&] { return !Exists(final_name); });
}

namespace {

// A "Name:   1234 kB" line of /proc/<pid>/status; 0 when it has gone.
long StatusKib(pid_t pid, std::string_view name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(name)) return std::strtol(line.c_str() + name.size(), nullptr, 10);
  }
  return 0;
}

}  // namespace

long ResidentKib(pid_t pid) { return StatusKib(pid, "VmRSS:"); }

long PeakResidentKib(pid_t pid) { return StatusKib(pid, "VmHWM:"); }

}  // namespace tavrel::system_test
