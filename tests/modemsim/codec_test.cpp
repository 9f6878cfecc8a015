// The simulated modem's own TS 23.040 codec, fed with PDUs whose fields are
// known: the station's 'ab' send, classic 7-bit vectors and PDUs built here.
#include <gtest/gtest.h>

#include <random>

#include "tools/modemsim/pdu.h"

namespace modemsim {
namespace {

struct Vector {
  const char* name;
  const char* hex;
  Pdu::Kind kind;
  const char* centre;   // Display() form; "" when the PDU names none
  const char* address;  // destination or sender, Display() form
  std::uint8_t address_type;
  Coding coding;
  const char* text;  // UTF-8
  std::size_t tpdu_octets;
};

const Vector kVectors[] = {
    {"station-submit-ucs2-ab", "0891683108000000F011000B813108000000F00008A70400610062", Pdu::Kind::Submit,
     "+8613800000000", "13800000000", 0x81, Coding::Ucs2, "ab", 18},
    {"submit-7bit-hellohello", "0011000B916407281553F80000AA0AE8329BFD4697D9EC37", Pdu::Kind::Submit, "",
     "+46708251358", 0x91, Coding::Gsm7, "hellohello", 23},
    {"deliver-7bit-hellohello", "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37",
     Pdu::Kind::Deliver, "+27381000015", "27838890001", 0xC8, Coding::Gsm7, "hellohello", 28},
    {"deliver-ucs2-ab-13-digit-sender", "0891683108000000F0040D91683108000000F0000800000000000000040061" "0062",
     Pdu::Kind::Deliver, "+8613800000000", "+8613800000000", 0x91, Coding::Ucs2, "ab", 24},
    {"deliver-7bit-hello", "0891683108000000F0040D91683108000000F0000000000000000000" "05E8329BFD06",
     Pdu::Kind::Deliver, "+8613800000000", "+8613800000000", 0x91, Coding::Gsm7, "hello", 25},
    {"submit-8bit-no-validity", "0001000B813108000000F0000403414243", Pdu::Kind::Submit, "", "13800000000", 0x81,
     Coding::Eight, "ABC", 16},
    {"submit-empty-ucs2", "0891683108000000F011000B813108000000F00008A700", Pdu::Kind::Submit, "+8613800000000",
     "13800000000", 0x81, Coding::Ucs2, "", 14},
};

TEST(ModemsimPduDecode, KnownVectorsGiveTheirFields) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.name);
    DecodeResult result = DecodePdu(v.hex);
    ASSERT_TRUE(result.pdu) << result.error;
    const Pdu& pdu = *result.pdu;
    EXPECT_EQ(pdu.kind, v.kind);
    EXPECT_EQ(pdu.service_centre ? pdu.service_centre->Display() : "", v.centre);
    EXPECT_EQ(pdu.address.Display(), v.address);
    EXPECT_EQ(pdu.address.type, v.address_type);
    EXPECT_EQ(pdu.coding, v.coding);
    EXPECT_EQ(ToUtf8(pdu.text), v.text);
    EXPECT_EQ(pdu.tpdu_octets, v.tpdu_octets);
    EXPECT_EQ(TpduOctets(v.hex), v.tpdu_octets);
  }
}

TEST(ModemsimPduDecode, ValidityAndTimeStampForms) {
  EXPECT_EQ(DecodePdu(kVectors[0].hex).pdu->validity.Display(), "relative 1440 min");  // A7
  EXPECT_EQ(DecodePdu(kVectors[1].hex).pdu->validity.Display(), "relative 5760 min");  // AA, 4 days
  EXPECT_EQ(DecodePdu(kVectors[5].hex).pdu->validity.Display(), "none");
  EXPECT_EQ(DecodePdu(kVectors[2].hex).pdu->timestamp.Display(), "1999-03-29 15:16:59 +02:00");

  Validity v;
  v.format = Validity::Format::Relative;
  for (auto [octet, minutes] : {std::pair{0, 5}, {143, 720}, {144, 750}, {167, 1440}, {168, 2880}, {197, 50400}}) {
    v.relative = static_cast<std::uint8_t>(octet);
    EXPECT_EQ(v.Display(), "relative " + std::to_string(minutes) + " min") << octet;
  }
  // Absolute validity: TP-VPF 11, seven semi-octet time stamp octets.
  auto absolute = DecodePdu("00190005810180F000084250215103045B0400610062");
  ASSERT_TRUE(absolute.pdu) << absolute.error;
  EXPECT_EQ(absolute.pdu->validity.Display(), "absolute 2024-05-12 15:30:40 -08:45");
  EXPECT_EQ(absolute.pdu->address.number, "10080");
}

