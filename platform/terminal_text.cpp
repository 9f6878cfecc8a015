#include "platform/terminal_text.h"

#include "platform/codepage.h"

namespace tavrel {

std::string TerminalLines(std::string_view gbk) {
  const std::string utf8 = GbkToUtf8(gbk);
  std::string out;
  out.reserve(utf8.size() + 1);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(utf8[i]);
    if (byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    const bool control = (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
    out += control ? '?' : utf8[i];
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  return out;
}

}  // namespace tavrel
