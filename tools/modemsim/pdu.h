#pragma once
// A general TS 23.040 codec for the PDUs a modem exchanges in PDU mode
// (TS 27.005 3.1: the service-centre address, then the TPDU). It decodes
// SMS-SUBMIT, SMS-DELIVER and SMS-STATUS-REPORT with any address, validity
// and coding choice, and encodes SMS-DELIVER and SMS-STATUS-REPORT for what
// the simulated network hands in.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modemsim/codec.h"

namespace modemsim {

// TS 23.040 9.1.2.5: the number as digits ('+' is not part of it) or, for
// alphanumeric addresses, the text in UTF-8.
struct Address {
  std::string number;
  std::uint8_t type = 0x81;

  bool International() const { return (type & 0x70) == 0x10; }
  bool Alphanumeric() const { return (type & 0x70) == 0x50; }
  // "+8613800000000" for international numbers, the bare number otherwise.
  std::string Display() const;
};

// The sender's address the way a network delivers a phone number:
// "13800000000", "8613800000000" and "+8613800000000" all become the
// international 8613800000000; other digit strings keep their form, and a
// name becomes an alphanumeric address. nullopt for an empty or unusable one.
std::optional<Address> SenderAddress(std::string_view text);

// TS 23.040 9.2.3.11: service-centre time stamp, local time with its zone.
struct Timestamp {
  int year = 0;  // full year
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int zone_quarters = 0;  // offset from UTC in quarters of an hour
  std::string Display() const;  // 2024-05-12 08:30:00 +08:00
};
Timestamp LocalTimestamp();
// The Display() form back; nullopt when a field is missing or out of range.
std::optional<Timestamp> ParseTimestamp(std::string_view text);

enum class Coding { Gsm7, Eight, Ucs2 };
const char* CodingName(Coding coding);  // "7bit", "8bit", "ucs2"

// TS 23.040 9.2.3.12, in the form the first octet's TP-VPF selects.
struct Validity {
  enum class Format { None, Relative, Enhanced, Absolute } format = Format::None;
  std::uint8_t relative = 0;
  std::array<std::uint8_t, 7> octets{};  // enhanced or absolute
  std::string Display() const;  // "none", "relative 1440 min", ...
};

struct Pdu {
  enum class Kind { Deliver, Submit, StatusReport } kind = Kind::Submit;
  std::optional<Address> service_centre;  // absent when its length octet is 0
  std::uint8_t first_octet = 0;
  std::uint8_t message_reference = 0;  // SMS-SUBMIT and SMS-STATUS-REPORT
  Address address;  // destination, the sender of a DELIVER, the recipient of a report
  std::uint8_t protocol_id = 0;
  std::uint8_t data_coding = 0;
  Coding coding = Coding::Gsm7;
  Validity validity;     // SMS-SUBMIT only
  Timestamp timestamp;   // TP-SCTS of SMS-DELIVER and SMS-STATUS-REPORT
  Timestamp discharge_time;  // SMS-STATUS-REPORT only, TP-DT
  std::uint8_t status = 0;   // SMS-STATUS-REPORT only, TP-ST (TS 23.040 9.2.3.15)
  Bytes header;          // TS 23.040 9.2.3.24 user-data header, without its length octet
  std::uint8_t user_data_length = 0;  // TP-UDL as sent: septets or octets
  Bytes user_data;       // after the header: septets for 7-bit, octets otherwise
  std::u32string text;   // user data as characters (8-bit data as Latin-1)
  std::size_t tpdu_octets = 0;  // octets after the service-centre part
};

// TS 23.040 9.2.3.24.1 and 9.2.3.24.8: which part of a concatenated
// message a PDU carries.
struct ConcatPart {
  int reference = 0;
  int total = 0;
  int sequence = 0;  // from 1
};
// The concatenation element of a user-data header (IE 00 or 08); nullopt
// when there is none or it is malformed.
std::optional<ConcatPart> ConcatenationOf(const Bytes& header);

struct DecodeResult {
  std::optional<Pdu> pdu;
  std::string error;  // says what was wrong where, when pdu is empty
};

// The hex text of a PDU as AT+CMGS takes it and AT+CMGL gives it.
// `with_service_centre` false reads a bare TPDU.
DecodeResult DecodePdu(std::string_view hex, bool with_service_centre = true);

// Octets of a PDU's hex text after its service-centre part: the length
// AT+CMGS announces. nullopt when the text is not hex or is too short.
std::optional<std::size_t> TpduOctets(std::string_view hex);

struct DeliverMessage {
  // Digits of type service_centre_type; empty for a PDU without service
  // centre (length 00).
  std::string service_centre = "8613800000000";
  Address sender;
  std::u32string text;  // 8-bit data: one octet per character, U+0000 to U+00FF
  Timestamp timestamp;
  std::uint16_t concat_reference = 0;  // used when the text needs several parts
  std::uint8_t service_centre_type = 0x91;
  std::optional<Coding> coding = std::nullopt;  // GSM 7-bit when every character fits, else UCS-2
  bool concat_16bit = false;  // TS 23.040 9.2.3.24.8 (IE 08) instead of 9.2.3.24.1 (IE 00)
  // Text units (septets, or octets) per part at most; 0 for as many as fit.
  // A smaller size makes a short text arrive in several parts.
  std::size_t part_size = 0;
};

// Whether every character of `text` has a form in `coding`.
bool Encodable(std::u32string_view text, Coding coding);

// The SMS-DELIVER PDUs (hex, service-centre part first) that carry the text,
// and concatenated parts (TS 23.040 9.2.3.24.1) for a text too long for one.
// A character the chosen coding lacks becomes '?' (check with Encodable).
std::vector<std::string> EncodeDeliver(const DeliverMessage& message);

// TS 23.040 9.2.2.3: what the service centre tells about a message sent
// with TP-SRR set.
struct StatusReportMessage {
  std::string service_centre = "8613800000000";  // as in DeliverMessage
  std::uint8_t service_centre_type = 0x91;
  std::uint8_t message_reference = 0;  // the TP-MR the modem answered in +CMGS
  Address recipient;
  Timestamp service_centre_time;  // when the centre took the message
  Timestamp discharge_time;       // when it was delivered, or failed
  std::uint8_t status = 0;        // TP-ST: 0 received by the recipient
};
std::string EncodeStatusReport(const StatusReportMessage& report);

}  // namespace modemsim
