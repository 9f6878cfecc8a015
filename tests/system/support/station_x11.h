#pragma once
// A small X11 client for window tests on Xvfb, speaking the core protocol
// on the display's socket: it finds a program's top-level window, clicks
// where a person would (XTEST), and pings the window (_NET_WM_PING, EWMH),
// which the program answers only from its window thread. A ping that comes
// back shows the window is not hung, from outside the process. It stands
// in for the window manager, so use one probe per display.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::system_test {

class XProbe {
 public:
  // Connects to display :number (no authorisation: start Xvfb with -ac).
  static std::unique_ptr<XProbe> Connect(int number, std::string* error);
  ~XProbe();
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  struct Window {
    std::uint32_t id = 0;
    int x = 0, y = 0;  // on the screen
  };
  // A viewable top-level window of exactly this size; id 0 when none.
  Window FindWindow(int width, int height);

  // Moves the pointer to (x, y) of the screen and clicks the left button.
  bool Click(int x, int y);

  // True when the window's program answered the ping within timeout.
  bool Ping(const Window& window, std::chrono::milliseconds timeout);

  const std::string& error() const { return error_; }

 private:
  explicit XProbe(int fd) : fd_(fd) {}
  bool Setup();
  bool Send(const std::vector<std::uint8_t>& request);
  // The next reply, skipping events; false on an error or time-out.
  bool Reply(std::vector<std::uint8_t>* reply, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool ReadMessage(std::vector<std::uint8_t>* message, std::chrono::steady_clock::time_point deadline);
  void Service(const std::vector<std::uint8_t>& event);
  bool ReadExactly(std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline);
  std::uint32_t InternAtom(const std::string& name);
  bool Fail(std::string why);

  int fd_;
  std::uint32_t root_ = 0;
  std::uint8_t xtest_opcode_ = 0;
  std::uint32_t wm_protocols_ = 0;
  std::uint32_t net_wm_ping_ = 0;
  std::uint32_t next_stamp_ = 1;
  std::string error_;
};

}  // namespace tavrel::system_test
