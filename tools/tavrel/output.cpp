#include "tools/tavrel/output.h"

#include <cstdio>
#include <ctime>
#include <ostream>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/terminal_text.h"

namespace tavrel::cli {
namespace {

// The length of the UTF-8 sequence that starts with lead; 0 when lead
// cannot start one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

std::string CodePointName(std::string_view sequence) {
  char32_t cp = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(sequence.data());
  const std::size_t n = sequence.size();
  cp = n == 1 ? bytes[0] : bytes[0] & (0xFF >> (n + 1));
  for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (bytes[i] & 0x3F);
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
  return "'" + std::string(sequence) + "' (" + name + ")";
}

}  // namespace

void Context::Line(std::string_view utf8) const {
  if (!json) out << utf8 << '\n';
}

int Context::Fail(std::string_view utf8, int status) {
  if (json) {
    doc = Json::object();
    doc["error"] = std::string(utf8);
  } else {
    err << "tavrel: " << utf8 << '\n';
  }
  return status;
}

std::string Utf8(std::string_view gbk) {
  if (gbk.empty()) return {};
  std::string text = TerminalLines(gbk);
  if (gbk.back() != '\n') text.pop_back();  // the line end TerminalLines adds
  return text;
}

GbkText ToGbk(std::string_view utf8) {
  GbkText result;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t n = SequenceLength(static_cast<unsigned char>(utf8[at]));
    if (n == 0 || at + n > utf8.size()) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(utf8[at]));
      result.error = std::string("the text is not UTF-8 (byte ") + byte + ")";
      result.gbk.clear();
      return result;
    }
    const std::string_view sequence = utf8.substr(at, n);
    const std::string gbk = Utf8ToGbk(sequence);
    // The conversion writes '?' for what it cannot convert.
    if (gbk == "?" && sequence != "?") {
      result.error = CodePointName(sequence) + " has no GBK form";
      result.gbk.clear();
      return result;
    }
    result.gbk += gbk;
    at += n;
  }
  return result;
}

std::string WithBoxLineBreaks(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::optional<std::string> DayFromArgument(std::string_view text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3) {
    return std::nullopt;
  }
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_isdst = -1;
  std::tm check = local;
  if (year < 1900 || std::mktime(&check) == -1 || check.tm_mday != day ||
      check.tm_mon != month - 1) {
    return std::nullopt;
  }
  return DayFolderName(local);
}

}  // namespace tavrel::cli
