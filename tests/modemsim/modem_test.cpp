// The modem's command interpreter, driven with strings as the station
// writes them (lower case, CR LF, the PDU and Ctrl-Z in a separate write).
#include <gtest/gtest.h>

#include "tools/modemsim/modem.h"
#include "tools/modemsim/spool.h"

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

// The same modem with a clock the test steps, and injections written as
// the spool's *.msg files.
class ModemsimPaced : public ModemsimModem {
 protected:
  ModemsimPaced() {
    modem.now = [this] { return time; };
  }

  std::string Tick(std::chrono::milliseconds step = {}) {
    time += step;
    std::string out;
    modem.Tick(out);
    return out;
  }

  Modem::InjectResult Drop(std::string_view msg_file) {
    std::string error;
    auto injection = ParseInjection(msg_file, error);
    EXPECT_TRUE(injection) << error;
    if (!injection) return Modem::InjectResult::Refused;
    last_error = {};
    return modem.Inject(*injection, last_error);
  }

  std::string Listing(int status) { return Say("at+cmgl=" + std::to_string(status) + "\r"); }

  SteadyClock::time_point time{};
  std::string last_error;
};

using namespace std::chrono_literals;

TEST_F(ModemsimPaced, DelaysHoldTheAnswerAndTheBytesBehindIt) {
  modem.pacing().prompt = 100ms;
  modem.pacing().result = 300ms;
  EXPECT_EQ(Say("at+cmgs=18\r"), "at+cmgs=18\r");
  EXPECT_EQ(modem.NextDue(), time + 100ms);
  // A station that does not wait for the prompt: its PDU waits instead.
  EXPECT_EQ(Say(std::string(kAbPdu) + "\x1A"), "");
  EXPECT_EQ(Tick(99ms), "");
  EXPECT_EQ(Tick(1ms), "\r\n> " + std::string(kAbPdu));
  std::size_t done = modem.CommandsDone();
  EXPECT_EQ(Say("AT\r"), "");  // typed while the network works
  EXPECT_EQ(Tick(299ms), "");
  EXPECT_EQ(modem.CommandsDone(), done);
  EXPECT_EQ(Tick(1ms), "\r\n+CMGS: 1\r\n\r\nOK\r\nAT\r\r\nOK\r\n");
  EXPECT_EQ(modem.CommandsDone(), done + 2);
  EXPECT_FALSE(modem.NextDue());

  // TS 27.005 3.5.1: ESC after the prompt cancels: OK at once, nothing sent.
  Say("at+cmgs=18\r");
  EXPECT_EQ(Tick(100ms), "\r\n> ");
  EXPECT_EQ(Say("0891683108\x1B"), "0891683108\r\nOK\r\n");
  EXPECT_EQ(modem.TakeSentLines().size(), 1u);  // the first send only
  // A PDU the modem cannot take is refused at once; a network refusal waits.
  Say("at+cmgs=17\r");
  Tick(100ms);
  EXPECT_EQ(Say(std::string(kAbPdu) + "\x1A"), std::string(kAbPdu) + "\r\n+CMS ERROR: 304\r\n");
  modem.faults().fail_sends = 1;
  Say("at+cmgs=18\r");
  Tick(100ms);
  EXPECT_EQ(Say(std::string(kAbPdu) + "\x1A"), kAbPdu);
  EXPECT_EQ(Tick(300ms), "\r\nERROR\r\n");
}

TEST_F(ModemsimPaced, RefusesSendsPerNumberAndCountsReferencesToWrap) {
  // 13000000001 in the PDU's three usual forms.
  const std::string national = "0891683108000000F011000B813100000000F10008A70400610062";
  const std::string international = "0891683108000000F011000D91683100000000F10008A70400610062";
  modem.faults().cms_errors[NumberKey("+8613000000001")] = CmsError{21, 2};
  modem.SetNextReference(255);
  EXPECT_TRUE(Send(18, national).ends_with(national + "\r\n+CMS ERROR: 21\r\n"));
  EXPECT_TRUE(Send(19, international).ends_with("\r\n+CMS ERROR: 21\r\n"));
  EXPECT_TRUE(Send(18, national).ends_with("\r\n+CMGS: 255\r\n\r\nOK\r\n"));  // the rule is used up
  EXPECT_TRUE(Send(18, kAbPdu).ends_with("\r\n+CMGS: 0\r\n\r\nOK\r\n"));
  EXPECT_TRUE(Send(18, kAbPdu).ends_with("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
  auto lines = modem.TakeSentLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].ends_with("\"ref\":255}")) << lines[0];
  EXPECT_EQ(modem.TakeDiagnostics().size(), 2u);
}

