#include "tests/system/support/station_x11.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrel::system_test {
namespace {

using Clock = std::chrono::steady_clock;

// Core protocol opcodes and codes (X Window System Protocol, X11R7).
constexpr std::uint8_t kChangeWindowAttributes = 2;
constexpr std::uint8_t kGetWindowAttributes = 3;
constexpr std::uint8_t kGetGeometry = 14;
constexpr std::uint8_t kQueryTree = 15;
constexpr std::uint8_t kInternAtom = 16;
constexpr std::uint8_t kSendEvent = 25;
constexpr std::uint8_t kQueryExtension = 98;
constexpr std::uint8_t kClientMessage = 33;
constexpr std::uint32_t kEventMaskBit = 0x00000800;
constexpr std::uint32_t kSubstructureNotify = 0x00080000;
constexpr std::uint32_t kSubstructureRedirect = 0x00100000;
constexpr std::uint8_t kMapWindow = 8;
constexpr std::uint8_t kConfigureWindow = 12;
constexpr std::uint8_t kMapRequest = 20;
constexpr std::uint8_t kConfigureRequest = 23;
constexpr std::uint8_t kViewable = 2;
// XTEST 2.2: FakeInput and the event types it takes.
constexpr std::uint8_t kFakeInput = 2;
constexpr std::uint8_t kButtonPress = 4, kButtonRelease = 5, kMotionNotify = 6;

// The client speaks little-endian ('l' in the set-up).
void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
std::uint16_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | in[at + 1] << 8);
}
std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
  return Get16(in, at) | static_cast<std::uint32_t>(Get16(in, at + 2)) << 16;
}
std::size_t Padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// A request with a name after an eight-byte head (InternAtom, QueryExtension).
std::vector<std::uint8_t> NamedRequest(std::uint8_t opcode, std::uint8_t data, const std::string& name) {
  std::vector<std::uint8_t> request = {opcode, data};
  Put16(request, static_cast<unsigned>(2 + Padded(name.size()) / 4));
  Put16(request, static_cast<unsigned>(name.size()));
  Put16(request, 0);
  request.insert(request.end(), name.begin(), name.end());
  request.resize(8 + Padded(name.size()), 0);
  return request;
}

std::vector<std::uint8_t> WindowRequest(std::uint8_t opcode, std::uint32_t window) {
  std::vector<std::uint8_t> request = {opcode, 0};
  Put16(request, 2);
  Put32(request, window);
  return request;
}

}  // namespace

std::unique_ptr<XProbe> XProbe::Connect(int number, std::string* error) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "/tmp/.X11-unix/X%d", number);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = std::string(address.sun_path) + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  std::unique_ptr<XProbe> probe(new XProbe(fd));
  if (!probe->Setup()) {
    *error = probe->error_;
    return nullptr;
  }
  return probe;
}

XProbe::~XProbe() { ::close(fd_); }

bool XProbe::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

