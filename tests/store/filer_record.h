#pragma once
// What the filer writes, so the tests can tell a complete record from a torn one.
#include <string>

namespace tavrel::testing {

inline constexpr const char* kFilerRecipients = "13012312312;22222222222;";
inline constexpr const char* kFilerRecipientsOnDisk = "13012312312\r\n22222222222\r\n";

// Long enough to span several writes of the page cache, closed by a marker.
inline std::string FilerText(const std::string& tag, long i) {
  std::string text = tag + "-" + std::to_string(i) + "|";
  while (text.size() < 6000) text += "0123456789abcdef\n";
  return text + "END";
}

}  // namespace tavrel::testing
