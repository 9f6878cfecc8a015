#include "engine/codec/sms_decoder.h"

#include <algorithm>
#include <cstdio>

#include "engine/codec/field_reader.h"
#include "engine/codec/gsm7.h"
#include "platform/codepage.h"

namespace tavrel {
namespace {

// TS 23.040 9.2.3.1: TP-MTI in the two low bits of the first octet, as the
// mobile station receives it.
constexpr std::uint8_t kMessageTypeMask = 0x03;
constexpr std::uint8_t kDeliverType = 0x00;
constexpr std::uint8_t kStatusReportType = 0x02;
// TS 23.040 9.2.3.23: TP-UDHI.
constexpr std::uint8_t kHeaderIndicator = 0x40;

// TS 23.040 9.2.3.24.1 and 9.2.3.24.8.
constexpr std::uint8_t kConcatenation8Bit = 0x00;
constexpr std::uint8_t kConcatenation16Bit = 0x08;

// TS 23.040 9.2.3.27: what follows TP-PI in a status report.
constexpr std::uint8_t kPidPresent = 0x01;
constexpr std::uint8_t kDcsPresent = 0x02;
constexpr std::uint8_t kUdlPresent = 0x04;

constexpr std::size_t kTimestampOctets = 7;
constexpr std::size_t kMobileDigits = 11;
constexpr std::string_view kChinaCode = "86";

// C0 and C1 control characters other than CR and LF, and DEL.
bool IsControl(char16_t unit) {
  return (unit < 0x20 && unit != u'\r' && unit != u'\n') || (unit >= 0x7F && unit <= 0x9F);
}

// Every alphabet ends as GBK the same way: a control character, which no
// text of a person needs and which would reach a file or a terminal as a
// command, becomes '?', like a character without a GBK form.
std::string FiledText(std::u16string units) {
  std::replace_if(units.begin(), units.end(), IsControl, u'?');
  return Utf16ToGbk(units);
}

// TS 23.040 9.1.2.5. An alphanumeric value is packed 7-bit text; its length
// counts semi-octets, so length * 4 / 7 septets.
SmsAddress ReadAddress(FieldReader& reader, std::string_view field) {
  SmsAddress address;
  const std::string name(field);
  const auto length = reader.ReadOctet(name + " length");
  const auto type = reader.ReadOctet(name + " type");
  if (!length || !type) return address;
  address.type = *type;
  if (address.type_of_number() == TypeOfNumber::kAlphanumeric) {
    const auto packed = reader.ReadOctets(name, (*length + 1) / 2);
    if (packed) address.value = FiledText(Gsm7ToUtf16(UnpackSeptets(*packed, *length * 4 / 7)));
  } else {
    address.value = reader.ReadSemiOctets(name, *length).value_or("");
  }
  return address;
}

// TS 27.005 3.1: the length counts the octets of the type and the digits.
SmsAddress ReadServiceCentre(FieldReader& reader) {
  SmsAddress address;
  const auto length = reader.ReadOctet("SMSC length");
  if (!length || *length == 0) return address;
  const auto type = reader.ReadOctet("SMSC type");
  if (!type) return address;
  address.type = *type;
  address.value = reader.ReadSemiOctets("SMSC", 2 * (*length - 1)).value_or("");
  return address;
}

int SemiOctetNumber(std::uint8_t octet) { return (octet & 0xF) * 10 + (octet >> 4); }

// TS 23.040 9.2.3.11: the sign of the zone is bit 3 of its first digit.
SmsTimestamp ReadTimestamp(FieldReader& reader, std::string_view field) {
  SmsTimestamp time;
  const auto octets = reader.ReadOctets(field, kTimestampOctets);
  if (!octets) return time;
  const std::vector<std::uint8_t>& o = *octets;
  time.year = SemiOctetNumber(o[0]);
  time.month = SemiOctetNumber(o[1]);
  time.day = SemiOctetNumber(o[2]);
  time.hour = SemiOctetNumber(o[3]);
  time.minute = SemiOctetNumber(o[4]);
  time.second = SemiOctetNumber(o[5]);
  time.zone_quarters = SemiOctetNumber(o[6] & 0xF7);
  if (o[6] & 0x08) time.zone_quarters = -time.zone_quarters;
  return time;
}

// TS 23.040 9.2.3.24: elements of one id byte and one length byte each. An
// element that runs past the header ends it; the text is not affected.
void ReadHeaderElements(const std::vector<std::uint8_t>& udh, DecodedSms& sms) {
  for (std::size_t i = 0; i + 2 <= udh.size();) {
    InformationElement element;
    element.id = udh[i];
    const std::size_t length = udh[i + 1];
    if (i + 2 + length > udh.size()) break;
    element.data.assign(udh.begin() + i + 2, udh.begin() + i + 2 + length);
    i += 2 + length;
    const std::vector<std::uint8_t>& d = element.data;
    Concatenation part;
    if (element.id == kConcatenation8Bit && d.size() == 3) {
      part = {d[0], d[1], d[2]};
    } else if (element.id == kConcatenation16Bit && d.size() == 4) {
      part = {d[0] * 256 + d[1], d[2], d[3]};
    }
    // TS 23.040 9.2.3.24.1: a part numbered 0 or past the total is ignored.
    if (!sms.concatenation && part.total > 0 && part.sequence >= 1 &&
        part.sequence <= part.total) {
      sms.concatenation = part;
    }
    sms.header.push_back(std::move(element));
  }
}

std::u16string Ucs2Units(const std::vector<std::uint8_t>& octets, std::size_t from) {
  std::u16string units;
  for (std::size_t i = from; i + 1 < octets.size(); i += 2) {
    units.push_back(static_cast<char16_t>(octets[i] << 8 | octets[i + 1]));
  }
  return units;
}

// TS 23.040 9.2.3.16 and 9.2.3.24. The length counts septets for the default
// alphabet (the header and its fill bits included) and octets otherwise;
// user data that stops short is decoded as far as it goes.
void ReadUserData(FieldReader& reader, bool has_header, DecodedSms& sms) {
  sms.alphabet = AlphabetOf(sms.coding_scheme);
  const auto length = reader.ReadOctet("TP-UDL");
  if (!length) return;
  const bool septets = sms.alphabet == SmsAlphabet::kGsm7;
  const std::size_t octet_count = septets ? (*length * 7 + 7) / 8 : *length;
  const std::vector<std::uint8_t> octets = reader.ReadOctetsUpTo("TP-UD", octet_count);

  std::size_t text_from = 0;  // octets of the header and its length octet
  if (has_header && !octets.empty()) {
    text_from = std::min<std::size_t>(1 + octets[0], octets.size());
    ReadHeaderElements({octets.begin() + 1, octets.begin() + text_from}, sms);
  }
  std::u16string units;
  switch (sms.alphabet) {
    case SmsAlphabet::kGsm7: {
      // The text starts at the first septet boundary after the header.
      const std::size_t skip = (text_from * 8 + 6) / 7;
      const std::vector<std::uint8_t> all = UnpackSeptets(octets, *length);
      if (skip < all.size()) {
        units = Gsm7ToUtf16(std::span(all).subspan(skip));
      }
      break;
    }
    case SmsAlphabet::kEightBit:
      // Octets read as ISO 8859-1, the only reading that needs no guess.
      for (std::size_t i = text_from; i < octets.size(); ++i) units.push_back(octets[i]);
      break;
    case SmsAlphabet::kUcs2:
      units = Ucs2Units(octets, text_from);
      break;
  }
  sms.text = FiledText(std::move(units));
}

void ReadDeliver(FieldReader& reader, DecodedSms& sms) {
  sms.sender = ReadAddress(reader, "TP-OA");
  sms.protocol_id = reader.ReadOctet("TP-PID").value_or(0);
  sms.coding_scheme = reader.ReadOctet("TP-DCS").value_or(0);
  sms.service_centre_time = ReadTimestamp(reader, "TP-SCTS");
  ReadUserData(reader, sms.first_octet & kHeaderIndicator, sms);
}

// The parameters after TP-ST are optional (TS 23.040 9.2.2.3): a report that
// ends at its status is complete.
void ReadStatusReport(FieldReader& reader, DecodedSms& sms) {
  sms.message_reference = reader.ReadOctet("TP-MR").value_or(0);
  sms.recipient = ReadAddress(reader, "TP-RA");
  sms.service_centre_time = ReadTimestamp(reader, "TP-SCTS");
  sms.discharge_time = ReadTimestamp(reader, "TP-DT");
  sms.status = reader.ReadOctet("TP-ST").value_or(0);
  if (reader.OctetsLeft() == 0) return;
  const std::uint8_t present = *reader.ReadOctet("TP-PI");
  if (present & kPidPresent) sms.protocol_id = reader.ReadOctet("TP-PID").value_or(0);
  if (present & kDcsPresent) sms.coding_scheme = reader.ReadOctet("TP-DCS").value_or(0);
  if (present & kUdlPresent) ReadUserData(reader, sms.first_octet & kHeaderIndicator, sms);
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string SenderRecordText(const SmsAddress& sender) {
  if (sender.type_of_number() != TypeOfNumber::kInternational || sender.value.empty()) {
    return sender.value;
  }
  const std::string_view digits = sender.value;
  if (digits.size() == kChinaCode.size() + kMobileDigits && digits.starts_with(kChinaCode) &&
      AllDigits(digits)) {
    return std::string(digits.substr(kChinaCode.size()));
  }
  return "+" + sender.value;
}

std::string TimestampText(const SmsTimestamp& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.zone_quarters < 0 ? '-' : '+',
                t.zone_quarters < 0 ? -t.zone_quarters : t.zone_quarters);
  return text;
}

SmsAlphabet AlphabetOf(std::uint8_t dcs) {
  const unsigned group = dcs >> 4;
  if (group <= 0x7) {  // general data coding, with or without automatic deletion
    if (dcs & 0x20) return SmsAlphabet::kEightBit;
    switch ((dcs >> 2) & 0x3) {
      case 1: return SmsAlphabet::kEightBit;
      case 2: return SmsAlphabet::kUcs2;
      default: return SmsAlphabet::kGsm7;
    }
  }
  if (group == 0xE) return SmsAlphabet::kUcs2;  // message waiting, store, UCS-2
  if (group == 0xF) return (dcs & 0x04) ? SmsAlphabet::kEightBit : SmsAlphabet::kGsm7;
  return SmsAlphabet::kGsm7;  // reserved groups and message waiting in 7 bits
}

DecodedSms DecodeSmsPdu(std::string_view line) {
  DecodedSms sms;
  FieldReader reader(WithoutLineEnd(line));
  sms.service_centre = ReadServiceCentre(reader);
  const auto first = reader.ReadOctet("TP-MTI");
  if (first) {
    sms.first_octet = *first;
    switch (*first & kMessageTypeMask) {
      case kDeliverType:
        sms.type = SmsPduType::kDeliver;
        ReadDeliver(reader, sms);
        break;
      case kStatusReportType:
        sms.type = SmsPduType::kStatusReport;
        ReadStatusReport(reader, sms);
        break;
      default: {
        char text[80];
        std::snprintf(text, sizeof text,
                      "TP-MTI: first octet %02X is neither SMS-DELIVER nor SMS-STATUS-REPORT",
                      *first);
        sms.error = text;
        break;
      }
    }
  }
  if (sms.error.empty()) sms.error = reader.error();
  sms.read_up_to = reader.position();
  return sms;
}

}  // namespace tavrel
