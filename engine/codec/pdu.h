#pragma once
// SMS-SUBMIT building and SMS-DELIVER cutting for the modem's PDU mode
// (3GPP TS 23.040, texts as UCS-2 or the 7-bit packing of TS 23.038).
// Pure functions: no I/O, no state. Texts on the system side are GBK bytes.
//
// Received lines come from whoever is on the serial line, so every reader
// here is total: a short line, odd or non-hex user data and oversized user
// data give defined fields (absent fields are empty, conversions stop at the
// capacity of their field), never a read past the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrel {

inline constexpr char kCtrlZ = '\x1A';  // ends the PDU after "at+cmgs="

// User data of an outgoing PDU is cut to 280 hex characters: 70 UCS-2
// characters, the 140 octets one SMS holds.
inline constexpr std::size_t kMaxSubmitUserDataHex = 280;
// The UCS-2 decoder collects code units in a 300-unit field that also holds
// the closing zero unit.
inline constexpr std::size_t kUcs2FieldUnits = 300;
// The 7-bit decoder reads at most this many octets of user data.
inline constexpr std::size_t k7BitFieldOctets = 300;

// Semi-octet form of a digit string: an odd string is filled up with 'F',
// then each pair is swapped ("13800000000" -> "3108000000F0").
std::string SwapDigits(std::string_view digits);
// The reverse: swap the pairs (filling an odd input with 'F' first), then
// drop a trailing 'F'.
std::string UnswapDigits(std::string_view semi_octets);

// UCS-2 hex text -> GBK. Groups of four hex characters, each one UTF-16 unit
// (a shorter last group is read as it stands). A group's value is its leading
// hex digits, as "0x" + group reads; a group with none reads as 0. The text
// ends at the first zero unit or when the 300-unit field is full. Units
// without a GBK form become '?'.
std::string Ucs2HexToText(std::string_view hex);

// 7-bit packed hex text -> text. The septets are used directly as character
// codes; the text ends at the first zero septet. At most 300 octets are read;
// an odd last hex character is read as an octet of its own.
std::string Unpack7Bit(std::string_view hex);

// Step 1 of the building: the user data hex of a GBK text, cut to 280.
std::string SubmitUserData(std::string_view gbk_text);

struct SubmitPdu {
  std::string text;           // upper-case hex followed by Ctrl-Z
  int announced_length = 0;   // octets after the service-centre part
  std::string user_data;      // the TP-UD part of text, for the trace
};

// The PDU of one message to one destination, with the length that
// "at+cmgs=" announces. The service-centre number is expected as 13 digits
// (86 and the national number); nothing is validated.
SubmitPdu BuildSubmitPdu(std::string_view service_centre,
                         std::string_view destination, std::string_view gbk_text);
// The same from user data already converted (and cut) by SubmitUserData, for
// callers that convert a text once and send it to many destinations;
// status_report sets TP-SRR (first octet 31 instead of 11).
SubmitPdu AssembleSubmitPdu(std::string_view service_centre,
                            std::string_view destination,
                            std::string_view user_data_hex, bool status_report = false);
// The layout every outgoing PDU shares, with the first octet, the coding
// scheme and the user data length (septets for 7-bit, else octets) given.
SubmitPdu AssembleSubmit(std::string_view service_centre, std::string_view destination,
                         std::uint8_t first_octet, std::uint8_t coding_scheme,
                         std::size_t user_data_length, std::string_view user_data_hex);

// Where the user data begins in a received line, chosen by the two
// characters of the sender address length.
std::size_t UserDataOffset(std::string_view address_length);

struct DeliverPdu {
  std::string sender_field;     // the raw characters at positions 26-37
  std::string sender;           // UnswapDigits of sender_field
  std::string address_length;   // positions 20-21
  std::size_t user_data_offset = 0;
  std::string type_code;        // positions 38-41; "0000" means 7-bit
  std::string user_data;        // hex, from the offset to the line's end
  std::string text;             // decoded, GBK
};

// Cuts one line of the modem's listing (hex, ending in CR). The last
// character of the line is taken to be its CR and is never part of a field.
DeliverPdu ParseDeliverPdu(std::string_view line);

}  // namespace tavrel
