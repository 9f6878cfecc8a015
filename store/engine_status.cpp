#include "store/engine_status.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/textfile.h"

namespace tavrel {
namespace {

// A field must not split the line it sits in.
std::string FieldText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '|' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t at = line.find(separator);
    fields.push_back(line.substr(0, at));
    if (at == std::string_view::npos) return fields;
    line.remove_prefix(at + 1);
  }
}

std::optional<ModemStatus> ParseModem(std::string_view value) {
  const std::vector<std::string_view> f = Split(value, '|');
  if (f.size() < 7) return std::nullopt;
  ModemStatus modem;
  modem.key = f[0];
  modem.port = f[1];
  modem.state = f[2];
  const auto last = Number<long long>(f[3]);
  const auto sent = Number<long>(f[4]);
  const auto until = Number<long long>(f[5]);
  if (modem.key.empty() || !last || !sent || !until) return std::nullopt;
  modem.last_cycle = *last;
  modem.sent_today = *sent;
  modem.until = *until;
  modem.note = f[6];
  return modem;
}

}  // namespace

std::string FormatEngineStatus(const EngineStatus& status) {
  std::string out = "written=" + std::to_string(status.written) + "\r\n";
  out += "cycle=" + std::to_string(status.cycle_seconds) + "\r\n";
  out += "pid=" + std::to_string(status.pid) + "\r\n";
  for (const ModemStatus& m : status.modems) {
    out += "modem=" + FieldText(m.key) + '|' + FieldText(m.port) + '|' + FieldText(m.state) + '|' +
           std::to_string(m.last_cycle) + '|' + std::to_string(m.sent_today) + '|' +
           std::to_string(m.until) + '|' + FieldText(m.note) + "\r\n";
  }
  return out;
}

std::optional<EngineStatus> ParseEngineStatus(std::string_view bytes) {
  EngineStatus status;
  bool written = false;
  for (std::string_view line : Split(bytes, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (key == "written") {
      const auto n = Number<long long>(value);
      if (!n) return std::nullopt;
      status.written = *n;
      written = true;
    } else if (key == "cycle") {
      status.cycle_seconds = Number<long>(value).value_or(0);
    } else if (key == "pid") {
      status.pid = Number<long>(value).value_or(0);
    } else if (key == "modem") {
      if (auto modem = ParseModem(value)) status.modems.push_back(std::move(*modem));
    }
  }
  if (!written) return std::nullopt;
  return status;
}

bool WriteEngineStatus(const Station& station, const EngineStatus& status) {
  MakeDirectory(station.Path("state"));
  return ReplaceFile(station.Path(kEngineStatusFile), FormatEngineStatus(status));
}

std::optional<EngineStatus> ReadEngineStatus(const Station& station) {
  const std::optional<std::string> bytes = ReadFileBytes(station.Path(kEngineStatusFile));
  if (!bytes) return std::nullopt;
  return ParseEngineStatus(*bytes);
}

bool IsFresh(const EngineStatus& status, long long now) {
  constexpr long long kFreshSeconds = 60;
  constexpr long long kFreshCycles = 3;
  return now - status.written <= std::max(kFreshSeconds, kFreshCycles * status.cycle_seconds);
}

}  // namespace tavrel
