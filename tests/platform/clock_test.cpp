#include "platform/clock.h"

#include <gtest/gtest.h>

#include <regex>

namespace tavrel {
namespace {

std::tm Moment(int year, int month, int day, int h, int m, int s) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return t;
}

TEST(Clock, DayFolderHasNoLeadingZerosAndTimeHasTwoDigits) {
  EXPECT_EQ(DayFolderName(Moment(2003, 5, 12, 0, 0, 0)), "2003-5-12");
  EXPECT_EQ(DayFolderName(Moment(2003, 12, 1, 0, 0, 0)), "2003-12-1");
  EXPECT_EQ(TimeOfDayText(Moment(2003, 5, 12, 14, 5, 9)), "14:05:09");
  EXPECT_EQ(TimeOfDayText(Moment(2003, 5, 12, 0, 0, 0)), "00:00:00");
}

TEST(Clock, NowTextsHaveTheirForms) {
  DayAndStamp now = DayAndStampNow();
  EXPECT_TRUE(std::regex_match(now.day, std::regex(R"(\d{4}-[1-9]\d?-[1-9]\d?)"))) << now.day;
  EXPECT_EQ(now.stamp.substr(0, now.day.size() + 1), now.day + " ");
  EXPECT_TRUE(std::regex_match(now.stamp.substr(now.day.size() + 1),
                               std::regex(R"(\d\d:\d\d:\d\d)")));
  EXPECT_LE(now.stamp.size(), 19u);
  EXPECT_TRUE(std::regex_match(TimeStampText("2003-5-12"),
                               std::regex(R"(2003-5-12 \d\d:\d\d:\d\d)")));
}

}  // namespace
}  // namespace tavrel
