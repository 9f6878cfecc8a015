// Customer protection in the store: the opt-out list and its words, quiet
// hours, the modems' SMS counts and the reply guard with its durable log.
#include <ctime>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "store/optout.h"
#include "store/protection.h"
#include "store/quiet_hours.h"
#include "store/reply_log.h"
#include "store/settings.h"
#include "store/sms_counter.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;

// Local time as unix seconds.
long long At(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

TEST(ReplyWords, MatchAfterTrimmingAndFolding) {
  const std::string list = DefaultOptOutWords();  // TD,T,退订,取消
  const struct {
    std::string text;
    bool matches;
  } cases[] = {
      {"TD", true},
      {" td ", true},
      {Gbk("ＴＤ"), true},
      {Gbk("ｔｄ"), true},
      {"Td\r\n", true},
      {Gbk("\u3000退订\u3000"), true},
      {Gbk("取消"), true},
      {"t", true},
      {"TDX", false},
      {"T D", false},
      {Gbk("退订吧"), false},
      {"", false},
      {"  ", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOneOfWords(c.text, list), c.matches) << c.text;
  // A full-width comma separates too, and blanks around the words go.
  EXPECT_TRUE(IsOneOfWords("stop", Gbk("退订，ＳＴＯＰ , quit")));
  EXPECT_TRUE(IsOneOfWords("QUIT", Gbk("退订，ＳＴＯＰ , quit")));
  EXPECT_FALSE(IsOneOfWords("", ","));
}

TEST(OptOutList, AddedNumbersAreListedWithTheirTimeAndRemoved) {
  TempWorkDir dir;
  const Station& station = dir.station();
  ASSERT_TRUE(AddOptOut(station, "13012312312", "2026-12-7 09:05:03"));
  ASSERT_TRUE(AddOptOut(station, "13800000000", "2026-12-7 22:10:00"));
  EXPECT_EQ(ReadBytes(dir.Path("cust/optout")),
            "[optout]\r\n13012312312=2026-12-7 09:05:03\r\n13800000000=2026-12-7 22:10:00\r\n");
  EXPECT_TRUE(IsOptedOut(station, "13012312312"));
  EXPECT_FALSE(IsOptedOut(station, "13900000000"));
  EXPECT_TRUE(OptOutSet(station).Contains("13800000000"));

  RemoveOptOut(station, "13012312312");
  const std::vector<OptOutEntry> left = ListOptOuts(station);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].number, "13800000000");
  EXPECT_EQ(left[0].since, "2026-12-7 22:10:00");
  EXPECT_FALSE(OptOutSet(station).Contains("13012312312"));
}

