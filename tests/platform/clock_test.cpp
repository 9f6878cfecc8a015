#include "platform/clock.h"
#include "platform/station.h"

#include <gtest/gtest.h>

#include <cctype>

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

// Digits where the pattern has '9', the same byte elsewhere.
bool HasForm(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

TEST(Clock, NowTextsHaveTheirForms) {
  DayAndStamp now = Station().Now();
  std::size_t dash1 = now.day.find('-'), dash2 = now.day.rfind('-');
  EXPECT_EQ(dash1, 4u) << now.day;
  EXPECT_NE(now.day[dash1 + 1], '0') << now.day;
  EXPECT_NE(now.day[dash2 + 1], '0') << now.day;
  EXPECT_EQ(now.stamp.substr(0, now.day.size() + 1), now.day + " ");
  EXPECT_TRUE(HasForm(now.stamp.substr(now.day.size() + 1), "99:99:99")) << now.stamp;
  EXPECT_LE(now.stamp.size(), 19u);
  EXPECT_TRUE(HasForm(Station().TimeStamp("2003-5-12"), "2003-5-12 99:99:99"));
}

}  // namespace
}  // namespace tavrel
