#include "tools/modemsim/modem.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

#include "tools/modemsim/json.h"

namespace modemsim {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr char kBackspace = 0x08;
constexpr std::size_t kMaxLine = 512;
constexpr std::size_t kMaxPduText = 1024;
constexpr const char* kDefaultCentre = "8613800000000";

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kError = "\r\nERROR\r\n";
constexpr const char* kPrompt = "\r\n> ";
// TS 27.005 3.2.5 <err>: 304 invalid PDU mode parameter, 321 invalid memory index.
constexpr const char* kInvalidPdu = "\r\n+CMS ERROR: 304\r\n";
constexpr const char* kInvalidIndex = "\r\n+CMS ERROR: 321\r\n";

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::optional<int> Number(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoi(std::string(text));
}

}  // namespace

Modem::Modem(std::size_t capacity) : capacity_(capacity) {}

void Modem::Receive(std::string_view bytes, std::string& out) {
  for (char byte : bytes) {
    if (faults_.silent) {
      if (byte == '\r' || byte == kCtrlZ) ++commands_done_;
      continue;
    }
    if (faults_.garbage) {
      if (byte == '\r' || byte == kCtrlZ) {
        ++commands_done_;
        out += Garbage();
      }
      continue;
    }
    if (mode_ == Mode::Pdu) {
      PduByte(byte, out);
    } else {
      CommandByte(byte, out);
    }
  }
}

void Modem::ResetLine() {
  mode_ = Mode::Command;
  line_.clear();
  line_overflow_ = false;
  pdu_.clear();
}

// V.250 5.2: the command line is echoed as it is typed and ends at CR; the
// LF that terminals send after the CR is no part of it.
void Modem::CommandByte(char byte, std::string& out) {
  if (byte == '\n' || byte == '\0') return;
  out += byte;
  if (byte == kBackspace) {
    if (!line_.empty()) line_.pop_back();
    return;
  }
  if (byte != '\r') {
    if (line_.size() < kMaxLine) {
      line_ += byte;
    } else {
      line_overflow_ = true;
    }
    return;
  }
  std::string line = std::move(line_);
  bool overflow = line_overflow_;
  line_.clear();
  line_overflow_ = false;
  if (Trim(line).empty() && !overflow) return;
  if (overflow) {
    out += kError;
    ++commands_done_;
    return;
  }
  Execute(line, out);
}

// TS 27.005 3.5.1: after the prompt the PDU is typed as hex and ends with
// Ctrl-Z; ESC abandons it.
void Modem::PduByte(char byte, std::string& out) {
  switch (byte) {
    case kCtrlZ:
      FinishSend(out);
      return;
    case kEscape:
      mode_ = Mode::Command;
      pdu_.clear();
      out += kOk;
      ++commands_done_;
      return;
    case '\r': case '\n': case '\0':
      return;
    default:
      out += byte;
      if (pdu_.size() < kMaxPduText + 1) pdu_ += byte;
  }
}

void Modem::Execute(const std::string& line, std::string& out) {
  std::string_view text = Trim(line);
  std::string upper = Upper(text);
  auto argument = [&](std::size_t prefix) { return text.substr(prefix); };
  if (upper == "AT") {
    out += kOk;
  } else if (upper.starts_with("AT+CSCA=")) {
    SetServiceCentre(argument(8), out);
  } else if (upper == "AT+CSCA?") {
    QueryServiceCentre(out);
  } else if (upper.starts_with("AT+CMGF=")) {
    // Only PDU mode is spoken; text mode is refused rather than faked.
    out += Number(argument(8)) == 0 ? kOk : kError;
  } else if (upper.starts_with("AT+CMGS=")) {
    StartSend(argument(8), out);
    return;  // the send is counted when its PDU is complete
  } else if (upper == "AT+CMGL") {
    List("0", out);  // TS 27.005 3.4.2: the default status is "received unread"
  } else if (upper.starts_with("AT+CMGL=")) {
    List(argument(8), out);
  } else if (upper.starts_with("AT+CMGD=")) {
    Delete(argument(8), out);
  } else {
    out += kError;
  }
  ++commands_done_;
}

