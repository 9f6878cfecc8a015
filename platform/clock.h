#pragma once
// Date and time texts of the store.
#include <ctime>
#include <string>

namespace tavrel {

std::string DayFolderName();                      // today, local: 2003-5-12
std::string DayFolderName(const std::tm& local);  // "%4d-%d-%d"
std::string TimeOfDayText();                      // 14:05:09
std::string TimeOfDayText(const std::tm& local);  // "%02d:%02d:%02d"
std::string TimeStampText(const std::string& day);// day + " " + time of day

// Today's folder and the stamp of now, from one reading of the clock, so a
// record written at midnight cannot get a stamp of the next day.
struct DayAndStamp {
  std::string day;
  std::string stamp;
};
DayAndStamp DayAndStampNow();

}  // namespace tavrel
