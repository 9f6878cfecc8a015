// Headless Ravelin fetching what modemsim received: listed, deleted, filed in
// recv, and queries answered through the outbox.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.02";

class StationReceives : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
    modem_ = StartModemsim(dir_, {"--spool", spool_, "--sent-log", sent_log_, "--traffic-log", traffic_});
    ASSERT_NE(modem_, nullptr);
  }

  std::string Box(const std::string& box, const std::string& name) {
    return dir_.Read(day_ + "/" + box + "/" + name);
  }

  // Everything the station wrote to the modem, in order.
  std::string StationTraffic() {
    std::string all;
    for (const Traffic& t : ReadTraffic(traffic_)) {
      if (t.in) all += t.data;
    }
    return all;
  }

  StationDir dir_;
  const std::string day_ = Station().Today();
  std::string spool_ = dir_.root() + "/spool";
  std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::string traffic_ = dir_.root() + "/traffic.jsonl";
  std::unique_ptr<Child> modem_;
};

TEST_F(StationReceives, TwoMessagesAreDeletedInListingOrderAndFiledAfterTheCounter) {
  const std::string recv = dir_ / MailboxDir(tavrel::Station(), day_, kRecvBox);
  EnsureDayFolder(tavrel::Station(), dir_ / day_);
  ASSERT_TRUE(WriteCounter(recv, 5));
  ASSERT_TRUE(InjectSms(spool_, "13012312312", "你好"));
  ASSERT_TRUE(InjectSms(spool_, "13800000000", "hello"));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return Box("recv", "acc") == "7"; }, 60s)) << dir_.Read("sms.log");

  EXPECT_EQ(Box("recv", "R6"), "13012312312");
  EXPECT_EQ(Box("recv", "DA6"), Gbk("你好"));  // UCS-2 on the air
  EXPECT_EQ(Box("recv", "R7"), "13800000000");
  EXPECT_EQ(Box("recv", "DA7"), "hello");  // 7-bit on the air
  const std::string header = "[HEAD]\r\ntime=" + day_ + " hh:mm:ss\r\nsend= \r\nstat= \r\njrade= \r\n";
  EXPECT_EQ(MaskTimes(Box("recv", "H6")), header);
  EXPECT_EQ(MaskTimes(Box("recv", "H7")), header);

  // A message is deleted once it is counted.
  ASSERT_TRUE(Eventually([&] { return StationTraffic().find("at+cmgd=2\r\n") != std::string::npos; }));
  const std::string traffic = StationTraffic();
  const auto first = traffic.find("at+cmgd=1\r\n");
  const auto second = traffic.find("at+cmgd=2\r\n");
  ASSERT_NE(first, std::string::npos) << traffic;
  ASSERT_NE(second, std::string::npos) << traffic;
  EXPECT_LT(traffic.find("at+cmgl=4\r\n"), first);
  EXPECT_LT(first, second);

  ASSERT_TRUE(ravelin->WaitForOutput("13800000000\n    hello\n\n")) << ravelin->output();
  EXPECT_NE(MaskTimes(ravelin->output()).find("6  : " + day_ + " hh:mm:ss          13012312312\n    你好\n\n"),
            std::string::npos)
      << ravelin->output();
}

TEST_F(StationReceives, ControlBytesOfAReceivedTextNeverReachTheTerminal) {
  // '[' travels 7-bit as the escape septet and 0x3C (TS 23.038 6.2.1.1);
  // a text holding ESC itself travels as UCS-2.
  ASSERT_TRUE(InjectSms(spool_, "13012312312", "[2J"));
  ASSERT_TRUE(InjectSms(spool_, "13800000000", "\x1b[2J\x1b]0;owned\x07\x7f你好"));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return Box("recv", "acc") == "2"; }, 60s)) << dir_.Read("sms.log");
  EXPECT_EQ(Box("recv", "DA1"), "[2J");
  ASSERT_TRUE(ravelin->WaitForOutput("    ?[2J?]0;owned??你好\n")) << ravelin->output();
  EXPECT_NE(ravelin->output().find("    [2J\n"), std::string::npos) << ravelin->output();

  const std::string& out = ravelin->output();
  for (std::size_t i = 0; i < out.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(out[i]);
    const bool control = (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
    EXPECT_FALSE(control) << "byte " << static_cast<int>(byte) << " at " << i;
  }
}

TEST_F(StationReceives, QueriesAreAnsweredToTheSenderInTheNextCycle) {
  WriteCatalogue(dir_, "query/query", "query", {{"0001", Gbk("营业时间：九点到五点")}});
  ASSERT_TRUE(InjectSms(spool_, "13012312312", "*0001"));
  ASSERT_TRUE(InjectSms(spool_, "13800000000", "*9999"));
  auto ravelin = StartHeadlessRavelin(dir_, kScale);
  ASSERT_NE(ravelin, nullptr);
  ASSERT_TRUE(Eventually([&] { return ReadSentLog(sent_log_).size() >= 2; }, 60s)) << dir_.Read("sms.log");

  const std::vector<SentSms> sent = ReadSentLog(sent_log_);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].to, "13012312312");
  EXPECT_EQ(sent[0].text, "营业时间：九点到五点");
  EXPECT_EQ(sent[1].to, "13800000000");
  EXPECT_EQ(sent[1].text, "查询代码错误。");

  EXPECT_EQ(Box("recv", "DA1"), "*0001");
  EXPECT_EQ(Box("new", "R1"), "13012312312");
  EXPECT_EQ(Box("new", "DA1"), Gbk("营业时间：九点到五点"));
  EXPECT_EQ(MaskTimes(Box("new", "H1")), "[HEAD]\r\ntime=" + day_ + " hh:mm:ss\r\nsend= \r\ntype=" +
                                              Gbk("查询") + "\r\nstat=" + Gbk("未发") + "\r\njrade=" +
                                              Gbk("紧急") + "\r\n");
  EXPECT_EQ(Box("new", "R2"), "13800000000");
  EXPECT_EQ(Box("new", "acc"), "2");
  EXPECT_TRUE(Eventually([&] { return Box("send", "acc") == "2"; }));
}

}  // namespace
}  // namespace tavrel::system_test
