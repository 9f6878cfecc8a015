#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using testing::TempDir;

// Reads here run against the pacing clock; a small scale keeps a timed-out
// read at a few milliseconds.
const bool kScaled = [] { return ::setenv("TAVREL_TIME_SCALE", "0.01", 0) == 0; }();

// A pseudo-terminal reached through a link, as a station reaches modemsim.
class Pty {
 public:
  explicit Pty(const TempDir& dir) {
    char name[256];
    EXPECT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    link_ = dir / "modem";
    EXPECT_EQ(::symlink(name, link_.c_str()), 0);
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  void CloseMaster() {
    ::close(master_);
    master_ = -1;
  }
  void Send(std::string_view bytes) { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
  std::string Receive() {
    std::string got;
    char buffer[256];
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) break;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  const std::string& link() const { return link_; }
  int master() const { return master_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string link_;
};

TEST(SerialPort, ComValuesNameDevices) {
  EXPECT_EQ(SerialPort::DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialPort::DevicePath("com12"), "/dev/ttyS11");
  EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialPort::DevicePath("COM"), "/dev/COM");
  EXPECT_EQ(SerialPort::DevicePath("COM0"), "/dev/COM0");
  EXPECT_EQ(SerialPort::DevicePath("COM1x"), "/dev/COM1x");
  EXPECT_EQ(SerialPort::DevicePath("./modem"), "./modem");
  EXPECT_EQ(SerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
}

TEST(SerialPort, OpenSaysWhyItFailed) {
  TempDir dir;
  std::string why;
  EXPECT_EQ(SerialPort::Open(dir / "nothing-here", &why), nullptr);
  EXPECT_NE(why.find("nothing-here"), std::string::npos);
  EXPECT_NE(why.find("No such file"), std::string::npos);

  // A plain file is no modem.
  std::FILE* f = std::fopen((dir / "plain").c_str(), "w");
  std::fclose(f);
  EXPECT_EQ(SerialPort::Open(dir / "plain", &why), nullptr);
  EXPECT_NE(why.find("not a serial device"), std::string::npos);

  EXPECT_EQ(SerialPort::Open("", &why), nullptr);
  EXPECT_FALSE(why.empty());
}

TEST(SerialPort, IsHeldExclusivelyUntilClosed) {
  TempDir dir;
  Pty pty(dir);
  std::string why;
  auto first = SerialPort::Open(pty.link(), &why);
  ASSERT_NE(first, nullptr) << why;

  EXPECT_EQ(SerialPort::Open(pty.link(), &why), nullptr);
  EXPECT_NE(why.find("busy"), std::string::npos) << why;

  // Another process, with all the rights of root here, fails as well.
  const pid_t child = ::fork();
  if (child == 0) {
    std::string ignored;
    ::_exit(SerialPort::Open(pty.link(), &ignored) == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  first.reset();
  EXPECT_NE(SerialPort::Open(pty.link(), &why), nullptr) << why;
}

TEST(SerialPort, ConfigureAppliesTheWholeLineSetting) {
  TempDir dir;
  Pty pty(dir);
  std::string why;
  auto port = SerialPort::Open(pty.link(), &why);
  ASSERT_NE(port, nullptr) << why;

  EXPECT_FALSE(port->Configure("fast", &why));
  EXPECT_NE(why.find("no speed"), std::string::npos) << why;
  EXPECT_FALSE(port->Configure("12345", &why));
  EXPECT_NE(why.find("not supported"), std::string::npos) << why;
  EXPECT_FALSE(port->Configure("0"));

  ASSERT_TRUE(port->Configure("115200 baud", &why)) << why;
  termios t{};
  ASSERT_EQ(::tcgetattr(port->fd(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), B115200);
  EXPECT_EQ(::cfgetispeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  // No translation on the way: a CR LF arrives as it was sent.
  pty.Send("\r\nOK\r\n");
  EXPECT_EQ(port->Read(6), "\r\nOK\r\n");
  port->Write("at\r");
  EXPECT_EQ(pty.Receive(), "at\r");
}

TEST(SerialPort, ReadReturnsWhatArrivedWithinItsTimeout) {
  TempDir dir;
  Pty pty(dir);
  std::string why;
  auto port = SerialPort::Open(pty.link(), &why);
  ASSERT_NE(port, nullptr) << why;
  ASSERT_TRUE(port->Configure("19200"));

  // Fewer bytes than asked for: the read waits out its timeout and returns
  // them (512 bytes: 3560 ms scaled to 35.6 ms).
  pty.Send("OK\r\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->Read(512), "OK\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));

  // Bytes that arrive in pieces are gathered up to the count.
  std::thread sender([&] {
    pty.Send("+CMGL: 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pty.Send(",0,,24\r\n");
  });
  EXPECT_EQ(port->Read(16), "+CMGL: 1,0,,24\r\n");
  sender.join();

  // The purge throws away what waits unread.
  pty.Send("stale");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  port->ApplyTimeoutsAndPurge();
  EXPECT_EQ(port->Read(16), "");
}

TEST(SerialPort, ReadsEndWhenWokenOrWhenTheDeviceGoes) {
  TempDir dir;
  Pty pty(dir);
  std::string why;
  auto port = SerialPort::Open(pty.link(), &why);
  ASSERT_NE(port, nullptr) << why;
  ASSERT_TRUE(port->Configure("9600"));

  int wake[2];
  ASSERT_EQ(::pipe(wake), 0);
  port->SetWakeFd(wake[0]);
  ASSERT_EQ(::write(wake[1], "x", 1), 1);
  // 100000 bytes would otherwise take 5000 s scaled to 5 s.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port->Read(100000), "");
  EXPECT_EQ(port->Write(std::string(100000, 'w')) < 100000u, true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  port->SetWakeFd(-1);
  ::close(wake[0]);
  ::close(wake[1]);

  pty.CloseMaster();
  const auto gone = std::chrono::steady_clock::now();
  EXPECT_EQ(port->Read(100000), "");
  EXPECT_LT(std::chrono::steady_clock::now() - gone, std::chrono::seconds(4));
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

// Runs only against a real modem: TAVREL_TEST_COM=ttyUSB0 (a COM value) and,
// when it is not 19200, TAVREL_TEST_RATE.
TEST(SerialPortOnRealModem, AnswersOkToAt) {
  const char* com = std::getenv("TAVREL_TEST_COM");
  if (com == nullptr || *com == '\0') GTEST_SKIP() << "set TAVREL_TEST_COM to a modem's COM value to run this";
  const char* rate = std::getenv("TAVREL_TEST_RATE");
  std::string why;
  auto port = SerialPort::Open(com, &why);
  ASSERT_NE(port, nullptr) << why;
  ASSERT_TRUE(port->Configure(rate != nullptr ? rate : "19200", &why)) << why;
  port->ApplyTimeoutsAndPurge();
  port->Write("AT\r\n");
  const std::string reply = port->Read(64);
  EXPECT_NE(reply.find("OK\r\n"), std::string::npos) << reply;
}

}  // namespace
}  // namespace tavrel
