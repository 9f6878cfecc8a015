// The send phase in a temporary working directory, against a scripted modem.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "engine/codec/pdu.h"
#include "engine/phases.h"
#include "engine/send_phase.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "store/catalogue.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::RecordingPacer;
using testing::ScriptedPort;
using testing::Slurp;
using testing::TempDir;

constexpr const char* kCentre = "8613800000000";
constexpr const char* kAccepted = "\r\n+CMGS: 1\r\n\r\nOK\r\n";
constexpr const char* kRefused = "\r\nERROR\r\n";

class LinesMonitor : public Monitor {
 public:
  void PrependText(const std::string& text, std::size_t) override {
    lines.push_back(text);
    if (on_line) on_line(text);
  }
  std::function<void(const std::string&)> on_line;
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  std::vector<std::string> lines;  // in the order they were put on top
};

void PutFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

class SendPhaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PutFile(At("server.txt"), std::string("[SET]\r\nCOM=./modem\r\nSMSCODE=") + kCentre + "\r\n");
    EnsureDayFolder(station_, day_);
    trace_.Open(At("sms.log"));
  }

  // Record n of new, written as the disk holds it (text mode already applied).
  void PutRecord(long n, const std::string& recipients, const std::string& text) {
    const std::string box = MailboxDir(station_, day_, kNewBox);
    PutFile(RecordPath(box, "R", n), recipients);
    PutFile(RecordPath(box, "H", n), "[HEAD]\r\n");
    PutFile(RecordPath(box, "DA", n), text);
  }

  void Run(long send_acc, long new_acc) {
    CycleContext cycle{station_, day_, send_acc, 7, new_acc, port_, pacer_, trace_, monitor_};
    SendPhase(cycle);
    trace_.Flush();
  }

  std::string SendAcc() { return Slurp(CounterPath(MailboxDir(station_, day_, kSendBox))); }
  std::string Journal(long n) { return Slurp(JournalPath(station_, day_, n)); }

  // The journal with every time of day shown as hh:mm:ss.
  std::string MaskedJournal(long n) {
    std::string text = Journal(n);
    for (std::size_t at = text.find(day_ + " "); at != std::string::npos;
         at = text.find(day_ + " ", at + 1)) {
      text.replace(at + day_.size() + 1, 8, "hh:mm:ss");
    }
    return text;
  }

  // The destinations of the PDUs written, in order.
  std::vector<std::string> Destinations() {
    std::vector<std::string> to;
    for (const std::string& w : port_.written) {
      if (w.starts_with("0891")) to.push_back(UnswapDigits(w.substr(26, 12)));
    }
    return to;
  }

  static std::string Sent(const std::string& number, int attempt) {
    return number + "   " + std::to_string(attempt) + Gbk("    发送成功.\r\n");
  }
  static std::string Failed(const std::string& number, int attempt) {
    return number + "   " + std::to_string(attempt) + Gbk("    发送失败!!!!!\r\n");
  }

  TempDir dir_;
  const Station station_{dir_.path()};
  std::string At(const std::string& relative) const { return dir_.path() + "/" + relative; }
  const std::string day_ = station_.Today();
  ScriptedPort port_;
  RecordingPacer pacer_;
  EngineLog trace_;
  LinesMonitor monitor_;
};

