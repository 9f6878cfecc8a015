#include "store/optout.h"

#include <cctype>
#include <optional>

#include "platform/profile.h"
#include "platform/textfile.h"

namespace tavrel {
namespace {

bool IsSection(std::string_view line, std::string_view name) {
  if (line.size() != name.size() + 2 || line.front() != '[' || line.back() != ']') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i + 1])) !=
        std::tolower(static_cast<unsigned char>(name[i])))
      return false;
  }
  return true;
}

}  // namespace

void RemoveOptOut(const Station& station, std::string_view number) {
  WriteProfileString(kOptOutSection, number, std::nullopt, station.Path(kOptOutPath));
}

std::vector<OptOutEntry> ListOptOuts(const Station& station) {
  std::vector<OptOutEntry> entries;
  const std::optional<std::string> text = ReadTextFile(station.Path(kOptOutPath));
  if (!text) return entries;
  bool inside = false;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with('[')) {
      inside = IsSection(line, kOptOutSection);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inside || equals == std::string_view::npos || equals == 0) continue;
    entries.push_back({std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))});
  }
  return entries;
}

}  // namespace tavrel
