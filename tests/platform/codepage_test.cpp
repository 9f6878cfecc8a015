#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(Codepage, FoldingLowersAsciiLettersAndKeepsGbkCharactersWhole) {
  const struct {
    std::string text, folded;
  } cases[] = {
      {"Zhang San", "zhang san"},
      {"\xB0\x41", "\xB0\x41"},          // a trail byte in the capitals' range
      {"A\xB0\x41Z", "a\xB0\x41z"},
      {"\xD5\xC5" "COM", "\xD5\xC5" "com"},
      {"\xB0", "\xB0"},                  // a lead byte with nothing after it
      {"\x80" "A", "\x80" "a"},          // 0x80 leads nothing
      {"\xFF" "A", "\xFF" "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(FoldAsciiCase(c.text), c.folded) << c.text;
  EXPECT_TRUE(IsGbkLeadByte('\x81'));
  EXPECT_TRUE(IsGbkLeadByte('\xFE'));
  EXPECT_FALSE(IsGbkLeadByte('\x80'));
  EXPECT_FALSE(IsGbkLeadByte('\xFF'));
  EXPECT_FALSE(IsGbkLeadByte('A'));
}

TEST(Codepage, ChineseTextRoundTripsThroughGbk) {
  // 你好吗？我的朋友。 as the GBK bytes a Windows station writes.
  const std::string gbk = "\xC4\xE3\xBA\xC3\xC2\xF0\xA3\xBF\xCE\xD2\xB5\xC4\xC5\xF3\xD3\xD1\xA1\xA3";
  EXPECT_EQ(Gbk("你好吗？我的朋友。"), gbk);
  EXPECT_EQ(GbkToUtf8(gbk), "你好吗？我的朋友。");
  EXPECT_EQ(GbkToUtf16(gbk), u"你好吗？我的朋友。");
  EXPECT_EQ(Utf16ToGbk(u"你好吗？我的朋友。"), gbk);
  EXPECT_EQ(Gbk("查询"), "\xB2\xE9\xD1\xAF");
  EXPECT_EQ(Gbk("未发"), "\xCE\xB4\xB7\xA2");
  EXPECT_EQ(Gbk("紧急"), "\xBD\xF4\xBC\xB1");
  EXPECT_EQ(Gbk("abc 123"), "abc 123");
}

TEST(Codepage, EuroSignIsByte80) {
  EXPECT_EQ(Gbk("€"), "\x80");
  EXPECT_EQ(GbkToUtf16("\x80"), u"€");
}

TEST(Codepage, WhatGbkLacksBecomesOneQuestionMarkPerCodePoint) {
  // An emoji is two UTF-16 units but one code point: one '?'.
  EXPECT_EQ(Utf16ToGbk(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xFF" "b"), "a?b");          // not UTF-8 at all
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"x\xD800y")), "x?y");  // lone surrogate
  EXPECT_EQ(Utf8ToGbk("\xE4\xBD"), "?");              // cut short
}

TEST(Codepage, BadGbkBytesBecomeOneQuestionMarkEach) {
  EXPECT_EQ(GbkToUtf8("a\xFF" "b"), "a?b");
  // A lead byte at the very end is incomplete.
  EXPECT_EQ(GbkToUtf8("\xC4\xE3\xC4"), "你?");
  // A lead byte followed by a byte that cannot trail it leaves that byte alone.
  EXPECT_EQ(GbkToUtf8("\x81\x20z"), "? z");
  EXPECT_EQ(GbkToUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Codepage, LongTextsConvertWhole) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "短信";
  std::string gbk = Utf8ToGbk(utf8);
  EXPECT_EQ(gbk.size(), 20000u);
  EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

}  // namespace
}  // namespace tavrel
