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

// A second later, carried into the minute and the hour (an answer near
// midnight stays at 23:59:59).
Timestamp NextSecond(Timestamp time) {
  if (time.hour == 23 && time.minute == 59 && time.second == 59) return time;
  if (++time.second == 60) {
    time.second = 0;
    if (++time.minute == 60) {
      time.minute = 0;
      ++time.hour;
    }
  }
  return time;
}

}  // namespace

Modem::Modem(std::size_t capacity) : capacity_(capacity) {}

void Modem::Receive(std::string_view bytes, std::string& out) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (delayed_) {
      held_.append(bytes.substr(i));
      return;
    }
    Take(bytes[i], out);
  }
}

void Modem::Take(char byte, std::string& out) {
  if (faults_.silent) {
    if (byte == '\r' || byte == kCtrlZ) ++commands_done_;
    return;
  }
  if (faults_.garbage) {
    if (byte == '\r' || byte == kCtrlZ) {
      ++commands_done_;
      out += Garbage();
    }
    return;
  }
  if (mode_ == Mode::Pdu) {
    PduByte(byte, out);
  } else {
    CommandByte(byte, out);
  }
}

void Modem::Tick(std::string& out) {
  if (delayed_ && now() >= delayed_->due) {
    out += delayed_->bytes;
    if (delayed_->counts) ++commands_done_;
    delayed_.reset();
    Receive(std::exchange(held_, {}), out);
  }
  DeliverDueReports();
  if (LineIdle()) out += std::exchange(unsolicited_, {});
}

std::optional<SteadyClock::time_point> Modem::NextDue() const {
  std::optional<SteadyClock::time_point> due;
  auto sooner = [&](SteadyClock::time_point t) {
    if (!due || t < *due) due = t;
  };
  if (delayed_) sooner(delayed_->due);
  // Reports waiting for room are tried again at every Tick, not timed.
  bool full = storage_.size() >= capacity_ && RouteOf(Injection::Route::Default, true) == Injection::Route::Store;
  if (!full) {
    for (const PendingReport& pending : pending_reports_) sooner(pending.due);
  }
  if (!unsolicited_.empty() && LineIdle()) sooner(now());
  return due;
}

// Unsolicited lines wait while the station types a command or a PDU, or
// waits for an answer, as a modem buffers them while its line is taken
// (TS 27.005 3.4.1 <mode> 2).
bool Modem::LineIdle() const {
  return mode_ == Mode::Command && line_.empty() && !delayed_ && !faults_.silent && !faults_.garbage;
}

void Modem::Unsolicited(std::string_view line) {
  unsolicited_ += "\r\n";
  unsolicited_ += line;
  unsolicited_ += "\r\n";
}

void Modem::ResetLine() {
  mode_ = Mode::Command;
  line_.clear();
  line_overflow_ = false;
  pdu_.clear();
  delayed_.reset();
  held_.clear();
  unsolicited_.clear();
}

