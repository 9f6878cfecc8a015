#include "tools/modemsim/json.h"

#include <cstdio>

#include "tools/modemsim/codec.h"

namespace modemsim {
namespace {

std::string Quoted(std::u32string_view text) {
  std::string out = "\"";
  for (char32_t c : text) {
    switch (c) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\n': out += "\\n"; break;
      case U'\r': out += "\\r"; break;
      case U'\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += ToUtf8(std::u32string_view(&c, 1));
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace

std::string JsonString(std::string_view utf8) { return Quoted(FromUtf8(utf8)); }

std::string JsonBytes(std::string_view bytes) {
  std::u32string latin1;
  for (char b : bytes) latin1 += static_cast<char32_t>(static_cast<unsigned char>(b));
  return Quoted(latin1);
}

}  // namespace modemsim
