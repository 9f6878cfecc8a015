// Headless Ravelin protecting customers and SIM cards, on modemsim: opt-out
// and opt-in words, the reply guard against machines and loops, quiet hours
// and the hourly cap. The station's clock stands still at the time the test
// writes into a file and moves only when the test moves it.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/file_clock.h"
#include "platform/station.h"
#include "platform/textfile.h"
#include "store/engine_status.h"
#include "store/journal.h"
#include "store/optout.h"
#include "store/record_store.h"
#include "tests/system/support/phases_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.02";
const std::string kAnswer = "营业时间：9:00-18:00";

class StationProtects : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClock("2026-12-7 10:00:00");
    WriteCatalogue(dir_, "query/query", "query", {{"0001", Gbk(kAnswer)}});
  }

  void Settings(std::vector<std::pair<std::string, std::string>> more) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}, {"PACE", "prompt"}};
    keys.insert(keys.end(), more.begin(), more.end());
    dir_.WriteSettings(keys);
  }

  // In one step: a half-written time would read as none.
  void SetClock(const std::string& now) { ASSERT_TRUE(ReplaceFile(clock_path_, now)); }

  void Start(std::vector<std::string> modem_options = {}) {
    StartModem(std::move(modem_options));
    StartRavelin();
  }

  void StartModem(std::vector<std::string> options = {}) {
    options.insert(options.end(), {"--spool", spool_, "--sent-log", sent_log_});
    modem_ = StartModemsim(dir_, options);
    ASSERT_NE(modem_, nullptr);
  }

  void StartRavelin() {
    Child::Options options;
    options.args = {Program("Ravelin"), "--headless", "--dir", dir_.station()};
    options.env = {{"TAVREL_TIME_SCALE", kScale}, {kClockFileVariable, clock_path_}};
    options.stderr_path = dir_.root() + "/Ravelin.stderr";
    std::string error;
    ravelin_ = Child::Start(options, &error);
    ASSERT_NE(ravelin_, nullptr) << error;
  }

  // Files a record as Quillon or the composer would, at the station's time.
  long File(const std::string& recipients, const std::string& text) {
    const OutboxResult filed = WriteOutboxRecord(station_, recipients, text);
    EXPECT_TRUE(filed);
    return filed ? filed.value().number : 0;
  }

  std::vector<std::string> SentTo(const std::string& number) {
    std::vector<std::string> texts;
    for (const SentSms& sms : ReadSentLog(sent_log_)) {
      if (sms.to == number) texts.push_back(sms.text);
    }
    return texts;
  }

  long JournalLines(const std::string& day, long n) {
    return static_cast<long>(ReadJournal(station_, day, n).size());
  }

  // The first `modems` modems of the status file, all at once.
  bool WaitingUntil(long long until, std::size_t modems = 1) {
    return Eventually(
        [&] {
          const std::optional<EngineStatus> status = ReadEngineStatus(station_);
          if (!status || status->modems.size() < modems) return false;
          for (std::size_t m = 0; m < modems; ++m) {
            if (status->modems[m].state != "waiting" || status->modems[m].until != until) {
              return false;
            }
          }
          return true;
        },
        60s);
  }

  static long long At(const std::string& stamp) {
    std::tm local{};
    std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d", &local.tm_year, &local.tm_mon, &local.tm_mday,
                &local.tm_hour, &local.tm_min, &local.tm_sec);
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&local));
  }

  StationDir dir_;
  const std::string clock_path_ = dir_.root() + "/clock";
  const FileClock clock_{clock_path_};
  const Station station_{dir_.station(), &clock_};
  const std::string spool_ = dir_.root() + "/spool";
  const std::string sent_log_ = dir_.root() + "/sent.jsonl";
  std::unique_ptr<Child> modem_;
  std::unique_ptr<Child> ravelin_;
};

