// The spool's file formats: *.msg injections and *.ctl commands, as tests
// and the operator write them.
#include <gtest/gtest.h>

#include "tools/modemsim/spool.h"

namespace modemsim {
namespace {

TEST(ModemsimInjection, ReadsEveryKeyOfItsKind) {
  std::string error;
  auto deliver = ParseInjection(
      "from: 13800000000\r\nfrom-type: A1\nsmsc: none\ncoding: 7bit\nconcat: 16bit\nref: 300\npart-size: 10\n"
      "parts: 3, 1\ntime: 2024-05-12 08:30:05 +08:00\nstat: 1\nvia: cmt\n\r\n{x}\n",
      error);
  ASSERT_TRUE(deliver) << error;
  EXPECT_EQ(deliver->kind, Injection::Kind::Deliver);
  EXPECT_EQ(deliver->address.number, "13800000000");
  EXPECT_EQ(deliver->address.type, 0xA1);
  ASSERT_TRUE(deliver->service_centre);
  EXPECT_EQ(deliver->service_centre->number, "");
  EXPECT_EQ(deliver->coding, Coding::Gsm7);
  EXPECT_TRUE(deliver->concat_16bit);
  EXPECT_EQ(deliver->concat_reference, 300);
  EXPECT_EQ(deliver->part_size, 10u);
  EXPECT_EQ(deliver->parts, (std::vector<int>{3, 1}));
  EXPECT_EQ(deliver->time->Display(), "2024-05-12 08:30:05 +08:00");
  EXPECT_EQ(deliver->status, 1);
  EXPECT_EQ(deliver->route, Injection::Route::Cmt);
  EXPECT_EQ(deliver->text, U"{x}\n");  // the text byte for byte after the empty line

  auto report = ParseInjection("report: 200\nto: +447700900123\nstatus: 70\nsmsc: 10086\nsmsc-type: A1\n"
                               "discharge: 2024-05-12 08:31:00 +08:00\nvia: cds\n",
                               error);
  ASSERT_TRUE(report) << error;
  EXPECT_EQ(report->kind, Injection::Kind::StatusReport);
  EXPECT_EQ(report->message_reference, 200);
  EXPECT_EQ(report->address.Display(), "+447700900123");
  EXPECT_EQ(report->report_status, 70);
  EXPECT_EQ(report->service_centre->type, 0xA1);
  EXPECT_EQ(report->discharge_time->Display(), "2024-05-12 08:31:00 +08:00");
  EXPECT_FALSE(report->time);

  auto raw = ParseInjection("pdu: 0891ZZ\npdu: 00\nlength: 7\nstat: 2\n", error);
  ASSERT_TRUE(raw) << error;
  EXPECT_EQ(raw->pdus, (std::vector<std::string>{"0891ZZ", "00"}));
  EXPECT_EQ(raw->length, 7u);

  // Senders as the *.sms rules read them, or as written with a type.
  struct Sender {
    const char* header;
    const char* display;
    std::uint8_t type;
  } senders[] = {
      {"from: 13800000000", "+8613800000000", 0x91}, {"from: +447700900123", "+447700900123", 0x91},
      {"from: 95588", "95588", 0x81},                {"from: 10690000123456789", "10690000123456789", 0x81},
      {"from: Bank@{}", "Bank@{}", 0xD0},             {"from: 106900\nfrom-type: 91", "+106900", 0x91},
  };
  for (const Sender& s : senders) {
    auto parsed = ParseInjection(std::string(s.header) + "\n\nx", error);
    ASSERT_TRUE(parsed) << s.header << ": " << error;
    EXPECT_EQ(parsed->address.Display(), s.display);
    EXPECT_EQ(parsed->address.type, s.type);
  }
  using namespace std::string_literals;
  auto eight = ParseInjection("from: 10086\ncoding: 8bit\n\n\xE4\x00\xFF"s, error);  // octets, not UTF-8
  ASSERT_TRUE(eight) << error;
  EXPECT_EQ(eight->text, U"\u00E4\u0000\u00FF"s);
}

TEST(ModemsimInjection, SaysWhatIsWrong) {
  struct Bad {
    const char* content;
    const char* says;
  } bad[] = {
      {"\nhello", "\"from\" is missing"},
      {"from 10086\n\nx", "no \"key: value\" line"},
      {"from: 10086\ncolour: red\n\nx", "unknown key \"colour\""},
      {"from: 10086\nstatus: 0\n\nx", "\"status\" does not belong in an SMS-DELIVER"},
      {"pdu: 00\nfrom: 10086\n", "\"from\" does not belong in raw PDUs"},
      {"from: 10086\nfrom: 10010\n\nx", "given twice"},
      {"from: 10086\ncoding: 7bit\n\n\xE4\xBD\xA0", "GSM 7-bit cannot carry"},
      {"from: 10086\nref: 256\n\nx", "16-bit reference"},
      {"from: 10086\nparts: 1,1\n\nx", "no value for \"parts\""},
      {"from: 10086\ntime: yesterday\n\nx", "no value for \"time\""},
      {"from: +86abc\n\nx", "no phone number"},
      {"from: Bank\nfrom-type: 91\n\nx", "does not fit type of address 91"},
      {"from: 10086\nsmsc-type: 91\n\nx", "smsc-type needs smsc"},
      {"report: 1\nto: 10086\n\ntext", "carries no text"},
      {"pdu: 00 11\n", "no value for \"pdu\""},
  };
  for (const Bad& b : bad) {
    std::string error;
    EXPECT_FALSE(ParseInjection(b.content, error)) << b.content;
    EXPECT_NE(error.find(b.says), std::string::npos) << b.content << ": " << error;
  }
}

TEST(ModemsimControls, ReadsCommandsAndRules) {
  std::string error;
  auto controls = ParseControls("ring\n\nsay +CMTI: \"SM\",3\nurc-in-listing off\ncms-error +8613000000001=21,2\n"
                                "report-status 13000000002=none\nreport-status 70\nresult-delay 2000\nmr 255\n",
                                error);
  ASSERT_TRUE(controls) << error;
  ASSERT_EQ(controls->size(), 8u);
  EXPECT_EQ((*controls)[0].kind, Control::Kind::Ring);
  EXPECT_EQ((*controls)[1].text, "+CMTI: \"SM\",3");
  EXPECT_EQ((*controls)[2].kind, Control::Kind::UrcInListing);
  EXPECT_EQ((*controls)[2].text, "");
  EXPECT_EQ((*controls)[3].rule.number, "8613000000001");
  EXPECT_EQ((*controls)[3].rule.code, 21);
  EXPECT_EQ((*controls)[3].rule.count, 2);
  EXPECT_EQ((*controls)[4].rule.number, "13000000002");
  EXPECT_FALSE((*controls)[4].rule.code);
  EXPECT_EQ((*controls)[5].rule.number, "");
  EXPECT_EQ((*controls)[5].rule.code, 70);
  EXPECT_EQ((*controls)[6].value, 2000);
  EXPECT_EQ((*controls)[7].kind, Control::Kind::NextReference);

  // One wrong line and the file does nothing.
  EXPECT_FALSE(ParseControls("ring\nmr 256\n", error));
  for (const char* bad : {"", "cms-error 13000000001", "cms-error 13000000001=off,2", "cms-error x=21",
                          "report-status 300", "say", "silent maybe"}) {
    EXPECT_FALSE(ParseControls(bad, error)) << bad;
  }
  auto off = ParseCmsErrorRule("13000000001=off", error);
  ASSERT_TRUE(off) << error;
  EXPECT_FALSE(off->code);
}

}  // namespace
}  // namespace modemsim
