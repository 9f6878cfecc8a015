#include "engine/codec/pdu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/codec/sms_decoder.h"
#include "platform/codepage.h"
#include "store/text.h"

namespace tavrel {
namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string WithoutEndMark(const SubmitPdu& pdu) {
  EXPECT_FALSE(pdu.text.empty());
  EXPECT_EQ(pdu.text.back(), kCtrlZ);
  return pdu.text.substr(0, pdu.text.size() - 1);
}

// What a modem does to a text before it hands it over: the TS 23.038 packing.
std::string Pack7Bit(std::string_view text) {
  std::vector<std::uint8_t> octets((text.size() * 7 + 7) / 8, 0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned septet = static_cast<unsigned char>(text[i]) & 0x7F;
    const std::size_t bit = i * 7;
    octets[bit / 8] |= static_cast<std::uint8_t>(septet << (bit % 8));
    if (bit % 8 > 1) octets[bit / 8 + 1] |= static_cast<std::uint8_t>(septet >> (8 - bit % 8));
  }
  std::string hex;
  char digits[3];
  for (std::uint8_t octet : octets) {
    std::snprintf(digits, sizeof digits, "%02X", octet);
    hex += digits;
  }
  return hex;
}

// An SMS-DELIVER line as the modem lists it: SMSC +8613800200500, a sender
// written internationally (type 91), a time stamp of 2025-05-11 16:52:08 +8h.
std::string DeliverLine(std::string_view sender_length_and_digits,
                        std::string_view dcs, std::size_t user_data_length,
                        std::string_view user_data) {
  char udl[24];
  std::snprintf(udl, sizeof udl, "%02zX", user_data_length);
  return "0891683108200105F0" "24" + std::string(sender_length_and_digits) + "00" +
         std::string(dcs) + "52501161258023" + udl + std::string(user_data) + "\r";
}

constexpr std::string_view kSender13 = "0D91683119325476F8";  // 8613912345678

TEST(SubmitPdu, BuildsTheFixedLayoutAndAnnouncedLength) {
  struct Row {
    const char* what;
    std::string centre, destination, text, pdu;
    int announced;
  };
  const std::vector<Row> rows = {
      {"two ASCII characters", "8613800000000", "13800000000", "ab",
       "0891683108000000F011000B813108000000F00008A70400610062", 18},
      {"empty text", "8613800000000", "13800000000", "",
       "0891683108000000F011000B813108000000F00008A700", 14},
      {"one Chinese character", "8613800000000", "13800000000", Gbk("你"),
       "0891683108000000F011000B813108000000F00008A7024F60", 16},
      {"mixed text, other numbers", "8613912345678", "15012345678", Gbk("你好ab"),
       "0891683119325476F811000B815110325476F80008A7084F60597D00610062", 22},
      // The service centre is not checked: a default of 10 digits gives a
      // shorter centre part, yet the length still subtracts 18 characters.
      {"ten-digit default centre", "0000000000", "13800000000", "a",
       "089100000000001100" "0B813108000000F00008A7020061", 14},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const SubmitPdu pdu = BuildSubmitPdu(row.centre, row.destination, row.text);
    EXPECT_EQ(WithoutEndMark(pdu), row.pdu);
    EXPECT_EQ(pdu.announced_length, row.announced);
    EXPECT_EQ(pdu.text.find(kCtrlZ), pdu.text.size() - 1);
  }
}

TEST(SubmitPdu, CutsTheUserDataAtSeventyCharacters) {
  const std::string seventy = Repeat(Gbk("你"), 70);
  const SubmitPdu full = BuildSubmitPdu("8613800000000", "13800000000", seventy);
  EXPECT_EQ(WithoutEndMark(full),
            "0891683108000000F011000B813108000000F00008A78C" + Repeat("4F60", 70));
  EXPECT_EQ(full.announced_length, 14 + 140);

  // The 71st character is dropped without notice, whatever its width.
  EXPECT_EQ(BuildSubmitPdu("8613800000000", "13800000000", seventy + Gbk("好")).text,
            full.text);
  const std::string mixed = Repeat(Gbk("你"), 69) + "ab";
  EXPECT_EQ(SubmitUserData(mixed), Repeat("4F60", 69) + "0061");

  // Converting once and assembling per destination gives the same PDU.
  EXPECT_EQ(AssembleSubmitPdu("8613800000000", "13800000000", SubmitUserData(seventy)).text,
            full.text);
}

TEST(SemiOctets, SwapsPairsAndFillsOddLengthsWithF) {
  EXPECT_EQ(SwapDigits("13800000000"), "3108000000F0");
  EXPECT_EQ(SwapDigits("8613800000000"), "683108000000F0");
  EXPECT_EQ(SwapDigits("1234"), "2143");
  EXPECT_EQ(SwapDigits(""), "");
  EXPECT_EQ(UnswapDigits("3108000000F0"), "13800000000");
  EXPECT_EQ(UnswapDigits("2143"), "1234");
  // An odd input is filled before the swap, so the 'F' is not at the end.
  EXPECT_EQ(UnswapDigits("214"), "12F4");
  EXPECT_EQ(UnswapDigits(""), "");
  const std::string digits = "86139123456780";
  for (std::size_t n = 0; n <= digits.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(UnswapDigits(SwapDigits(digits.substr(0, n))), digits.substr(0, n));
  }
}

TEST(Ucs2HexToText, DecodesUnitsUpToZeroOrCapacity) {
  struct Row {
    const char* what;
    std::string hex, text;
  };
  const std::vector<Row> rows = {
      {"ASCII", "00610062", "ab"},
      {"Chinese", "4F60597D002C4E16754C", Gbk("你好,世界")},
      {"lower-case digits", "4f60597d", Gbk("你好")},
      {"empty", "", ""},
      {"short last group read as it stands", "0061062", "ab"},
      {"zero unit ends the text", "006100000062", "a"},
      {"short zero group ends the text", "00610", "a"},
      {"non-hex ends a group's number", "00416Xyz0042", "A\x06" "B"},
      {"group without hex digits reads 0", "0041zz410042", "A"},
      {"no GBK form becomes '?'", "0E010061", "?a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Ucs2HexToText(row.hex), row.text);
  }
  // 299 units and the closing zero fill the 300-unit field.
  EXPECT_EQ(Ucs2HexToText(Repeat("0041", 1000)), std::string(kUcs2FieldUnits - 1, 'A'));
  EXPECT_EQ(Ucs2HexToText(TextToUcs2Hex(Repeat(Gbk("世"), 299) + "x")),
            Repeat(Gbk("世"), 299));
}

TEST(Unpack7Bit, UsesSeptetsAsCharacterCodes) {
  EXPECT_EQ(Unpack7Bit("E8329BFD06"), "hello");
  EXPECT_EQ(Unpack7Bit("e8329bfd06"), "hello");
  const std::string fox = Pack7Bit("The quick brown fox");
  EXPECT_EQ(fox.size(), 2u * 17);
  EXPECT_EQ(Unpack7Bit(fox), "The quick brown fox");
  EXPECT_EQ(Unpack7Bit(""), "");
  // A septet of 0 ('@' in the default alphabet) ends the text.
  EXPECT_EQ(Unpack7Bit(Pack7Bit(std::string("ab\0cd", 5))), "ab");
  // An odd last character is an octet of its own: 0x0E, then the zero octet.
  EXPECT_EQ(Unpack7Bit("E"), "\x0E");
  // Non-hex pairs read their leading digits: "6z" is 6, "zz" is 0 and ends
  // the text at once.
  EXPECT_EQ(Unpack7Bit("6z"), "\x06");
  EXPECT_EQ(Unpack7Bit("zz41"), "");
}

TEST(Unpack7Bit, ReadsAtMostThreeHundredOctets) {
  const std::string long_user_data = Repeat("D3", 1000);  // 'S' and friends
  const std::string decoded = Unpack7Bit(long_user_data);
  EXPECT_EQ(decoded, Unpack7Bit(long_user_data.substr(0, 2 * k7BitFieldOctets)));
  // 300 octets hold 342 septets and 6 bits; the zero octet after them
  // completes a 343rd character.
  EXPECT_EQ(decoded.size(), 343u);
}

TEST(UserDataOffset, FollowsTheSenderAddressLength) {
  struct Row {
    const char* length;
    std::size_t offset;
  };
  const std::vector<Row> rows = {
      {"03", 48}, {"04", 48}, {"05", 50}, {"06", 50}, {"07", 52}, {"08", 52},
      {"09", 54}, {"0A", 54}, {"0B", 56}, {"0C", 56}, {"0D", 58}, {"0E", 58},
      {"02", 58}, {"10", 58}, {"0b", 58}, {"", 58},   {"3", 48},  {"9", 54},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    EXPECT_EQ(UserDataOffset(row.length), row.offset);
  }
}

TEST(DeliverPdu, CutsFieldsAtFixedPositions) {
  struct Row {
    const char* what;
    std::string line;
    std::string sender, address_length, type_code;
    std::size_t offset;
    std::string user_data, text;
  };
  const std::vector<Row> rows = {
      {"UCS-2 from a 13-digit sender",
       "0891683108000000F0" "04" "0D91" "683108000000F0" "0008" "00000000000000" "04"
       "00610062\r",
       "13800000000", "0D", "0008", 58, "00610062", "ab"},
      {"7-bit text",
       "0891683108000000F0" "04" "0D91" "683108000000F0" "0000" "00000000000000" "05"
       "E8329BFD06\r",
       "13800000000", "0D", "0000", 58, "E8329BFD06", "hello"},
      {"Chinese from a mobile",
       DeliverLine(kSender13, "08", 10, "4F60597D002C4E16754C"),
       "13912345678", "0D", "0008", 58, "4F60597D002C4E16754C", Gbk("你好,世界")},
      // An 11-digit sender moves the user data to 56, while the sender and
      // type code are still read where a 13-digit sender puts them.
      {"11-digit national sender",
       DeliverLine("0B813119325476F8", "08", 4, "00610062"),
       "912345678F00", "0B", "0852", 56, "00610062", "ab"},
      // A 5-digit service number: the user data starts at 50, the "sender"
      // and "type code" are pieces of the fields after the address.
      {"5-digit service number",
       DeliverLine("05811001F0", "08", 4, "00610062"),
       "100F00802505", "05", "1161", 50, "00610062", "ab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const DeliverPdu pdu = ParseDeliverPdu(row.line);
    EXPECT_EQ(pdu.sender, row.sender);
    EXPECT_EQ(pdu.address_length, row.address_length);
    EXPECT_EQ(pdu.type_code, row.type_code);
    EXPECT_EQ(pdu.user_data_offset, row.offset);
    EXPECT_EQ(pdu.user_data, row.user_data);
    EXPECT_EQ(pdu.text, row.text);
  }
}

TEST(DeliverPdu, DecodesEverySevenBitLength) {
  const std::string alphabet = "The quick brown fox jumps over the lazy dog 0123456789 *#+-?!";
  for (std::size_t n = 1; n <= 160; ++n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += alphabet[(i * 7) % alphabet.size()];
    SCOPED_TRACE(text);
    const DeliverPdu pdu = ParseDeliverPdu(DeliverLine(kSender13, "00", n, Pack7Bit(text)));
    EXPECT_EQ(pdu.type_code, "0000");
    EXPECT_EQ(pdu.sender, "13912345678");
    EXPECT_EQ(pdu.text, text);
  }
}

TEST(DeliverPdu, RoundTripsChineseThroughTheSubmitUserData) {
  const std::vector<std::string> texts = {
      Gbk("*0001"), Gbk("你好"), Gbk("请问明天的会议几点开始？谢谢！"),
      Repeat(Gbk("短信"), 35), Gbk("价格：￥100，联系13912345678"),
  };
  for (const std::string& text : texts) {
    const std::string user_data = SubmitUserData(text);
    const DeliverPdu pdu =
        ParseDeliverPdu(DeliverLine(kSender13, "08", user_data.size() / 2, user_data));
    EXPECT_EQ(pdu.text, text);
  }
}

// On the one shape the fixed positions fit (an 8-octet centre part, a +86
// mobile, UCS-2 or 7-bit ASCII), the field decoder files the same sender and
// text.
TEST(DeliverPdu, TheFieldDecoderAgreesWhereFixedPositionsFit) {
  std::vector<std::string> lines = {
      "0891683108000000F0" "04" "0D91" "683108000000F0" "0008" "00000000000000" "04"
      "00610062\r",
      "0891683108000000F0" "04" "0D91" "683108000000F0" "0000" "00000000000000" "05"
      "E8329BFD06\r",
  };
  const std::string alphabet = "The quick brown fox jumps over the lazy dog 0123456789 *#+-?!";
  for (std::size_t n = 1; n <= 160; ++n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += alphabet[(i * 7) % alphabet.size()];
    lines.push_back(DeliverLine(kSender13, "00", n, Pack7Bit(text)));
  }
  for (const std::string& text : {Gbk("*0001"), Gbk("请问明天的会议几点开始？谢谢！"),
                                  Repeat(Gbk("短信"), 35), Gbk("你好,世界")}) {
    const std::string user_data = SubmitUserData(text);
    lines.push_back(DeliverLine(kSender13, "08", user_data.size() / 2, user_data));
  }
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    const DeliverPdu cut = ParseDeliverPdu(line);
    const DecodedSms decoded = DecodeSmsPdu(line);
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(SenderRecordText(decoded.sender), cut.sender);
    EXPECT_EQ(decoded.text, cut.text);
  }
}

// Lines from the serial port can be anything; every one has defined fields.
TEST(DeliverPdu, MalformedLinesGiveEmptyOrClippedFields) {
  const DeliverPdu empty = ParseDeliverPdu("");
  EXPECT_EQ(empty.sender, "");
  EXPECT_EQ(empty.type_code, "");
  EXPECT_EQ(empty.address_length, "");
  EXPECT_EQ(empty.user_data_offset, 58u);
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(ParseDeliverPdu("\r").sender, "");

  // Ends inside the sender: the CR never becomes part of a field.
  const DeliverPdu in_sender = ParseDeliverPdu("0891683108000000F0040D91683108\r");
  EXPECT_EQ(in_sender.sender_field, "3108");
  EXPECT_EQ(in_sender.sender, "1380");
  EXPECT_EQ(in_sender.address_length, "0D");
  EXPECT_EQ(in_sender.type_code, "");
  EXPECT_EQ(in_sender.user_data, "");

  // Ends inside the type code.
  const DeliverPdu in_code = ParseDeliverPdu("0891683108000000F0040D91683108000000F000\r");
  EXPECT_EQ(in_code.sender, "13800000000");
  EXPECT_EQ(in_code.type_code, "00");
  EXPECT_EQ(in_code.text, "");

  // Ends just at the user data: none.
  const std::string header =
      "0891683108000000F0" "04" "0D91" "683108000000F0" "0008" "00000000000000" "04";
  EXPECT_EQ(ParseDeliverPdu(header + "\r").user_data, "");
  EXPECT_EQ(ParseDeliverPdu(header + "\r").text, "");

  // Odd, non-hex and oversized user data decode to the field's capacity.
  EXPECT_EQ(ParseDeliverPdu(header + "0061006\r").text, "a\x06");
  EXPECT_EQ(ParseDeliverPdu(header + "0061!!!!0062\r").text, "a");
  EXPECT_EQ(ParseDeliverPdu(header + Repeat("4E16", 5000) + "\r").text,
            Repeat(Gbk("世"), kUcs2FieldUnits - 1));
  const std::string seven_bit_header =
      "0891683108000000F0" "04" "0D91" "683108000000F0" "0000" "00000000000000" "FF";
  EXPECT_EQ(ParseDeliverPdu(seven_bit_header + Repeat("D3", 5000) + "\r").text.size(), 343u);

  // Binary garbage, NUL bytes included.
  const std::string garbage("\0\xFF\x80garbage\0\r\n+CMGL: 1,0,,24\r", 28);
  const DeliverPdu junk = ParseDeliverPdu(garbage);
  EXPECT_EQ(junk.sender_field, "4");
  EXPECT_EQ(junk.address_length, "1,");
  EXPECT_EQ(junk.user_data_offset, 58u);
  EXPECT_EQ(junk.type_code, "");
  EXPECT_EQ(junk.text, "");
}

}  // namespace
}  // namespace tavrel