TEST_F(StationProtects, OptOutWordsStopPromotionsButNotRepliesAndOptInWelcomesBack) {
  Settings({{"OPTOUT", Gbk("TD,T,退订,取消")}});
  Start();
  ASSERT_TRUE(InjectSms(spool_, "13000000001", "TD"));
  ASSERT_TRUE(InjectSms(spool_, "13000000002", " td "));
  ASSERT_TRUE(InjectSms(spool_, "13000000003", "退订"));
  const std::string confirmation = "您已退订，将不再收到本号码的短信。";
  for (const char* number : {"13000000001", "13000000002", "13000000003"}) {
    ASSERT_TRUE(Eventually([&] { return SentTo(number).size() == 1; }, 60s)) << number;
    EXPECT_EQ(SentTo(number)[0], confirmation);
    EXPECT_TRUE(IsOptedOut(station_, number)) << number;
  }
  EXPECT_EQ(ListOptOuts(station_)[0].since, "2026-12-7 10:00:00");

  // A promotion passes the opted-out numbers over; a reply to one of them
  // still goes.
  ASSERT_TRUE(InjectSms(spool_, "13000000001", "*0001"));
  const long promotion = File("13000000001\n13000000002\n13000000004", Gbk("新品上市，回复TD退订"));
  ASSERT_TRUE(Eventually([&] { return SentTo("13000000001").size() == 2; }, 60s));
  EXPECT_EQ(SentTo("13000000001")[1], kAnswer);
  ASSERT_TRUE(Eventually([&] { return JournalLines("2026-12-7", promotion) == 3; }, 60s));
  const std::vector<JournalEntry> journal = ReadJournal(station_, "2026-12-7", promotion);
  EXPECT_EQ(journal[0].state, Outcome::Skipped);
  EXPECT_EQ(journal[0].detail, "opted out");
  EXPECT_EQ(journal[1].state, Outcome::Skipped);
  EXPECT_EQ(journal[2].state, Outcome::Sent);
  EXPECT_EQ(SentTo("13000000004").size(), 1u);

  // Opting in sends nothing back; the next promotion reaches the number.
  ASSERT_TRUE(InjectSms(spool_, "13000000002", "订阅"));
  ASSERT_TRUE(Eventually([&] { return !IsOptedOut(station_, "13000000002"); }, 60s));
  const long next = File("13000000002", Gbk("周末特价"));
  ASSERT_TRUE(Eventually([&] { return JournalLines("2026-12-7", next) == 1; }, 60s));
  EXPECT_EQ(SentTo("13000000002"), (std::vector<std::string>{confirmation, "周末特价"}));
}

TEST_F(StationProtects, ALoopWithAnotherAutoReplierStopsAtTheReplyCap) {
  Settings({});
  Start({"--answer-with", "*0001"});
  ASSERT_TRUE(InjectSms(spool_, "13000000001", "*0001"));
  ASSERT_TRUE(Eventually(
      [&] {
        return dir_.Read("sms.log").find("no reply to 13000000001: reply cap") != std::string::npos;
      },
      60s));
  EXPECT_EQ(SentTo("13000000001").size(), 5u);
  ASSERT_TRUE(ravelin_->WaitForOutput("13000000001   不自动回复: 一小时内回复已达上限"));
}

TEST_F(StationProtects, MachinesShortNumbersAndOwnNumbersGetNoReply) {
  Settings({{"OWN", "+8613900000009"}});
  StartModem();
  ASSERT_TRUE(InjectSms(spool_, "Bank", "*0001"));
  ASSERT_TRUE(InjectSms(spool_, "10086", "*0001"));
  ASSERT_TRUE(InjectSms(spool_, "13900000009", "*0001"));
  ASSERT_TRUE(InjectSms(spool_, "13000000005", "*0001"));
  StartRavelin();
  // All four are filed in one receive phase, so every reply filed would go
  // out by the time the one that is due does.
  ASSERT_TRUE(Eventually([&] { return SentTo("13000000005").size() == 1; }, 60s));
  EXPECT_EQ(ReadSentLog(sent_log_).size(), 1u);
  for (const char* line : {"Bank   不自动回复: 字母发信人", "10086   不自动回复: 非手机号码",
                           "13900000009   不自动回复: 本机号码"}) {
    EXPECT_TRUE(ravelin_->WaitForOutput(line)) << line;
  }
}

