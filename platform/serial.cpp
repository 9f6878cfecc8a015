#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/field_text.h"
#include "platform/pace.h"

namespace tavrel {
namespace {

using Clock = std::chrono::steady_clock;

struct SpeedEntry {
  long rate;
  speed_t constant;
};

// The speeds termios can express; anything else is refused at configure time
// rather than silently rounded to a neighbour the modem would not understand.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedConstant(long rate, speed_t* constant) {
  for (const auto& entry : kSpeeds) {
    if (entry.rate == rate) {
      *constant = entry.constant;
      return true;
    }
  }
  return false;
}

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

// "COM3" in any letter case, with a number from 1 on.
bool ComNumber(std::string_view com, long* number) {
  if (com.size() < 4) return false;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(com[i])) != "COM"[i]) return false;
  }
  long n = 0;
  for (char c : com.substr(3)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    if (n > 100000) return false;
    n = n * 10 + (c - '0');
  }
  if (n < 1) return false;
  *number = n;
  return true;
}

timespec ToTimespec(Clock::duration left) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  if (ns < 0) ns = 0;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  return ts;
}

// The device's own read timeout for a request of `bytes`: 5 ms a byte plus
// 1000 ms, through the pacing clock.
Clock::duration TransferTimeout(std::size_t bytes) {
  const auto capped = std::min<std::size_t>(bytes, 1000000);
  return Paced(std::chrono::milliseconds(5 * static_cast<long long>(capped) + 1000));
}

enum class Ready { Yes, TimedOut, Gone, Woken };

// The errors with which a driver answers for a device that is no longer
// there; anything else is taken as passing.
bool MeansGone(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE || err == EBADF;
}

// Waits for `events` on fd until deadline, also watching the wake descriptor.
Ready WaitFor(int fd, short events, int wake_fd, Clock::time_point deadline) {
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return Ready::TimedOut;
    pollfd fds[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
    const timespec left = ToTimespec(deadline - now);
    const int n = ::ppoll(fds, wake_fd >= 0 ? 2 : 1, &left, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Ready::Gone;
    }
    if (n == 0) return Ready::TimedOut;
    if (wake_fd >= 0 && fds[1].revents != 0) return Ready::Woken;
    if (fds[0].revents & events) return Ready::Yes;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return Ready::Gone;
  }
}

void TraceTransfer(const std::string& device, const char* direction, std::string_view bytes) {
  static std::FILE* const trace = [] {
    const char* path = std::getenv("TAVREL_SERIAL_TRACE");
    return path != nullptr && *path != '\0' ? std::fopen(path, "a") : nullptr;
  }();
  if (trace == nullptr || bytes.empty()) return;
  static std::mutex mutex;
  std::string hex, shown;
  for (unsigned char c : bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
    shown += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
  }
  const double ms = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
  std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(trace, "%.3f %s %s %s |%s|\n", ms, device.c_str(), direction, hex.c_str(), shown.c_str());
  std::fflush(trace);
}

}  // namespace

std::string SerialPort::DevicePath(std::string_view com) {
  if (com.find('/') != std::string_view::npos) return std::string(com);
  long n = 0;
  if (ComNumber(com, &n)) return "/dev/ttyS" + std::to_string(n - 1);
  return "/dev/" + std::string(com);
}

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& com, std::string* error) {
  const std::string device = DevicePath(com);
  if (com.empty()) {
    SetError(error, "no serial port is named (COM is empty)");
    return nullptr;
  }
  // O_NONBLOCK keeps open from waiting for carrier on a real line; every
  // transfer afterwards is timed with poll anyway.
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == EBUSY) {
      SetError(error, device + " is busy: another program holds it");
    } else {
      SetError(error, device + ": " + std::strerror(err));
    }
    return nullptr;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    SetError(error, device + " is not a serial device");
    return nullptr;
  }
  // flock holds against root too, which TIOCEXCL does not.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      SetError(error, device + " is busy: another program holds it");
    } else {
      SetError(error, device + ": cannot lock: " + std::strerror(err));
    }
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  return std::unique_ptr<SerialPort>(new SerialPort(fd, device));
}