TEST(ModemsimPduDecode, SevenBitTextBehindAHeaderIsAlignedByFillBits) {
  // Second part of a concatenated 7-bit SMS-SUBMIT: UDH 050003CC0202, one
  // fill bit, then "abc".
  Bytes septets = *ToGsm7(U"abc");
  Bytes user_data = {0x05, 0x00, 0x03, 0xCC, 0x02, 0x02};
  Bytes packed = PackSeptets(septets, 1);
  user_data.insert(user_data.end(), packed.begin(), packed.end());
  std::string hex = "0051000B813108000000F00000A7" "0A" + ToHex(user_data);
  DecodeResult result = DecodePdu(hex);
  ASSERT_TRUE(result.pdu) << result.error;
  EXPECT_EQ(ToHex(result.pdu->header), "0003CC0202");
  EXPECT_EQ(ToUtf8(result.pdu->text), "abc");
}

TEST(ModemsimPduDecode, BrokenPdusAreReportedNeverCrash) {
  const std::string good = kVectors[0].hex;
  for (std::size_t cut = 0; cut < good.size(); cut += 2) {
    EXPECT_FALSE(DecodePdu(good.substr(0, cut)).pdu) << "cut at " << cut;
  }
  struct Broken {
    std::string hex;
    const char* says;
  } broken[] = {
      {good + "00", "octets follow the user data"},
      {good.substr(1), "odd number of hex characters"},
      {"0G" + good.substr(2), "not a hex digit"},
      {"0891683108000000F011000B813108000000F00008A70500610062", "ends inside TP-UD"},
      {"0891683108000000F011000B813108000000F00008A703006100", "odd length"},
      {"0891683108000000F011000B813108000000F00008A7FF", "more than 140 octets"},
      {"0891683108000000F011001B813108000000F00008A70400610062", "more than 20 semi-octets"},
      {"0891683108000000F012000B813108000000F00008A70400610062", "TP-MTI 2"},
      {"0891683108000000F051000B813108000000F00008A70403050003", "do not fit"},
      {"0891683108000000F011000B813108000000F00028A70400610062", "compressed"},
  };
  for (const Broken& b : broken) {
    DecodeResult result = DecodePdu(b.hex);
    EXPECT_FALSE(result.pdu) << b.hex;
    EXPECT_NE(result.error.find(b.says), std::string::npos) << b.hex << ": " << result.error;
  }

  // Mutated and random PDUs: a result or an error, nothing else.
  std::mt19937 random(12345);
  Bytes base = *FromHex(good);
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes = base;
    if (round % 2) {
      bytes.resize(random() % 40);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    } else {
      for (int k = 0; k < 3; ++k) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    }
    DecodeResult result = DecodePdu(ToHex(bytes));
    EXPECT_TRUE(result.pdu || !result.error.empty());
  }
}

TEST(ModemsimCodec, SevenBitPackingOfKnownTexts) {
  EXPECT_EQ(ToUtf8(FromGsm7(UnpackSeptets(*FromHex("E8329BFD06"), 5))), "hello");
  EXPECT_EQ(ToHex(PackSeptets(*ToGsm7(U"hello"))), "E8329BFD06");
  // 19 characters fill 17 octets with no septet lost at any boundary.
  Bytes fox = PackSeptets(*ToGsm7(U"The quick brown fox"));
  EXPECT_EQ(fox.size(), 17u);
  EXPECT_EQ(ToUtf8(FromGsm7(UnpackSeptets(fox, 19))), "The quick brown fox");
  for (int fill = 0; fill < 7; ++fill) {
    EXPECT_EQ(ToUtf8(FromGsm7(UnpackSeptets(PackSeptets(*ToGsm7(U"abcdefgh"), fill), 8, fill))), "abcdefgh");
  }
}