bool XProbe::Setup() {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  if (!Send({'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0})) return Fail("cannot send the set-up");
  std::vector<std::uint8_t> head(8);
  if (!ReadExactly(head.data(), head.size(), deadline)) return Fail("no set-up reply");
  std::vector<std::uint8_t> body(4 * std::size_t{Get16(head, 6)});
  if (!ReadExactly(body.data(), body.size(), deadline)) return Fail("a cut set-up reply");
  if (head[0] != 1) return Fail("the display refused the connection: " + std::string(body.begin(), body.end()));
  const std::size_t vendor = Get16(body, 16);
  const std::size_t formats = body[21];
  root_ = Get32(body, 32 + Padded(vendor) + 8 * formats);  // the first screen's root

  std::vector<std::uint8_t> reply;
  if (!Send(NamedRequest(kQueryExtension, 0, "XTEST")) || !Reply(&reply)) return false;
  if (reply[8] == 0) return Fail("the display has no XTEST extension");
  xtest_opcode_ = reply[9];
  wm_protocols_ = InternAtom("WM_PROTOCOLS");
  net_wm_ping_ = InternAtom("_NET_WM_PING");
  if (wm_protocols_ == 0 || net_wm_ping_ == 0) return false;

  // A program answers a ping to the root window for the window manager,
  // and the server hands such an answer only to the client that redirects
  // the root's substructure. Xvfb runs none, so the probe takes that part
  // and grants every request it is handed (see Service).
  std::vector<std::uint8_t> select = {kChangeWindowAttributes, 0};
  Put16(select, 4);
  Put32(select, root_);
  Put32(select, kEventMaskBit);
  Put32(select, kSubstructureNotify | kSubstructureRedirect);
  return Send(select);
}

std::uint32_t XProbe::InternAtom(const std::string& name) {
  std::vector<std::uint8_t> reply;
  if (!Send(NamedRequest(kInternAtom, 0, name)) || !Reply(&reply)) return 0;
  return Get32(reply, 8);
}

XProbe::Window XProbe::FindWindow(int width, int height) {
  std::vector<std::uint8_t> tree;
  if (!Send(WindowRequest(kQueryTree, root_)) || !Reply(&tree)) return {};
  const std::size_t children = Get16(tree, 16);
  for (std::size_t i = 0; i < children; ++i) {
    const std::uint32_t child = Get32(tree, 32 + 4 * i);
    std::vector<std::uint8_t> attributes;
    std::vector<std::uint8_t> geometry;
    if (!Send(WindowRequest(kGetWindowAttributes, child)) || !Reply(&attributes)) return {};
    if (!Send(WindowRequest(kGetGeometry, child)) || !Reply(&geometry)) return {};
    if (attributes[26] == kViewable && Get16(geometry, 16) == width && Get16(geometry, 18) == height) {
      return {child, static_cast<std::int16_t>(Get16(geometry, 12)), static_cast<std::int16_t>(Get16(geometry, 14))};
    }
  }
  return {};
}

bool XProbe::Click(int x, int y) {
  for (const auto& [type, detail] : {std::pair{kMotionNotify, 0}, {kButtonPress, 1}, {kButtonRelease, 1}}) {
    std::vector<std::uint8_t> request = {xtest_opcode_, kFakeInput};
    Put16(request, 9);
    request.push_back(type);
    request.push_back(static_cast<std::uint8_t>(detail));
    Put16(request, 0);
    Put32(request, 0);  // now
    Put32(request, root_);
    Put32(request, 0);
    Put32(request, 0);
    Put16(request, static_cast<unsigned>(x));
    Put16(request, static_cast<unsigned>(y));
    request.resize(36, 0);
    if (!Send(request)) return Fail("cannot send a click");
  }
  return true;
}

bool XProbe::Ping(const Window& window, std::chrono::milliseconds timeout) {
  const std::uint32_t stamp = next_stamp_++;
  std::vector<std::uint8_t> request = {kSendEvent, 0};
  Put16(request, 11);
  Put32(request, window.id);
  Put32(request, 0);  // no mask: to the client that made the window
  request.push_back(kClientMessage);
  request.push_back(32);
  Put16(request, 0);
  Put32(request, window.id);
  Put32(request, wm_protocols_);
  for (std::uint32_t value : {net_wm_ping_, stamp, window.id, 0u, 0u}) Put32(request, value);
  if (!Send(request)) return Fail("cannot send the ping");

  const auto deadline = Clock::now() + timeout;
  std::vector<std::uint8_t> message;
  while (ReadMessage(&message, deadline)) {
    if (message[0] == 0) return Fail("the display reported error " + std::to_string(message[1]));
    if ((message[0] & 0x7F) == kClientMessage && Get32(message, 12) == net_wm_ping_ && Get32(message, 16) == stamp) {
      return true;
    }
  }
  return Fail("no answer to the ping");
}

bool XProbe::Send(const std::vector<std::uint8_t>& request) {
  return ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
}

bool XProbe::Reply(std::vector<std::uint8_t>* reply, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (ReadMessage(reply, deadline)) {
    if ((*reply)[0] == 1) return true;
    if ((*reply)[0] == 0) return Fail("the display reported error " + std::to_string((*reply)[1]));
  }
  return Fail("no reply from the display");
}

// A window manager that lets every window be mapped and placed as its
// program asks.
void XProbe::Service(const std::vector<std::uint8_t>& event) {
  const std::uint8_t code = event[0] & 0x7F;
  if (code == kMapRequest) {
    Send(WindowRequest(kMapWindow, Get32(event, 8)));
  } else if (code == kConfigureRequest) {
    const unsigned mask = Get16(event, 26) & 0x7F;
    std::vector<std::uint8_t> request = {kConfigureWindow, 0};
    Put16(request, 0);  // the length, set below
    Put32(request, Get32(event, 8));
    Put16(request, mask);
    Put16(request, 0);
    // The values in the order of the mask's bits: x, y, width, height,
    // border width, sibling, stack mode.
    const std::uint32_t values[] = {Get16(event, 16), Get16(event, 18), Get16(event, 20), Get16(event, 22),
                                    Get16(event, 24), Get32(event, 12), event[1]};
    for (unsigned bit = 0; bit < 7; ++bit) {
      if (mask & (1u << bit)) Put32(request, values[bit]);
    }
    request[2] = static_cast<std::uint8_t>(request.size() / 4);
    Send(request);
  }
}

bool XProbe::ReadMessage(std::vector<std::uint8_t>* message, Clock::time_point deadline) {
  for (;;) {
    message->assign(32, 0);
    if (!ReadExactly(message->data(), 32, deadline)) return false;
    const std::uint8_t code = (*message)[0];
    if (code > 1) Service(*message);
    // A window may be gone before the request granted for it arrives; that
    // error is the program's business, not the probe's.
    const std::uint8_t major = (*message)[10];
    if (code == 0 && (major == kMapWindow || major == kConfigureWindow)) continue;
    break;
  }
  if ((*message)[0] != 1) return true;  // errors and events are 32 bytes
  const std::size_t extra = 4 * std::size_t{Get32(*message, 4)};
  message->resize(32 + extra);
  return ReadExactly(message->data() + 32, extra, deadline);
}

bool XProbe::ReadExactly(std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < size) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::recv(fd_, data + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace tavrel::system_test