TEST_F(ModemsimPaced, StatusReportsFollowSendsThatAskForThem) {
  // TP-SRR set (first octet 31): the sent log says so and a report follows.
  const std::string asks = "0891683108000000F031000B813108000000F00008A70400610062";
  modem.pacing().report = 50ms;
  EXPECT_TRUE(Send(18, asks).ends_with("+CMGS: 1\r\n\r\nOK\r\n"));
  EXPECT_TRUE(modem.TakeSentLines()[0].ends_with("\"ref\":1,\"srr\":true}"));
  EXPECT_EQ(Tick(49ms), "");
  EXPECT_TRUE(modem.Storage().empty());
  Tick(1ms);
  ASSERT_EQ(modem.Storage().size(), 1u);
  DecodeResult stored = DecodePdu(modem.Storage()[0].pdu);
  ASSERT_TRUE(stored.pdu) << stored.error;
  EXPECT_EQ(stored.pdu->kind, Pdu::Kind::StatusReport);
  EXPECT_EQ(stored.pdu->message_reference, 1);
  EXPECT_EQ(stored.pdu->address.Display(), "13800000000");
  EXPECT_EQ(stored.pdu->status, 0);
  EXPECT_NE(Listing(0).find("+CMGL: 1,0,,25\r\n" + modem.Storage()[0].pdu + "\r\n"), std::string::npos);

  // <ds> 1: the report comes as +CDS and is not stored; per number a
  // status of its own, or none at all.
  Say("at+cnmi=2,1,0,1,0\r");
  modem.reports().by_number[NumberKey("13800000000")] = 70;
  Send(18, asks);
  std::string cds = Tick(50ms);
  ASSERT_TRUE(cds.starts_with("\r\n+CDS: 25\r\n")) << cds;
  EXPECT_EQ(DecodePdu(cds.substr(12, cds.size() - 14)).pdu->status, 70);
  EXPECT_EQ(modem.Storage().size(), 1u);
  modem.reports().by_number[NumberKey("13800000000")] = std::nullopt;
  Send(18, asks);
  EXPECT_FALSE(modem.NextDue());
  Send(18, kAbPdu);  // asks for none
  EXPECT_FALSE(modem.NextDue());
}

TEST(ModemsimStorage, AReportWaitsForRoomWithoutBeingDue) {
  Modem modem(1);
  SteadyClock::time_point time{};
  modem.now = [&] { return time; };
  ASSERT_TRUE(modem.Inject(*SenderAddress("10086"), U"fills it"));
  std::string out;
  modem.Receive("at+cmgs=18\r0891683108000000F031000B813108000000F00008A70400610062\x1A", out);
  modem.Tick(out);
  EXPECT_EQ(modem.Storage().size(), 1u);
  EXPECT_FALSE(modem.NextDue());  // nothing to wake up for until a deletion
  modem.Receive("at+cmgd=1\r", out);
  modem.Tick(out);
  ASSERT_EQ(modem.Storage().size(), 1u);
  EXPECT_EQ(DecodePdu(modem.Storage()[0].pdu).pdu->kind, Pdu::Kind::StatusReport);
}

