#include "store/text.h"

#include "platform/codepage.h"

namespace tavrel {

SplitResult SplitField(std::string_view text, int k, char separator) {
  if (k < 1) return {std::string(text), -1};
  std::size_t start = 0;
  for (int i = 1;; ++i) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) return {std::string(text), -1};
    if (i == k) return {std::string(text.substr(start, end - start)), 0};
    start = end + 1;
  }
}

void TrimLine(std::string& text) {
  std::size_t end = text.find_first_of(std::string_view("\r\n\0", 3));
  if (end != std::string::npos) text.resize(end);
}

std::string TextToUcs2Hex(std::string_view gbk) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::u16string units = GbkToUtf16(gbk);
  std::string hex;
  hex.reserve(units.size() * 4);
  for (char16_t unit : units) {
    for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(unit >> shift) & 0xF];
  }
  return hex;
}

}  // namespace tavrel
