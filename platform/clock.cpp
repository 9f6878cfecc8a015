#include "platform/clock.h"

#include <cstdio>

namespace tavrel {

std::string DayFolderName(const std::tm& local) {
  char text[48];
  std::snprintf(text, sizeof text, "%4d-%d-%d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string TimeOfDayText(const std::tm& local) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                local.tm_sec);
  return text;
}

}  // namespace tavrel
