#include "engine/modem_info.h"

#include <charconv>

#include "engine/codec/modem_reply.h"

namespace tavrel {
namespace {

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
    line.remove_suffix(1);
  }
  while (!line.empty() && (line.front() == '\r' || line.front() == ' ')) line.remove_prefix(1);
  return line;
}

std::string_view AfterColon(std::string_view information, std::string_view tag) {
  const std::size_t at = information.find(tag);
  if (at == std::string_view::npos) return {};
  std::string_view rest = information.substr(at + tag.size());
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  return rest;
}

// A reply read byte by byte, so that it is over as soon as its final result
// is complete; a modem that says nothing more for one read timeout ends it.
std::string Ask(Port& port, std::string_view command) {
  port.Write(command);
  std::string reply;
  while (!FindFinalResult(reply) && reply.size() < 4096) {
    const std::string byte = port.Read(1);
    if (byte.empty()) break;
    reply += byte;
  }
  return reply;
}

}  // namespace

std::string ReplyInformation(std::string_view reply, std::string_view command) {
  const std::string_view echo = TrimLine(command);
  std::string out;
  while (!reply.empty()) {
    const std::size_t end = reply.find('\n');
    const std::string_view raw = reply.substr(0, end);
    reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
    const std::string_view line = TrimLine(raw);
    if (line.empty() || line == echo) continue;
    if (IsFinalResult(ClassifyReplyLine(line).kind)) break;
    if (!out.empty()) out += ' ';
    out += line;
  }
  return out;
}

std::optional<int> ParseSignalQuality(std::string_view information) {
  const std::string_view rest = AfterColon(information, "+CSQ:");
  int rssi = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), rssi);
  if (error != std::errc() || end == rest.data()) return std::nullopt;
  return rssi;
}

std::string ParseServiceCentre(std::string_view information) {
  std::string_view rest = AfterColon(information, "+CSCA:");
  if (rest.starts_with('"')) {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(rest.substr(0, rest.find(',')));
}

std::optional<int> RssiToDbm(int rssi) {
  if (rssi < 0 || rssi > 31) return std::nullopt;
  return -113 + 2 * rssi;
}

std::string SmsCodeForm(std::string_view service_centre) {
  std::string digits;
  for (char c : service_centre) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

ModemInfo QueryModemInfo(Port& port) {
  ModemInfo info;
  auto ask = [&](std::string_view command) {
    const std::string reply = Ask(port, command);
    const std::optional<FinalResult> result = FindFinalResult(reply);
    if (!result || result->kind != ReplyLineKind::kOk) return std::string();
    info.answered = true;
    return ReplyInformation(reply, command);
  };
  info.manufacturer = ask("AT+CGMI\r\n");
  info.model = ask("AT+CGMM\r\n");
  info.rssi = ParseSignalQuality(ask("AT+CSQ\r\n"));
  info.service_centre = ParseServiceCentre(ask("AT+CSCA?\r\n"));
  return info;
}

}  // namespace tavrel
