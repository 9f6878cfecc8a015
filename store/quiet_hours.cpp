#include "store/quiet_hours.h"

#include <cstdio>
#include <ctime>

namespace tavrel {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "8:05" or "08:05" as minutes after midnight.
std::optional<int> ParseTimeOfDay(std::string_view text) {
  text = Trim(text);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon != 3) {
    return std::nullopt;
  }
  int hour = 0;
  for (char c : text.substr(0, colon)) {
    if (c < '0' || c > '9') return std::nullopt;
    hour = hour * 10 + (c - '0');
  }
  const char tens = text[colon + 1], ones = text[colon + 2];
  if (tens < '0' || tens > '5' || ones < '0' || ones > '9' || hour > 23) return std::nullopt;
  return hour * 60 + (tens - '0') * 10 + (ones - '0');
}

}  // namespace

std::optional<QuietWindow> ParseQuietWindow(std::string_view text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<int> start = ParseTimeOfDay(text.substr(0, dash));
  const std::optional<int> end = ParseTimeOfDay(text.substr(dash + 1));
  if (!start || !end || *start == *end) return std::nullopt;
  return QuietWindow{*start, *end};
}

bool InQuietWindow(const QuietWindow& window, int minute_of_day) {
  if (window.start < window.end) return minute_of_day >= window.start && minute_of_day < window.end;
  return minute_of_day >= window.start || minute_of_day < window.end;
}

long long NextSendTime(const QuietWindow& window, long long now) {
  const std::time_t seconds = static_cast<std::time_t>(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const int minute = local.tm_hour * 60 + local.tm_min;
  if (!InQuietWindow(window, minute)) return now;
  if (window.end <= minute) local.tm_mday += 1;  // the window runs past midnight
  local.tm_hour = window.end / 60;
  local.tm_min = window.end % 60;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

std::string WindowEndText(const QuietWindow& window) {
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d", window.end / 60, window.end % 60);
  return text;
}

}  // namespace tavrel
