#pragma once
// Merlon's number lists, apart from any window: what a start text and an end
// text mean, how many numbers lie between them, and the CR LF lines that list
// them. Texts are GBK bytes, as the edits hand them over.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrel {

// One run lists at most this many numbers; a wider range is refused whole,
// because billions of lines would exhaust memory and run for days.
inline constexpr std::uint64_t kMaxRangeNumbers = 1'000'000;

// The digits after the prefix of an 11-character mobile number.
inline constexpr int kMobileTailDigits = 10;
inline constexpr std::size_t kMobileNumberChars = 11;

// The value of a text read like atol: leading blanks skipped, an optional
// sign, then the digits up to the first non-digit; 0 when there are none.
// Values saturate at +-kAtolLimit so that no range arithmetic can overflow.
inline constexpr std::int64_t kAtolLimit = 1'000'000'000'000'000'000;
std::int64_t AtolValue(std::string_view text);

// Characters of a GBK text (a lead byte 0x81..0xFE takes the next byte with it).
std::size_t GbkCharCount(std::string_view gbk);

// What one press of the button lists: every value from `first` to `last`
// inclusive, each written after `prefix`, zero-padded to `width` digits.
struct NumberRange {
  std::string prefix;
  std::int64_t first = 0;
  std::int64_t last = 0;
  int width = 0;  // 0 writes plain decimal

  // How many lines the range makes; 0 when the end lies below the start.
  std::uint64_t Count() const;
};

// An 11-character start keeps its first character as the prefix and counts
// over the rest, padded to ten digits as the user typed them; the end text's
// first character is not looked at. Any other start is plain decimal.
NumberRange PlanRange(std::string_view start_text, std::string_view end_text);

// Writes the lines of a range in batches, so a caller can hand each batch on
// while the next one is made.
class RangeLines {
 public:
  explicit RangeLines(NumberRange range);

  bool Done() const { return done_; }
  // Appends up to `max_lines` more lines, each ended by CR LF; returns how many.
  std::size_t AppendTo(std::string& out, std::size_t max_lines);

 private:
  NumberRange range_;
  std::int64_t next_;
  bool done_;
};

// The whole list of a range at once.
std::string ListRange(const NumberRange& range);

}  // namespace tavrel