void Modem::Answer(std::string text, SteadyClock::duration delay, bool counts, std::string& out) {
  if (delay <= SteadyClock::duration::zero()) {
    out += text;
    if (counts) ++commands_done_;
    return;
  }
  delayed_ = Delayed{now() + delay, std::move(text), counts};
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
// Ctrl-Z; ESC cancels the send, which is answered OK and sends nothing.
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
  } else if (upper == "AT+CGMI" || upper == "AT+CGMM") {
    // TS 27.007 5.1 and 5.2: what the setup tool shows the operator.
    out += std::string("\r\n") + (upper == "AT+CGMI" ? "modemsim" : "simulated GSM modem") +
           "\r\n" + kOk;
  } else if (upper == "AT+CSQ") {
    out += "\r\n+CSQ: 21,99\r\n" + std::string(kOk);
  } else if (upper.starts_with("AT+CMGF=")) {
    // Only PDU mode is spoken; text mode is refused rather than faked.
    out += Number(argument(8)) == 0 ? kOk : kError;
  } else if (upper.starts_with("AT+CMGS=")) {
    StartSend(argument(8), out);
    return;  // the send is counted when its PDU is complete
  } else if (upper.starts_with("AT+CNMI=")) {
    SetIndications(argument(8), out);
  } else if (upper == "AT+CNMI?") {
    const Indications& i = indications_;
    out += "\r\n+CNMI: " + std::to_string(i.mode) + "," + std::to_string(i.mt) + "," + std::to_string(i.bm) + "," +
           std::to_string(i.ds) + "," + std::to_string(i.bfr) + "\r\n" + kOk;
  } else if (upper.starts_with("AT+CMGR=")) {
    Read(argument(8), out);
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

void Modem::SetIndications(std::string_view argument, std::string& out) {
  auto indications = ParseIndications(argument, indications_);
  if (!indications) {
    out += kError;
    return;
  }
  indications_ = *indications;
  out += kOk;
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
  Answer(kPrompt, pacing_.prompt, false, out);
}

// Every answer to a complete PDU comes after the result delay, the time
// the network takes; a PDU the modem itself cannot read is refused at once.
void Modem::FinishSend(std::string& out) {
  mode_ = Mode::Command;
  std::string hex = std::move(pdu_);
  pdu_.clear();
  if (faults_.fail_sends > 0) {
    --faults_.fail_sends;
    Answer(kError, pacing_.result, true, out);
    return;
  }
  auto octets = TpduOctets(hex);
  if (!octets || *octets != static_cast<std::size_t>(announced_)) {
    diagnostics_.push_back("send refused: AT+CMGS announced " + std::to_string(announced_) + " octets, the PDU has " +
                           (octets ? std::to_string(*octets) : std::string("no readable")) +
                           " after its service-centre part: " + hex);
    Answer(kInvalidPdu, {}, true, out);
    return;
  }
  DecodeResult decoded = DecodePdu(hex);
  if (decoded.pdu && decoded.pdu->kind != Pdu::Kind::Submit) decoded = {std::nullopt, "it is no SMS-SUBMIT"};
  if (!decoded.pdu) {
    diagnostics_.push_back("send refused: " + decoded.error + ": " + hex);
    Answer(kInvalidPdu, {}, true, out);
    return;
  }
  const Pdu& pdu = *decoded.pdu;
  if (auto refusal = NumberFault(pdu.address.number)) {
    Answer(*refusal, pacing_.result, true, out);
    return;
  }
  int reference = next_reference_;
  next_reference_ = (next_reference_ + 1) % 256;
  std::string fallback = service_centre_.empty() ? "" : (service_centre_international_ ? "+" : "") + service_centre_;
  sent_lines_.push_back(SentLogLine(pdu, hex, announced_, reference, fallback, Join(pdu)));
  Answer("\r\n+CMGS: " + std::to_string(reference) + "\r\n" + kOk, pacing_.result, true, out);
  if (!faults_.answer_with.empty()) AnswerSend(pdu.address);
  // TS 23.040 9.2.3.5: TP-SRR asks the centre for a status report.
  std::optional<int> status = reports_.For(NumberKey(pdu.address.number));
  if ((pdu.first_octet & 0x20) && status) {
    StatusReportMessage report;
    report.service_centre = DeliverCentre();
    report.message_reference = static_cast<std::uint8_t>(reference);
    report.recipient = pdu.address;
    report.service_centre_time = clock();
    report.status = static_cast<std::uint8_t>(*status);
    pending_reports_.push_back({now() + pacing_.result + pacing_.report, report});
  }
}

std::optional<std::u32string> Modem::Join(const Pdu& pdu) {
  const std::optional<ConcatPart> part = ConcatenationOf(pdu.header);
  if (!part) return std::nullopt;
  const std::string key = NumberKey(pdu.address.number) + "|" + std::to_string(part->reference) +
                          "|" + std::to_string(part->total);
  std::map<int, std::u32string>& parts = joining_[key];
  parts[part->sequence] = pdu.text;
  if (static_cast<int>(parts.size()) < part->total) return std::nullopt;
  std::u32string joined;
  for (const auto& [sequence, text] : parts) joined += text;
  joining_.erase(key);
  return joined;
}

// The +CMS ERROR a rule asks for sends to this destination, if any.
std::optional<std::string> Modem::NumberFault(const std::string& number) {
  auto rule = faults_.cms_errors.find(NumberKey(number));
  if (rule == faults_.cms_errors.end()) return std::nullopt;
  int code = rule->second.code;
  if (rule->second.remaining > 0 && --rule->second.remaining == 0) faults_.cms_errors.erase(rule);
  diagnostics_.push_back("send to " + number + " answered +CMS ERROR: " + std::to_string(code) + " as asked");
  return "\r\n+CMS ERROR: " + std::to_string(code) + "\r\n";
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
    bool first = entries.empty();
    entries += "+CMGL: " + std::to_string(message.index) + "," + std::to_string(message.status) + ",," +
               std::to_string(message.length) + "\r\n";
    // A fault some modems show: an indication cutting into the listing.
    if (first && !faults_.urc_in_listing.empty()) entries += "\r\n" + faults_.urc_in_listing + "\r\n";
    entries += message.pdu + "\r\n";
    if (message.status == 0) {
      message.status = 1;
      ++storage_version_;
    }
  }
  if (!entries.empty()) out += "\r\n" + entries;
  out += kOk;
}

