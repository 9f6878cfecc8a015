#include "engine/codec/field_reader.h"

#include <algorithm>
#include <cstdio>

#include "engine/codec/hex.h"

namespace tavrel {
namespace {

constexpr std::string_view kSemiOctetDigits = "0123456789*#abc";
constexpr unsigned kFiller = 0xF;

}  // namespace

FieldReader::FieldReader(std::string_view hex) {
  std::size_t i = 0;
  for (; i + 1 < hex.size(); i += 2) {
    const int high = HexDigitValue(hex[i]);
    const int low = HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) break;
    octets_.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  if (i >= hex.size()) {
    why_short_ = "the PDU ends";
  } else if (i + 1 == hex.size() && HexDigitValue(hex[i]) >= 0) {
    why_short_ = "an odd last hex digit";
  } else {
    const char bad = HexDigitValue(hex[i]) < 0 ? hex[i] : hex[i + 1];
    char text[32];
    std::snprintf(text, sizeof text, "byte 0x%02X is not hex",
                  static_cast<unsigned>(static_cast<unsigned char>(bad)));
    why_short_ = text;
  }
}

void FieldReader::Fail(std::string_view field, std::size_t wanted) {
  if (!ok()) return;
  char text[96];
  std::snprintf(text, sizeof text, ": %zu octet%s wanted, %zu left (%s at character %zu)", wanted,
                wanted == 1 ? "" : "s", octets_.size() - next_, why_short_.c_str(),
                2 * octets_.size());
  error_ = std::string(field) + text;
}

std::optional<std::uint8_t> FieldReader::ReadOctet(std::string_view field) {
  const auto octets = ReadOctets(field, 1);
  if (!octets) return std::nullopt;
  return octets->front();
}

std::optional<std::vector<std::uint8_t>> FieldReader::ReadOctets(std::string_view field,
                                                                  std::size_t count) {
  if (!ok() || count > OctetsLeft()) {
    Fail(field, count);
    return std::nullopt;
  }
  std::vector<std::uint8_t> read(octets_.begin() + next_, octets_.begin() + next_ + count);
  next_ += count;
  return read;
}

std::vector<std::uint8_t> FieldReader::ReadOctetsUpTo(std::string_view field, std::size_t count) {
  const std::size_t present = std::min(count, OctetsLeft());
  std::vector<std::uint8_t> read(octets_.begin() + next_, octets_.begin() + next_ + present);
  if (present < count) Fail(field, count);
  next_ += present;
  return read;
}

std::optional<std::string> FieldReader::ReadSemiOctets(std::string_view field,
                                                       std::size_t digits) {
  const auto octets = ReadOctets(field, (digits + 1) / 2);
  if (!octets) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < digits; ++i) {
    const std::uint8_t octet = (*octets)[i / 2];
    const unsigned nibble = i % 2 == 0 ? octet & 0xF : octet >> 4;
    if (nibble != kFiller) text += kSemiOctetDigits[nibble];
  }
  return text;
}

}  // namespace tavrel
