#pragma once
// Date and time texts of the store.
#include <ctime>
#include <string>

namespace tavrel {

std::string DayFolderName();                      // today, local: 2003-5-12
std::string DayFolderName(const std::tm& local);  // "%4d-%d-%d"
std::string TimeOfDayText();                      // 14:05:09
std::string TimeStampText(const std::string& day);// day + " " + time of day

}  // namespace tavrel