TEST(ModemsimCodec, AlphabetsAndUnicode) {
  // The default alphabet differs from ASCII where it matters; the extension
  // table takes two septets.
  EXPECT_EQ(ToHex(*ToGsm7(U"@$_\u00E9")), "00021105");
  EXPECT_EQ(ToHex(*ToGsm7(U"\u20AC[]")), "1B651B3C1B3E");
  EXPECT_EQ(FromGsm7(*ToGsm7(U"{x}~\\|^\f")), U"{x}~\\|^\f");
  EXPECT_EQ(FromGsm7(Bytes{0x1B, 0x41}), U"A");  // unknown extension: the main table
  EXPECT_FALSE(ToGsm7(U"\u4F60"));
  EXPECT_FALSE(ToGsm7(U"`"));

  EXPECT_EQ(ToHex(ToUcs2(U"\u4F60\U0001F600")), "4F60D83DDE00");
  EXPECT_EQ(FromUcs2(*FromHex("4F60D83DDE00")), U"\u4F60\U0001F600");
  EXPECT_EQ(FromUcs2(*FromHex("DE000041")), U"\uFFFDA");  // a lone low surrogate

  EXPECT_EQ(FromUtf8("\xE4\xBD\xA0"), U"\u4F60");
  EXPECT_EQ(FromUtf8("a\xFF" "b\xC0\xAF"), U"a\uFFFDb\uFFFD\uFFFD");  // invalid and overlong
  EXPECT_EQ(FromUtf8("\xE4\xBD"), U"\uFFFD\uFFFD");  // cut short
}

TEST(ModemsimSenderAddress, NormalisesThePhoneNumbersOfChina) {
  struct Case {
    const char* text;
    const char* number;
    std::uint8_t type;
  } cases[] = {
      {"13800000000", "8613800000000", 0x91}, {"8613800000000", "8613800000000", 0x91},
      {"+8613800000000", "8613800000000", 0x91}, {" 13800000000\r", "8613800000000", 0x91},
      {"+4470000000", "4470000000", 0x91},      {"10086", "10086", 0x81},
      {"Bank", "Bank", 0xD0},
  };
  for (const Case& c : cases) {
    auto address = SenderAddress(c.text);
    ASSERT_TRUE(address) << c.text;
    EXPECT_EQ(address->number, c.number);
    EXPECT_EQ(address->type, c.type);
  }
  for (const char* bad : {"", "+", "+86abc", "A name far too long", "\xE4\xBD\xA0"}) {
    EXPECT_FALSE(SenderAddress(bad)) << bad;
  }
}

DeliverMessage Message(std::string_view sender, std::u32string text) {
  DeliverMessage message;
  message.sender = *SenderAddress(sender);
  message.text = std::move(text);
  message.timestamp = {2024, 5, 12, 8, 30, 5, 32};
  message.concat_reference = 0x2A;
  return message;
}

TEST(ModemsimEncodeDeliver, FitsTheStationsFixedPositions) {
  auto pdus = EncodeDeliver(Message("13800000000", U"hello"));
  ASSERT_EQ(pdus.size(), 1u);
  const std::string& line = pdus[0];
  EXPECT_EQ(line.substr(0, 18), "0891683108000000F0");
  EXPECT_EQ(line.substr(18, 6), "040D91");
  EXPECT_EQ(line.substr(26, 12), "3108000000F0");
  EXPECT_EQ(line.substr(38, 4), "0000");
  EXPECT_EQ(line.substr(42, 14), "42502180035023");  // 2024-05-12 08:30:05 +08:00
  EXPECT_EQ(line.substr(56), "05E8329BFD06");

  auto ucs2 = EncodeDeliver(Message("+8613900000000", U"\u4F60\u597D"));
  ASSERT_EQ(ucs2.size(), 1u);
  EXPECT_EQ(ucs2[0].substr(38, 4), "0008");
  EXPECT_EQ(ucs2[0].substr(56), "044F60597D");

  DeliverMessage west = Message("Bank", U"x");
  west.timestamp.zone_quarters = -20;
  auto decoded = DecodePdu(EncodeDeliver(west)[0]);
  ASSERT_TRUE(decoded.pdu) << decoded.error;
  EXPECT_EQ(decoded.pdu->address.Display(), "Bank");
  EXPECT_EQ(decoded.pdu->timestamp.Display(), "2024-05-12 08:30:05 -05:00");
}