TEST_F(SendPhaseTest, OneRecordGoesOutAsOnePduWithItsPausesTraceAndStatusLine) {
  PutRecord(1, "13012312312", Gbk("你好"));
  PutFile(CounterPath(MailboxDir(station_, day_, kNewBox)), "1");
  port_.Script({kAccepted});
  Run(0, 1);

  const SubmitPdu pdu = BuildSubmitPdu(kCentre, "13012312312", Gbk("你好"));
  EXPECT_EQ(pdu.text, "0891683108000000F011000B813110322113F20008A7044F60597D\x1A");
  ASSERT_EQ(port_.written.size(), 2u);
  EXPECT_EQ(port_.written[0], "at+cmgs=18\r\n");
  EXPECT_EQ(port_.written[1], pdu.text);
  EXPECT_EQ(pacer_.pauses, (std::vector<std::chrono::milliseconds>{3000ms, 500ms, 3000ms}));
  EXPECT_EQ(monitor_.lines, std::vector<std::string>{Sent("13012312312", 0)});
  EXPECT_EQ(SendAcc(), "1");

  const std::string box = day_ + "/new";
  const std::string expected_trace =
      "star....1,accI_new=1,accI_recv=7,acc_send=0\r\n"
      "new-name=" + box + "/DA1\r\n" +
      "sms_neirong=[" + Gbk("你好") + "]\r\n"
      "len2=04,4\r\n"
      "sms_neirong_2=[4F60597D]\r\n"
      "name=[13012312312]\r\n"
      "name3=[13012312312]\r\n"
      "name4=[13012312312]\r\n"
      "shouji_code=[13012312312],strlen(ShouJiHao)=11\r\n"
      "shouji_code2=3110322113F2\r\n"
      "smsCO1=[8613800000000]\r\n"
      "smsCO2=[683108000000F0]\r\n"
      "sms_neirong_3=[4F60597D]\r\n"
      "sms_neirong_2=[4F60597D]\r\n"
      "sms_ss=[0891683108000000F011000B813110322113F20008A7044F60597D]\r\n"
      "--55,ss_sms=" + pdu.text + "\r\n" +
      "----------------------" + Gbk("开始发送") + "---------------0\r\n"
      "cmgs=at+cmgs=18\r\r\n\r\n"
      "~~~~~~~~~~~~~cmgs=" + pdu.text + "\r\n" +
      "str_end=OK\r\r\n\r\n"
      "read_com1(cmgs)=\r\r\n+CMGS: 1\r\r\n\r\r\nOK\r\r\n\r\n"
      "---------------------- " + Gbk("发送结束") + "---------------\r\n"
      "####end....1,accI_new=1,accI_recv=7,acc_send=0\r\n"
      "accI_new=1,accI_recv=7,acc_send=0\r\n" +
      Gbk("发送的个数") + " !!!!!!!!!!!!!=1\r\n"
      "===============================================accI_new=1\r\n";
  EXPECT_EQ(Slurp(At("sms.log")), expected_trace);
}

TEST_F(SendPhaseTest, RecipientLinesAreResolvedAndOnlyElevenDigitNumbersSent) {
  ASSERT_EQ(AddCustomer(station_, "client7", "13900000007", ""), CatalogueResult::Added);
  ASSERT_EQ(AddCustomer(station_, Gbk("张三"), "13900000003", ""), CatalogueResult::Added);
  ASSERT_EQ(AddCustomer(station_, "far", "8613900000009999", ""), CatalogueResult::Added);
  PutRecord(1,
            "client7;note\n"      // a customer key with a note after ';'
            "130123123121\n"      // twelve digits: skipped
            "1301231231\n"        // ten digits: skipped
            "far\n"               // looked up to more than twelve: skipped
            "\n"                  // empty line: skipped
            "abcdefghijk\n" +     // eleven characters that are not digits: skipped
                Gbk("张三") + ";\n"
            "13000000001;x;y\n"
            "*13000000002\n"      // ends the list
            "13000000003\n",
            "hi");
  PutRecord(2, "*13000000004\n13000000005", "forbidden");
  PutRecord(3, "13000000006", "after the forbidden one");
  port_.Script(std::vector<std::string>(4, kAccepted));
  Run(0, 3);

  EXPECT_EQ(Destinations(), (std::vector<std::string>{"13900000007", "13900000003", "13000000001",
                                                      "13000000006"}));
  EXPECT_EQ(monitor_.lines, (std::vector<std::string>{Sent("13900000007", 0), Sent("13900000003", 0),
                                                       Sent("13000000001", 0),
                                                       Sent("13000000006", 0)}));
  EXPECT_EQ(SendAcc(), "3");
}

