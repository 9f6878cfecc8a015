// The modem's command interpreter, driven with strings as the station
// writes them (lower case, CR LF, the PDU and Ctrl-Z in a separate write).
#include <gtest/gtest.h>

#include "tools/modemsim/modem.h"

namespace modemsim {
namespace {

constexpr const char* kAbPdu = "0891683108000000F011000B813108000000F00008A70400610062";

class ModemsimModem : public ::testing::Test {
 protected:
  ModemsimModem() {
    modem.clock = [] { return Timestamp{2024, 5, 12, 8, 30, 5, 32}; };
  }

  std::string Say(std::string_view bytes) {
    std::string out;
    modem.Receive(bytes, out);
    return out;
  }

  std::string Send(int announced, const std::string& pdu) {
    std::string prompt = Say("at+cmgs=" + std::to_string(announced) + "\r\n");
    return prompt + Say(pdu + "\x1A");
  }

  void Inject(std::string_view sender, std::string_view text) {
    ASSERT_TRUE(modem.Inject(*SenderAddress(sender), FromUtf8(text)));
  }

  Modem modem;
};

TEST_F(ModemsimModem, EchoesAndAnswersTheSetUpCommands) {
  EXPECT_EQ(Say("AT\r\n"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(Say("at\r\n"), "at\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CSCA=8613800000000\r\n"), "AT+CSCA=8613800000000\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CSCA?\r"), "AT+CSCA?\r\r\n+CSCA: \"8613800000000\",129\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("at+csca=\"+8613900000000\",145\r"), "at+csca=\"+8613900000000\",145\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CSCA?\r"), "AT+CSCA?\r\r\n+CSCA: \"+8613900000000\",145\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CMGF=0\r\n"), "AT+CMGF=0\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CMGF=1\r\n"), "AT+CMGF=1\r\r\nERROR\r\n");
  EXPECT_EQ(Say("AT+CSCA=abc\r\n"), "AT+CSCA=abc\r\r\nERROR\r\n");
  EXPECT_EQ(Say("ATI\r\n"), "ATI\r\r\nERROR\r\n");
  EXPECT_EQ(Say("hello\r\n"), "hello\r\r\nERROR\r\n");
  EXPECT_EQ(Say("\r\n"), "\r");  // an empty line is echoed, not answered
  EXPECT_EQ(modem.CommandsDone(), 11u);

  // Framing does not depend on how the bytes are cut into chunks.
  std::string byte_by_byte;
  for (char c : std::string("at+cmgf=0\r\n")) byte_by_byte += Say(std::string(1, c));
  EXPECT_EQ(byte_by_byte, "at+cmgf=0\r\r\nOK\r\n");
}

TEST_F(ModemsimModem, SendChecksTheAnnouncedLengthAndLogsTheDecodedMessage) {
  EXPECT_EQ(Say("at+cmgs=18\r\n"), "at+cmgs=18\r\r\n> ");
  EXPECT_EQ(Say(std::string(kAbPdu) + "\x1A"), std::string(kAbPdu) + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  auto lines = modem.TakeSentLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "{\"smsc\":\"+8613800000000\",\"to\":\"13800000000\",\"coding\":\"ucs2\","
            "\"validity\":\"relative 1440 min\",\"text\":\"ab\",\"pdu\":\"" + std::string(kAbPdu) +
                "\",\"announced\":18,\"ref\":1}");

  // One octet off either way: refused, not logged, and said why.
  for (int announced : {17, 19}) {
    EXPECT_EQ(Send(announced, kAbPdu), "at+cmgs=" + std::to_string(announced) + "\r\r\n> " + kAbPdu +
                                           "\r\n+CMS ERROR: 304\r\n");
  }
  EXPECT_TRUE(modem.TakeSentLines().empty());
  auto notes = modem.TakeDiagnostics();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("announced 17 octets, the PDU has 18"), std::string::npos) << notes[0];

  // A PDU with the right length that is no SMS-SUBMIT is refused too.
  std::string deliver = "0891683108000000F0040D91683108000000F0000800000000000000040061" "0062";
  EXPECT_TRUE(Send(24, deliver).ends_with("+CMS ERROR: 304\r\n"));
  EXPECT_TRUE(Send(14, "0891683108000000F011000B813108000000F00008A7ZZ").ends_with("+CMS ERROR: 304\r\n"));

  // Chinese text, no service centre in the PDU: the one set with AT+CSCA.
  Say("AT+CSCA=\"+8613900000000\"\r");
  std::string hex = "0011000B813108000000F00008A704" "4F60597D";
  EXPECT_TRUE(Send(18, hex).ends_with("+CMGS: 2\r\n\r\nOK\r\n"));
  lines = modem.TakeSentLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"smsc\":\"+8613900000000\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("\"text\":\"\xE4\xBD\xA0\xE5\xA5\xBD\""), std::string::npos) << lines[0];

  // ESC abandons the PDU.
  EXPECT_EQ(Say("at+cmgs=18\r\n"), "at+cmgs=18\r\r\n> ");
  EXPECT_EQ(Say("0891\x1B"), "0891\r\nOK\r\n");
  EXPECT_TRUE(modem.TakeSentLines().empty());
  EXPECT_EQ(Say("at+cmgs=x\r"), "at+cmgs=x\r\r\nERROR\r\n");
}

