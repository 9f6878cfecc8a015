#include "store/optout.h"

#include <algorithm>
#include <cctype>

#include "platform/profile.h"
#include "platform/textfile.h"

namespace tavrel {
namespace {

// GB 2312 row 3 (lead byte 0xA3, trail 0xA1..0xFE) holds the full-width
// forms of ASCII 0x21..0x7E in ASCII order; 0xA1A1 is the full-width blank.
constexpr unsigned char kFullWidthRow = 0xA3;
constexpr unsigned char kBlankRow = 0xA1;
constexpr unsigned char kFirstTrail = 0xA1;
constexpr std::size_t kLookupField = 64;
constexpr std::string_view kAbsent = "wwwwww";

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool IsAsciiBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsSectionLine(std::string_view line, std::string_view name) {
  if (line.size() != name.size() + 2 || line.front() != '[' || line.back() != ']') return false;
  return std::equal(name.begin(), name.end(), line.begin() + 1, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

std::string FoldReplyWord(std::string_view text) {
  std::string folded;
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (IsLead(c) && at + 1 < text.size()) {
      const unsigned char trail = static_cast<unsigned char>(text[at + 1]);
      if (c == kFullWidthRow && trail >= kFirstTrail && trail <= 0xFE) {
        folded += static_cast<char>(trail - 0x80);
      } else if (c == kBlankRow && trail == kFirstTrail) {
        folded += ' ';
      } else {
        folded.append(text.substr(at, 2));
      }
      at += 2;
      continue;
    }
    folded += static_cast<char>(c);
    ++at;
  }
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const auto first = std::find_if_not(folded.begin(), folded.end(), IsAsciiBlank);
  const auto last = std::find_if_not(folded.rbegin(), folded.rend(), IsAsciiBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

bool IsOneOfWords(std::string_view text, std::string_view list) {
  const std::string word = FoldReplyWord(text);
  if (word.empty()) return false;
  // Folding first turns a full-width comma into ','.
  const std::string words = FoldReplyWord(list);
  std::size_t at = 0;
  while (at <= words.size()) {
    const std::size_t comma = std::min(words.find(',', at), words.size());
    if (FoldReplyWord(std::string_view(words).substr(at, comma - at)) == word) return true;
    at = comma + 1;
  }
  return false;
}

bool AddOptOut(const Station& station, std::string_view number, std::string_view stamp) {
  MakeDirectory(station.Path("./cust"));
  return WriteProfileString(kOptOutSection, number, stamp, station.Path(kOptOutPath));
}

void RemoveOptOut(const Station& station, std::string_view number) {
  WriteProfileString(kOptOutSection, number, std::nullopt, station.Path(kOptOutPath));
}

bool IsOptedOut(const Station& station, std::string_view number) {
  if (number.empty()) return false;
  return GetProfileString(kOptOutSection, number, kAbsent, kLookupField,
                          station.Path(kOptOutPath)) != kAbsent;
}

std::vector<OptOutEntry> ListOptOuts(const Station& station) {
  std::vector<OptOutEntry> entries;
  const std::optional<std::string> text = ReadTextFile(station.Path(kOptOutPath));
  if (!text) return entries;
  bool inside = false;
  std::size_t at = 0;
  while (at < text->size()) {
    std::size_t end = text->find('\n', at);
    if (end == std::string::npos) end = text->size();
    std::string_view line = std::string_view(*text).substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '[') {
      inside = IsSectionLine(line, kOptOutSection);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inside || equals == std::string_view::npos || equals == 0) continue;
    entries.push_back({std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))});
  }
  return entries;
}

OptOutSet::OptOutSet(const Station& station) {
  for (OptOutEntry& entry : ListOptOuts(station)) numbers_.insert(std::move(entry.number));
}

}  // namespace tavrel
