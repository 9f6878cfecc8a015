// A modem that misbehaves under a running engine: it goes away and comes
// back under the same name (a USB modem unplugged and plugged in again), it
// answers noise, it says nothing. None of it counts against a recipient: the
// engine says so on the monitor, waits for the modem, and sends every record
// once the modem is itself again.
#include <signal.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.02";

class ModemFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteStationSettings(dir_, port_);
    modem_ = StartModemsim(dir_, {"--spool", spool_, "--sent-log", sent_log_});
    ASSERT_NE(modem_, nullptr);
    ravelin_ = StartHeadlessRavelin(dir_, kScale);
    ASSERT_NE(ravelin_, nullptr);
  }

  // Files record n for one number and waits until the engine has handled it.
  void FileAndWaitHandled(long n, const std::string& number) {
    FileOutboxRecord(dir_, n, number, "record " + std::to_string(n));
    ASSERT_TRUE(Eventually([&] { return StoredCounter(dir_, day_, "send") == n; }, 40s))
        << "record " << n << " was not handled\n"
        << ravelin_->output();
  }

  std::vector<std::string> Destinations() {
    std::vector<std::string> to;
    for (const SentSms& sms : ReadSentLog(sent_log_)) to.push_back(sms.to);
    return to;
  }

  // The status lines printed for one number, oldest first.
  std::vector<std::string> StatusLines(const std::string& number) {
    std::vector<std::string> lines;
    for (const std::string& line : OutputLines(ravelin_->output())) {
      if (line.starts_with(number + "   ")) lines.push_back(line);
    }
    return lines;
  }

  // Files record n and waits until the engine says the modem failed it.
  void FileAndWaitForModemFault(long n, const std::string& number) {
    const std::size_t from = ravelin_->output().size();
    FileOutboxRecord(dir_, n, number, "record " + std::to_string(n));
    ASSERT_TRUE(ravelin_->WaitForOutput(number + "   0    调制解调器故障", 40s, from))
        << ravelin_->output();
  }

  // What the monitor showed for a number sent once the modem was back: no
  // failed attempt, only waits, then the send as attempt 0.
  void ExpectWaitedThenSent(const std::string& number) {
    const std::vector<std::string> lines = StatusLines(number);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), number + "   0    发送成功.");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].starts_with(number + "   0    调制解调器故障，等待后重试: ")) << lines[i];
    }
  }

  StationDir dir_;
  const int port_ = FreeLoopbackPort();
  const std::string day_ = Station().Today();
  std::string spool_ = dir_.root() + "/spool";
  std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::unique_ptr<Child> modem_;
  std::unique_ptr<Child> ravelin_;
};

TEST_F(ModemFaults, AModemThatVanishesIsOpenedAgainOnceItIsBackAndLaterRecordsAreSent) {
  FileAndWaitHandled(1, "13000000001");
  ASSERT_EQ(Destinations(), std::vector<std::string>{"13000000001"});

  // Away for far longer than the six attempts of a record take at this scale.
  ASSERT_TRUE(ControlModem(spool_, "vanish 6000"));
  const std::string link = dir_ / "modem";
  ASSERT_TRUE(modem_->WaitForOutput("gone " + link + "\n"));
  FileAndWaitForModemFault(2, "13000000002");
  ASSERT_TRUE(ravelin_->WaitForOutput("!!! 数据线断开，正在重新连接...\n")) << ravelin_->output();
  EXPECT_NE(StoredCounter(dir_, day_, "send"), 2) << "the record was given up while the modem was away";

  const auto back =
      modem_->WaitForOutput("ready " + link + "\n", 20s, modem_->output().find("gone " + link + "\n"));
  ASSERT_TRUE(back.has_value()) << modem_->output();
  ASSERT_TRUE(ravelin_->WaitForOutput("数据线已重新连接。\n")) << ravelin_->output();
  ASSERT_TRUE(Eventually([&] { return StoredCounter(dir_, day_, "send") == 2; }, 40s));
  ExpectWaitedThenSent("13000000002");
  FileAndWaitHandled(3, "13000000003");
  EXPECT_EQ(StatusLines("13000000003"), std::vector<std::string>{"13000000003   0    发送成功."});
  EXPECT_EQ(Destinations(), (std::vector<std::string>{"13000000001", "13000000002", "13000000003"}));

  // Both events are in the trace and on the monitor, once each and in order.
  const std::string shown = ravelin_->output();
  const auto lost_at = shown.find("!!! 数据线断开，正在重新连接...\n");
  EXPECT_EQ(shown.find("!!! 数据线断开", lost_at + 1), std::string::npos);
  EXPECT_LT(lost_at, shown.find("数据线已重新连接。\n"));
  const std::string log = dir_.Read("sms.log");
  EXPECT_NE(log.find("com=..../modem lost: "), std::string::npos);
  EXPECT_NE(log.find("com=..../modem reopened, rate..19200\r\n"), std::string::npos);
  EXPECT_TRUE(ravelin_->running());
}

