#pragma once
// Date and time texts of the store.
#include <ctime>
#include <string>

namespace tavrel {

std::string DayFolderName(const std::tm& local);  // "%4d-%d-%d"
std::string TimeOfDayText(const std::tm& local);  // "%02d:%02d:%02d"

// Today's folder and the stamp of now, from one reading of the clock, so a
// record written at midnight cannot get a stamp of the next day.
struct DayAndStamp {
  std::string day;
  std::string stamp;
};

}  // namespace tavrel