TEST_F(SendPhaseTest, ARecipientIsTriedSixTimesThenGivenUpAndTheRecordStillCounts) {
  PutRecord(1, "13000000001\n13000000002\n", "x");
  // An OK without its line end is no answer a modem gives: not an attempt.
  // The modem is brought back with ESC (answered ERROR in command mode) and
  // found with AT before the recipient is tried again; "" is a read that
  // times out.
  port_.Script({kRefused, kRefused, kRefused, kRefused, kRefused, kRefused, "OK" /* no line end */,
                "\r\nERROR\r\n", "", "\r\nOK\r\n", kAccepted});
  Run(0, 1);

  std::vector<std::string> expected;
  for (int j = 0; j < 6; ++j) expected.push_back(Failed("13000000001", j));
  expected.push_back("13000000002   0" + Gbk("    调制解调器故障，等待后重试: ") + "unreadable answer\r\n");
  expected.push_back(Sent("13000000002", 0));
  EXPECT_EQ(monitor_.lines, expected);
  std::vector<std::string> tried(6, "13000000001");
  tried.insert(tried.end(), 2, "13000000002");
  EXPECT_EQ(Destinations(), tried);
  EXPECT_EQ(std::count(port_.written.begin(), port_.written.end(), "\x1b\r\n"), 1);
  EXPECT_EQ(std::count(port_.written.begin(), port_.written.end(), "AT\r\n"), 1);
  EXPECT_EQ(SendAcc(), "1");
  const std::string log = Slurp(At("sms.log"));
  EXPECT_NE(log.find("---------------5\r\n"), std::string::npos);
  EXPECT_EQ(log.find("---------------6\r\n"), std::string::npos);
}

TEST_F(SendPhaseTest, OnlyTheFirstLineOfTheTextIsSentWithinItsField) {
  PutRecord(1, "13000000001", Gbk("第一行\r\n第二行"));
  // A first line longer than the text field: 1022 ASCII bytes and a Chinese
  // character that would straddle the field's end.
  PutRecord(2, "13000000002", std::string(1022, 'a') + Gbk("好") + "tail");
  PutRecord(3, "13000000003", "");
  port_.Script({kAccepted, kAccepted, kAccepted});
  Run(0, 3);

  ASSERT_EQ(port_.written.size(), 6u);
  EXPECT_EQ(port_.written[1], BuildSubmitPdu(kCentre, "13000000001", Gbk("第一行")).text);
  EXPECT_EQ(port_.written[3], BuildSubmitPdu(kCentre, "13000000002", std::string(70, 'a')).text);
  EXPECT_EQ(port_.written[5], BuildSubmitPdu(kCentre, "13000000003", "").text);
  EXPECT_EQ(port_.written[4], "at+cmgs=14\r\n");  // an empty text has no user data
  const std::string log = Slurp(At("sms.log"));
  EXPECT_NE(log.find("sms_neirong=[" + std::string(1022, 'a') + "]"), std::string::npos);
  EXPECT_NE(log.find("len2=3FE,1022"), std::string::npos);
  EXPECT_NE(log.find("record 2: the first line of"), std::string::npos);
}

TEST_F(SendPhaseTest, ARecordWithoutItsFilesIsTracedAndPassedOver) {
  PutRecord(1, "13000000001", "no text");
  std::filesystem::remove(RecordPath(MailboxDir(station_, day_, kNewBox), "DA", 1));
  PutRecord(2, "13000000002", "no recipients");
  std::filesystem::remove(RecordPath(MailboxDir(station_, day_, kNewBox), "R", 2));
  // Record 3 was never written at all.
  PutRecord(4, "13000000004", "fine");
  port_.Script({kAccepted});
  Run(0, 4);

  EXPECT_EQ(Destinations(), std::vector<std::string>{"13000000004"});
  EXPECT_EQ(SendAcc(), "4");
  const std::string log = Slurp(At("sms.log"));
  EXPECT_NE(log.find("record 1: " + day_ + "/new/DA1 cannot be read"), std::string::npos);
  EXPECT_NE(log.find("record 2: " + day_ + "/new/R2 cannot be read"), std::string::npos);
  EXPECT_NE(log.find("record 3: " + day_ + "/new/DA3 cannot be read"), std::string::npos);
  EXPECT_NE(log.find("####end....3,"), std::string::npos);
}