TEST_F(ModemFaults, NoiseAndSilenceHoldSendsUntilTheModemAnswersAgain) {
  FileAndWaitHandled(1, "13000000001");

  ASSERT_TRUE(ControlModem(spool_, "garbage on"));
  FileAndWaitForModemFault(2, "13000000002");
  ASSERT_TRUE(ControlModem(spool_, "garbage off"));
  ASSERT_TRUE(Eventually([&] { return StoredCounter(dir_, day_, "send") == 2; }, 40s));
  ExpectWaitedThenSent("13000000002");

  ASSERT_TRUE(ControlModem(spool_, "silent on"));
  FileAndWaitForModemFault(3, "13000000003");

  // A stop request is honoured while the modem says nothing, and the engine
  // takes up its work again at the next start.
  const std::size_t mark = ravelin_->output().size();
  ravelin_->Signal(SIGUSR1);
  ASSERT_TRUE(ravelin_->WaitForOutput("-------------收发进程已经停止！\n", 20s, mark)) << ravelin_->output();
  ravelin_->Signal(SIGUSR2);
  ASSERT_TRUE(ravelin_->WaitForOutput("-------------收发进程已经启动！\n", 20s, mark));

  ASSERT_TRUE(ControlModem(spool_, "silent off"));
  ASSERT_TRUE(Eventually([&] { return StoredCounter(dir_, day_, "send") == 3; }, 40s));
  ExpectWaitedThenSent("13000000003");
  FileAndWaitHandled(4, "13000000004");
  EXPECT_EQ(StatusLines("13000000004"), std::vector<std::string>{"13000000004   0    发送成功."});
  EXPECT_EQ(Destinations(),
            (std::vector<std::string>{"13000000001", "13000000002", "13000000003", "13000000004"}));
  EXPECT_TRUE(ravelin_->running());
  EXPECT_EQ(ravelin_->Stop(), 0);
}

// Once, an ESC byte inside the 11-byte number of a request reached the modem
// after its prompt, cancelled the PDU and garbled the exchange for the
// records behind it; and a number the network can never reach cost six
// attempts. Now the one is skipped before the modem hears of it and the
// other costs one attempt; the records behind go out as usual.
TEST_F(ModemFaults, RecipientsThatCannotSucceedCostAtMostOneAttemptAndHoldUpNothing) {
  ASSERT_TRUE(ControlModem(spool_, "cms-error 13000000021=21"));
  auto quillon = StartHeadlessQuillon(dir_);
  ASSERT_NE(quillon, nullptr);
  const std::vector<std::string> requests = {
      std::string("0000|1300000\x1b" "001;13000000021;|bad numbers|"), "0000|13000000001|one|",
      "0000|13000000002|two|", "0000|13000000003|three|", "0000|13000000004|four|",
      "0000|13000000005|five|"};
  for (const std::string& request : requests) {
    ASSERT_EQ(QueueRequest(port_, request), AcceptedReply()) << request;
  }
  ASSERT_TRUE(EventuallyDraining([&] { return StoredCounter(dir_, day_, "send") == 6; },
                                 {ravelin_.get(), quillon.get()}, 60s))
      << ravelin_->output();

  EXPECT_EQ(Destinations(), (std::vector<std::string>{"13000000001", "13000000002", "13000000003",
                                                      "13000000004", "13000000005"}));
  EXPECT_EQ(StatusLines("13000000021"), std::vector<std::string>{"13000000021   0    发送失败!!!!!"});
  EXPECT_EQ(MaskTimes(dir_.Read(day_ + "/send/J1")),
            "1|1300000?001|skipped|" + day_ + " hh:mm:ss|not an 11-digit number\r\n"
            "2|13000000021|failed|" + day_ + " hh:mm:ss|+CMS ERROR: 21\r\n");
}

}  // namespace
}  // namespace tavrel::system_test