// TS 27.005 3.4.3, PDU mode: +CMGR: <stat>,[<alpha>],<length> and the PDU;
// reading an unread message marks it read.
void Modem::Read(std::string_view argument, std::string& out) {
  auto index = Number(argument);
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
  out += "\r\n+CMGR: " + std::to_string(found->status) + ",," + std::to_string(found->length) + "\r\n" +
         found->pdu + "\r\n" + kOk;
  if (found->status == 0) {
    found->status = 1;
    ++storage_version_;
  }
}

// TS 27.005 3.5.4: <delflag> 0 deletes <index>; 1 every read message, 2
// read and sent ones, 3 read, sent and unsent ones, 4 all (the index is
// then ignored).
void Modem::Delete(std::string_view argument, std::string& out) {
  std::string_view index_text = argument;
  int flag = 0;
  if (auto comma = argument.find(','); comma != std::string_view::npos) {
    auto parsed = Number(argument.substr(comma + 1));
    if (!parsed || *parsed > 4) {
      out += kError;
      return;
    }
    flag = *parsed;
    index_text = argument.substr(0, comma);
  }
  auto index = Number(index_text);
  if (!index) {
    out += kError;
    return;
  }
  if (flag > 0) {
    std::erase_if(storage_, [&](const StoredMessage& message) {
      switch (flag) {
        case 1: return message.status == 1;
        case 2: return message.status == 1 || message.status == 3;
        case 3: return message.status != 0;
        default: return true;
      }
    });
    ++storage_version_;
    out += kOk;
    return;
  }
  auto found = std::find_if(storage_.begin(), storage_.end(),
                            [&](const StoredMessage& message) { return message.index == *index; });
  if (found == storage_.end()) {
    out += kInvalidIndex;
    return;
  }
  storage_.erase(found);
  ++storage_version_;
  out += kOk;
}

// Each answer gets a service-centre time a second after the message it
// answers could have had, and after the last answer: a station takes two
// messages with the same sender, time and text for one delivered twice.
void Modem::AnswerSend(const Address& recipient) {
  Timestamp time = NextSecond(clock());
  if (last_answer_ && time.Display() <= last_answer_->Display()) time = NextSecond(*last_answer_);
  last_answer_ = time;
  Injection injection;
  injection.address = recipient;
  injection.text = faults_.answer_with;
  injection.time = time;
  std::string error;
  if (Inject(injection, error) != InjectResult::Taken) {
    diagnostics_.push_back("no answer from " + recipient.number + ": " +
                           (error.empty() ? std::string("no room") : error));
  }
}

bool Modem::Inject(const Address& sender, std::u32string_view text) {
  Injection injection;
  injection.address = sender;
  injection.text = text;
  std::string error;
  return Inject(injection, error) == InjectResult::Taken;
}

Modem::InjectResult Modem::Inject(const Injection& injection, std::string& error) {
  std::vector<Arrival> arrivals;
  bool concatenated = false;
  switch (injection.kind) {
    case Injection::Kind::Deliver: {
      auto parts = DeliverArrivals(injection, concatenated, error);
      if (!parts) return InjectResult::Refused;
      arrivals = std::move(*parts);
      break;
    }
    case Injection::Kind::StatusReport: {
      StatusReportMessage message;
      message.service_centre = injection.service_centre ? injection.service_centre->number : DeliverCentre();
      message.service_centre_type = injection.service_centre ? injection.service_centre->type : 0x91;
      message.message_reference = injection.message_reference;
      message.recipient = injection.address;
      message.service_centre_time = injection.time.value_or(clock());
      message.discharge_time = injection.discharge_time.value_or(message.service_centre_time);
      message.status = injection.report_status;
      std::string pdu = EncodeStatusReport(message);
      arrivals.push_back({pdu, TpduOctets(pdu).value_or(0), RouteOf(injection.route, true), true});
      break;
    }
    case Injection::Kind::Raw:
      for (const std::string& pdu : injection.pdus) {
        // A PDU that cannot be measured is listed with all its octets.
        std::size_t length = injection.length.value_or(TpduOctets(pdu).value_or(pdu.size() / 2));
        DecodeResult decoded = DecodePdu(pdu);
        bool report = decoded.pdu && decoded.pdu->kind == Pdu::Kind::StatusReport;
        arrivals.push_back({pdu, length, RouteOf(injection.route, report), report});
      }
      break;
  }
  if (!Arrive(arrivals, injection.status)) return InjectResult::NoRoom;
  if (concatenated && !injection.concat_reference) ++next_concat_reference_;
  return InjectResult::Taken;
}