TEST_F(SendPhaseTest, TheSendCounterClosesAtNewAccEvenWithNothingToSend) {
  Run(4, 4);
  EXPECT_EQ(SendAcc(), "4");
  Run(5, 2);  // new's counter went down: send's follows it
  EXPECT_EQ(SendAcc(), "2");
  Run(0, 0);
  EXPECT_EQ(SendAcc(), "0");
  EXPECT_TRUE(port_.written.empty());
  EXPECT_EQ(port_.reads, 0);
}

TEST_F(SendPhaseTest, EveryOutcomeIsJournalledAndAResumedRecordStartsAtItsFirstOpenRecipient) {
  PutRecord(1,
            "13000000001\n"        // finished before the crash
            "13000000002\n"        // in flight at the crash: a torn line
            "1300000000\x1b\n"    // an ESC in the number: skipped
            "13000000004\n"        // unassigned number: one attempt, then failed
            "13000000005\n"        // no network, then sent: not an attempt
            "13000000006\n",       // refused six times
            "x");
  PutFile(JournalPath(station_, day_, 1),
          "1|13000000001|sent|" + day_ + " 08:00:00|7\r\n2|13000000002|se");
  port_.Script({"\r\n+CMGS: 12\r\n\r\nOK\r\n", "\r\n+CMS ERROR: 1\r\n",
                "\r\n+CMS ERROR: 331\r\n", "\r\n+CMGS: 13\r\n\r\nOK\r\n", kRefused, kRefused,
                kRefused, kRefused, kRefused, kRefused});
  Run(0, 1);

  EXPECT_EQ(Destinations(),
            (std::vector<std::string>{"13000000002", "13000000004", "13000000005", "13000000005",
                                      "13000000006", "13000000006", "13000000006", "13000000006",
                                      "13000000006", "13000000006"}));
  EXPECT_EQ(MaskedJournal(1),
            "1|13000000001|sent|" + day_ + " hh:mm:ss|7\r\n"
            "2|13000000002|sent|" + day_ + " hh:mm:ss|12\r\n"
            "3|1300000000?|skipped|" + day_ + " hh:mm:ss|not an 11-digit number\r\n"
            "4|13000000004|failed|" + day_ + " hh:mm:ss|+CMS ERROR: 1\r\n"
            "5|13000000005|sent|" + day_ + " hh:mm:ss|13\r\n"
            "6|13000000006|failed|" + day_ + " hh:mm:ss|ERROR\r\n");
  EXPECT_EQ(monitor_.lines[1], Failed("13000000004", 0));
  EXPECT_EQ(monitor_.lines[2],
            "13000000005   0" + Gbk("    调制解调器故障，等待后重试: ") + "+CMS ERROR: 331\r\n");
  EXPECT_EQ(monitor_.lines[3], Sent("13000000005", 0));
  // A no-network answer is waited out, not checked with AT.
  EXPECT_EQ(std::count(port_.written.begin(), port_.written.end(), "AT\r\n"), 0);
  EXPECT_EQ(SendAcc(), "1");

  // Finished: a second run of the same record sends nothing more.
  port_.written.clear();
  Run(0, 1);
  EXPECT_TRUE(Destinations().empty());
}

