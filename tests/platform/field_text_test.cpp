#include "platform/field_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace tavrel {
namespace {

TEST(AtoL, ConvertsLikeTheStandardAtol) {
  const struct {
    std::string text;
    long value;
  } cases[] = {
      {"41", 41},
      {"  \t+12abc", 12},
      {"-7", -7},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"+-7", 0},
      {"\n12", 12},
      {"115200bps", 115200},
      {"2\r\n7", 2},
      {"000000002", 2},
      {"99999999999999999999999", LONG_MAX},
      {"-99999999999999999999999", LONG_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(AtoL(c.text), c.value) << c.text;
}

TEST(UpToNul, AFieldEndsAtItsFirstNul) {
  EXPECT_EQ(UpToNul(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(UpToNul(std::string_view("\0", 1)), "");
  EXPECT_EQ(UpToNul("abc"), "abc");
  EXPECT_EQ(UpToNul(""), "");
}

}  // namespace
}  // namespace tavrel
