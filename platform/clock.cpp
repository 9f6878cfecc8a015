#include "platform/clock.h"

#include <cstdio>

namespace tavrel {
namespace {

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

std::string DayFolderName() { return DayFolderName(LocalNow()); }

std::string DayFolderName(const std::tm& local) {
  char text[48];
  std::snprintf(text, sizeof text, "%4d-%d-%d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return text;
}

std::string TimeOfDayText() { return TimeOfDayText(LocalNow()); }

std::string TimeOfDayText(const std::tm& local) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                local.tm_sec);
  return text;
}

std::string TimeStampText(const std::string& day) { return day + " " + TimeOfDayText(); }

DayAndStamp DayAndStampNow() {
  std::tm local = LocalNow();
  DayAndStamp result;
  result.day = DayFolderName(local);
  result.stamp = result.day + " " + TimeOfDayText(local);
  return result;
}

}  // namespace tavrel