TEST_F(SendPhaseTest, ARecordForbiddenWhileItIsSentStopsBeforeItsNextRecipient) {
  PutRecord(1, "13000000001\n13000000002\n13000000003\n", "x");
  PutRecord(2, "*13000000004\n13000000005\n", "forbidden before it began");
  monitor_.on_line = [&](const std::string& line) {
    if (line == Sent("13000000001", 0)) {
      ASSERT_TRUE(ForbidOutboxRecord(station_, day_, 1, "13000000001\n13000000002\n13000000003\n"));
    }
  };
  port_.Script({kAccepted});
  Run(0, 2);

  EXPECT_EQ(Destinations(), std::vector<std::string>{"13000000001"});
  EXPECT_EQ(MaskedJournal(1),
            "1|13000000001|sent|" + day_ + " hh:mm:ss|1\r\n"
            "2|13000000002|skipped|" + day_ + " hh:mm:ss|forbidden\r\n"
            "3|13000000003|skipped|" + day_ + " hh:mm:ss|forbidden\r\n");
  EXPECT_FALSE(std::filesystem::exists(JournalPath(station_, day_, 2)));
  EXPECT_EQ(SendAcc(), "2");
}

// The journal on a disk that takes nothing: /dev/full answers every write
// with ENOSPC. The disk fills while the first recipient is being sent.
TEST_F(SendPhaseTest, NothingMoreIsSentWhileTheJournalCannotBeWritten) {
  PutRecord(1, "13000000001\n13000000002\n", "x");
  const std::string journal = JournalPath(station_, day_, 1);
  monitor_.on_line = [&](const std::string& line) {
    if (line == Sent("13000000001", 0)) std::filesystem::create_symlink("/dev/full", journal);
  };
  class DiskPacer : public RecordingPacer {
   public:
    void Pause(std::chrono::milliseconds nominal) override {
      RecordingPacer::Pause(nominal);
      if (nominal == 10000ms && on_disk_wait) on_disk_wait();
    }
    std::function<void()> on_disk_wait;
  } pacer;
  int waits = 0;
  pacer.on_disk_wait = [&] {
    // While the outcome of the first recipient waits, the second is not sent.
    EXPECT_EQ(Destinations(), std::vector<std::string>{"13000000001"});
    if (++waits == 3) std::filesystem::remove(journal);  // room again
  };
  port_.Script({kAccepted, kAccepted});
  CycleContext cycle{station_, day_, 0, 7, 1, port_, pacer, trace_, monitor_};
  SendPhase(cycle);
  trace_.Flush();

  EXPECT_EQ(waits, 3);
  EXPECT_EQ(Destinations(), (std::vector<std::string>{"13000000001", "13000000002"}));
  EXPECT_EQ(ParseJournal(Slurp(journal)).size(), 2u);
  ASSERT_GE(monitor_.lines.size(), 3u);
  EXPECT_TRUE(monitor_.lines[1].starts_with(Gbk("!!! 磁盘无法写入发送记录，暂停发送: ")))
      << monitor_.lines[1];
  EXPECT_EQ(monitor_.lines[2], Gbk("发送记录已可写入，继续发送。\r\n"));
  EXPECT_NE(Slurp(At("sms.log")).find("sending stops until it can be written"), std::string::npos);
}

TEST(RecipientLines, ComeInPiecesOfTheLineField) {
  EXPECT_EQ(RecipientLines(""), std::vector<std::string>{});
  EXPECT_EQ(RecipientLines("a\nb"), (std::vector<std::string>{"a\n", "b"}));
  EXPECT_EQ(RecipientLines("a\n\n"), (std::vector<std::string>{"a\n", "\n"}));
  const std::string long_line = std::string(127, '1') + "23\n";
  EXPECT_EQ(RecipientLines(long_line), (std::vector<std::string>{std::string(127, '1'), "23\n"}));
  EXPECT_EQ(RecipientLines(std::string("130\0x\n9", 7)), (std::vector<std::string>{"130", "9"}));

  EXPECT_EQ(RecipientKey("13012312312;note\n"), "13012312312");
  EXPECT_EQ(RecipientKey("13012312312\r\n"), "13012312312");
  EXPECT_EQ(RecipientKey(";x\n"), "");
}

}  // namespace
}  // namespace tavrel
