#include "numgen/range_generator.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/codepage.h"
#include "platform/field_text.h"

namespace tavrel {
namespace {

std::size_t FirstCharBytes(std::string_view gbk) {
  if (gbk.empty()) return 0;
  return IsGbkLeadByte(gbk[0]) && gbk.size() > 1 ? 2 : 1;
}

// Sign first, then zeros up to the width, as printf's "%0*lld" pads; a user who
// typed 0012345678 gets 0012345678 back.
void AppendNumber(std::string& out, std::int64_t value, int width) {
  char digits[24];
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude);
  (void)ec;  // 24 bytes hold any 64-bit value
  const int length = static_cast<int>(end - digits) + (value < 0 ? 1 : 0);
  if (value < 0) out.push_back('-');
  if (width > length) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, end);
}

}  // namespace

std::int64_t AtolValue(std::string_view text) {
  return std::clamp<std::int64_t>(AtoL(text), -kAtolLimit, kAtolLimit);
}

std::size_t GbkCharCount(std::string_view gbk) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < gbk.size(); i += FirstCharBytes(gbk.substr(i))) ++count;
  return count;
}

std::uint64_t NumberRange::Count() const {
  if (first > last) return 0;
  return static_cast<std::uint64_t>(last - first) + 1;
}

NumberRange PlanRange(std::string_view start_text, std::string_view end_text) {
  NumberRange range;
  if (GbkCharCount(start_text) == kMobileNumberChars) {
    const std::size_t prefix_bytes = FirstCharBytes(start_text);
    range.prefix = std::string(start_text.substr(0, prefix_bytes));
    range.first = AtolValue(start_text.substr(prefix_bytes));
    range.last = AtolValue(end_text.substr(FirstCharBytes(end_text)));
    range.width = kMobileTailDigits;
  } else {
    range.first = AtolValue(start_text);
    range.last = AtolValue(end_text);
  }
  return range;
}

RangeLines::RangeLines(NumberRange range)
    : range_(std::move(range)), next_(range_.first), done_(range_.first > range_.last) {}

std::size_t RangeLines::AppendTo(std::string& out, std::size_t max_lines) {
  std::size_t written = 0;
  while (!done_ && written < max_lines) {
    out += range_.prefix;
    AppendNumber(out, next_, range_.width);
    out += "\r\n";
    ++written;
    // Checked before the step, so an end at the top of the range still stops.
    if (next_ == range_.last) done_ = true;
    else ++next_;
  }
  return written;
}

std::string ListRange(const NumberRange& range) {
  std::string text;
  RangeLines lines(range);
  while (!lines.Done()) lines.AppendTo(text, 4096);
  return text;
}

}  // namespace tavrel
