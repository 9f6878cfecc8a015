#include "tools/modemsim/pdu.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace modemsim {
namespace {

constexpr std::size_t kMaxAddressDigits = 20;     // TS 23.040 9.1.2.5
constexpr std::size_t kMaxServiceCentreOctets = 11;  // type octet and 20 digits
constexpr std::size_t kMaxSeptets = 160;
constexpr std::size_t kMaxOctets = 140;
constexpr std::size_t kMaxParts = 255;

// Reads a PDU octet by octet; every read names its field so that a short
// PDU is reported as "ends inside TP-DCS", not as an index.
class OctetReader {
 public:
  explicit OctetReader(const Bytes& bytes) : bytes_(bytes) {}

  std::optional<std::uint8_t> Octet(const char* field) {
    auto octets = Octets(field, 1);
    if (!octets) return std::nullopt;
    return (*octets)[0];
  }

  std::optional<Bytes> Octets(const char* field, std::size_t count) {
    if (count > Remaining()) {
      error_ = std::string("the PDU ends inside ") + field + " (octet " + std::to_string(position_ + 1) +
               ", " + std::to_string(count) + " needed, " + std::to_string(Remaining()) + " left)";
      return std::nullopt;
    }
    Bytes octets(bytes_.begin() + static_cast<std::ptrdiff_t>(position_),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(position_ + count));
    position_ += count;
    return octets;
  }

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return bytes_.size() - position_; }
  const std::string& Error() const { return error_; }

 private:
  const Bytes& bytes_;
  std::size_t position_ = 0;
  std::string error_;
};

DecodeResult Failure(std::string error) { return DecodeResult{std::nullopt, std::move(error)}; }