TEST_F(ModemsimPaced, AnnouncesArrivalsAsAtCnmiAsks) {
  EXPECT_EQ(Say("AT+CNMI=2,1,0,2,0\r"), "AT+CNMI=2,1,0,2,0\r\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CNMI?\r"), "AT+CNMI?\r\r\n+CNMI: 2,1,0,2,0\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("AT+CNMI=2,1,0,3\r"), "AT+CNMI=2,1,0,3\r\r\nERROR\r\n");
  EXPECT_EQ(Say("AT+CNMI=,,,,1\r"), "AT+CNMI=,,,,1\r\r\nOK\r\n");
  EXPECT_EQ(modem.indications().bfr, 1);
  EXPECT_EQ(modem.indications().mt, 1);

  // An indication waits while a command is half typed.
  EXPECT_EQ(Say("AT"), "AT");
  EXPECT_EQ(Drop("from: 10086\n\nhi"), Modem::InjectResult::Taken);
  EXPECT_EQ(Tick(), "");
  EXPECT_EQ(Say("\r"), "\r\r\nOK\r\n");
  EXPECT_EQ(Tick(), "\r\n+CMTI: \"SM\",1\r\n");
  EXPECT_EQ(Drop("report: 7\nto: 13800000000\n"), Modem::InjectResult::Taken);
  EXPECT_EQ(Tick(), "\r\n+CDSI: \"SM\",2\r\n");
  modem.Unsolicited("RING");
  EXPECT_EQ(Tick(), "\r\nRING\r\n");

  // <mt> 2: the message comes as +CMT and is not stored.
  Say("AT+CNMI=2,2\r");
  EXPECT_EQ(Drop("from: 10086\n\nhi"), Modem::InjectResult::Taken);
  std::string cmt = Tick();
  EXPECT_TRUE(cmt.starts_with("\r\n+CMT: ,")) << cmt;
  EXPECT_EQ(modem.Storage().size(), 2u);

  // The fault: an indication between the first listing header and its PDU.
  modem.faults().urc_in_listing = "+CMTI: \"SM\",9";
  std::string listing = Listing(4);
  std::string first = modem.Storage()[0].pdu, second = modem.Storage()[1].pdu;
  EXPECT_EQ(listing, "at+cmgl=4\r\r\n+CMGL: 1,0,,18\r\n\r\n+CMTI: \"SM\",9\r\n" + first +
                         "\r\n+CMGL: 2,0,,26\r\n" + second + "\r\n\r\nOK\r\n");
}