// The parts of an SMS-DELIVER that the injection asks for, in its order.
std::optional<std::vector<Modem::Arrival>> Modem::DeliverArrivals(const Injection& injection, bool& concatenated,
                                                                  std::string& error) const {
  DeliverMessage message;
  message.service_centre = injection.service_centre ? injection.service_centre->number : DeliverCentre();
  message.service_centre_type = injection.service_centre ? injection.service_centre->type : 0x91;
  message.sender = injection.address;
  message.text = injection.text;
  message.timestamp = injection.time.value_or(clock());
  message.concat_reference = injection.concat_reference.value_or(next_concat_reference_);
  message.coding = injection.coding;
  message.concat_16bit = injection.concat_16bit;
  message.part_size = injection.part_size;
  std::vector<std::string> parts = EncodeDeliver(message);
  concatenated = parts.size() > 1;
  std::vector<int> chosen = injection.parts;
  if (chosen.empty()) {
    for (std::size_t part = 1; part <= parts.size(); ++part) chosen.push_back(static_cast<int>(part));
  }
  std::vector<Arrival> arrivals;
  for (int part : chosen) {
    if (static_cast<std::size_t>(part) > parts.size()) {
      error = "part " + std::to_string(part) + " was asked for, the text makes " + std::to_string(parts.size());
      return std::nullopt;
    }
    const std::string& pdu = parts[static_cast<std::size_t>(part) - 1];
    arrivals.push_back({pdu, TpduOctets(pdu).value_or(0), RouteOf(injection.route, false), false});
  }
  return arrivals;
}

Injection::Route Modem::RouteOf(Injection::Route asked, bool report) const {
  if (asked != Injection::Route::Default) return asked;
  if (report) return indications_.ds == 1 ? Injection::Route::Cds : Injection::Route::Store;
  return indications_.mt == 2 ? Injection::Route::Cmt : Injection::Route::Store;
}

bool Modem::Arrive(const std::vector<Arrival>& arrivals, int status) {
  std::size_t stored = std::count_if(arrivals.begin(), arrivals.end(),
                                     [](const Arrival& a) { return a.route == Injection::Route::Store; });
  if (storage_.size() + stored > capacity_) return false;
  for (const Arrival& arrival : arrivals) {
    std::string length = std::to_string(arrival.length);
    if (arrival.route == Injection::Route::Cmt) {
      Unsolicited("+CMT: ," + length + "\r\n" + arrival.pdu);
      continue;
    }
    if (arrival.route == Injection::Route::Cds) {
      Unsolicited("+CDS: " + length + "\r\n" + arrival.pdu);
      continue;
    }
    StoredMessage message{FreeIndex(), status, arrival.pdu, arrival.length};
    // TS 27.005 3.4.1: +CMTI for <mt> 1 and 3, +CDSI for <ds> 2.
    bool announce = arrival.report ? indications_.ds == 2 : (indications_.mt == 1 || indications_.mt == 3);
    if (announce) {
      Unsolicited(std::string(arrival.report ? "+CDSI" : "+CMTI") + ": \"SM\"," + std::to_string(message.index));
    }
    storage_.insert(std::upper_bound(storage_.begin(), storage_.end(), message,
                                     [](const StoredMessage& a, const StoredMessage& b) { return a.index < b.index; }),
                    std::move(message));
    ++storage_version_;
  }
  return true;
}

// The lowest free index, as SIM storage fills its slots.
int Modem::FreeIndex() const {
  int index = 1;
  for (const StoredMessage& stored : storage_) {
    if (stored.index != index) break;
    ++index;
  }
  return index;
}