std::string HexOctet(std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

// Digits of a semi-octet field, without the filler of an odd count.
std::string AddressDigits(const Bytes& octets, std::size_t count) {
  std::string digits = UnpackSemiOctets(octets, count);
  if (!digits.empty() && digits.back() == '?' && count % 2 == 0 && (octets.back() >> 4) == 0xF) {
    digits.pop_back();
  }
  return digits;
}

// TS 23.040 9.1.2.5: TP-OA / TP-DA, whose length counts useful semi-octets.
std::optional<Address> ReadAddress(OctetReader& reader, const char* length_field, const char* type_field,
                                   const char* value_field, std::string& error) {
  auto length = reader.Octet(length_field);
  if (!length) return std::nullopt;
  if (*length > kMaxAddressDigits) {
    error = std::string(length_field) + " is " + std::to_string(*length) + ", more than " +
            std::to_string(kMaxAddressDigits) + " semi-octets";
    return std::nullopt;
  }
  auto type = reader.Octet(type_field);
  if (!type) return std::nullopt;
  auto octets = reader.Octets(value_field, (*length + 1u) / 2u);
  if (!octets) return std::nullopt;
  Address address;
  address.type = *type;
  if (address.Alphanumeric()) {
    address.number = ToUtf8(FromGsm7(UnpackSeptets(*octets, *length * 4u / 7u)));
  } else {
    address.number = AddressDigits(*octets, *length);
  }
  return address;
}

// TS 24.011 8.2.5.1 as TS 27.005 3.1 puts it in front: the length counts
// octets (type and digits), 0 meaning the modem's stored centre.
std::optional<std::optional<Address>> ReadServiceCentre(OctetReader& reader, std::string& error) {
  auto length = reader.Octet("the service-centre length");
  if (!length) return std::nullopt;
  if (*length == 0) return std::optional<Address>{};
  if (*length > kMaxServiceCentreOctets) {
    error = "the service-centre length is " + std::to_string(*length) + ", more than " +
            std::to_string(kMaxServiceCentreOctets) + " octets";
    return std::nullopt;
  }
  auto type = reader.Octet("the service-centre type of address");
  if (!type) return std::nullopt;
  auto octets = reader.Octets("the service-centre number", *length - 1u);
  if (!octets) return std::nullopt;
  Address address{AddressDigits(*octets, octets->size() * 2), *type};
  return std::optional<Address>{address};
}

int SwappedDecimal(std::uint8_t octet) { return (octet & 0x0F) * 10 + (octet >> 4); }
std::uint8_t SwappedOctet(int value) {
  return static_cast<std::uint8_t>((value % 10) << 4 | (value / 10) % 10);
}

// TS 23.040 9.2.3.11: semi-octets, the zone's sign in bit 3 of its tens digit.
Timestamp TimestampFromOctets(const Bytes& octets) {
  Timestamp ts;
  int year = SwappedDecimal(octets[0]);
  ts.year = year < 70 ? 2000 + year : 1900 + year;
  ts.month = SwappedDecimal(octets[1]);
  ts.day = SwappedDecimal(octets[2]);
  ts.hour = SwappedDecimal(octets[3]);
  ts.minute = SwappedDecimal(octets[4]);
  ts.second = SwappedDecimal(octets[5]);
  std::uint8_t zone = octets[6];
  int quarters = (zone & 0x07) * 10 + (zone >> 4);
  ts.zone_quarters = (zone & 0x08) ? -quarters : quarters;
  return ts;
}

Bytes TimestampOctets(const Timestamp& ts) {
  int quarters = ts.zone_quarters < 0 ? -ts.zone_quarters : ts.zone_quarters;
  std::uint8_t zone = SwappedOctet(quarters % 80);
  if (ts.zone_quarters < 0) zone |= 0x08;
  return {SwappedOctet(ts.year % 100), SwappedOctet(ts.month), SwappedOctet(ts.day), SwappedOctet(ts.hour),
          SwappedOctet(ts.minute),     SwappedOctet(ts.second), zone};
}

// TS 23.038 4: the alphabet that a data coding scheme selects.
std::optional<Coding> CodingOf(std::uint8_t dcs, std::string& error) {
  auto alphabet = [](std::uint8_t bits) {
    return bits == 1 ? Coding::Eight : bits == 2 ? Coding::Ucs2 : Coding::Gsm7;  // 3 is reserved
  };
  switch (dcs >> 4) {
    case 0x0: case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: case 0x6: case 0x7:
      if (dcs & 0x20) {
        error = "TP-DCS " + HexOctet(dcs) + " marks compressed text, which is not supported";
        return std::nullopt;
      }
      return alphabet((dcs >> 2) & 0x03);
    case 0xE: return Coding::Ucs2;
    case 0xF: return (dcs & 0x04) ? Coding::Eight : Coding::Gsm7;
    default: return Coding::Gsm7;  // message waiting groups and reserved codes
  }
}

// TS 23.040 9.2.3.24: the information elements must tile the header.
bool HeaderWellFormed(const Bytes& header) {
  std::size_t i = 0;
  while (i < header.size()) {
    if (i + 2 > header.size()) return false;
    i += 2u + header[i + 1];
  }
  return i == header.size();
}

// TS 23.040 9.2.3.16 and 9.2.3.24: TP-UDL counts septets for 7-bit text
// (header included, padded to a septet boundary) and octets otherwise.
bool ReadUserData(OctetReader& reader, Pdu& pdu, std::string& error) {
  auto length = reader.Octet("TP-UDL");
  if (!length) return false;
  pdu.user_data_length = *length;
  bool septets = pdu.coding == Coding::Gsm7;
  if (*length > (septets ? kMaxSeptets : kMaxOctets)) {
    error = "TP-UDL is " + std::to_string(*length) + ", more than " +
            std::to_string(septets ? kMaxSeptets : kMaxOctets) + (septets ? " septets" : " octets");
    return false;
  }
  auto data = reader.Octets("TP-UD", septets ? (*length * 7u + 7u) / 8u : *length);
  if (!data) return false;

  std::size_t header_octets = 0;
  if (pdu.first_octet & 0x40) {
    if (data->empty()) {
      error = "TP-UDHI is set but the user data is empty";
      return false;
    }
    header_octets = 1u + (*data)[0];
    if (header_octets > data->size()) {
      error = "the user-data header length " + std::to_string((*data)[0]) + " runs past the user data";
      return false;
    }
    pdu.header.assign(data->begin() + 1, data->begin() + static_cast<std::ptrdiff_t>(header_octets));
    if (!HeaderWellFormed(pdu.header)) {
      error = "the information elements of the user-data header do not fit its length";
      return false;
    }
  }

  if (septets) {
    std::size_t header_septets = (header_octets * 8 + 6) / 7;
    if (header_septets > *length) {
      error = "the user-data header is longer than TP-UDL";
      return false;
    }
    Bytes all = UnpackSeptets(*data, *length);
    pdu.user_data.assign(all.begin() + static_cast<std::ptrdiff_t>(header_septets), all.end());
    pdu.text = FromGsm7(pdu.user_data);
    return true;
  }
  pdu.user_data.assign(data->begin() + static_cast<std::ptrdiff_t>(header_octets), data->end());
  if (pdu.coding == Coding::Ucs2) {
    if (pdu.user_data.size() % 2 != 0) {
      error = "UCS-2 user data of odd length (" + std::to_string(pdu.user_data.size()) + " octets)";
      return false;
    }
    pdu.text = FromUcs2(pdu.user_data);
  } else {
    pdu.text.assign(pdu.user_data.begin(), pdu.user_data.end());
  }
  return true;
}

bool ReadValidity(OctetReader& reader, Pdu& pdu) {
  switch ((pdu.first_octet >> 3) & 0x03) {  // TS 23.040 9.2.3.3, TP-VPF
    case 0:
      pdu.validity.format = Validity::Format::None;
      return true;
    case 2: {
      auto relative = reader.Octet("TP-VP (relative)");
      if (!relative) return false;
      pdu.validity.format = Validity::Format::Relative;
      pdu.validity.relative = *relative;
      return true;
    }
    default: {
      bool absolute = ((pdu.first_octet >> 3) & 0x03) == 3;
      auto octets = reader.Octets(absolute ? "TP-VP (absolute)" : "TP-VP (enhanced)", 7);
      if (!octets) return false;
      pdu.validity.format = absolute ? Validity::Format::Absolute : Validity::Format::Enhanced;
      std::copy(octets->begin(), octets->end(), pdu.validity.octets.begin());
      return true;
    }
  }
}

bool NothingFollows(const OctetReader& reader, std::string& error) {
  if (reader.Remaining() == 0) return true;
  error = std::to_string(reader.Remaining()) + " octets follow the user data";
  return false;
}

// TS 23.040 9.2.2.3: after the first octet, TP-MR, TP-RA, TP-SCTS, TP-DT
// and TP-ST; then optionally TP-PI and the fields it announces (9.2.3.27).
bool ReadStatusReport(OctetReader& reader, Pdu& pdu, std::string& error) {
  auto reference = reader.Octet("TP-MR");
  if (!reference) return false;
  pdu.message_reference = *reference;
  auto recipient = ReadAddress(reader, "TP-RA length", "TP-RA type of address", "TP-RA", error);
  if (!recipient) return false;
  pdu.address = *recipient;
  auto scts = reader.Octets("TP-SCTS", 7);
  if (!scts) return false;
  pdu.timestamp = TimestampFromOctets(*scts);
  auto discharge = reader.Octets("TP-DT", 7);
  if (!discharge) return false;
  pdu.discharge_time = TimestampFromOctets(*discharge);
  auto status = reader.Octet("TP-ST");
  if (!status) return false;
  pdu.status = *status;
  if (reader.Remaining() == 0) return true;
  auto indicator = reader.Octet("TP-PI");
  if (!indicator) return false;
  if (*indicator & 0x01) {
    auto pid = reader.Octet("TP-PID");
    if (!pid) return false;
    pdu.protocol_id = *pid;
  }
  if (*indicator & 0x02) {
    auto dcs = reader.Octet("TP-DCS");
    if (!dcs) return false;
    pdu.data_coding = *dcs;
    auto coding = CodingOf(*dcs, error);
    if (!coding) return false;
    pdu.coding = *coding;
  }
  if ((*indicator & 0x04) && !ReadUserData(reader, pdu, error)) return false;
  return NothingFollows(reader, error);
}

bool ReadTpdu(OctetReader& reader, Pdu& pdu, std::string& error) {
  std::size_t start = reader.Position();
  auto first = reader.Octet("the first octet");
  if (!first) return false;
  pdu.first_octet = *first;
  switch (*first & 0x03) {  // TS 23.040 9.2.3.1, TP-MTI
    case 0: pdu.kind = Pdu::Kind::Deliver; break;
    case 1: pdu.kind = Pdu::Kind::Submit; break;
    case 2:
      pdu.kind = Pdu::Kind::StatusReport;
      if (!ReadStatusReport(reader, pdu, error)) return false;
      pdu.tpdu_octets = reader.Position() - start;
      return true;
    default:
      error = "TP-MTI 3 is reserved";
      return false;
  }
  bool submit = pdu.kind == Pdu::Kind::Submit;
  if (submit) {
    auto reference = reader.Octet("TP-MR");
    if (!reference) return false;
    pdu.message_reference = *reference;
  }
  auto address = submit ? ReadAddress(reader, "TP-DA length", "TP-DA type of address", "TP-DA", error)
                        : ReadAddress(reader, "TP-OA length", "TP-OA type of address", "TP-OA", error);
  if (!address) return false;
  pdu.address = *address;
  auto pid = reader.Octet("TP-PID");
  if (!pid) return false;
  pdu.protocol_id = *pid;
  auto dcs = reader.Octet("TP-DCS");
  if (!dcs) return false;
  pdu.data_coding = *dcs;
  auto coding = CodingOf(*dcs, error);
  if (!coding) return false;
  pdu.coding = *coding;
  if (submit) {
    if (!ReadValidity(reader, pdu)) return false;
  } else {
    auto scts = reader.Octets("TP-SCTS", 7);
    if (!scts) return false;
    pdu.timestamp = TimestampFromOctets(*scts);
  }
  if (!ReadUserData(reader, pdu, error)) return false;
  if (!NothingFollows(reader, error)) return false;
  pdu.tpdu_octets = reader.Position() - start;
  return true;
}

Bytes AddressOctets(const Address& address) {
  Bytes out;
  if (address.Alphanumeric()) {
    Bytes septets = ToGsm7(FromUtf8(address.number)).value_or(Bytes{});
    Bytes packed = PackSeptets(septets);
    out.push_back(static_cast<std::uint8_t>((septets.size() * 7 + 3) / 4));
    out.push_back(address.type);
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
  }
  Bytes packed = PackSemiOctets(address.number);
  out.push_back(static_cast<std::uint8_t>(address.number.size()));
  out.push_back(address.type);
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

// Cuts text into pieces of at most `size` octets or septets without parting
// what belongs together: an escape and the code it announces, or the two
// halves of a surrogate pair.
std::vector<Bytes> SplitText(const Bytes& units, std::size_t size, Coding coding) {
  std::vector<Bytes> parts;
  Bytes current;
  for (std::size_t k = 0; k < units.size();) {
    std::size_t length = 1;
    if (coding == Coding::Ucs2) {
      length = (units[k] & 0xFC) == 0xD8 && k + 4 <= units.size() ? 4 : 2;
    } else if (coding == Coding::Gsm7 && units[k] == 0x1B && k + 1 < units.size()) {
      length = 2;
    }
    length = std::min(length, units.size() - k);
    if (!current.empty() && current.size() + length > size) {
      parts.push_back(std::move(current));
      current.clear();
    }
    current.insert(current.end(), units.begin() + static_cast<std::ptrdiff_t>(k),
                   units.begin() + static_cast<std::ptrdiff_t>(k + length));
    k += length;
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// TS 27.005 3.1: the service-centre part in front of the TPDU; its length
// counts octets (type and digits), 00 when the PDU names no centre.
Bytes ServiceCentreOctets(const std::string& digits, std::uint8_t type) {
  if (digits.empty()) return {0x00};
  Bytes packed = PackSemiOctets(digits);
  Bytes octets{static_cast<std::uint8_t>(1 + packed.size()), type};
  octets.insert(octets.end(), packed.begin(), packed.end());
  return octets;
}

// The text as the units of its coding: septets, octets or UTF-16 octets.
Bytes TextUnits(std::u32string_view text, Coding coding) {
  switch (coding) {
    case Coding::Gsm7: {
      Bytes septets;
      for (char32_t c : text) {
        Bytes one = ToGsm7(std::u32string_view(&c, 1)).value_or(Bytes{0x3F});  // '?'
        septets.insert(septets.end(), one.begin(), one.end());
      }
      return septets;
    }
    case Coding::Eight: {
      Bytes octets;
      for (char32_t c : text) octets.push_back(c <= 0xFF ? static_cast<std::uint8_t>(c) : 0x3F);
      return octets;
    }
    case Coding::Ucs2:
      return ToUcs2(text);
  }
  return {};
}

}  // namespace

std::optional<ConcatPart> ConcatenationOf(const Bytes& header) {
  for (std::size_t i = 0; i + 2 <= header.size(); i += 2u + header[i + 1]) {
    const std::uint8_t id = header[i];
    const std::size_t length = header[i + 1];
    if (i + 2 + length > header.size()) break;
    const std::uint8_t* data = header.data() + i + 2;
    ConcatPart part;
    if (id == 0x00 && length == 3) {
      part = {data[0], data[1], data[2]};
    } else if (id == 0x08 && length == 4) {
      part = {data[0] * 256 + data[1], data[2], data[3]};
    } else {
      continue;
    }
    if (part.total < 1 || part.sequence < 1 || part.sequence > part.total) return std::nullopt;
    return part;
  }
  return std::nullopt;
}

std::string Address::Display() const { return International() ? "+" + number : number; }

std::optional<Address> SenderAddress(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  bool plus = text.front() == '+';
  std::string_view digits = plus ? text.substr(1) : text;
  bool all_digits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  if (all_digits) {
    if (digits.size() > kMaxAddressDigits) return std::nullopt;
    std::string number(digits);
    if (plus || (number.size() == 13 && number.starts_with("86"))) return Address{number, 0x91};
    if (number.size() == 11 && number.front() == '1') return Address{"86" + number, 0x91};
    return Address{number, 0x81};
  }
  if (plus) return std::nullopt;
  // TS 23.040 9.1.2.5: an alphanumeric address holds up to 11 septets.
  auto septets = ToGsm7(FromUtf8(text));
  if (!septets || septets->size() > 11) return std::nullopt;
  return Address{std::string(text), 0xD0};
}

std::string Timestamp::Display() const {
  int quarters = zone_quarters < 0 ? -zone_quarters : zone_quarters;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", year, month, day, hour, minute,
                second, zone_quarters < 0 ? '-' : '+', quarters / 4, quarters % 4 * 15);
  return text;
}

Timestamp LocalTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Timestamp ts;
  ts.year = local.tm_year + 1900;
  ts.month = local.tm_mon + 1;
  ts.day = local.tm_mday;
  ts.hour = local.tm_hour;
  ts.minute = local.tm_min;
  ts.second = local.tm_sec;
  ts.zone_quarters = static_cast<int>(local.tm_gmtoff / (15 * 60));
  return ts;
}

std::optional<Timestamp> ParseTimestamp(std::string_view text) {
  Timestamp ts;
  char sign = 0;
  int zone_hours = 0, zone_minutes = 0, consumed = 0;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d %c%2d:%2d%n", &ts.year, &ts.month, &ts.day, &ts.hour,
                  &ts.minute, &ts.second, &sign, &zone_hours, &zone_minutes, &consumed) != 9 ||
      static_cast<std::size_t>(consumed) != copy.size()) {
    return std::nullopt;
  }
  // TS 23.040 9.2.3.11 holds two year digits and a zone in quarter hours.
  bool valid = ts.year >= 1970 && ts.year <= 2069 && ts.month >= 1 && ts.month <= 12 && ts.day >= 1 &&
               ts.day <= 31 && ts.hour <= 23 && ts.minute <= 59 && ts.second <= 59 && (sign == '+' || sign == '-') &&
               zone_minutes % 15 == 0 && zone_hours * 4 + zone_minutes / 15 <= 79 && ts.hour >= 0 &&
               ts.minute >= 0 && ts.second >= 0 && zone_hours >= 0 && zone_minutes >= 0;
  if (!valid) return std::nullopt;
  int quarters = zone_hours * 4 + zone_minutes / 15;
  ts.zone_quarters = sign == '-' ? -quarters : quarters;
  return ts;
}