TEST_F(ModemsimPaced, StoresLikeASimUntilDeleted) {
  ASSERT_EQ(Drop("from: 10086\nstat: 1\n\nread"), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("from: 10086\n\nunread"), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("pdu: 0011000B813108000000F00008A70400610062\nstat: 2\n"), Modem::InjectResult::Taken);
  auto indexes = [&](const std::string& listing) {
    std::string found;
    for (std::size_t at = 0; (at = listing.find("+CMGL: ", at)) != std::string::npos; at += 7) {
      found += listing.substr(at + 7, listing.find(',', at) - at - 7) + "/" + listing[listing.find(',', at) + 1] + " ";
    }
    return found;
  };
  EXPECT_EQ(indexes(Listing(1)), "1/1 ");
  EXPECT_EQ(indexes(Listing(2)), "3/2 ");
  EXPECT_EQ(indexes(Listing(3)), "");
  EXPECT_EQ(indexes(Listing(4)), "1/1 2/0 3/2 ");  // lists unread ones and marks them read
  EXPECT_EQ(indexes(Listing(0)), "");
  EXPECT_EQ(indexes(Listing(4)), "1/1 2/1 3/2 ");

  ASSERT_EQ(Drop("from: 10086\n\nnew"), Modem::InjectResult::Taken);
  std::string pdu = modem.Storage()[3].pdu;
  EXPECT_EQ(Say("at+cmgr=4\r"), "at+cmgr=4\r\r\n+CMGR: 0,,19\r\n" + pdu + "\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("at+cmgr=4\r"), "at+cmgr=4\r\r\n+CMGR: 1,,19\r\n" + pdu + "\r\n\r\nOK\r\n");
  EXPECT_EQ(Say("at+cmgr=5\r"), "at+cmgr=5\r\r\n+CMS ERROR: 321\r\n");

  // <delflag> 1 deletes what is read, 2 also what is sent, 3 also what is
  // unsent, 4 all.
  ASSERT_EQ(Drop("from: 10086\n\nunread"), Modem::InjectResult::Taken);
  EXPECT_EQ(Say("at+cmgd=0,1\r"), "at+cmgd=0,1\r\r\nOK\r\n");
  EXPECT_EQ(indexes(Listing(4)), "3/2 5/0 ");
  EXPECT_EQ(Say("at+cmgd=1,2\r"), "at+cmgd=1,2\r\r\nOK\r\n");
  EXPECT_EQ(indexes(Listing(4)), "3/2 ");
  EXPECT_EQ(Say("at+cmgd=1,3\r"), "at+cmgd=1,3\r\r\nOK\r\n");
  EXPECT_EQ(indexes(Listing(4)), "");
  EXPECT_EQ(Say("at+cmgd=1,5\r"), "at+cmgd=1,5\r\r\nERROR\r\n");
  ASSERT_EQ(Drop("from: 10086\n\nunread"), Modem::InjectResult::Taken);
  std::uint64_t version = modem.StorageVersion();
  EXPECT_EQ(Say("at+cmgd=7,4\r"), "at+cmgd=7,4\r\r\nOK\r\n");
  EXPECT_TRUE(modem.Storage().empty());
  EXPECT_GT(modem.StorageVersion(), version);
}

TEST_F(ModemsimPaced, DeliversPartsInAnyOrderAndRawPdusAsWritten) {
  // The third and first parts now, the second later: one reference, each its index.
  const char* three = "from: +8613800000000\nref: 42\npart-size: 3\nparts: 3,1\n\nabcdefgh";
  ASSERT_EQ(Drop(three), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("from: +8613800000000\nref: 42\npart-size: 3\nparts: 2\n\nabcdefgh"), Modem::InjectResult::Taken);
  EXPECT_EQ(Drop("from: +8613800000000\nref: 42\npart-size: 3\nparts: 4\n\nabcdefgh"),
            Modem::InjectResult::Refused);
  EXPECT_NE(last_error.find("the text makes 3"), std::string::npos) << last_error;
  std::vector<std::string> seen;
  for (const StoredMessage& message : modem.Storage()) {
    DecodeResult decoded = DecodePdu(message.pdu);
    ASSERT_TRUE(decoded.pdu) << decoded.error;
    seen.push_back(ToHex(decoded.pdu->header) + ":" + ToUtf8(decoded.pdu->text));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"00032A0303:gh", "00032A0301:abc", "00032A0302:def"}));

  // Without a reference of their own, long texts take the modem's next one.
  ASSERT_EQ(Drop("from: 10086\npart-size: 2\n\nabc"), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("from: 10086\npart-size: 2\nconcat: 16bit\n\nabc"), Modem::InjectResult::Taken);
  EXPECT_EQ(ToHex(DecodePdu(modem.Storage()[3].pdu).pdu->header), "0003010201");
  EXPECT_EQ(ToHex(DecodePdu(modem.Storage()[5].pdu).pdu->header), "080400020201");

  // Raw PDUs are stored as written; a length given is listed as given.
  modem.ResetLine();
  Say("at+cmgd=1,4\r");
  ASSERT_EQ(Drop("pdu: 0891683108000000F0040D91683108000000F00000\npdu: ZZ\nlength: 99\n"),
            Modem::InjectResult::Taken);
  EXPECT_EQ(Listing(0), "at+cmgl=0\r\r\n+CMGL: 1,0,,99\r\n0891683108000000F0040D91683108000000F00000\r\n"
                        "+CMGL: 2,0,,99\r\nZZ\r\n\r\nOK\r\n");
  ASSERT_EQ(Drop("pdu: 0891683108000000F0040D91683108000000F00000\n"), Modem::InjectResult::Taken);
  EXPECT_NE(Listing(0).find("+CMGL: 3,0,,12\r\n"), std::string::npos);

  // What a test sees of the storage.
  Say("at+cmgd=1,4\r");
  ASSERT_EQ(Drop("from: Bank\ncoding: 8bit\ntime: 2024-05-12 08:30:05 +08:00\n\nA\xE9"), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("report: 9\nto: 13800000001\nstatus: 70\n"), Modem::InjectResult::Taken);
  ASSERT_EQ(Drop("pdu: 0891\n"), Modem::InjectResult::Taken);
  std::string state = StateLines(modem.Storage());
  EXPECT_EQ(state,
            "{\"index\":1,\"stat\":0,\"length\":19,\"kind\":\"deliver\",\"from\":\"Bank\",\"coding\":\"8bit\","
            "\"text\":\"A\xC3\xA9\",\"pdu\":\"" + modem.Storage()[0].pdu + "\"}\n"
            "{\"index\":2,\"stat\":0,\"length\":26,\"kind\":\"report\",\"mr\":9,\"to\":\"+8613800000001\","
            "\"status\":70,\"pdu\":\"" + modem.Storage()[1].pdu + "\"}\n"
            "{\"index\":3,\"stat\":0,\"length\":2,\"kind\":\"raw\",\"error\":\"the PDU ends inside the service-centre "
            "number (octet 3, 7 needed, 0 left)\",\"pdu\":\"0891\"}\n");
}

}  // namespace
}  // namespace modemsim
