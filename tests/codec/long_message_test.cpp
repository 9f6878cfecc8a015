// The 7-bit encoder, the cut into parts and the PDUs of a long message.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/codec/gsm7.h"
#include "engine/codec/long_message.h"
#include "platform/codepage.h"

namespace tavrel {
namespace {

std::string Hex(const std::vector<std::uint8_t>& octets) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t o : octets) hex += {kDigits[o >> 4], kDigits[o & 15]};
  return hex;
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(Gsm7Encoder, PacksTheDefaultAndExtensionTablesAsTheStandardDoes) {
  struct Row {
    const char16_t* text;
    unsigned fill_bits;
    const char* packed;
  };
  const Row rows[] = {
      {u"hello", 0, "E8329BFD06"},
      {u"hellohello", 0, "E8329BFD4697D9EC37"},
      {u"The quick brown fox", 0, "54741914AFA7C76B9058FEBEBB41E6371E"},
      // '@' is septet 00, '£' 01, '$' 02; '€' ESC 65 and '[' ESC 3C.
      {u"@\u00A3$", 0, "808000"},
      {u"\u20AC[", 0, "9BF28607"},
      // Behind a concatenation header: one fill bit before the first septet.
      {u"h", 1, "D0"},
      {u"hello", 1, "D06536FB0D"},
  };
  for (const Row& row : rows) {
    const std::optional<std::vector<std::uint8_t>> septets = Utf16ToGsm7(row.text);
    ASSERT_TRUE(septets) << row.packed;
    EXPECT_EQ(Hex(PackSeptets(*septets, row.fill_bits)), row.packed);
    if (row.fill_bits == 0) {
      EXPECT_EQ(Gsm7ToUtf16(UnpackSeptets(PackSeptets(*septets), septets->size())), row.text);
    }
  }
  EXPECT_FALSE(Utf16ToGsm7(u"ab\u4F60"));  // 你 has no septet
  EXPECT_FALSE(Utf16ToGsm7(u"`"));         // nor has the backquote
}

TEST(LongMessage, IsCutIntoPartsWithoutPartingAnEscapePair) {
  struct Row {
    std::string text;  // GBK
    SmsAlphabet alphabet;
    std::vector<std::size_t> part_sizes;  // septets or octets
  };
  const std::string a152 = std::string(152, 'a');
  const Row rows[] = {
      {std::string(160, 'a'), SmsAlphabet::kGsm7, {160}},
      {std::string(161, 'a'), SmsAlphabet::kGsm7, {153, 8}},
      {std::string(200, 'x'), SmsAlphabet::kGsm7, {153, 47}},
      // '[' would be septets 153 and 154: the pair goes to the next part whole.
      {a152 + "[" + std::string(10, 'a'), SmsAlphabet::kGsm7, {152, 12}},
      {Repeat(Gbk("你"), 70), SmsAlphabet::kUcs2, {140}},
      {Repeat(Gbk("你"), 71), SmsAlphabet::kUcs2, {134, 8}},
      {Repeat(Gbk("你"), 150), SmsAlphabet::kUcs2, {134, 134, 32}},
      // One character outside the alphabet sends the whole text as UCS-2.
      {std::string(100, 'a') + Gbk("你"), SmsAlphabet::kUcs2, {134, 68}},
      {"", SmsAlphabet::kGsm7, {0}},
  };
  for (const Row& row : rows) {
    const MessagePlan plan = PlanMessage(row.text, kMaxParts);
    EXPECT_EQ(plan.alphabet, row.alphabet) << row.text.size();
    std::vector<std::size_t> sizes;
    for (const auto& part : plan.parts) sizes.push_back(part.size());
    EXPECT_EQ(sizes, row.part_sizes) << row.text.size();
    EXPECT_FALSE(plan.cut());
  }

  const MessagePlan cut = PlanMessage(std::string(400, 'a'), 2);
  EXPECT_EQ(cut.parts.size(), 2u);
  EXPECT_EQ(cut.parts_needed, 3);
  EXPECT_TRUE(cut.cut());
}

TEST(LongMessage, MeasureCountsCharactersAndPartsForTheStationsParts) {
  struct Row {
    std::string text;  // GBK
    int parts_limit;
    SmsAlphabet alphabet;
    std::size_t characters;
    int parts;
    bool fits;
  };
  const Row rows[] = {
      // One SMS allowed: the single UCS-2 SMS, line ends counted as they stand.
      {Gbk("你好"), 1, SmsAlphabet::kUcs2, 2, 1, true},
      {std::string(70, 'a'), 1, SmsAlphabet::kUcs2, 70, 1, true},
      {std::string(71, 'a'), 1, SmsAlphabet::kUcs2, 71, 2, false},
      {"a\r\nb", 1, SmsAlphabet::kUcs2, 4, 1, true},
      // PARTS above 1: line ends as LF, an escape pair is one character.
      {"a\r\nb", 5, SmsAlphabet::kGsm7, 3, 1, true},
      {std::string(200, 'a'), 5, SmsAlphabet::kGsm7, 200, 2, true},
      {"{}" + std::string(156, 'a'), 5, SmsAlphabet::kGsm7, 158, 1, true},
      {"{}" + std::string(157, 'a'), 5, SmsAlphabet::kGsm7, 159, 2, true},
      {Repeat(Gbk("你"), 150), 3, SmsAlphabet::kUcs2, 150, 3, true},
      {Repeat(Gbk("你"), 150), 2, SmsAlphabet::kUcs2, 150, 3, false},
      {"", 5, SmsAlphabet::kGsm7, 0, 0, true},
  };
  for (const Row& row : rows) {
    const MessageMeasure m = MeasureMessage(row.text, row.parts_limit);
    EXPECT_EQ(m.alphabet, row.alphabet) << row.text << " " << row.parts_limit;
    EXPECT_EQ(m.characters, row.characters) << row.text << " " << row.parts_limit;
    EXPECT_EQ(m.parts, row.parts) << row.text << " " << row.parts_limit;
    EXPECT_EQ(m.fits, row.fits) << row.text << " " << row.parts_limit;
  }
}

TEST(LongMessage, PdusCarryTheConcatenationHeaderAndTheReportRequest) {
  const MessagePlan seven = PlanMessage(std::string(200, 'a'), kMaxParts);
  const std::vector<SubmitPdu> pdus =
      AssembleMessagePdus("8613800000000", "13800000000", seven, 7, true);
  ASSERT_EQ(pdus.size(), 2u);
  // SMSC, first octet 71 (UDHI, SRR, relative validity), MR 00, destination,
  // PID 00, DCS 00, VP A7, UDL in septets (7 for the header and fill), UDH.
  const std::string head =
      "0891683108000000F0"
      "71"
      "00"
      "0B81"
      "3108000000F0"
      "00"
      "00"
      "A7";
  EXPECT_EQ(pdus[0].text.substr(0, head.size() + 2 + 12), head + "A0" + "050003070201");
  EXPECT_EQ(pdus[1].text.substr(0, head.size() + 2 + 12), head + "36" + "050003070202");
  // 153 septets behind 6 header octets and a fill bit: 140 octets.
  EXPECT_EQ(pdus[0].announced_length, 14 + 140);
  EXPECT_EQ(pdus[0].text.back(), kCtrlZ);

  const MessagePlan ucs2 = PlanMessage(Gbk("你好"), kMaxParts);
  const std::vector<SubmitPdu> one =
      AssembleMessagePdus("8613800000000", "13800000000", ucs2, 9, false);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].text,
            "0891683108000000F011000B813108000000F00008A7044F60597D" + std::string(1, kCtrlZ));

  // The single SMS, when only one is allowed, with a report asked: only the first octet changes.
  EXPECT_EQ(AssembleSubmitPdu("8613800000000", "13800000000", "00610062", true).text,
            "0891683108000000F031000B813108000000F00008A70400610062" + std::string(1, kCtrlZ));
}

}  // namespace
}  // namespace tavrel
