// Headless Ravelin sending long messages through modemsim, which decodes and
// joins the parts on its own, and ending its recipients with modemsim's
// delivery reports.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/station.h"
#include "store/journal.h"
#include "tests/system/support/phases_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.02";

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

class LongMessages : public ::testing::Test {
 protected:
  void Start(std::vector<std::pair<std::string, std::string>> extra_settings,
             std::vector<std::string> modem_options = {}) {
    std::vector<std::pair<std::string, std::string>> settings = {
        {"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}};
    settings.insert(settings.end(), extra_settings.begin(), extra_settings.end());
    dir_.WriteSettings(settings);
    modem_options.insert(modem_options.end(), {"--sent-log", sent_log_});
    modem_ = StartModemsim(dir_, modem_options);
    ASSERT_NE(modem_, nullptr);
  }

  void SendRecords(long count) {
    ravelin_ = StartHeadlessRavelin(dir_, kScale);
    ASSERT_NE(ravelin_, nullptr);
    ASSERT_TRUE(
        Eventually([&] { return dir_.Read(day_ + "/send/acc") == std::to_string(count); }, 60s))
        << dir_.Read("sms.log");
  }

  std::vector<JournalEntry> Journal(long n) {
    return ParseJournal(dir_.Read(day_ + "/send/J" + std::to_string(n)));
  }

  StationDir dir_;
  const std::string day_ = Station().Today();
  std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::unique_ptr<Child> modem_;
  std::unique_ptr<Child> ravelin_;
};

TEST_F(LongMessages, ChineseGoesAsThreeUcs2PartsAndAsciiAsTwo7BitPartsThatTheModemJoins) {
  Start({{"PARTS", "5"}});
  const std::string chinese = Repeat("订单已发货请查收谢谢惠顾", 12) + "长短信测试一";  // 150
  const std::string ascii =
      Repeat("Order 4711 ships today; reply STOP to opt out. ", 4) + "Thank you!!!";
  ASSERT_EQ(ascii.size(), 200u);
  FileOutboxRecord(dir_, 1, "13012312312", Gbk(chinese));
  FileOutboxRecord(dir_, 2, "13800000000", ascii);
  SendRecords(2);

  const std::vector<SentSms> sent = ReadSentLog(sent_log_);
  ASSERT_EQ(sent.size(), 5u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].to, "13012312312");
    EXPECT_EQ(sent[i].coding, "ucs2");
  }
  EXPECT_EQ(sent[2].joined, chinese);
  for (int i = 3; i < 5; ++i) {
    EXPECT_EQ(sent[i].to, "13800000000");
    EXPECT_EQ(sent[i].coding, "7bit");
  }
  EXPECT_EQ(sent[4].joined, ascii);
  // The journal keeps the message references of every part.
  ASSERT_EQ(Journal(1).size(), 1u);
  EXPECT_EQ(Journal(1)[0].detail, "1,2,3");
  ASSERT_EQ(Journal(2).size(), 1u);
  EXPECT_EQ(Journal(2)[0].detail, "4,5");
}

TEST_F(LongMessages, WithoutPartsTheFirstLineGoesAsTheSingleSmsItAlwaysWas) {
  Start({});
  FileOutboxRecord(dir_, 1, "13800000000", "ab\nsecond line");
  FileOutboxRecord(dir_, 2, "13800000000", std::string(100, 'x'));
  SendRecords(2);

  const std::vector<SentSms> sent = ReadSentLog(sent_log_);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].pdu, "0891683108000000F011000B813108000000F00008A70400610062");
  EXPECT_EQ(sent[1].coding, "ucs2");
  EXPECT_EQ(sent[1].text, std::string(70, 'x'));
  EXPECT_EQ(dir_.Read("state/references"), "");
}

TEST_F(LongMessages, DeliveryReportsEndEachRecipientDeliveredOrUndeliveredAsTheNetworkSaid) {
  Start({{"PARTS", "3"}, {"REPORT", "1"}}, {"--report-status", "13000000002=70"});
  FileOutboxRecord(dir_, 1, "13000000001\n13000000002\n", std::string(200, 'a'));
  SendRecords(1);
  ASSERT_TRUE(Eventually([&] { return Journal(1).size() == 4; }, 60s)) << dir_.Read("sms.log");

  const std::vector<JournalEntry> journal = Journal(1);
  EXPECT_EQ(journal[0].state, Outcome::Sent);
  EXPECT_EQ(journal[1].state, Outcome::Sent);
  const JournalEntry& first = journal[2].index == 1 ? journal[2] : journal[3];
  const JournalEntry& second = journal[2].index == 1 ? journal[3] : journal[2];
  EXPECT_EQ(first.number, "13000000001");
  EXPECT_EQ(first.state, Outcome::Delivered);
  EXPECT_EQ(first.detail, "00");
  EXPECT_EQ(second.number, "13000000002");
  EXPECT_EQ(second.state, Outcome::Undelivered);
  EXPECT_EQ(second.detail, "46");
  for (const SentSms& sms : ReadSentLog(sent_log_)) EXPECT_EQ(sms.pdu.substr(18, 2), "71");
  // What the sent view shows of it.
  EXPECT_EQ(OutcomeText(SummariseJournal(Station(dir_.station()), day_, 1), 2),
            Gbk("2/2 已发，1/2 已送达"));
}

}  // namespace
}  // namespace tavrel::system_test
