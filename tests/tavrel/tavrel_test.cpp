// The command-line tool on a temporary station: what it files byte for byte,
// what it prints in UTF-8, and its exit statuses.
#include <cstdlib>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/modem_info.h"
#include "platform/codepage.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "store/station_lock.h"
#include "tests/system/support/system_support.h"
#include "tools/tavrel/cli.h"

namespace tavrel::cli {
namespace {

using system_test::StationDir;
using ::testing::HasSubstr;

struct Call {
  int status = -1;
  std::string out, err;
  nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

class TavrelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("TAVREL_TIME_SCALE", "0.01", 0); }

  // args after the program name; --dir is added in front.
  Call Tavrel(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"tavrel", "--dir", dir_.station()});
    std::istringstream in(input);
    std::ostringstream out, err;
    Call run;
    run.status = RunTavrel(args, in, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }
  std::string Today() const { return Station(dir_.station()).Today(); }
  std::string New(const std::string& file) const { return dir_.Read(Today() + "/new/" + file); }

  StationDir dir_;
};

TEST_F(TavrelTest, SendFilesTheRecordAsTheComposeTabWithItsChecks) {
  Call run = Tavrel({"send", "13012312312", "张三", "--", "你好", "世界"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Today() + " 1\n");
  EXPECT_EQ(New("R1"), "13012312312\r\n" + Gbk("张三"));
  EXPECT_EQ(New("DA1"), Gbk("你好 世界"));
  EXPECT_EQ(New("H1").substr(0, 8), "[HEAD]\r\n");
  EXPECT_EQ(New("acc"), "1");

  // Standard input loses one final line end; a line break inside is the box's CR LF.
  run = Tavrel({"--json", "send", "13800000000"}, "第一行\n第二行\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Json()["record"], 2);
  EXPECT_EQ(New("DA2"), Gbk("第一行") + "\r\r\n" + Gbk("第二行"));

  const std::string seventy(70 * 3, 'x');
  std::string seventy_chinese;
  for (int i = 0; i < 70; ++i) seventy_chinese += "字";
  EXPECT_EQ(Tavrel({"send", "13800000000", "--", seventy_chinese}).status, 0);
  EXPECT_EQ(New("acc"), "3");

  struct Refusal {
    std::vector<std::string> args;
    std::string message;
  };
  const Refusal refusals[] = {
      {{"send", "13800000000", "--", seventy_chinese + "字"}, "收信内容不能太多！"},
      {{"send", "13800000000", "--", std::string(71, 'a')}, "收信内容不能太多！"},
      {{"send", "", "--", "你好"}, "收信人不能为空！"},
      {{"send", "13800000000", "--"}, "收信内容不能为空！"},
      {{"send", "13800000000", "--", "笑😀"}, "'😀' (U+1F600) has no GBK form"},
      // In GB18030, not in code page 936.
      {{"send", "13800000000", "--", "𠀀"}, "(U+20000) has no GBK form"},
      {{"send", "13800000000", "--", "\xff"}, "not UTF-8"},
  };
  for (const Refusal& refusal : refusals) {
    run = Tavrel(refusal.args);
    EXPECT_EQ(run.status, 1) << refusal.message;
    EXPECT_THAT(run.err, HasSubstr(refusal.message));
  }
  EXPECT_EQ(New("acc"), "3");  // nothing filed by any refusal
}

TEST_F(TavrelTest, StatusShowsTheQueueAndEachRecipientsOutcome) {
  Call run = Tavrel({"status", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Json()["waiting"], 0);
  EXPECT_TRUE(run.Json()["engine_pid"].is_null());

  ASSERT_EQ(Tavrel({"send", "13012312312", "13800000000", "--", "一"}).status, 0);
  ASSERT_EQ(Tavrel({"send", "13012312312", "--", "二"}).status, 0);
  const Station station(dir_.station());
  ASSERT_TRUE(WriteMailboxCounter(station, Today(), kSendBox, 1));
  JournalWriter journal(station, Today(), 1);
  ASSERT_TRUE(journal.Append({1, "13012312312", Outcome::Sent, "2026-12-7 09:05:03", "12"}));
  ASSERT_TRUE(journal.Append({2, "13800000000", Outcome::Failed, "2026-12-7 09:05:09", "ERROR"}));

  // --dir and --json after the subcommand as well as before it.
  std::ostringstream out, err;
  std::istringstream in;
  ASSERT_EQ(RunTavrel({"tavrel", "status", "--json", "--dir", dir_.station()}, in, out, err), 0);
  const nlohmann::json queue = nlohmann::json::parse(out.str());
  EXPECT_EQ(queue["waiting"], 1);
  EXPECT_EQ(queue["oldest_waiting"]["record"], 2);
  EXPECT_EQ(queue["filed"], 2);
  EXPECT_EQ(queue["outcomes"]["sent"], 1);
  EXPECT_EQ(queue["outcomes"]["failed"], 1);

  run = Tavrel({"status", Today(), "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("1  13012312312  13012312312  sent  2026-12-7 09:05:03  12\n"));
  EXPECT_THAT(run.out, HasSubstr("2  13800000000  13800000000  failed"));

  // Before its journal exists a record's recipients wait; the ISO day is taken too.
  const std::tm now = SystemClock().LocalNow();
  char iso[16];
  std::strftime(iso, sizeof iso, "%Y-%m-%d", &now);
  run = Tavrel({"status", iso, "2", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.Json()["recipients"][0]["state"], "waiting");

  EXPECT_EQ(Tavrel({"status", Today(), "3"}).status, 1);
  EXPECT_EQ(Tavrel({"status", "yesterday", "1"}).status, 2);
}

TEST_F(TavrelTest, InboxPrintsReceivedMessagesInUtf8) {
  const std::string day = Today();
  const Station station(dir_.station());
  EnsureDayFolder(station, day);
  for (long n : {1, 2}) {
    dir_.WriteFile(day + "/recv/R" + std::to_string(n), "1380000000" + std::to_string(n));
    dir_.WriteFile(day + "/recv/H" + std::to_string(n),
                   "[HEAD]\r\ntime=" + day + " 10:00:0" + std::to_string(n) + "\r\n");
    dir_.WriteFile(day + "/recv/DA" + std::to_string(n), Gbk(n == 1 ? "*0001" : "你好\r\n再见"));
  }
  dir_.WriteFile(day + "/recv/acc", "2");

  Call run = Tavrel({"inbox"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1  " + day + " 10:00:01  13800000001\n    *0001\n2  " + day +
                         " 10:00:02  13800000002\n    你好\n    再见\n");
  run = Tavrel({"inbox", "--after", "1", "--day", day, "--json"});
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.Json()["messages"].size(), 1u);
  EXPECT_EQ(run.Json()["messages"][0]["text"], "你好\n再见");
}

TEST_F(TavrelTest, CodesAreTheCatalogueTabsOperations) {
  ASSERT_EQ(Tavrel({"codes", "set", "0001", "营业时间 9:00-17:00"}).status, 0);
  ASSERT_EQ(Tavrel({"codes", "set", "0002", "地址"}).status, 0);
  EXPECT_EQ(dir_.Read("query/query"),
            "[query]\r\n000000=222222\r\n0001=" + Gbk("营业时间 9:00-17:00") +
                "\r\n0002=" + Gbk("地址") + "\r\n");
  EXPECT_EQ(dir_.Read("query/acc"), "2");

  // A known code is rewritten in place; a line break becomes a blank.
  ASSERT_EQ(Tavrel({"codes", "set", "0001", "周一\n休息"}).status, 0);
  EXPECT_EQ(dir_.Read("query/query"), "[query]\r\n000000=222222\r\n0001=" + Gbk("周一  休息") +
                                          "\r\n0002=" + Gbk("地址") + "\r\n");
  EXPECT_EQ(dir_.Read("query/acc"), "2");
  EXPECT_EQ(Tavrel({"codes", "list"}).out, "0001\t周一  休息\n0002\t地址\n");

  std::string too_long;
  for (int i = 0; i < 65; ++i) too_long += "长";
  Call run = Tavrel({"codes", "set", "0003", too_long});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("收信内容不能太多！"));

  ASSERT_EQ(Tavrel({"codes", "remove", "0002"}).status, 0);
  run = Tavrel({"codes", "remove", "0002"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("无此信息!"));
  EXPECT_EQ(dir_.Read("query/acc"), "1");
}

TEST_F(TavrelTest, CustomersAreTheCustomerTabsOperations) {
  ASSERT_EQ(
      Tavrel({"customers", "set", "张三", "13012312312", "--info", "老客户\n周末联系"}).status, 0);
  EXPECT_EQ(dir_.Read("cust/cust"),
            "[cust]\r\n000000=222222\r\n" + Gbk("张三") + "=13012312312\r\n");
  EXPECT_EQ(dir_.Read("cust/" + Gbk("张三")), Gbk("老客户") + "\r\r\n" + Gbk("周末联系"));

  // A new number without --info keeps the notes.
  ASSERT_EQ(Tavrel({"customers", "set", "张三", "13800000000"}).status, 0);
  EXPECT_EQ(dir_.Read("cust/cust"),
            "[cust]\r\n000000=222222\r\n" + Gbk("张三") + "=13800000000\r\n");
  EXPECT_EQ(dir_.Read("cust/" + Gbk("张三")), Gbk("老客户") + "\r\r\n" + Gbk("周末联系"));
  Call run = Tavrel({"customers", "list", "--json"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.Json()["customers"][0]["name"], "张三");
  EXPECT_EQ(run.Json()["customers"][0]["info"], "老客户\n周末联系");

  EXPECT_EQ(Tavrel({"customers", "set", "/", "13800000000"}).status, 1);
  ASSERT_EQ(Tavrel({"customers", "remove", "张三"}).status, 0);
  run = Tavrel({"customers", "remove", "张三"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("无此客户!"));
  EXPECT_EQ(Tavrel({"customers", "list"}).out, "");
}

TEST_F(TavrelTest, OptOutListsAndRemovesNumbers) {
  ::mkdir((dir_.station() + "/cust").c_str(), 0755);
  dir_.WriteFile(
      "cust/optout",
      "[optout]\r\n13012312312=2026-12-7 09:05:03\r\n13800000000=2026-12-7 10:00:00\r\n");
  EXPECT_EQ(Tavrel({"optout", "list"}).out,
            "13012312312\t2026-12-7 09:05:03\n13800000000\t2026-12-7 10:00:00\n");
  ASSERT_EQ(Tavrel({"optout", "remove", "13012312312"}).status, 0);
  EXPECT_EQ(dir_.Read("cust/optout"), "[optout]\r\n13800000000=2026-12-7 10:00:00\r\n");
  EXPECT_EQ(Tavrel({"optout", "remove", "13012312312"}).status, 1);
}

TEST_F(TavrelTest, LogPrintsTheTraceInUtf8) {
  dir_.WriteFile("sms.log", "com=...COM1\r\n" + Gbk("开始") + "\r\n");
  Call run = Tavrel({"log"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "com=...COM1\n开始\n\n");
  EXPECT_EQ(Tavrel({"log", "listener"}).status, 1);  // no log.txt yet
  EXPECT_EQ(Tavrel({"log", "modem"}).status, 2);
}

TEST_F(TavrelTest, ModemCommandsTalkToTheModemButNeverBesideAnEngine) {
  auto modem = system_test::StartModemsim(dir_, {"--traffic-log", dir_.root() + "/traffic.log"});
  ASSERT_TRUE(modem);
  dir_.WriteSettings({{"COM", "./elsewhere"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});

  Call run = Tavrel({"modem", "info", "--port", "./modem"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("manufacturer    modemsim\n"));
  EXPECT_THAT(run.out, HasSubstr("signal          21 (-71 dBm)\n"));

  run = Tavrel({"modem", "test", "--port", "./modem", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.Json()["message"], "设备正常，设备参数保存正确，可以正常工作!");
  // The centre number now in the modem is what info reports; --port was not saved.
  run = Tavrel({"modem", "info", "--port", "./modem", "--json"});
  EXPECT_EQ(run.Json()["smscode"], "8613800000000");
  EXPECT_THAT(dir_.Read("server.txt"), HasSubstr("COM=./elsewhere"));

  // The saved port that is not there: the tab's setting error.
  run = Tavrel({"modem", "test"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("./elsewhere"));

  // An engine holds the station: both refuse and the modem hears nothing more.
  const auto heard = system_test::ReadTraffic(dir_.root() + "/traffic.log").size();
  Result<StationLock> engine = TakeStationLock(Station(dir_.station()), "engine");
  ASSERT_TRUE(engine);
  for (const char* command : {"test", "info"}) {
    run = Tavrel({"modem", command, "--port", "./modem"});
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_THAT(run.err, HasSubstr("held by the engine of process " + std::to_string(getpid())));
  }
  EXPECT_EQ(system_test::ReadTraffic(dir_.root() + "/traffic.log").size(), heard);
  EXPECT_EQ(Tavrel({"status", "--json"}).Json()["engine_pid"], getpid());
}

TEST(ModemInfoReplies, SignalAndCentreAreReadFromTheirLines) {
  EXPECT_EQ(ReplyInformation("AT+CGMI\r\r\nquectel\r\n\r\nOK\r\n", "AT+CGMI\r\n"), "quectel");
  EXPECT_EQ(ParseSignalQuality(ReplyInformation("\r\n+CSQ: 31,0\r\n\r\nOK\r\n", "AT+CSQ")), 31);
  EXPECT_EQ(ParseServiceCentre("+CSCA: \"+8613800100500\",145"), "+8613800100500");
  EXPECT_EQ(SmsCodeForm("+8613800100500"), "8613800100500");
  const std::pair<int, std::optional<int>> dbm[] = {
      {0, -113}, {21, -71}, {31, -51}, {99, std::nullopt}};
  for (const auto& [rssi, expected] : dbm) EXPECT_EQ(RssiToDbm(rssi), expected) << rssi;
}

}  // namespace
}  // namespace tavrel::cli