void Modem::SetServiceCentre(std::string_view argument, std::string& out) {
  std::string_view number = Trim(argument);
  std::string_view type;
  if (auto comma = number.find(','); comma != std::string_view::npos) {
    type = Trim(number.substr(comma + 1));
    number = Trim(number.substr(0, comma));
  }
  if (number.size() >= 2 && number.front() == '"' && number.back() == '"') {
    number = number.substr(1, number.size() - 2);
  }
  bool plus = !number.empty() && number.front() == '+';
  if (plus) number.remove_prefix(1);
  auto type_value = type.empty() ? std::optional<int>(plus ? 145 : 129) : Number(type);
  if (number.empty() || number.size() > 20 || number.find_first_not_of("0123456789") != std::string_view::npos ||
      !type_value || *type_value > 255) {
    out += kError;
    return;
  }
  service_centre_ = std::string(number);
  service_centre_international_ = plus || *type_value == 145;
  out += kOk;
}

void Modem::QueryServiceCentre(std::string& out) const {
  out += "\r\n+CSCA: \"" + std::string(service_centre_international_ ? "+" : "") + service_centre_ + "\"," +
         (service_centre_international_ ? "145" : "129") + "\r\n" + kOk;
}

void Modem::StartSend(std::string_view argument, std::string& out) {
  auto length = Number(argument);
  if (!length || *length < 1 || *length > 255) {
    out += kError;
    ++commands_done_;
    return;
  }
  announced_ = *length;
  pdu_.clear();
  mode_ = Mode::Pdu;
  out += kPrompt;
}

void Modem::FinishSend(std::string& out) {
  mode_ = Mode::Command;
  ++commands_done_;
  std::string hex = std::move(pdu_);
  pdu_.clear();
  if (faults_.fail_sends > 0) {
    --faults_.fail_sends;
    out += kError;
    return;
  }
  auto octets = TpduOctets(hex);
  if (!octets || *octets != static_cast<std::size_t>(announced_)) {
    diagnostics_.push_back("send refused: AT+CMGS announced " + std::to_string(announced_) + " octets, the PDU has " +
                           (octets ? std::to_string(*octets) : std::string("no readable")) +
                           " after its service-centre part: " + hex);
    out += kInvalidPdu;
    return;
  }
  DecodeResult decoded = DecodePdu(hex);
  if (decoded.pdu && decoded.pdu->kind != Pdu::Kind::Submit) decoded = {std::nullopt, "it is an SMS-DELIVER"};
  if (!decoded.pdu) {
    diagnostics_.push_back("send refused: " + decoded.error + ": " + hex);
    out += kInvalidPdu;
    return;
  }
  int reference = next_reference_;
  next_reference_ = (next_reference_ + 1) % 256;
  std::string fallback = service_centre_.empty() ? "" : (service_centre_international_ ? "+" : "") + service_centre_;
  sent_lines_.push_back(SentLogLine(*decoded.pdu, hex, announced_, reference, fallback));
  out += "\r\n+CMGS: " + std::to_string(reference) + "\r\n" + kOk;
}

// TS 27.005 3.4.2, PDU mode: +CMGL: <index>,<stat>,[<alpha>],<length> and
// the PDU on the next line; listing unread messages marks them read.
void Modem::List(std::string_view argument, std::string& out) {
  auto status = Number(argument);
  if (!status || *status > 4) {
    out += kError;
    return;
  }
  std::string entries;
  for (StoredMessage& message : storage_) {
    if (*status != 4 && message.status != *status) continue;
    std::size_t length = TpduOctets(message.pdu).value_or(0);
    entries += "+CMGL: " + std::to_string(message.index) + "," + std::to_string(message.status) + ",," +
               std::to_string(length) + "\r\n" + message.pdu + "\r\n";
    message.status = 1;
  }
  if (!entries.empty()) out += "\r\n" + entries;
  out += kOk;
}