TEST_F(ModemsimModem, ListsUnreadMessagesOnceAndDeletesThem) {
  EXPECT_EQ(Say("at+cmgl=0\r\n"), "at+cmgl=0\r\r\nOK\r\n");
  Inject("13800000000", "hello");
  Inject("+8613900000000", "你好");
  std::string listing = Say("at+cmgl=0\r\n");
  std::string first = EncodeDeliver({"8613800000000", *SenderAddress("13800000000"), U"hello",
                                     modem.clock(), 0})[0];
  std::string second = EncodeDeliver({"8613800000000", *SenderAddress("8613900000000"), U"\u4F60\u597D",
                                      modem.clock(), 0})[0];
  EXPECT_EQ(listing, "at+cmgl=0\r\r\n+CMGL: 1,0,,25\r\n" + first + "\r\n+CMGL: 2,0,,24\r\n" + second +
                         "\r\n\r\nOK\r\n");
  // Listed messages are read now: not listed as unread again, but kept.
  EXPECT_EQ(Say("at+cmgl=0\r\n"), "at+cmgl=0\r\r\nOK\r\n");
  EXPECT_NE(Say("AT+CMGL=4\r").find("+CMGL: 2,1,,24\r\n"), std::string::npos);

  EXPECT_EQ(Say("at+cmgd=1\r\n"), "at+cmgd=1\r\r\nOK\r\n");
  EXPECT_EQ(Say("at+cmgd=1\r\n"), "at+cmgd=1\r\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(Say("at+cmgd=x\r\n"), "at+cmgd=x\r\r\nERROR\r\n");
  ASSERT_EQ(modem.Storage().size(), 1u);

  // A new message takes the lowest free index.
  Inject("13800000001", "again");
  EXPECT_EQ(modem.Storage().front().index, 1);
  EXPECT_NE(Say("at+cmgl=0\r\n").find("+CMGL: 1,0,,25\r\n"), std::string::npos);
}

TEST(ModemsimStorage, RefusesWhatDoesNotFitWhole) {
  Modem modem(3);
  Address sender = *SenderAddress("13800000000");
  EXPECT_TRUE(modem.Inject(sender, U"one"));
  EXPECT_FALSE(modem.Inject(sender, std::u32string(400, U'x')));  // three parts, two free slots
  EXPECT_EQ(modem.Storage().size(), 1u);
  EXPECT_TRUE(modem.Inject(sender, std::u32string(200, U'x')));
  EXPECT_FALSE(modem.Inject(sender, U"four"));
}

TEST_F(ModemsimModem, FaultsOnDemand) {
  modem.faults().fail_sends = 2;
  EXPECT_TRUE(Send(18, kAbPdu).ends_with(std::string(kAbPdu) + "\r\nERROR\r\n"));
  EXPECT_TRUE(Send(18, kAbPdu).ends_with("\r\nERROR\r\n"));
  EXPECT_TRUE(Send(18, kAbPdu).ends_with("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
  EXPECT_EQ(modem.TakeSentLines().size(), 1u);

  Inject("13800000000", "kept");
  std::size_t done = modem.CommandsDone();
  modem.faults().silent = true;
  EXPECT_EQ(Say("AT\r\nat+cmgd=1\r\n"), "");
  EXPECT_EQ(modem.CommandsDone(), done + 2);
  modem.faults().silent = false;

  modem.faults().garbage = true;
  for (const char* command : {"AT\r\n", "at+cmgl=0\r\n", "at+cmgd=1\r\n"}) {
    std::string noise = Say(command);
    EXPECT_GE(noise.size(), 8u);
    EXPECT_FALSE(noise.ends_with("OK\r\n"));
  }
  EXPECT_EQ(modem.Storage().size(), 1u);  // nothing was done
  EXPECT_EQ(modem.Storage().front().status, 0);
}

}  // namespace
}  // namespace modemsim