TEST_F(StationProtects, QuietHoursHoldAPromotionUntilMorningWhileARepliesGoAtOnce) {
  SetClock("2026-12-7 22:00:00");
  Settings({{"QUIET", "21:00-08:00"}});
  const long promotion = File("13000000001", "promo");
  StartModem();
  ASSERT_TRUE(InjectSms(spool_, "13000000002", "*0001"));
  StartRavelin();
  ASSERT_TRUE(Eventually([&] { return SentTo("13000000002").size() == 1; }, 60s));
  ASSERT_TRUE(WaitingUntil(At("2026-12-8 08:00:00")));
  ASSERT_TRUE(ravelin_->WaitForOutput("COM 静默时段，08:00 后发送"));
  EXPECT_TRUE(SentTo("13000000001").empty());
  // The reply behind the held promotion went, yet send's acc stays before it.
  EXPECT_EQ(dir_.Read("2026-12-7/send/acc"), "");

  SetClock("2026-12-8 08:00:00");
  ASSERT_TRUE(Eventually([&] { return SentTo("13000000001").size() == 1; }, 60s));
  ASSERT_TRUE(Eventually([&] { return dir_.Read("2026-12-7/send/acc") == "2"; }, 60s));
  EXPECT_EQ(JournalLines("2026-12-7", promotion), 1);
}

TEST_F(StationProtects, AnHourlyCapSpreadsARecordOverTheHours) {
  Settings({{"HOURCAP", "10"}});
  std::string recipients;
  for (int i = 0; i < 25; ++i) recipients += std::to_string(13000000100LL + i) + "\n";
  const long n = File(recipients, "batch");
  Start();
  const auto sent = [&] { return ReadSentLog(sent_log_).size(); };
  ASSERT_TRUE(WaitingUntil(At("2026-12-7 11:00:00")));
  EXPECT_EQ(sent(), 10u);
  EXPECT_EQ(JournalLines("2026-12-7", n), 10);
  SetClock("2026-12-7 11:00:00");
  ASSERT_TRUE(WaitingUntil(At("2026-12-7 12:00:00")));
  EXPECT_EQ(sent(), 20u);
  SetClock("2026-12-7 12:00:00");
  ASSERT_TRUE(Eventually([&] { return dir_.Read("2026-12-7/send/acc") == "1"; }, 60s));
  EXPECT_EQ(sent(), 25u);
}

// Each modem of a pool has caps of its own: one capped leaves the work to
// the other, and both capped hold the rest for the next hour.
TEST_F(StationProtects, WithTwoModemsEachSendsUpToItsOwnCap) {
  Settings({{"HOURCAP", "10"}, {"COM2", "./modem2"}});
  std::string recipients;
  for (int i = 0; i < 25; ++i) recipients += std::to_string(13000000100LL + i) + "\n";
  const long n = File(recipients, "batch");
  const std::string sent_log2 = dir_.root() + "/sent2.jsonl";
  StartModem();
  const std::unique_ptr<Child> modem2 = StartModemsim(
      dir_, {"--spool", dir_.root() + "/spool2", "--sent-log", sent_log2}, "modem2");
  ASSERT_NE(modem2, nullptr);
  StartRavelin();
  ASSERT_TRUE(WaitingUntil(At("2026-12-7 11:00:00"), 2)) << ravelin_->output();
  EXPECT_EQ(ReadSentLog(sent_log_).size(), 10u);
  EXPECT_EQ(ReadSentLog(sent_log2).size(), 10u);
  EXPECT_EQ(JournalLines("2026-12-7", n), 20);
  EXPECT_EQ(dir_.Read("2026-12-7/send/acc"), "");

  SetClock("2026-12-7 11:00:00");
  ASSERT_TRUE(Eventually([&] { return dir_.Read("2026-12-7/send/acc") == "1"; }, 60s));
  EXPECT_EQ(ReadSentLog(sent_log_).size() + ReadSentLog(sent_log2).size(), 25u);
}

}  // namespace
}  // namespace tavrel::system_test
