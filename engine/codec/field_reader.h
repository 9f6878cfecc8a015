#pragma once
// A reader over the hex text of a PDU whose every call names the TS 23.040
// field it reads, so that a decoder reads like the layout it follows and a
// PDU that breaks off says where.
//
// Reads are strict: a field that is not all there is not returned. The first
// failure is kept with the field's name and the character position, and every
// later read fails too, so a decoder may read on without checking each step.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class FieldReader {
 public:
  // Only the leading whole hex pairs are octets; an odd last digit or the
  // first character that is not hex ends the readable part.
  explicit FieldReader(std::string_view hex);

  std::optional<std::uint8_t> ReadOctet(std::string_view field);
  std::optional<std::vector<std::uint8_t>> ReadOctets(std::string_view field, std::size_t count);
  // Up to count octets: those present, noting the failure when they are
  // fewer. For user data, which is kept as far as it goes.
  std::vector<std::uint8_t> ReadOctetsUpTo(std::string_view field, std::size_t count);
  // TS 23.040 9.1.2.3: digits semi-octets, low nibble first; 'F' fills an
  // odd last octet and is dropped, A to E are '*', '#', 'a', 'b', 'c'.
  std::optional<std::string> ReadSemiOctets(std::string_view field, std::size_t digits);

  bool ok() const { return error_.empty(); }
  // "<field>: <what went wrong> at character <n>", empty while all is well.
  const std::string& error() const { return error_; }
  // Hex characters read so far.
  std::size_t position() const { return 2 * next_; }
  std::size_t OctetsLeft() const { return ok() ? octets_.size() - next_ : 0; }

 private:
  void Fail(std::string_view field, std::size_t wanted);

  std::vector<std::uint8_t> octets_;
  std::size_t next_ = 0;
  std::string why_short_;  // what ends the readable part: its end, an odd digit, a non-hex byte
  std::string error_;
};

}  // namespace tavrel