void Modem::DeliverDueReports() {
  SteadyClock::time_point time = now();
  for (auto it = pending_reports_.begin(); it != pending_reports_.end();) {
    if (it->due > time) {
      ++it;
      continue;
    }
    it->report.discharge_time = clock();
    std::string pdu = EncodeStatusReport(it->report);
    // A report that finds the storage full waits, as the centre retries.
    if (!Arrive({{pdu, TpduOctets(pdu).value_or(0), RouteOf(Injection::Route::Default, true), true}}, 0)) {
      ++it;
      continue;
    }
    it = pending_reports_.erase(it);
  }
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

std::optional<int> Reports::For(const std::string& number) const {
  auto rule = by_number.find(number);
  return rule == by_number.end() ? status : rule->second;
}

std::optional<Indications> ParseIndications(std::string_view text, const Indications& current) {
  Indications result = current;
  int* fields[] = {&result.mode, &result.mt, &result.bm, &result.ds, &result.bfr};
  constexpr int kHighest[] = {3, 3, 3, 2, 1};
  std::size_t field = 0;
  for (std::string_view rest = text;; ++field) {
    auto comma = rest.find(',');
    std::string_view value = Trim(rest.substr(0, comma));
    if (field >= std::size(fields)) return std::nullopt;
    if (!value.empty()) {
      auto number = Number(value);
      if (!number || *number > kHighest[field]) return std::nullopt;
      *fields[field] = *number;
    }
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  return result;
}

std::string NumberKey(std::string_view number) {
  if (number.starts_with('+')) number.remove_prefix(1);
  if (number.size() == 13 && number.starts_with("861")) number.remove_prefix(2);
  return std::string(number);
}

std::vector<std::string> Modem::TakeSentLines() { return std::exchange(sent_lines_, {}); }
std::vector<std::string> Modem::TakeDiagnostics() { return std::exchange(diagnostics_, {}); }

std::string SentLogLine(const Pdu& pdu, std::string_view hex, int announced, int reference,
                        const std::string& fallback_centre,
                        const std::optional<std::u32string>& joined) {
  std::string centre = pdu.service_centre ? pdu.service_centre->Display() : fallback_centre;
  std::string line = "{\"smsc\":" + JsonString(centre) + ",\"to\":" + JsonString(pdu.address.Display()) +
                     ",\"coding\":\"" + CodingName(pdu.coding) + "\",\"validity\":" +
                     JsonString(pdu.validity.Display()) + ",\"text\":" + JsonString(ToUtf8(pdu.text)) +
                     ",\"pdu\":" + JsonString(hex) + ",\"announced\":" + std::to_string(announced) +
                     ",\"ref\":" + std::to_string(reference);
  if (!pdu.header.empty()) line += ",\"udh\":\"" + ToHex(pdu.header) + "\"";
  if (const std::optional<ConcatPart> part = ConcatenationOf(pdu.header)) {
    line += ",\"part\":\"" + std::to_string(part->sequence) + "/" + std::to_string(part->total) + "\"";
  }
  if (joined) line += ",\"joined\":" + JsonString(ToUtf8(*joined));
  if (pdu.first_octet & 0x20) line += ",\"srr\":true";
  return line + "}";
}

std::string StateLines(const std::vector<StoredMessage>& storage) {
  std::string lines;
  for (const StoredMessage& message : storage) {
    std::string line = "{\"index\":" + std::to_string(message.index) + ",\"stat\":" +
                       std::to_string(message.status) + ",\"length\":" + std::to_string(message.length);
    DecodeResult decoded = DecodePdu(message.pdu);
    if (!decoded.pdu) {
      line += ",\"kind\":\"raw\",\"error\":" + JsonString(decoded.error);
    } else {
      const Pdu& pdu = *decoded.pdu;
      switch (pdu.kind) {
        case Pdu::Kind::Deliver:
          line += ",\"kind\":\"deliver\",\"from\":" + JsonString(pdu.address.Display()) + ",\"coding\":\"" +
                  CodingName(pdu.coding) + "\",\"text\":" + JsonString(ToUtf8(pdu.text));
          if (!pdu.header.empty()) line += ",\"udh\":\"" + ToHex(pdu.header) + "\"";
          break;
        case Pdu::Kind::StatusReport:
          line += ",\"kind\":\"report\",\"mr\":" + std::to_string(pdu.message_reference) +
                  ",\"to\":" + JsonString(pdu.address.Display()) + ",\"status\":" + std::to_string(pdu.status);
          break;
        case Pdu::Kind::Submit:
          line += ",\"kind\":\"submit\",\"to\":" + JsonString(pdu.address.Display()) +
                  ",\"text\":" + JsonString(ToUtf8(pdu.text));
          break;
      }
    }
    lines += line + ",\"pdu\":" + JsonString(message.pdu) + "}\n";
  }
  return lines;
}

}  // namespace modemsim