const char* CodingName(Coding coding) {
  switch (coding) {
    case Coding::Gsm7: return "7bit";
    case Coding::Eight: return "8bit";
    case Coding::Ucs2: return "ucs2";
  }
  return "?";
}

std::string Validity::Display() const {
  switch (format) {
    case Format::None: return "none";
    case Format::Relative: {
      // TS 23.040 9.2.3.12.1
      int v = relative;
      int minutes = v <= 143 ? (v + 1) * 5 : v <= 167 ? 720 + (v - 143) * 30 : v <= 196 ? (v - 166) * 1440
                                                                               : (v - 192) * 10080;
      return "relative " + std::to_string(minutes) + " min";
    }
    case Format::Absolute:
      return "absolute " + TimestampFromOctets(Bytes(octets.begin(), octets.end())).Display();
    case Format::Enhanced:
      return "enhanced " + ToHex(Bytes(octets.begin(), octets.end()));
  }
  return "?";
}

DecodeResult DecodePdu(std::string_view hex, bool with_service_centre) {
  std::string error;
  auto bytes = FromHex(hex, &error);
  if (!bytes) return Failure("not a PDU: " + error);
  OctetReader reader(*bytes);
  Pdu pdu;
  if (with_service_centre) {
    auto centre = ReadServiceCentre(reader, error);
    if (!centre) return Failure(error.empty() ? reader.Error() : error);
    pdu.service_centre = *centre;
  }
  if (!ReadTpdu(reader, pdu, error)) {
    std::string why = error.empty() ? reader.Error() : error;
    // A PDU with TP-MTI 2 sent by mistake is best told by its kind.
    if (pdu.kind == Pdu::Kind::StatusReport) why = "SMS-STATUS-REPORT (TP-MTI 2): " + why;
    return Failure(why);
  }
  return DecodeResult{std::move(pdu), {}};
}

