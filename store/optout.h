#pragma once
// The customers who asked to receive nothing more, ./cust/optout: a profile
// file with section [optout] and one line per number,
//
//   13012312312=2026-12-7 09:05:03
//
// the time of the opt-out in the H files' form. The command-line tool lists
// and removes them.
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr const char* kOptOutPath = "./cust/optout";
inline constexpr std::string_view kOptOutSection = "optout";

struct OptOutEntry {
  std::string number;
  std::string since;  // 2026-12-7 09:05:03
};

void RemoveOptOut(const Station& station, std::string_view number);
// In the order they were first written; empty when there is no file.
std::vector<OptOutEntry> ListOptOuts(const Station& station);

}  // namespace tavrel
