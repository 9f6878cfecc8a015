#pragma once
// The spool folder through which tests and the operator hand the simulated
// modem incoming messages (*.sms) and fault switches (*.ctl).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/pdu.h"

namespace modemsim {

// Line 1 the sender, everything after the first LF the UTF-8 text.
struct SpoolMessage {
  Address sender;
  std::u32string text;
};
std::optional<SpoolMessage> ParseSpoolMessage(std::string_view content, std::string& error);

struct Control {
  enum class Kind { FailSends, Silent, Garbage, Vanish, Quit } kind = Kind::Quit;
  int value = 0;    // fail-sends count, vanish milliseconds
  bool on = false;  // silent, garbage
};
// "fail-sends N", "silent on|off", "garbage on|off", "vanish MS", "quit".
std::optional<Control> ParseControl(std::string_view content, std::string& error);

// Names of the *.sms and *.ctl files in `folder`, in name order, so that
// writers control the order in which their files take effect.
std::vector<std::string> SpoolEntries(const std::string& folder);

bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace modemsim
