#pragma once
// Quiet hours: the time of night in which the station sends nothing but its
// own replies. Settings key QUIET, "21:00-08:00"; absent means none.
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

struct QuietWindow {
  int start = 0;  // minutes after midnight, local time
  int end = 0;    // the first minute of sending again; before start: the next day
};

// "21:00-08:00" or "9:30-11:00", blanks around the parts allowed; nullopt
// for anything else and for a window that begins where it ends.
std::optional<QuietWindow> ParseQuietWindow(std::string_view text);

bool InQuietWindow(const QuietWindow& window, int minute_of_day);

// The first moment at or after now (unix seconds, read in local time) that
// lies outside the window: now itself when it is outside.
long long NextSendTime(const QuietWindow& window, long long now);

std::string WindowEndText(const QuietWindow& window);  // "08:00"

}  // namespace tavrel