TEST(QuietHours, WindowsParseAndSendingResumesAtTheirEnd) {
  EXPECT_FALSE(ParseQuietWindow(""));
  EXPECT_FALSE(ParseQuietWindow("21:00"));
  EXPECT_FALSE(ParseQuietWindow("25:00-08:00"));
  EXPECT_FALSE(ParseQuietWindow("21:60-08:00"));
  EXPECT_FALSE(ParseQuietWindow("08:00-08:00"));
  ASSERT_TRUE(ParseQuietWindow(" 9:30 - 11:00 "));
  EXPECT_EQ(WindowEndText(*ParseQuietWindow(" 9:30 - 11:00 ")), "11:00");

  const QuietWindow night = *ParseQuietWindow("21:00-08:00");
  const QuietWindow day = *ParseQuietWindow("12:00-13:30");
  const struct {
    QuietWindow window;
    long long now;
    long long next;
  } cases[] = {
      {night, At(2026, 12, 7, 22, 0), At(2026, 12, 8, 8, 0)},
      {night, At(2026, 12, 7, 21, 0), At(2026, 12, 8, 8, 0)},
      {night, At(2026, 12, 7, 20, 59, 59), At(2026, 12, 7, 20, 59, 59)},
      {night, At(2026, 12, 8, 7, 59, 30), At(2026, 12, 8, 8, 0)},
      {night, At(2026, 12, 8, 8, 0), At(2026, 12, 8, 8, 0)},
      {night, At(2026, 12, 31, 23, 0), At(2027, 1, 1, 8, 0)},
      {day, At(2026, 12, 7, 12, 15), At(2026, 12, 7, 13, 30)},
      {day, At(2026, 12, 7, 13, 30), At(2026, 12, 7, 13, 30)},
      {day, At(2026, 12, 7, 23, 0), At(2026, 12, 7, 23, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(NextSendTime(c.window, c.now), c.next) << c.now;
}

TEST(SmsCounter, CapsFreeUpWithTheRollingHourAndTheNextDayAndSurviveARestart) {
  TempWorkDir dir;
  const Station& station = dir.station();
  const long long ten = At(2026, 12, 7, 10, 0);
  {
    SmsCounter counter(station, "COM", ten);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(counter.Count(ten + i * 60));
    ASSERT_TRUE(counter.Count(ten + 600, 2));  // a long message of two parts
    EXPECT_EQ(counter.InHourBefore(ten + 600), 10);
  }
  SmsCounter counter(station, "COM", ten + 601);  // read again, as after a restart
  const SendCaps hour{10, 0};
  EXPECT_EQ(counter.FreeAt(hour, ten + 601), ten + 3600);  // the first leaves the hour: 9 < 10
  EXPECT_FALSE(counter.FreeAt({11, 0}, ten + 601));
  EXPECT_FALSE(counter.FreeAt(hour, ten + 3600 + 60));
  EXPECT_EQ(counter.FreeAt({0, 10}, ten + 3600 + 60), At(2026, 12, 8, 0, 0));
  EXPECT_EQ(counter.FreeAt({5, 10}, ten + 601), At(2026, 12, 8, 0, 0));
  // The next day nothing of today counts any more, and the file forgets it.
  SmsCounter tomorrow(station, "COM", At(2026, 12, 8, 9, 0));
  EXPECT_EQ(tomorrow.OnDayOf(At(2026, 12, 8, 9, 0)), 0);
  EXPECT_EQ(ReadBytes(SmsCounterPath(station, "COM")), "");
  EXPECT_FALSE(tomorrow.FreeAt({1, 1}, At(2026, 12, 8, 9, 0)));
}

TEST(ReplyGuard, OnlyMobileNumbersThatAreNotOursGetRepliesUpToTheCap) {
  Protection p;
  p.own_numbers = "+8613800000000, 13900000009";
  p.reply_cap = 5;
  const struct {
    std::string sender;
    bool alphanumeric;
    long replies;
    ReplyRefusal refusal;
  } cases[] = {
      {"13012312312", false, 0, ReplyRefusal::kNone},
      {"13012312312", false, 4, ReplyRefusal::kNone},
      {"13012312312", false, 5, ReplyRefusal::kHourCap},
      {"Bank", true, 0, ReplyRefusal::kAlphanumeric},
      {"10086", false, 0, ReplyRefusal::kNotMobile},
      {"1065712345678", false, 0, ReplyRefusal::kNotMobile},
      {"10657123456", false, 0, ReplyRefusal::kNotMobile},
      {"+447700900123", false, 0, ReplyRefusal::kNotMobile},
      {"95588", false, 0, ReplyRefusal::kNotMobile},
      {"13800000000", false, 0, ReplyRefusal::kOwnNumber},
      {"13900000009", false, 0, ReplyRefusal::kOwnNumber},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeReply(p, c.sender, c.alphanumeric, c.replies), c.refusal) << c.sender;
  }
}

TEST(ReplyLog, RepliesAreCountedPerHourAcrossRestartsAndKnownAsTheStationsOwn) {
  TempWorkDir dir;
  const Station& station = dir.station();
  const long long t = At(2026, 12, 7, 22, 0);
  {
    ReplyLog log(station, t);
    ASSERT_TRUE(log.NoteReply("2026-12-7", 12, "13012312312"));
    ASSERT_TRUE(log.NoteRefusal("My Bank"));
  }
  ReplyLog again(station, t + 1800);
  EXPECT_EQ(again.RepliesWithinHour("13012312312"), 1);
  EXPECT_EQ(again.RefusalsWithinHour("My Bank"), 1);
  EXPECT_TRUE(again.IsOwnReply("2026-12-7", 12));
  EXPECT_FALSE(again.IsOwnReply("2026-12-7", 11));
  EXPECT_FALSE(again.IsOwnReply("2026-12-8", 12));
  ReplyLog later(station, t + 3600);
  EXPECT_EQ(later.RepliesWithinHour("13012312312"), 0);
  EXPECT_TRUE(later.IsOwnReply("2026-12-7", 12));  // still unsent records may need it
}

TEST(Protection, AbsentKeysMeanNoneAndTheDefaultsWhereTheIssueNamesThem) {
  TempWorkDir dir;
  Protection p = ReadProtection(dir.station());
  EXPECT_EQ(p.optout_words, "");
  EXPECT_EQ(p.optout_reply, DefaultOptOutReply());
  EXPECT_EQ(p.optin_words, DefaultOptInWords());
  EXPECT_EQ(p.reply_cap, 5);
  EXPECT_FALSE(p.quiet);
  EXPECT_FALSE(p.caps.Any());
  WriteSetting(dir.station(), "REPLYCAP", "2");
  WriteSetting(dir.station(), "QUIET", "21:00-08:00");
  WriteSetting(dir.station(), "HOURCAP", "10");
  WriteSetting(dir.station(), "DAYCAP", "x");
  p = ReadProtection(dir.station());
  EXPECT_EQ(p.reply_cap, 2);
  ASSERT_TRUE(p.quiet);
  EXPECT_EQ(p.quiet->start, 21 * 60);
  EXPECT_EQ(p.caps.per_hour, 10);
  EXPECT_EQ(p.caps.per_day, 0);
}

}  // namespace
}  // namespace tavrel
