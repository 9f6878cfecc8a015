// The two roads through the whole station: a request queued with Quillon is
// sent by Ravelin's engine through modemsim; a query texted to modemsim is
// answered with the catalogue text in the cycle after it arrived.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

TEST(StationRoads, ARequestIsSentAndAQueryIsAnsweredWithTheMailboxesByteExact) {
  StationDir dir;
  const std::string day = Station().Today();
  const std::string spool = dir.root() + "/spool";
  const std::string sent_log = dir.root() + "/sent.jsonl";
  const int port = FreeLoopbackPort();
  WriteStationSettings(dir, port);
  WriteCatalogue(dir, "query/query", "query", {{"0001", Gbk("本周特价：苹果五元一斤")}});
  auto modem = StartModemsim(dir, {"--spool", spool, "--sent-log", sent_log});
  ASSERT_NE(modem, nullptr);
  auto quillon = StartHeadlessQuillon(dir);
  ASSERT_NE(quillon, nullptr);
  auto ravelin = StartHeadlessRavelin(dir, "0.02");
  ASSERT_NE(ravelin, nullptr);

  // Road of one message: the help text's example request.
  const auto reply = QueueRequest(port, Gbk("0000|13012312312;11111111111;|你好吗？我的朋友。|"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, AcceptedReply());
  ASSERT_TRUE(Eventually([&] { return ReadSentLog(sent_log).size() >= 2; }, 60s)) << dir.Read("sms.log");

  // Road of one query, answered through the outbox in the next cycle.
  ASSERT_TRUE(InjectSms(spool, "13800000000", "*0001"));
  ASSERT_TRUE(Eventually([&] { return ReadSentLog(sent_log).size() >= 3; }, 60s)) << dir.Read("sms.log");
  ASSERT_TRUE(Eventually([&] { return StoredCounter(dir, day, "send") == 2; }));

  const std::vector<SentSms> sent = ReadSentLog(sent_log);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].to, "13012312312");
  EXPECT_EQ(sent[0].text, "你好吗？我的朋友。");
  EXPECT_EQ(sent[1].to, "11111111111");
  EXPECT_EQ(sent[1].text, "你好吗？我的朋友。");
  EXPECT_EQ(sent[2].to, "13800000000");
  EXPECT_EQ(sent[2].text, "本周特价：苹果五元一斤");
  for (const SentSms& sms : sent) {
    EXPECT_EQ(sms.smsc, "+8613800000000");
    EXPECT_EQ(sms.coding, "ucs2");
  }

  // The mailboxes of both roads, byte for byte.
  const auto outbox = StoredRecords(dir, day, "new", 2);
  EXPECT_EQ(outbox[0].r, "13012312312\r\n11111111111\r\n");
  EXPECT_EQ(outbox[0].da, Gbk("你好吗？我的朋友。"));
  EXPECT_EQ(MaskTimes(outbox[0].h.value_or("")), OutboxHeaderOnDisk(day));
  EXPECT_EQ(outbox[1].r, "13800000000");
  EXPECT_EQ(outbox[1].da, Gbk("本周特价：苹果五元一斤"));
  EXPECT_EQ(MaskTimes(outbox[1].h.value_or("")), OutboxHeaderOnDisk(day));
  const auto inbox = StoredRecords(dir, day, "recv", 1);
  EXPECT_EQ(inbox[0].r, "13800000000");
  EXPECT_EQ(inbox[0].da, "*0001");
  EXPECT_EQ(MaskTimes(inbox[0].h.value_or("")), InboxHeaderOnDisk(day));
  EXPECT_EQ(dir.Read(day + "/new/acc"), "2");
  EXPECT_EQ(dir.Read(day + "/send/acc"), "2");
  EXPECT_EQ(dir.Read(day + "/recv/acc"), "1");
  EXPECT_FALSE(Exists(dir / (day + "/new/R3")));
  EXPECT_FALSE(Exists(dir / (day + "/recv/R2")));
  for (const char* box : {"new", "send", "recv", "qury"}) {
    EXPECT_TRUE(Exists(dir / (day + "/" + box))) << box;
  }

  // What the operator saw: both sends of the request, the query as it came
  // in, and its answer.
  EXPECT_TRUE(ravelin->WaitForOutput("13800000000   0    发送成功.\n")) << ravelin->output();
  const std::string shown = MaskTimes(ravelin->output());
  EXPECT_NE(shown.find("13012312312   0    发送成功.\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("11111111111   0    发送成功.\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("1  : " + day + " hh:mm:ss          13800000000\n    *0001\n\n"), std::string::npos)
      << shown;
  // And Quillon showed the filed text and its record number.
  EXPECT_TRUE(quillon->WaitForOutput("系统信息：1\n")) << quillon->output();
  EXPECT_NE(quillon->output().find("你好吗？我的朋友。\n"), std::string::npos) << quillon->output();
}

}  // namespace
}  // namespace tavrel::system_test
