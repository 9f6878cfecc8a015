#pragma once
// The customers who asked to receive nothing more, ./cust/optout: a profile
// file with section [optout] and one line per number,
//
//   13012312312=2026-12-7 09:05:03
//
// the time of the opt-out in the H files' form. The engine adds and removes
// numbers on the customers' own words; the customer tab and the command-line
// tool list and remove them.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr const char* kOptOutPath = "./cust/optout";
inline constexpr std::string_view kOptOutSection = "optout";

struct OptOutEntry {
  std::string number;
  std::string since;  // 2026-12-7 09:05:03
};

// False when the file could not be written.
bool AddOptOut(const Station& station, std::string_view number, std::string_view stamp);
void RemoveOptOut(const Station& station, std::string_view number);
bool IsOptedOut(const Station& station, std::string_view number);
// In the order they were first written; empty when there is no file.
std::vector<OptOutEntry> ListOptOuts(const Station& station);

// The list read once, for a sender that asks about many numbers.
class OptOutSet {
 public:
  explicit OptOutSet(const Station& station);
  bool Contains(const std::string& number) const { return numbers_.count(number) != 0; }

 private:
  std::unordered_set<std::string> numbers_;
};

// A customer's word as the station compares it (GBK in, GBK out): blanks
// and line ends trimmed at both ends (ASCII ones and the full-width blank),
// full-width letters, digits and signs folded to ASCII, letters upper-case.
// So "ＴＤ", " td " and "Td\r\n" all read "TD".
std::string FoldReplyWord(std::string_view text);

// Whether the whole text, folded, is one of the comma-separated words of
// list (folded the same way, a full-width comma separating too).
bool IsOneOfWords(std::string_view text, std::string_view list);

}  // namespace tavrel
