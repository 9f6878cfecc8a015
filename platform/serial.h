#pragma once
// The modem's serial port on termios, with the behaviour the system was
// written against on Windows: an exclusive open that a second opener cannot
// break, 8N1 with DTR and RTS on and no flow control, and reads that return
// after the requested count or after 5 ms per requested byte plus 1000 ms
// (paced), with whatever has arrived.
//
// With TAVREL_SERIAL_TRACE naming a file, every transfer is appended to it as
// one line: monotonic milliseconds, device, "out" or "in", hex, and the
// printable bytes, for looking at an exchange with a real modem.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tavrel {

class SerialPort {
 public:
  // The device a COM value names: a value with '/' is a path (relative to
  // the working directory or absolute), COMn is /dev/ttyS<n-1>, anything
  // else is /dev/<value>.
  static std::string DevicePath(std::string_view com);

  // Opens the device exclusively. On failure returns null and, when error is
  // given, says why (no such device, busy, not a serial device ...).
  static std::unique_ptr<SerialPort> Open(const std::string& com, std::string* error);

  ~SerialPort();  // releases the exclusive hold and closes
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Applies the whole line-setting set at the speed given by the leading
  // digits of rate_text. False, with a reason in error when given, if the
  // text has no digits, the speed is not one the port supports, or the
  // device refuses the settings.
  bool Configure(std::string_view rate_text, std::string* error = nullptr);

  // Timeouts live in Read and the driver keeps its own buffers, so this is
  // the purge: pending input and output are thrown away.
  void ApplyTimeoutsAndPurge();
  void Purge();

  // Writes all bytes unless the device stops taking them for longer than a
  // read of the same size may last; returns how many went out.
  std::size_t Write(std::string_view bytes);

  // Up to max bytes: returns when max bytes have arrived, when the read
  // timeout has run out, when the device has gone, or when the wake
  // descriptor becomes readable.
  std::string Read(std::size_t max);

  // A device that has gone away (a USB modem unplugged, a pseudo-terminal
  // whose other side closed) leaves a handle that only fails: hang-up, EIO,
  // ENXIO, end of file. Once a transfer has seen that, the port is lost for
  // good and says why; only a fresh Open reaches the device again.
  bool Lost() const { return !lost_.empty(); }
  const std::string& LossReason() const { return lost_; }

  // Some drivers keep a vanished device's handle quiet instead of failing
  // it, but its node is gone or names another device: true when the node
  // still names the device held, otherwise the port is marked lost.
  bool CheckStillThere();

  // A descriptor (or -1) whose readability cuts reads and writes short, so
  // an owner that is shutting down need not wait out a timeout.
  void SetWakeFd(int fd) { wake_fd_ = fd; }

  const std::string& device() const { return device_; }
  int fd() const { return fd_; }

 private:
  SerialPort(int fd, std::string device) : fd_(fd), device_(std::move(device)) {}
  void MarkLost(std::string why);

  int fd_;
  std::string device_;
  int wake_fd_ = -1;
  std::string lost_;
};

}  // namespace tavrel