TEST(ModemsimEncodeDeliver, LongTextsArriveInConcatenatedParts) {
  struct Case {
    std::u32string text;
    std::size_t parts;
  } cases[] = {
      {std::u32string(160, U'a'), 1},
      {std::u32string(161, U'a'), 2},
      {std::u32string(152, U'a') + U"\u20AC" + std::u32string(10, U'b'), 2},  // the escape pair is not parted
      {std::u32string(70, U'\u4F60'), 1},
      {std::u32string(66, U'\u4F60') + U"\U0001F600" + U"xxx", 2},  // nor the surrogate pair
      {std::u32string(400, U'\u4F60'), 6},
  };
  for (const Case& c : cases) {
    auto pdus = EncodeDeliver(Message("13800000000", c.text));
    ASSERT_EQ(pdus.size(), c.parts) << ToUtf8(c.text);
    std::u32string joined;
    for (std::size_t i = 0; i < pdus.size(); ++i) {
      DecodeResult result = DecodePdu(pdus[i]);
      ASSERT_TRUE(result.pdu) << result.error;
      if (c.parts > 1) {
        EXPECT_EQ(result.pdu->first_octet, 0x44);
        EXPECT_EQ(ToHex(result.pdu->header), "00032A0" + std::to_string(c.parts) + "0" + std::to_string(i + 1));
      }
      joined += result.pdu->text;
    }
    EXPECT_EQ(joined, c.text);
  }
}

TEST(ModemsimStatusReport, DecodesAndEncodesTs23040Reports) {
  // A report with no service centre, recipient "1234" of type 80, both
  // times 2011-03-22 14:25:40 +09:00, status 00.
  DecodeResult plain = DecodePdu("00" "0600048021431130224152046311302241520463" "00");
  ASSERT_TRUE(plain.pdu) << plain.error;
  EXPECT_EQ(plain.pdu->kind, Pdu::Kind::StatusReport);
  EXPECT_EQ(plain.pdu->address.number, "1234");
  EXPECT_EQ(plain.pdu->timestamp.Display(), "2011-03-22 14:25:40 +09:00");
  EXPECT_EQ(plain.pdu->discharge_time.Display(), "2011-03-22 14:25:40 +09:00");
  EXPECT_EQ(plain.pdu->tpdu_octets, 21u);

  StatusReportMessage report;
  report.message_reference = 0xA7;
  report.recipient = *SenderAddress("13800000001");
  report.service_centre_time = {2024, 5, 12, 8, 30, 5, 32};
  report.discharge_time = {2024, 5, 12, 8, 31, 0, 32};
  report.status = 0x46;  // TS 23.040 9.2.3.15: validity period expired
  std::string hex = EncodeStatusReport(report);
  EXPECT_EQ(hex, "0891683108000000F0" "06A7" "0D91683108000000F1" "42502180035023" "42502180130023" "46");
  DecodeResult decoded = DecodePdu(hex);
  ASSERT_TRUE(decoded.pdu) << decoded.error;
  EXPECT_EQ(decoded.pdu->message_reference, 0xA7);
  EXPECT_EQ(decoded.pdu->address.Display(), "+8613800000001");
  EXPECT_EQ(decoded.pdu->discharge_time.Display(), "2024-05-12 08:31:00 +08:00");
  EXPECT_EQ(decoded.pdu->status, 0x46);

  // TP-PI announcing TP-PID, TP-DCS and user data after the status.
  DecodeResult extended = DecodePdu(hex + "07" "00" "00" "05E8329BFD06");
  ASSERT_TRUE(extended.pdu) << extended.error;
  EXPECT_EQ(ToUtf8(extended.pdu->text), "hello");
  DecodeResult cut = DecodePdu(hex.substr(0, hex.size() - 10));
  EXPECT_FALSE(cut.pdu);
  EXPECT_NE(cut.error.find("SMS-STATUS-REPORT (TP-MTI 2): the PDU ends inside TP-DT"), std::string::npos) << cut.error;
}

