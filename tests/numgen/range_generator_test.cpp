#include "numgen/range_generator.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

std::string List(std::string_view start, std::string_view end) {
  return ListRange(PlanRange(start, end));
}

struct ListCase {
  const char* what;
  const char* start;
  const char* end;
  const char* lines;
};

TEST(RangeGenerator, ListsTheInclusiveRangeAsTyped) {
  // The cases a user meets through the button are listed in the window's tests.
  const ListCase cases[] = {
      {"carry into the second digit", "13999999998", "14000000001",
       "13999999998\r\n13999999999\r\n14000000000\r\n14000000001\r\n"},
      {"one-character end, start tail all zeros", "10000000000", "5", "10000000000\r\n"},
      {"end's first character not looked at", "13012312312", "93012312313",
       "13012312312\r\n13012312313\r\n"},
      {"tails past 32 bits", "19999999998", "19999999999", "19999999998\r\n19999999999\r\n"},
      {"bound at the top of 32 bits ends", "14294967294", "14294967295",
       "14294967294\r\n14294967295\r\n"},
      {"plain values past 31 bits stay positive", "2147483647", "2147483648",
       "2147483647\r\n2147483648\r\n"},
      {"plain negative range", "-2", "1", "-2\r\n-1\r\n0\r\n1\r\n"},
      {"negative tail keeps the sign before the zeros", "1-000000002", "1-000000001",
       "1-000000002\r\n1-000000001\r\n"},
      {"text after the digits ignored", "12ab", " +13xyz", "12\r\n13\r\n"},
      {"not a number counts as 0", "abc", "-", "0\r\n"},
      {"11 characters that are not digits", "1abcdefghij", "1", "10000000000\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(List(c.start, c.end), c.lines) << c.what;
  }
}

TEST(RangeGenerator, ElevenCharactersCountsGbkCharacters) {
  // "中" in GBK is D6 D0: twelve bytes but eleven characters, so it is the prefix.
  const std::string start = "\xD6\xD0" "0000000007";
  const std::string end = "\xD6\xD0" "0000000008";
  EXPECT_EQ(GbkCharCount(start), 11u);
  EXPECT_EQ(List(start, end), "\xD6\xD0" "0000000007\r\n\xD6\xD0" "0000000008\r\n");
  // Twelve ASCII characters are plain decimal.
  EXPECT_EQ(List("130123123120", "130123123121"), "130123123120\r\n130123123121\r\n");
}

TEST(RangeGenerator, AtolReadsLikeTheCLibrary) {
  EXPECT_EQ(AtolValue(""), 0);
  EXPECT_EQ(AtolValue(" \t\r\n\v\f42"), 42);
  EXPECT_EQ(AtolValue("+7"), 7);
  EXPECT_EQ(AtolValue("-7x9"), -7);
  EXPECT_EQ(AtolValue("- 7"), 0);
  EXPECT_EQ(AtolValue("+-7"), 0);
  EXPECT_EQ(AtolValue("0012345678"), 12345678);
  EXPECT_EQ(AtolValue("99999999999999999999999999"), kAtolLimit);
  EXPECT_EQ(AtolValue("-99999999999999999999999999"), -kAtolLimit);
}

TEST(RangeGenerator, CountNeverOverflowsAndBoundsEndTheLoop) {
  EXPECT_EQ(PlanRange("13012312312", "13012312315").Count(), 4u);
  EXPECT_EQ(PlanRange("5", "4").Count(), 0u);
  EXPECT_EQ(PlanRange("10000000000", "19999999999").Count(), 10'000'000'000u);
  const NumberRange widest = PlanRange("-99999999999999999999999", "99999999999999999999999");
  EXPECT_EQ(widest.Count(), 2u * static_cast<std::uint64_t>(kAtolLimit) + 1);

  // The last value of the widest range is listed once and the run ends there.
  NumberRange top{"", kAtolLimit - 1, kAtolLimit, 0};
  EXPECT_EQ(ListRange(top), "999999999999999999\r\n1000000000000000000\r\n");
}

TEST(RangeGenerator, BatchesJoinToTheWholeList) {
  const NumberRange range = PlanRange("13899999990", "13900000012");
  const std::string whole = ListRange(range);
  RangeLines lines(range);
  std::string joined;
  std::size_t total = 0;
  while (!lines.Done()) {
    const std::size_t added = lines.AppendTo(joined, 7);
    ASSERT_GT(added, 0u);
    total += added;
  }
  EXPECT_EQ(joined, whole);
  EXPECT_EQ(total, range.Count());
  EXPECT_EQ(lines.AppendTo(joined, 7), 0u);
}

}  // namespace
}  // namespace tavrel
