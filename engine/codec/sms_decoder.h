#pragma once
// Decoding of what the modem lists in PDU mode (TS 27.005 3.1 <pdu>: the
// service-centre address, then the TPDU of TS 23.040): SMS-DELIVER and
// SMS-STATUS-REPORT, any address form, every coding group, user-data headers.
//
// Lines come from whoever is on the serial line: a PDU that breaks off is
// decoded as far as it goes, with a note of the field where it stopped; no
// input makes the decoder read outside it. Texts come out as GBK, with no
// control character other than CR and LF.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// TS 23.040 9.1.2.5, the type of number in bits 6 to 4 of the type octet.
enum class TypeOfNumber : std::uint8_t {
  kUnknown = 0,
  kInternational = 1,
  kNational = 2,
  kNetworkSpecific = 3,
  kSubscriber = 4,
  kAlphanumeric = 5,
  kAbbreviated = 6,
  kReserved = 7,
};

struct SmsAddress {
  std::uint8_t type = 0;  // the type-of-address octet
  std::string value;      // the digits; for an alphanumeric address its name in GBK

  TypeOfNumber type_of_number() const { return static_cast<TypeOfNumber>((type >> 4) & 7); }
};

// What R<m> of recv holds for a sender: for +86 and exactly 11 digits (a
// mobile) the 11 digits; for any other international number '+' and all its
// digits; for a national, short or service number its digits; for an
// alphanumeric sender its name.
std::string SenderRecordText(const SmsAddress& sender);

// TS 23.040 9.2.3.11, each field as its two decimal semi-octets.
struct SmsTimestamp {
  int year = 0;  // two digits, as sent
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int zone_quarters = 0;  // quarters of an hour from GMT, negative west of it
};

// The TS 27.005 form "yy/MM/dd,hh:mm:ss+zz" (zz in quarters of an hour).
std::string TimestampText(const SmsTimestamp& time);

enum class SmsAlphabet { kGsm7, kEightBit, kUcs2 };

// TS 23.038 4: the alphabet of a data coding scheme. Reserved codings read as
// the default alphabet, as the standard asks; compressed text, which the
// station cannot expand, as 8-bit data.
SmsAlphabet AlphabetOf(std::uint8_t coding_scheme);

// TS 23.040 9.2.3.24.1: one part of a concatenated message.
struct Concatenation {
  int reference = 0;  // 8 or 16 bits, by the element that carried it
  int total = 0;
  int sequence = 0;   // from 1

  bool operator==(const Concatenation&) const = default;
};

struct InformationElement {
  std::uint8_t id = 0;
  std::vector<std::uint8_t> data;
};

enum class SmsPduType { kDeliver, kStatusReport, kOther };

struct DecodedSms {
  SmsPduType type = SmsPduType::kOther;
  SmsAddress service_centre;  // empty when the PDU has none ("00")
  std::uint8_t first_octet = 0;

  // SMS-DELIVER (TS 23.040 9.2.2.1)
  SmsAddress sender;                  // TP-OA
  std::uint8_t protocol_id = 0;       // TP-PID
  std::uint8_t coding_scheme = 0;     // TP-DCS
  SmsTimestamp service_centre_time;   // TP-SCTS, in a status report too

  // SMS-STATUS-REPORT (TS 23.040 9.2.2.3)
  std::uint8_t message_reference = 0;  // TP-MR of the message reported on
  SmsAddress recipient;                // TP-RA
  SmsTimestamp discharge_time;         // TP-DT
  std::uint8_t status = 0;             // TP-ST

  // User data: a status report carries it only when its TP-PI says so.
  SmsAlphabet alphabet = SmsAlphabet::kGsm7;
  std::vector<InformationElement> header;  // TP-UDH elements, never part of the text
  std::optional<Concatenation> concatenation;
  std::string text;  // GBK

  // Empty when the PDU was read to its end; otherwise the field where
  // reading stopped and why. What came before it is decoded all the same.
  std::string error;
  std::size_t read_up_to = 0;  // hex characters read
};

// One PDU line of a listing; a trailing CR or LF is not part of the PDU.
DecodedSms DecodeSmsPdu(std::string_view line);

}  // namespace tavrel