std::optional<std::size_t> TpduOctets(std::string_view hex) {
  auto bytes = FromHex(hex);
  if (!bytes || bytes->empty()) return std::nullopt;
  std::size_t centre = 1u + (*bytes)[0];
  if (centre > bytes->size()) return std::nullopt;
  return bytes->size() - centre;
}

bool Encodable(std::u32string_view text, Coding coding) {
  switch (coding) {
    case Coding::Gsm7: return ToGsm7(text).has_value();
    case Coding::Eight: return std::all_of(text.begin(), text.end(), [](char32_t c) { return c <= 0xFF; });
    case Coding::Ucs2: return std::all_of(text.begin(), text.end(), [](char32_t c) { return c <= 0x10FFFF; });
  }
  return false;
}

std::vector<std::string> EncodeDeliver(const DeliverMessage& message) {
  Bytes prefix = ServiceCentreOctets(message.service_centre, message.service_centre_type);
  Bytes sender = AddressOctets(message.sender);
  Bytes timestamp = TimestampOctets(message.timestamp);

  Coding coding = message.coding.value_or(ToGsm7(message.text) ? Coding::Gsm7 : Coding::Ucs2);
  bool gsm = coding == Coding::Gsm7;
  Bytes units = TextUnits(message.text, coding);
  // TS 23.040 9.2.3.24: the header of a part takes 6 octets (IE 00) or 7
  // (IE 08) of the 140, which is 7 or 8 septets of the 160.
  std::size_t header_octets = message.concat_16bit ? 7 : 6;
  std::size_t header_septets = (header_octets * 8 + 6) / 7;
  std::size_t single = gsm ? kMaxSeptets : kMaxOctets;
  std::size_t per_part = gsm ? kMaxSeptets - header_septets : kMaxOctets - header_octets;
  if (message.part_size > 0) {
    single = std::min(single, message.part_size);
    per_part = std::min(per_part, message.part_size);
  }
  std::vector<Bytes> pieces = units.size() <= single ? std::vector<Bytes>{units} : SplitText(units, per_part, coding);
  if (pieces.size() > kMaxParts) pieces.resize(kMaxParts);
  bool concatenated = pieces.size() > 1;

  std::uint8_t dcs = coding == Coding::Gsm7 ? 0x00 : coding == Coding::Eight ? 0x04 : 0x08;
  std::vector<std::string> pdus;
  for (std::size_t part = 0; part < pieces.size(); ++part) {
    Bytes pdu = prefix;
    pdu.push_back(concatenated ? 0x44 : 0x04);  // SMS-DELIVER, no more messages, UDHI when in parts
    pdu.insert(pdu.end(), sender.begin(), sender.end());
    pdu.push_back(0x00);  // TP-PID
    pdu.push_back(dcs);
    pdu.insert(pdu.end(), timestamp.begin(), timestamp.end());
    Bytes header;
    auto total = static_cast<std::uint8_t>(pieces.size());
    auto sequence = static_cast<std::uint8_t>(part + 1);
    if (concatenated && message.concat_16bit) {
      header = {0x06, 0x08, 0x04, static_cast<std::uint8_t>(message.concat_reference >> 8),
                static_cast<std::uint8_t>(message.concat_reference & 0xFF), total, sequence};
    } else if (concatenated) {
      header = {0x05, 0x00, 0x03, static_cast<std::uint8_t>(message.concat_reference & 0xFF), total, sequence};
    }
    const Bytes& piece = pieces[part];
    if (gsm) {
      // Fill bits align the text on a septet boundary behind the header.
      std::size_t septets = (header.size() * 8 + 6) / 7;
      int fill = static_cast<int>(septets * 7 - header.size() * 8);
      pdu.push_back(static_cast<std::uint8_t>(septets + piece.size()));
      pdu.insert(pdu.end(), header.begin(), header.end());
      Bytes packed = PackSeptets(piece, fill);
      pdu.insert(pdu.end(), packed.begin(), packed.end());
    } else {
      pdu.push_back(static_cast<std::uint8_t>(header.size() + piece.size()));
      pdu.insert(pdu.end(), header.begin(), header.end());
      pdu.insert(pdu.end(), piece.begin(), piece.end());
    }
    pdus.push_back(ToHex(pdu));
  }
  return pdus;
}

std::string EncodeStatusReport(const StatusReportMessage& report) {
  Bytes pdu = ServiceCentreOctets(report.service_centre, report.service_centre_type);
  pdu.push_back(0x06);  // SMS-STATUS-REPORT, no more messages, a report of an SMS-SUBMIT
  pdu.push_back(report.message_reference);
  Bytes recipient = AddressOctets(report.recipient);
  pdu.insert(pdu.end(), recipient.begin(), recipient.end());
  for (const Timestamp& time : {report.service_centre_time, report.discharge_time}) {
    Bytes octets = TimestampOctets(time);
    pdu.insert(pdu.end(), octets.begin(), octets.end());
  }
  pdu.push_back(report.status);
  return ToHex(pdu);
}

}  // namespace modemsim
