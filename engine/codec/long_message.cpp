#include "engine/codec/long_message.h"

#include <algorithm>
#include <optional>

#include "engine/codec/gsm7.h"
#include "platform/codepage.h"

namespace tavrel {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kGsm7Coding = 0x00;  // TS 23.038 4, default alphabet
constexpr std::uint8_t kUcs2Coding = 0x08;
constexpr std::uint8_t kSubmitFirstOctet = 0x11;  // SMS-SUBMIT, relative validity
constexpr std::uint8_t kHeaderIndicator = 0x40;   // TS 23.040 9.2.3.23 TP-UDHI
// TS 23.040 9.2.3.24.1: UDHL 05, IE 00 of length 03: reference, total, sequence.
constexpr std::size_t kConcatHeaderOctets = 6;
// 7-bit text after the header starts at the next septet boundary: 6 octets
// are 48 bits, one fill bit makes 7 septets.
constexpr unsigned kConcatFillBits = 1;
constexpr std::size_t kConcatHeaderSeptets = 7;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The text cut into characters, each the units it takes on the air: one or
// two septets (an escape pair), or one or two UCS-2 units (a surrogate pair).
struct Units {
  SmsAlphabet alphabet = SmsAlphabet::kUcs2;
  std::vector<std::vector<std::uint8_t>> characters;  // the octets each character sends
  std::size_t count = 0;                              // septets or UTF-16 units in all
};

Units UnitsOf(std::u16string_view text) {
  Units units;
  if (const std::optional<std::vector<std::uint8_t>> septets = Utf16ToGsm7(text)) {
    units.alphabet = SmsAlphabet::kGsm7;
    units.count = septets->size();
    for (std::size_t i = 0; i < septets->size(); ++i) {
      const std::size_t width = (*septets)[i] == kEscape && i + 1 < septets->size() ? 2 : 1;
      units.characters.emplace_back(septets->begin() + i, septets->begin() + i + width);
      i += width - 1;
    }
    return units;
  }
  units.count = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t width = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
    std::vector<std::uint8_t> octets;
    for (std::size_t k = i; k < i + width; ++k) {
      octets.push_back(static_cast<std::uint8_t>(text[k] >> 8));
      octets.push_back(static_cast<std::uint8_t>(text[k] & 0xFF));
    }
    units.characters.push_back(std::move(octets));
    i += width - 1;
  }
  return units;
}

// Septets or UTF-16 units one character takes.
std::size_t Width(const Units& units, const std::vector<std::uint8_t>& character) {
  return units.alphabet == SmsAlphabet::kGsm7 ? character.size() : character.size() / 2;
}

// Whole characters into parts of at most `room` units each.
std::vector<std::vector<std::uint8_t>> Split(const Units& units, std::size_t room) {
  std::vector<std::vector<std::uint8_t>> parts(1);
  std::size_t used = 0;
  for (const std::vector<std::uint8_t>& character : units.characters) {
    const std::size_t width = Width(units, character);
    if (used + width > room) {
      parts.emplace_back();
      used = 0;
    }
    parts.back().insert(parts.back().end(), character.begin(), character.end());
    used += width;
  }
  return parts;
}

std::vector<std::vector<std::uint8_t>> Parts(const Units& units) {
  const bool gsm7 = units.alphabet == SmsAlphabet::kGsm7;
  if (units.count <= (gsm7 ? kSeptetsPerSms : kUcs2UnitsPerSms)) return Split(units, units.count);
  return Split(units, gsm7 ? kSeptetsPerPart : kUcs2UnitsPerPart);
}

std::string Hex(const std::vector<std::uint8_t>& octets) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(octets.size() * 2);
  for (std::uint8_t octet : octets) {
    hex += kDigits[octet >> 4];
    hex += kDigits[octet & 0x0F];
  }
  return hex;
}

}  // namespace

std::string LongMessageText(std::string_view gbk_text) {
  gbk_text = gbk_text.substr(0, gbk_text.find('\0'));
  std::string text;
  text.reserve(gbk_text.size());
  for (std::size_t i = 0; i < gbk_text.size(); ++i) {
    if (gbk_text[i] != '\r') {
      text += gbk_text[i];
    } else if (i + 1 >= gbk_text.size() || gbk_text[i + 1] != '\n') {
      text += '\n';
    }
  }
  return text;
}

MessagePlan PlanMessage(std::string_view gbk_text, int parts_limit) {
  const Units units = UnitsOf(GbkToUtf16(LongMessageText(gbk_text)));
  MessagePlan plan;
  plan.alphabet = units.alphabet;
  plan.characters = units.characters.size();
  plan.parts = Parts(units);
  plan.parts_needed = static_cast<int>(plan.parts.size());
  plan.parts.resize(std::min<std::size_t>(plan.parts.size(), std::max(parts_limit, 1)));
  return plan;
}

MessageMeasure MeasureMessage(std::string_view gbk_text, int parts_limit) {
  MessageMeasure measure;
  if (parts_limit <= 1) {
    const std::size_t units = GbkToUtf16(gbk_text).size();
    measure.characters = units;
    measure.parts = units == 0 ? 0
                    : units <= kUcs2UnitsPerSms
                        ? 1
                        : static_cast<int>((units + kUcs2UnitsPerPart - 1) / kUcs2UnitsPerPart);
    measure.fits = measure.parts <= 1;
    return measure;
  }
  const MessagePlan plan = PlanMessage(gbk_text, kMaxParts);
  measure.alphabet = plan.alphabet;
  measure.characters = plan.characters;
  measure.parts = plan.characters == 0 ? 0 : plan.parts_needed;
  measure.fits = measure.parts <= parts_limit;
  return measure;
}

std::vector<SubmitPdu> AssembleMessagePdus(std::string_view service_centre,
                                           std::string_view destination, const MessagePlan& plan,
                                           int concat_reference, bool status_report) {
  const bool gsm7 = plan.alphabet == SmsAlphabet::kGsm7;
  const bool concatenated = plan.parts.size() > 1;
  std::uint8_t first_octet = kSubmitFirstOctet;
  if (status_report) first_octet |= kStatusReportRequest;
  if (concatenated) first_octet |= kHeaderIndicator;
  std::vector<SubmitPdu> pdus;
  for (std::size_t i = 0; i < plan.parts.size(); ++i) {
    const std::vector<std::uint8_t>& part = plan.parts[i];
    std::vector<std::uint8_t> user_data;
    std::size_t length = part.size();  // septets or octets
    if (concatenated) {
      user_data = {0x05,
                   0x00,
                   0x03,
                   static_cast<std::uint8_t>(concat_reference & 0xFF),
                   static_cast<std::uint8_t>(plan.parts.size()),
                   static_cast<std::uint8_t>(i + 1)};
      length += gsm7 ? kConcatHeaderSeptets : kConcatHeaderOctets;
    }
    if (gsm7) {
      const std::vector<std::uint8_t> packed =
          PackSeptets(part, concatenated ? kConcatFillBits : 0);
      user_data.insert(user_data.end(), packed.begin(), packed.end());
    } else {
      user_data.insert(user_data.end(), part.begin(), part.end());
    }
    pdus.push_back(AssembleSubmit(service_centre, destination, first_octet,
                                  gsm7 ? kGsm7Coding : kUcs2Coding, length, Hex(user_data)));
  }
  return pdus;
}

}  // namespace tavrel
