#pragma once
// The serial device as the link's Port, for an exchange that holds the
// device for its own length, as the device test does. The engine thread
// wraps the same device in a port of its own that also passes its
// suspension checkpoints and reopens a device that went away.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/port.h"
#include "platform/serial.h"

namespace tavrel {

class SerialModemPort : public Port {
 public:
  explicit SerialModemPort(SerialPort& serial) : serial_(serial) {}
  void Write(std::string_view bytes) override { serial_.Write(bytes); }
  std::string Read(std::size_t max) override { return serial_.Read(max); }

 private:
  SerialPort& serial_;
};

}  // namespace tavrel
