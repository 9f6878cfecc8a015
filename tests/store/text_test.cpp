#include "store/text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace tavrel {
namespace {

struct SplitCase {
  std::string text;
  int k;
  char sep;
  std::string field;
  int result;
};

TEST(SplitField, CountsSeparatorsOfTheWholeText) {
  const SplitCase cases[] = {
      {"0000|13012312312;|hello|", 1, '|', "0000", 0},
      {"0000|13012312312;|hello|", 2, '|', "13012312312;", 0},
      {"0000|13012312312;|hello|", 3, '|', "hello", 0},
      {"0000|13012312312;|hello|", 4, '|', "0000|13012312312;|hello|", -1},
      {"0000|1301|hello", 3, '|', "0000|1301|hello", -1},  // last piece is no field
      {"|a|b|", 1, '|', "", 0},
      {"a||b|", 2, '|', "", 0},
      {"abc", 1, '|', "abc", -1},
      {"", 1, '|', "", -1},
      {"a;b", 0, ';', "a;b", -1},
      {"a;b", -3, ';', "a;b", -1},
      {"+CMGL: 1,0,,24\r\nPDU\r\nOK", 2, '\n', "PDU\r", 0},
      {"a=b=c", 1, '=', "a", 0},
  };
  for (const SplitCase& c : cases) {
    SplitResult r = SplitField(c.text, c.k, c.sep);
    EXPECT_EQ(r.field, c.field) << c.text << " k=" << c.k;
    EXPECT_EQ(r.result, c.result) << c.text << " k=" << c.k;
  }
  // GBK trail bytes never equal the ASCII separators used.
  std::string gbk = Gbk("你好|朋友|");
  EXPECT_EQ(SplitField(gbk, 2, '|').field, Gbk("朋友"));
}

TEST(TrimLine, CutsAtTheFirstLineEndOrNul) {
  std::string a = "13012312312\r\nnext";
  TrimLine(a);
  EXPECT_EQ(a, "13012312312");
  std::string b = "abc\ndef\r";
  TrimLine(b);
  EXPECT_EQ(b, "abc");
  std::string c("ab\0cd", 5);
  TrimLine(c);
  EXPECT_EQ(c, "ab");
  std::string d = "plain";
  TrimLine(d);
  EXPECT_EQ(d, "plain");
}

TEST(TextToUcs2Hex, FourUpperCaseDigitsPerUnit) {
  EXPECT_EQ(TextToUcs2Hex(Gbk("你好")), "4F60597D");
  EXPECT_EQ(TextToUcs2Hex("Az0"), "0041007A0030");
  EXPECT_EQ(TextToUcs2Hex("\r\n"), "000D000A");
  EXPECT_EQ(TextToUcs2Hex("\x80"), "20AC");
  EXPECT_EQ(TextToUcs2Hex(""), "");
  EXPECT_EQ(TextToUcs2Hex("\xFF"), "003F");
  std::string sixty_four;
  for (int i = 0; i < 64; ++i) sixty_four += Gbk("短");
  EXPECT_EQ(TextToUcs2Hex(sixty_four).size(), 256u);
}

}  // namespace
}  // namespace tavrel
