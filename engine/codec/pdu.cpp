#include "engine/codec/pdu.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "engine/codec/hex.h"
#include "platform/codepage.h"
#include "store/text.h"

namespace tavrel {
namespace {

// A field at a fixed character position of a received line.
struct FixedField {
  std::size_t position;
  std::size_t length;
};

// The positions assume an 18-character service-centre part and a 13-digit
// sender (86 and the national number), the usual correspondents; only the
// user-data position follows the address length.
constexpr FixedField kSenderAddressLength{20, 2};
constexpr FixedField kSenderDigits{26, 12};  // after the swapped country code
constexpr FixedField kTypeCode{38, 4};       // TP-PID and TP-DCS together
constexpr std::string_view k7BitTypeCode = "0000";

// The part of a field that the line holds; empty when the line ends before.
std::string_view Cut(std::string_view body, FixedField field) {
  if (field.position >= body.size()) return {};
  return body.substr(field.position, field.length);
}

// A group of at most four hex characters read as "0x" + group: its leading
// hex digits count, the first other character ends the number.
std::uint16_t HexGroupValue(std::string_view group) {
  std::uint16_t value = 0;
  for (char c : group) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return value;
}

std::string SwapPairs(std::string_view text) {
  std::string swapped(text);
  if (swapped.size() % 2 != 0) swapped.push_back('F');
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
    std::swap(swapped[i], swapped[i + 1]);
  }
  return swapped;
}

// "%2.2X": two upper-case digits, more only for values above FF.
std::string TwoHexDigits(std::size_t value) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%2.2zX", value);
  return digits;
}

// mask(r) of the unpacking: the bits of octet s that belong to character i.
constexpr std::array<std::uint8_t, 8> kSeptetMask{0x7F, 0x3F, 0x1F, 0x0F,
                                                  0x07, 0x03, 0x01, 0x00};

}  // namespace

std::string SwapDigits(std::string_view digits) { return SwapPairs(digits); }

std::string UnswapDigits(std::string_view semi_octets) {
  std::string digits = SwapPairs(semi_octets);
  if (!digits.empty() && digits.back() == 'F') digits.pop_back();
  return digits;
}

std::string Ucs2HexToText(std::string_view hex) {
  std::u16string units;
  for (std::size_t i = 0; i < hex.size(); i += 4) {
    // The field keeps its last unit for the closing zero.
    if (units.size() + 1 >= kUcs2FieldUnits) break;
    const std::uint16_t unit = HexGroupValue(hex.substr(i, 4));
    if (unit == 0) break;  // the conversion reads up to the first zero unit
    units.push_back(static_cast<char16_t>(unit));
  }
  return Utf16ToGbk(units);
}

// TS 23.038 6.1.2.1.1: septet i starts at bit 7i of the packed octets.
std::string Unpack7Bit(std::string_view hex) {
  // One octet more than the field reads: the octet after the last counts as 0.
  std::array<std::uint8_t, k7BitFieldOctets + 1> octets{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < hex.size() && count < k7BitFieldOctets; i += 2) {
    octets[count++] = static_cast<std::uint8_t>(HexGroupValue(hex.substr(i, 2)));
  }
  std::string text;
  for (std::size_t i = 0;; ++i) {
    const std::size_t s = i - i / 8;
    const unsigned r = i % 8;
    if (s > count) break;
    unsigned septet = octets[s] & kSeptetMask[r];
    if (r != 0) septet = ((septet << r) | (octets[s - 1] >> (8 - r))) & 0xFF;
    if (septet == 0) break;
    text.push_back(static_cast<char>(septet));
  }
  return text;
}

std::string SubmitUserData(std::string_view gbk_text) {
  std::string hex = TextToUcs2Hex(gbk_text);
  if (hex.size() > kMaxSubmitUserDataHex) hex.resize(kMaxSubmitUserDataHex);
  return hex;
}

// TS 23.040 9.2.2.2 with the options fixed: SMSC as international number,
// relative validity period of 24 hours (A7), national destination type (81).
SubmitPdu AssembleSubmit(std::string_view service_centre, std::string_view destination,
                         std::uint8_t first_octet, std::uint8_t coding_scheme,
                         std::size_t user_data_length, std::string_view user_data_hex) {
  SubmitPdu pdu;
  pdu.text = "0891";
  pdu.text += SwapDigits(service_centre);
  pdu.text += TwoHexDigits(first_octet);
  pdu.text += "00";  // TP-MR: the modem gives the reference
  pdu.text += TwoHexDigits(destination.size());
  pdu.text += "81";
  pdu.text += SwapDigits(destination);
  pdu.text += "00";  // TP-PID
  pdu.text += TwoHexDigits(coding_scheme);
  pdu.text += "A7";
  pdu.text += TwoHexDigits(user_data_length);
  pdu.text += user_data_hex;
  pdu.user_data = user_data_hex;
  // The announced length leaves out the service-centre part, taken to be
  // the 18 characters of a 13-digit number (TS 27.005 3.5.1, <length>).
  constexpr std::size_t kServiceCentrePart = 18;
  pdu.announced_length = static_cast<int>((pdu.text.size() - kServiceCentrePart) / 2);
  pdu.text += kCtrlZ;
  return pdu;
}

// SMS-SUBMIT with a relative validity period (11), UCS-2 (DCS 08).
SubmitPdu AssembleSubmitPdu(std::string_view service_centre,
                            std::string_view destination,
                            std::string_view user_data_hex, bool status_report) {
  const std::uint8_t first_octet = status_report ? 0x31 : 0x11;
  return AssembleSubmit(service_centre, destination, first_octet, 0x08, user_data_hex.size() / 2,
                        user_data_hex);
}

SubmitPdu BuildSubmitPdu(std::string_view service_centre,
                         std::string_view destination, std::string_view gbk_text) {
  return AssembleSubmitPdu(service_centre, destination, SubmitUserData(gbk_text));
}

std::size_t UserDataOffset(std::string_view address_length) {
  // 03 to 09 are read as a decimal number, the three two-digit lengths that
  // fit the field are compared as text.
  switch (AtoL(address_length)) {
    case 3: case 4: return 48;
    case 5: case 6: return 50;
    case 7: case 8: return 52;
    case 9: return 54;
    default: break;
  }
  if (address_length == "0A") return 54;
  if (address_length == "0B" || address_length == "0C") return 56;
  return 58;
}

// TS 23.040 9.2.2.1, cut at fixed positions.
DeliverPdu ParseDeliverPdu(std::string_view line) {
  const std::string_view body = line.substr(0, line.empty() ? 0 : line.size() - 1);
  DeliverPdu pdu;
  pdu.sender_field = Cut(body, kSenderDigits);
  pdu.sender = UnswapDigits(pdu.sender_field);
  pdu.address_length = Cut(body, kSenderAddressLength);
  pdu.user_data_offset = UserDataOffset(pdu.address_length);
  if (pdu.user_data_offset < body.size()) pdu.user_data = body.substr(pdu.user_data_offset);
  pdu.type_code = Cut(body, kTypeCode);
  pdu.text = pdu.type_code == k7BitTypeCode ? Unpack7Bit(pdu.user_data)
                                            : Ucs2HexToText(pdu.user_data);
  return pdu;
}

}  // namespace tavrel
