// Day stepping of the sent and received date edits, and which day a load
// reads for the text in the edit.
#include <gtest/gtest.h>

#include "console/day_folder_nav.h"

namespace tavrel::console {
namespace {

const std::string kToday = "2024-6-15";

TEST(DayStepping, MovesOneCalendarDayWithFebruaryAlwaysTwentyNine) {
  struct Row {
    const char* from;
    const char* back;
    const char* forward;
  };
  const Row rows[] = {
      {"2003-3-1", "2003-2-29", "2003-3-2"},
      {"2003-2-28", "2003-2-27", "2003-2-29"},
      {"2003-2-29", "2003-2-28", "2003-3-1"},
      {"2003-12-31", "2003-12-30", "2004-1-1"},
      {"2004-1-1", "2003-12-31", "2004-1-2"},
      {"2003-4-30", "2003-4-29", "2003-5-1"},
      {"2003-5-1", "2003-4-30", "2003-5-2"},
      {"2003-5-31", "2003-5-30", "2003-6-1"},
      {"2003-7-1", "2003-6-30", "2003-7-2"},
      {"2003-11-30", "2003-11-29", "2003-12-1"},
      {"2003-8-31", "2003-8-30", "2003-9-1"},
      // Texts nobody typed on purpose still step by the same rules.
      {"2003-13-31", "2003-13-30", "2004-1-1"},
      {"2003-2-30", "2003-2-29", "2003-3-1"},
      {"1000-1-1", "today", "1000-1-2"},
      {"999-12-31", "today", "1000-1-1"},
      {"12345-1-1", "12344-12-31", "12345-1-2"},
      // Empty, short, malformed or overlong: today's folder.
      {"", "today", "today"},
      {"5", "today", "today"},
      {"abc", "today", "today"},
      // No day field: it reads as the whole text with the '-' appended, 2003.
      {"2003-5", "2003-5-2002", "2003-6-1"},
      {"2003-1-10000000000000", "today", "today"},
  };
  for (const Row& row : rows) {
    auto expect = [&](const char* want) { return std::string(want) == "today" ? kToday : want; };
    EXPECT_EQ(StepDayBack(row.from, kToday), expect(row.back)) << row.from;
    EXPECT_EQ(StepDayForward(row.from, kToday), expect(row.forward)) << row.from;
  }
}

TEST(ChosenDay, OnlyADayFolderNameReachesAPath) {
  for (const char* name : {"2003-5-12", "2003-12-1", "1-1-1", "123456789012-12-31"}) {
    EXPECT_TRUE(IsDayFolderName(name)) << name;
    EXPECT_EQ(ChosenDay(name, kToday), name);
  }
  for (const char* text : {"", "5", "2003-5", "2003-5-12-", "-5-12", "2003--12", "2003-5-",
                           " 2003-5-12", "2003-5-12 ", "../../etc", "2003-5-12/../..",
                           "/tmp/2003-5-12", "2003-5-1x", "1234567890123-12-31"}) {
    EXPECT_FALSE(IsDayFolderName(text)) << text;
    EXPECT_EQ(ChosenDay(text, kToday), kToday) << text;
  }
}

}  // namespace
}  // namespace tavrel::console