void Modem::Delete(std::string_view argument, std::string& out) {
  std::string_view index_text = argument;
  if (auto comma = argument.find(','); comma != std::string_view::npos) {
    if (Number(argument.substr(comma + 1)) != 0) {  // only single deletion is offered
      out += kError;
      return;
    }
    index_text = argument.substr(0, comma);
  }
  auto index = Number(index_text);
  if (!index) {
    out += kError;
    return;
  }
  auto found = std::find_if(storage_.begin(), storage_.end(),
                            [&](const StoredMessage& message) { return message.index == *index; });
  if (found == storage_.end()) {
    out += kInvalidIndex;
    return;
  }
  storage_.erase(found);
  out += kOk;
}

bool Modem::Inject(const Address& sender, std::u32string_view text) {
  DeliverMessage message;
  message.service_centre = DeliverCentre();
  message.sender = sender;
  message.text = text;
  message.timestamp = clock();
  message.concat_reference = next_concat_reference_;
  std::vector<std::string> parts = EncodeDeliver(message);
  if (storage_.size() + parts.size() > capacity_) return false;
  if (parts.size() > 1) ++next_concat_reference_;
  for (std::string& pdu : parts) {
    int index = 1;  // the lowest free index, as SIM storage fills its slots
    for (const StoredMessage& stored : storage_) {
      if (stored.index != index) break;
      ++index;
    }
    StoredMessage stored{index, 0, std::move(pdu)};
    storage_.insert(std::upper_bound(storage_.begin(), storage_.end(), stored,
                                     [](const StoredMessage& a, const StoredMessage& b) { return a.index < b.index; }),
                    std::move(stored));
  }
  return true;
}

// The delivered PDUs carry a service-centre part of 7 octets of digits, the
// size the station's receiver expects; a centre of another size set with
// AT+CSCA is not used for them.
std::string Modem::DeliverCentre() const {
  return service_centre_.size() == 13 || service_centre_.size() == 14 ? service_centre_ : kDefaultCentre;
}

std::string Modem::Garbage() {
  auto next = [this] {  // xorshift32: the same noise in every run
    noise_state_ ^= noise_state_ << 13;
    noise_state_ ^= noise_state_ >> 17;
    noise_state_ ^= noise_state_ << 5;
    return noise_state_;
  };
  std::string noise(8 + next() % 33, '\0');
  for (char& c : noise) c = static_cast<char>(next() & 0xFF);
  // Whatever it is, it must never pass for a final OK.
  if (noise.back() == '\n') noise.back() = '~';
  return noise;
}

std::vector<std::string> Modem::TakeSentLines() { return std::exchange(sent_lines_, {}); }
std::vector<std::string> Modem::TakeDiagnostics() { return std::exchange(diagnostics_, {}); }

std::string SentLogLine(const Pdu& pdu, std::string_view hex, int announced, int reference,
                        const std::string& fallback_centre) {
  std::string centre = pdu.service_centre ? pdu.service_centre->Display() : fallback_centre;
  std::string line = "{\"smsc\":" + JsonString(centre) + ",\"to\":" + JsonString(pdu.address.Display()) +
                     ",\"coding\":\"" + CodingName(pdu.coding) + "\",\"validity\":" +
                     JsonString(pdu.validity.Display()) + ",\"text\":" + JsonString(ToUtf8(pdu.text)) +
                     ",\"pdu\":" + JsonString(hex) + ",\"announced\":" + std::to_string(announced) +
                     ",\"ref\":" + std::to_string(reference);
  if (!pdu.header.empty()) line += ",\"udh\":\"" + ToHex(pdu.header) + "\"";
  return line + "}";
}

}  // namespace modemsim