TEST(ModemsimEncodeDeliver, ShapesMadeToOrder) {
  struct Case {
    const char* name;
    DeliverMessage message;
    std::vector<std::string> expected;  // fields of each part's decoded PDU: centre|sender|dcs|udh|text
  };
  auto with = [](auto change) {
    DeliverMessage message;
    message.sender = *SenderAddress("10086");
    message.timestamp = {2024, 5, 12, 8, 30, 5, 32};
    message.concat_reference = 0x0102;
    change(message);
    return message;
  };
  Case cases[] = {
      {"no service centre", with([](DeliverMessage& m) { m.service_centre = ""; m.text = U"hi"; }),
       {"|10086|00||hi"}},
      {"12-digit national centre", with([](DeliverMessage& m) {
         m.service_centre = "861380000000";
         m.service_centre_type = 0x81;
         m.text = U"hi";
       }), {"861380000000|10086|00||hi"}},
      {"national sender", with([](DeliverMessage& m) { m.sender = {"13800000000", 0xA1}; m.text = U"hi"; }),
       {"+8613800000000|13800000000|00||hi"}},
      {"106 enterprise sender", with([](DeliverMessage& m) {
         m.sender = *SenderAddress("10690000123456789");
         m.text = U"hi";
       }),
       {"+8613800000000|10690000123456789|00||hi"}},
      {"extension table", with([](DeliverMessage& m) { m.text = U"@\u20AC{}[]~\\^|"; }),
       {"+8613800000000|10086|00||@\u20AC{}[]~\\^|"}},
      {"8-bit data", with([](DeliverMessage& m) { m.coding = Coding::Eight; m.text = U"\x01\xFF"; }),
       {"+8613800000000|10086|04||\x01\u00FF"}},
      {"surrogate pair", with([](DeliverMessage& m) { m.text = U"\U0001F600"; }),
       {"+8613800000000|10086|08||\U0001F600"}},
      {"16-bit reference, 7-bit", with([](DeliverMessage& m) {
         m.concat_16bit = true;
         m.part_size = 2;
         m.text = U"abc";
       }),
       {"+8613800000000|10086|00|080401020201|ab", "+8613800000000|10086|00|080401020202|c"}},
      {"8-bit reference, UCS-2 parts", with([](DeliverMessage& m) { m.part_size = 4; m.text = U"\u4F60\u597D\u5417"; }),
       {"+8613800000000|10086|08|0003020201|\u4F60\u597D", "+8613800000000|10086|08|0003020202|\u5417"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> fields;
    for (const std::string& hex : EncodeDeliver(c.message)) {
      DecodeResult decoded = DecodePdu(hex);
      ASSERT_TRUE(decoded.pdu) << decoded.error;
      const Pdu& pdu = *decoded.pdu;
      fields.push_back((pdu.service_centre ? pdu.service_centre->Display() : "") + "|" + pdu.address.Display() + "|" +
                       ToHex({pdu.data_coding}) + "|" + ToHex(pdu.header) + "|" + ToUtf8(pdu.text));
    }
    EXPECT_EQ(fields, c.expected);
  }
  // '@' is septet 0 and the euro sign ESC 65: "@€" packs to 80 4D 19.
  EXPECT_TRUE(EncodeDeliver(with([](DeliverMessage& m) { m.text = U"@\u20AC"; }))[0].ends_with("03804D19"));
  auto bare = with([](DeliverMessage& m) {
    m.service_centre = "";
    m.text = U"x";
  });
  EXPECT_TRUE(EncodeDeliver(bare)[0].starts_with("0004"));
  EXPECT_FALSE(Encodable(U"\u4F60", Coding::Gsm7));
  EXPECT_FALSE(Encodable(U"\u0100", Coding::Eight));
}

TEST(ModemsimTimestamp, ReadsItsOwnDisplayForm) {
  for (const char* text : {"2024-05-12 08:30:05 +08:00", "1999-03-29 15:16:59 -05:45", "2069-12-31 23:59:59 +00:00"}) {
    auto ts = ParseTimestamp(text);
    ASSERT_TRUE(ts) << text;
    EXPECT_EQ(ts->Display(), text);
  }
  for (const char* bad : {"", "2024-05-12 08:30:05", "2024-13-12 08:30:05 +08:00", "2024-05-12 08:30:05 +08:10",
                          "2070-01-01 00:00:00 +00:00", "2024-05-12 08:30:05 +08:00x"}) {
    EXPECT_FALSE(ParseTimestamp(bad)) << bad;
  }
}

}  // namespace
}  // namespace modemsim
