#include "tools/modemsim/spool.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace modemsim {
namespace {

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::optional<int> Count(std::string_view text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoi(std::string(text));
}

std::optional<bool> Switch(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

std::optional<int> Bounded(std::string_view text, int low, int high) {
  auto value = Count(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<std::uint8_t> HexOctet(std::string_view text) {
  auto bytes = FromHex(text);
  if (!bytes || bytes->size() != 1) return std::nullopt;
  return (*bytes)[0];
}

bool Digits(std::string_view text) {
  return !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The keys of a *.msg file and the kinds of injection they belong to.
struct Key {
  std::string_view name;
  bool deliver, report, raw;
};
constexpr Key kKeys[] = {
    {"from", true, false, false},      {"from-type", true, false, false}, {"coding", true, false, false},
    {"concat", true, false, false},    {"ref", true, false, false},       {"part-size", true, false, false},
    {"parts", true, false, false},     {"report", false, true, false},    {"to", false, true, false},
    {"to-type", false, true, false},   {"status", false, true, false},    {"discharge", false, true, false},
    {"pdu", false, false, true},       {"length", false, false, true},    {"smsc", true, true, false},
    {"smsc-type", true, true, false},  {"time", true, true, false},       {"stat", true, true, true},
    {"via", true, true, true},
};

const char* KindName(Injection::Kind kind) {
  switch (kind) {
    case Injection::Kind::Deliver: return "an SMS-DELIVER";
    case Injection::Kind::StatusReport: return "a status report";
    case Injection::Kind::Raw: return "raw PDUs";
  }
  return "?";
}

// "+8613800000000", "10086", "Bank" by the rules of line 1 of a *.sms
// file, or, with a type of address, as written.
std::optional<Address> MessageAddress(std::string_view text, std::optional<std::uint8_t> type, std::string& error) {
  if (!type) {
    auto address = SenderAddress(text);
    if (!address) error = "\"" + std::string(text) + "\" is no phone number nor a name of at most 11 GSM characters";
    return address;
  }
  Address address{std::string(text), *type};
  if (address.Alphanumeric()) {
    auto septets = ToGsm7(FromUtf8(text));
    if (!text.empty() && septets && septets->size() <= 11) return address;
  } else {
    if (address.number.starts_with('+')) address.number.erase(0, 1);
    if (Digits(address.number)) return address;
  }
  error = "\"" + std::string(text) + "\" does not fit type of address " + ToHex(Bytes{*type});
  return std::nullopt;
}

std::optional<Address> CentreAddress(std::string_view text, std::optional<std::uint8_t> type) {
  if (text == "none") return Address{"", type.value_or(0x81)};
  bool plus = text.starts_with('+');
  if (plus) text.remove_prefix(1);
  if (!Digits(text)) return std::nullopt;
  return Address{std::string(text), type.value_or(plus ? 0x91 : 0x81)};
}

std::optional<std::vector<int>> PartList(std::string_view text) {
  std::vector<int> parts;
  while (!text.empty()) {
    auto comma = text.find(',');
    auto part = Bounded(Trim(text.substr(0, comma)), 1, 255);
    if (!part || std::find(parts.begin(), parts.end(), *part) != parts.end()) return std::nullopt;
    parts.push_back(*part);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
  }
  if (parts.empty()) return std::nullopt;
  return parts;
}

// Sets one field of `injection` from a key of its kind; false when the
// value is not one the key takes.
bool SetField(Injection& injection, std::string_view key, std::string_view value) {
  auto set_time = [&](std::optional<Timestamp>& field) {
    field = ParseTimestamp(value);
    return field.has_value();
  };
  if (key == "coding") {
    if (value == "auto") return true;
    if (value == "7bit") injection.coding = Coding::Gsm7;
    else if (value == "8bit") injection.coding = Coding::Eight;
    else if (value == "ucs2") injection.coding = Coding::Ucs2;
    return injection.coding.has_value();
  }
  if (key == "concat") {
    injection.concat_16bit = value == "16bit";
    return value == "8bit" || value == "16bit";
  }
  if (key == "ref") {
    auto ref = Bounded(value, 0, 65535);
    if (ref) injection.concat_reference = static_cast<std::uint16_t>(*ref);
    return ref.has_value();
  }
  if (key == "part-size") {
    auto size = Bounded(value, 1, 160);
    if (size) injection.part_size = static_cast<std::size_t>(*size);
    return size.has_value();
  }
  if (key == "parts") {
    auto parts = PartList(value);
    if (parts) injection.parts = *parts;
    return parts.has_value();
  }
  if (key == "report" || key == "status") {
    auto octet = Bounded(value, 0, 255);
    std::uint8_t& field = key == "report" ? injection.message_reference : injection.report_status;
    if (octet) field = static_cast<std::uint8_t>(*octet);
    return octet.has_value();
  }
  if (key == "discharge") return set_time(injection.discharge_time);
  if (key == "time") return set_time(injection.time);
  if (key == "pdu") {
    if (value.empty() || value.find_first_of(" \t") != std::string_view::npos) return false;
    injection.pdus.emplace_back(value);
    return true;
  }
  if (key == "length") {
    auto length = Bounded(value, 0, 999);
    if (length) injection.length = static_cast<std::size_t>(*length);
    return length.has_value();
  }
  if (key == "stat") {
    auto stat = Bounded(value, 0, 3);
    if (stat) injection.status = *stat;
    return stat.has_value();
  }
  if (key == "via") {
    if (value == "store") injection.route = Injection::Route::Store;
    else if (value == "cmt") injection.route = Injection::Route::Cmt;
    else if (value == "cds") injection.route = Injection::Route::Cds;
    return injection.route != Injection::Route::Default;
  }
  return true;  // the addresses and types, which need each other
}

}  // namespace

std::optional<SpoolMessage> ParseSpoolMessage(std::string_view content, std::string& error) {
  auto newline = content.find('\n');
  std::string_view first_line = content.substr(0, newline);
  std::string_view text = newline == std::string_view::npos ? std::string_view{} : content.substr(newline + 1);
  auto sender = SenderAddress(first_line);
  if (!sender) {
    error = "line 1 should be the sender's number (8613800000000, +8613800000000 or 13800000000) or a name "
            "of at most 11 plain letters, not \"" + std::string(Trim(first_line)) + "\"";
    return std::nullopt;
  }
  return SpoolMessage{*sender, FromUtf8(text)};
}

std::optional<Injection> ParseInjection(std::string_view content, std::string& error) {
  std::vector<std::pair<std::string_view, std::string_view>> fields;
  std::string_view body;
  for (std::string_view rest = content; !rest.empty();) {
    auto newline = rest.find('\n');
    std::string_view line = rest.substr(0, newline);
    rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) {
      body = rest;
      break;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) {
      error = "\"" + std::string(line) + "\" is no \"key: value\" line (an empty line ends the keys)";
      return std::nullopt;
    }
    fields.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  auto has = [&](std::string_view key) {
    return std::any_of(fields.begin(), fields.end(), [&](const auto& field) { return field.first == key; });
  };
  Injection injection;
  injection.kind = has("pdu") ? Injection::Kind::Raw : has("report") ? Injection::Kind::StatusReport
                                                                     : Injection::Kind::Deliver;
  std::string_view address, address_type, centre, centre_type;
  std::vector<std::string_view> seen;
  for (const auto& field : fields) {
    std::string_view key = field.first, value = field.second;
    const Key* known = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const Key& k) { return k.name == key; });
    if (known == std::end(kKeys)) {
      error = "unknown key \"" + std::string(key) + "\"";
      return std::nullopt;
    }
    bool fits = injection.kind == Injection::Kind::Deliver ? known->deliver
                : injection.kind == Injection::Kind::StatusReport ? known->report : known->raw;
    if (!fits) {
      error = "\"" + std::string(key) + "\" does not belong in " + KindName(injection.kind);
      return std::nullopt;
    }
    if (key != "pdu" && std::find(seen.begin(), seen.end(), key) != seen.end()) {
      error = "\"" + std::string(key) + "\" is given twice";
      return std::nullopt;
    }
    seen.push_back(key);
    if (key == "from" || key == "to") address = value;
    if (key == "from-type" || key == "to-type") address_type = value;
    if (key == "smsc") centre = value;
    if (key == "smsc-type") centre_type = value;
    if (!SetField(injection, key, value)) {
      error = "\"" + std::string(value) + "\" is no value for \"" + std::string(key) + "\"";
      return std::nullopt;
    }
  }

  std::optional<std::uint8_t> type, smsc_type;
  if (!address_type.empty() && !(type = HexOctet(address_type))) {
    error = "the type of address \"" + std::string(address_type) + "\" is not two hex digits";
    return std::nullopt;
  }
  if (!centre_type.empty() && !(smsc_type = HexOctet(centre_type))) {
    error = "smsc-type \"" + std::string(centre_type) + "\" is not two hex digits";
    return std::nullopt;
  }
  if (smsc_type && centre.empty()) {
    error = "smsc-type needs smsc";
    return std::nullopt;
  }
  if (!centre.empty()) {
    injection.service_centre = CentreAddress(centre, smsc_type);
    if (!injection.service_centre) {
      error = "smsc should be none or up to 20 digits, with + for an international number";
      return std::nullopt;
    }
  }
  if (injection.kind == Injection::Kind::Raw) {
    if (Trim(body).empty()) return injection;
    error = "raw PDUs carry no text; put each PDU on a \"pdu:\" line";
    return std::nullopt;
  }
  bool deliver = injection.kind == Injection::Kind::Deliver;
  if (address.empty()) {
    error = deliver ? "\"from\" is missing" : "\"to\" is missing";
    return std::nullopt;
  }
  auto parsed = MessageAddress(address, type, error);
  if (!parsed) return std::nullopt;
  injection.address = *parsed;
  if (!deliver) {
    if (Trim(body).empty()) return injection;
    error = "a status report carries no text";
    return std::nullopt;
  }
  if (injection.coding == Coding::Eight) {
    for (char byte : body) injection.text += static_cast<char32_t>(static_cast<unsigned char>(byte));
  } else {
    injection.text = FromUtf8(body);
  }
  if (injection.coding && !Encodable(injection.text, *injection.coding)) {
    error = "the text has characters that GSM 7-bit cannot carry";
    return std::nullopt;
  }
  if (injection.concat_reference.value_or(0) > 255 && !injection.concat_16bit) {
    error = "ref is more than 255; use \"concat: 16bit\" for a 16-bit reference";
    return std::nullopt;
  }
  return injection;
}

std::optional<NumberRule> ParseCmsErrorRule(std::string_view text, std::string& error) {
  auto equals = text.find('=');
  NumberRule rule;
  std::string_view number = Trim(text.substr(0, equals));
  std::string_view value = equals == std::string_view::npos ? std::string_view{} : Trim(text.substr(equals + 1));
  if (number.starts_with('+')) number.remove_prefix(1);
  rule.number = std::string(number);
  auto comma = value.find(',');
  std::string_view code = Trim(value.substr(0, comma));
  bool valid = Digits(number);
  if (valid && code != "off") {
    rule.code = Bounded(code, 0, 511);  // TS 27.005 3.2.5 <err>
    if (comma != std::string_view::npos) {
      auto count = Bounded(Trim(value.substr(comma + 1)), 1, 1000000);
      rule.count = count.value_or(0);
      valid = count.has_value();
    }
    valid = valid && rule.code.has_value();
  } else {
    valid = valid && comma == std::string_view::npos;
  }
  if (!valid) {
    error = "\"" + std::string(text) + "\" should be NUMBER=CODE, NUMBER=CODE,COUNT or NUMBER=off";
    return std::nullopt;
  }
  return rule;
}

std::optional<NumberRule> ParseReportStatusRule(std::string_view text, std::string& error) {
  auto equals = text.find('=');
  NumberRule rule;
  std::string_view value = Trim(text);
  if (equals != std::string_view::npos) {
    std::string_view number = Trim(text.substr(0, equals));
    if (number.starts_with('+')) number.remove_prefix(1);
    rule.number = std::string(number);
    value = Trim(text.substr(equals + 1));
  }
  if (value != "none") rule.code = Bounded(value, 0, 255);
  if ((equals != std::string_view::npos && !Digits(rule.number)) || (value != "none" && !rule.code)) {
    error = "\"" + std::string(text) + "\" should be a TP-ST value 0-255 or none, with NUMBER= in front for one "
            "number";
    return std::nullopt;
  }
  return rule;
}

std::optional<Control> ParseControl(std::string_view content, std::string& error) {
  std::string_view command = Trim(content);
  auto space = command.find(' ');
  std::string_view verb = command.substr(0, space);
  std::string_view argument = space == std::string_view::npos ? std::string_view{} : Trim(command.substr(space));
  using Kind = Control::Kind;
  Control control;
  struct Plain {
    std::string_view verb;
    Kind kind;
  };
  constexpr Plain kWithoutArgument[] = {{"quit", Kind::Quit}, {"ring", Kind::Ring}};
  constexpr Plain kWithNumber[] = {{"fail-sends", Kind::FailSends},   {"vanish", Kind::Vanish},
                                   {"vanish-at-send", Kind::VanishAtSend},
                                   {"prompt-delay", Kind::PromptDelay}, {"result-delay", Kind::ResultDelay},
                                   {"report-delay", Kind::ReportDelay}, {"mr", Kind::NextReference}};
  for (const Plain& plain : kWithoutArgument) {
    if (verb == plain.verb && argument.empty()) {
      control.kind = plain.kind;
      return control;
    }
  }
  for (const Plain& plain : kWithNumber) {
    auto count = Count(argument);
    if (verb == plain.verb && count && (plain.kind != Kind::NextReference || *count <= 255)) {
      control.kind = plain.kind;
      control.value = *count;
      return control;
    }
  }
  if (verb == "silent" || verb == "garbage") {
    if (auto on = Switch(argument)) {
      control.kind = verb == "silent" ? Kind::Silent : Kind::Garbage;
      control.on = *on;
      return control;
    }
  }
  if ((verb == "say" || verb == "urc-in-listing") && !argument.empty()) {
    control.kind = verb == "say" ? Kind::Say : Kind::UrcInListing;
    control.text = verb == "urc-in-listing" && argument == "off" ? "" : std::string(argument);
    return control;
  }
  if (verb == "cms-error" || verb == "report-status") {
    auto rule = verb == "cms-error" ? ParseCmsErrorRule(argument, error) : ParseReportStatusRule(argument, error);
    if (!rule) return std::nullopt;
    control.kind = verb == "cms-error" ? Kind::CmsError : Kind::ReportStatus;
    control.rule = *rule;
    return control;
  }
  error = "unknown control \"" + std::string(command) +
          "\"; use one of: fail-sends N, silent on|off, garbage on|off, vanish MS, vanish-at-send MS, quit, ring, say LINE, "
          "urc-in-listing LINE|off, cms-error NUMBER=CODE[,COUNT]|NUMBER=off, report-status [NUMBER=]CODE|none, "
          "prompt-delay MS, result-delay MS, report-delay MS, mr N";
  return std::nullopt;
}

std::optional<std::vector<Control>> ParseControls(std::string_view content, std::string& error) {
  std::vector<Control> controls;
  for (std::string_view rest = content; !rest.empty();) {
    auto newline = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, newline));
    rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
    if (line.empty()) continue;
    auto control = ParseControl(line, error);
    if (!control) return std::nullopt;
    controls.push_back(*control);
  }
  if (controls.empty()) {
    error = "the control file is empty";
    return std::nullopt;
  }
  return controls;
}

std::vector<std::string> SpoolEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.starts_with('.')) continue;  // writers' temporary files
    if (name.ends_with(".sms") || name.ends_with(".msg") || name.ends_with(".ctl")) names.emplace_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

}  // namespace modemsim