SerialPort::~SerialPort() {
  // The exclusive flag would outlive us on a device that others keep open.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
}

bool SerialPort::Configure(std::string_view rate_text, std::string* error) {
  const long rate = AtoL(rate_text);
  speed_t speed = B0;
  if (rate <= 0) {
    SetError(error, "RATE \"" + std::string(rate_text) + "\" holds no speed");
    return false;
  }
  if (!SpeedConstant(rate, &speed)) {
    SetError(error, "speed " + std::to_string(rate) + " is not supported by the port");
    return false;
  }
  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) {
    SetError(error, device_ + ": cannot read line settings: " + std::strerror(errno));
    return false;
  }
  // The whole set: 8N1, receiver on, modem status lines ignored, no flow
  // control of any kind, no translation of bytes in either direction.
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cflag = CS8 | CREAD | CLOCAL;
  std::fill(std::begin(settings.c_cc), std::end(settings.c_cc), 0);
  ::cfsetispeed(&settings, speed);
  ::cfsetospeed(&settings, speed);
  if (::tcsetattr(fd_, TCSANOW, &settings) != 0) {
    SetError(error, device_ + " refused the line settings: " + std::strerror(errno));
    return false;
  }
  termios applied{};
  if (::tcgetattr(fd_, &applied) != 0 || ::cfgetospeed(&applied) != speed) {
    SetError(error, device_ + " did not take speed " + std::to_string(rate));
    return false;
  }
  // A pseudo-terminal has no modem lines; a real port raises DTR and RTS.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd_, TIOCMBIS, &lines);
  return true;
}

void SerialPort::ApplyTimeoutsAndPurge() { Purge(); }

void SerialPort::Purge() { ::tcflush(fd_, TCIOFLUSH); }

std::size_t SerialPort::Write(std::string_view bytes) {
  std::size_t done = 0;
  const auto deadline = Clock::now() + TransferTimeout(bytes.size());
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      const Ready ready = WaitFor(fd_, POLLOUT, wake_fd_, deadline);
      if (ready == Ready::Yes) continue;
      if (ready == Ready::Gone) MarkLost(device_ + " hung up");
    } else if (n < 0 && MeansGone(errno)) {
      MarkLost(device_ + ": " + std::strerror(errno));
    }
    break;
  }
  TraceTransfer(device_, "out", bytes.substr(0, done));
  return done;
}

std::string SerialPort::Read(std::size_t max) {
  std::string out;
  const auto deadline = Clock::now() + TransferTimeout(max);
  char buffer[4096];
  while (out.size() < max) {
    const Ready ready = WaitFor(fd_, POLLIN, wake_fd_, deadline);
    if (ready == Ready::Gone) MarkLost(device_ + " hung up");
    if (ready != Ready::Yes) break;
    const std::size_t want = std::min(sizeof buffer, max - out.size());
    const ssize_t n = ::read(fd_, buffer, want);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    } else {
      // A terminal in raw non-blocking mode reads 0 bytes only after a hang-up.
      MarkLost(n == 0 ? device_ + " hung up" : device_ + ": " + std::strerror(errno));
      break;
    }
  }
  TraceTransfer(device_, "in", out);
  return out;
}

bool SerialPort::CheckStillThere() {
  if (Lost()) return false;
  struct stat held;
  struct stat named;
  if (::fstat(fd_, &held) != 0) {
    MarkLost(device_ + ": " + std::strerror(errno));
  } else if (::stat(device_.c_str(), &named) != 0) {
    MarkLost(device_ + " has disappeared");
  } else if (named.st_rdev != held.st_rdev) {
    MarkLost(device_ + " now names another device");
  }
  return !Lost();
}

void SerialPort::MarkLost(std::string why) {
  if (lost_.empty()) lost_ = std::move(why);
}

}  // namespace tavrel
