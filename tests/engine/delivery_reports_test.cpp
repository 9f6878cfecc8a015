// A long message sent with delivery reports just before midnight, its
// reports listed just after: the day's journal gets delivered and
// undelivered lines. The station's clock is a fake one, set by the test.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/phases.h"
#include "platform/station.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "tests/engine/fakes.h"

namespace tavrel {
namespace {

using testing::RecordingPacer;
using testing::ScriptedPort;
using testing::Slurp;
using testing::TempDir;

class SetClock : public Clock {
 public:
  std::tm LocalNow() const override { return now; }
  void Set(int year, int month, int day, int hour, int minute, int second) {
    now = {};
    now.tm_year = year - 1900;
    now.tm_mon = month - 1;
    now.tm_mday = day;
    now.tm_hour = hour;
    now.tm_min = minute;
    now.tm_sec = second;
    now.tm_isdst = -1;
  }
  std::tm now{};
};

class QuietMonitor : public Monitor {
 public:
  void PrependText(const std::string&, std::size_t) override {}
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
};

void PutFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// TS 23.040 9.2.2.3 as a modem lists it: first octet 06, TP-MR, the
// recipient as international 86 + national, TP-SCTS, TP-DT, TP-ST.
std::string ReportLine(int reference, const std::string& national, const std::string& status) {
  std::string digits = "86" + national + "F";
  std::string semi;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) semi += {digits[i + 1], digits[i]};
  char mr[3];
  std::snprintf(mr, sizeof mr, "%02X", reference);
  return std::string("0891683108000000F0") + "06" + mr + "0D91" + semi + "62217032955023" +
         "62218000000523" + status + "\r";
}

TEST(DeliveryReports, ReportsListedAfterMidnightEndTheirRecipientsInYesterdaysJournal) {
  TempDir dir;
  SetClock clock;
  const Station station(dir.path(), &clock);
  PutFile(dir / "server.txt",
          "[SET]\r\nCOM=./modem\r\nSMSCODE=8613800000000\r\nPARTS=3\r\nREPORT=1\r\n");
  const std::string yesterday = "2026-12-7";
  const std::string today = "2026-12-8";
  EnsureDayFolder(station, yesterday);
  EnsureDayFolder(station, today);
  const std::string box = MailboxDir(station, yesterday, kNewBox);
  PutFile(RecordPath(box, "R", 1), "13000000001\r\n13000000002\r\n");
  PutFile(RecordPath(box, "H", 1), "[HEAD]\r\n");
  PutFile(RecordPath(box, "DA", 1), std::string(200, 'a'));
  PutFile(CounterPath(box), "1");

  ScriptedPort port;
  RecordingPacer pacer;
  EngineLog trace;
  trace.Open(dir / "sms.log");
  QuietMonitor monitor;

  clock.Set(2026, 12, 7, 23, 59, 50);
  port.Script({"\r\n+CMGS: 21\r\n\r\nOK\r\n", "\r\n+CMGS: 22\r\n\r\nOK\r\n",
               "\r\n+CMGS: 23\r\n\r\nOK\r\n", "\r\n+CMGS: 24\r\n\r\nOK\r\n"});
  SendPhase(CycleContext{station, yesterday, 0, 0, 1, port, pacer, trace, monitor});
  const std::vector<JournalEntry> sent = ReadJournal(station, yesterday, 1);
  ASSERT_EQ(sent.size(), 2u) << Slurp(dir / "sms.log");
  EXPECT_EQ(sent[0].detail, "21,22");
  EXPECT_EQ(sent[1].detail, "23,24");

  clock.Set(2026, 12, 8, 0, 0, 5);
  std::string listing = "at+cmgl=4\r\r\n";
  const std::vector<std::string> reports = {
      ReportLine(21, "13000000001", "00"), ReportLine(23, "13000000002", "00"),
      ReportLine(99, "13000000001", "00"),  // matches nothing
      ReportLine(22, "13000000001", "00"), ReportLine(24, "13000000002", "46")};
  for (std::size_t i = 0; i < reports.size(); ++i) {
    listing += "+CMGL: " + std::to_string(i + 1) + ",1,,26\r\n" + reports[i] + "\n";
  }
  std::vector<std::string> chunks{listing + "\r\nOK\r\n"};
  for (std::size_t i = 0; i < reports.size(); ++i) chunks.push_back("at+cmgd=\r\r\nOK\r\n");
  port.Script(chunks);
  ReceivePhase(CycleContext{station, today, 0, 0, 0, port, pacer, trace, monitor});
  trace.Flush();

  const std::vector<JournalEntry> journal = ReadJournal(station, yesterday, 1);
  ASSERT_EQ(journal.size(), 4u) << Slurp(dir / "sms.log");
  EXPECT_EQ(journal[2].index, 1);
  EXPECT_EQ(journal[2].number, "13000000001");
  EXPECT_EQ(journal[2].state, Outcome::Delivered);
  EXPECT_EQ(journal[2].detail, "00");
  EXPECT_EQ(journal[2].time, today + " 00:00:05");
  EXPECT_EQ(journal[3].index, 2);
  EXPECT_EQ(journal[3].state, Outcome::Undelivered);
  EXPECT_EQ(journal[3].detail, "46");
  EXPECT_FALSE(std::filesystem::exists(JournalPath(station, today, 1)));
  // Every report leaves the modem, the unmatched one too, and none is filed.
  int deletes = 0;
  for (const std::string& w : port.written) deletes += w.starts_with("at+cmgd=");
  EXPECT_EQ(deletes, 5);
  EXPECT_FALSE(ReadMailboxCounter(station, today, kRecvBox).has_value());
  EXPECT_NE(Slurp(dir / "sms.log").find("report 99 of 8613000000001 matches no message sent"),
            std::string::npos);
}

}  // namespace
}  // namespace tavrel
