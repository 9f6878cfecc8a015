// A station with four modems (COM to COM4, each a modemsim of its own): the
// outbox is sent once over all of them, a modem that goes away mid-send
// costs nothing and comes back to work, a station killed twice repeats at
// most one SMS per modem each time, and what arrives on any modem is filed
// once.
#include <signal.h>
#include <stdlib.h>

#include <map>

#include <gtest/gtest.h>

#include "platform/station.h"
#include "store/engine_status.h"
#include "store/journal.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

const char* kScale = "0.01";
constexpr int kModems = 4;
constexpr int kRecords = 20;
constexpr int kPerRecord = 20;
constexpr int kRecipients = kRecords * kPerRecord;

std::string Number(int i) { return std::to_string(13000000000LL + i); }

class ModemPool : public ::testing::Test {
 protected:
  void SetUp() override {
    // The modems answer at the station's pace: their delays are scaled alike.
    ::setenv("TAVREL_TIME_SCALE", kScale, 1);
    std::vector<std::pair<std::string, std::string>> keys = {
        {"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}, {"PACE", "prompt"}};
    for (int m = 2; m <= kModems; ++m) keys.push_back({"COM" + Suffix(m), "./modem" + Suffix(m)});
    dir_.WriteSettings(keys);
    for (int m = 1; m <= kModems; ++m) {
      modems_.push_back(StartModemsim(dir_,
                                      {"--spool", Spool(m), "--sent-log", SentLog(m),
                                       "--prompt-delay", "300", "--result-delay", "2000"},
                                      "modem" + Suffix(m)));
      ASSERT_NE(modems_.back(), nullptr);
    }
  }

  static std::string Suffix(int m) { return m == 1 ? "" : std::to_string(m); }
  std::string Spool(int m) const { return dir_.root() + "/spool" + std::to_string(m); }
  std::string SentLog(int m) const { return dir_.root() + "/sent" + std::to_string(m) + ".jsonl"; }

  void StartRavelin() {
    ravelin_ = StartHeadlessRavelin(dir_, kScale);
    ASSERT_NE(ravelin_, nullptr);
  }

  // Records 1..kRecords of kPerRecord numbers each, numbers 0..399 in order.
  void FileOutbox() {
    for (int r = 0; r < kRecords; ++r) {
      std::string recipients;
      for (int i = 0; i < kPerRecord; ++i) recipients += Number(r * kPerRecord + i) + "\n";
      FileOutboxRecord(dir_, r + 1, recipients, "pool " + std::to_string(r + 1));
    }
  }

  std::vector<SentSms> SentBy(int m) const { return ReadSentLog(SentLog(m)); }

  // How often each number went out, over every modem.
  std::map<std::string, int> SendsPerNumber() const {
    std::map<std::string, int> sends;
    for (int m = 1; m <= kModems; ++m) {
      for (const SentSms& sms : SentBy(m)) ++sends[sms.to];
    }
    return sends;
  }

  long Sent() const {
    long total = 0;
    for (int m = 1; m <= kModems; ++m) total += static_cast<long>(SentBy(m).size());
    return total;
  }

  bool WaitUntilAllHandled() {
    return EventuallyDraining([&] { return StoredCounter(dir_, day_, "send") == kRecords; },
                              {ravelin_.get()}, 120s);
  }

  // Every number reached at least once; what went out more than once.
  long Repeats() const {
    const std::map<std::string, int> sends = SendsPerNumber();
    EXPECT_EQ(sends.size(), static_cast<std::size_t>(kRecipients));
    long repeats = 0;
    for (const auto& [number, count] : sends) repeats += count - 1;
    return repeats;
  }

  StationDir dir_;
  const std::string day_ = Station().Today();
  std::vector<std::unique_ptr<Child>> modems_;
  std::unique_ptr<Child> ravelin_;
};

TEST_F(ModemPool, FourHundredRecipientsGoOutOnceEachSpreadOverEveryModem) {
  FileOutbox();
  StartRavelin();
  ASSERT_TRUE(WaitUntilAllHandled()) << ravelin_->output();
  EXPECT_EQ(Repeats(), 0);
  for (int m = 1; m <= kModems; ++m) EXPECT_GT(SentBy(m).size(), 0u) << "modem " << m;

  // Every journal line says which modem sent it; one line per recipient.
  const Station station(dir_.station());
  std::map<std::string, long> by_modem;
  for (int n = 1; n <= kRecords; ++n) {
    const std::vector<JournalEntry> journal = ReadJournal(station, day_, n);
    ASSERT_EQ(journal.size(), static_cast<std::size_t>(kPerRecord)) << "record " << n;
    for (const JournalEntry& entry : journal) {
      EXPECT_EQ(entry.state, Outcome::Sent) << entry.number;
      const std::size_t at = entry.detail.find('@');
      ASSERT_NE(at, std::string::npos) << entry.detail;
      ++by_modem[entry.detail.substr(at + 1)];
    }
  }
  EXPECT_EQ(by_modem.size(), static_cast<std::size_t>(kModems));
  EXPECT_EQ(by_modem["COM"], static_cast<long>(SentBy(1).size()));
  EXPECT_EQ(by_modem["COM3"], static_cast<long>(SentBy(3).size()));

  // The status file lists every modem with its count.
  ASSERT_TRUE(Eventually([&] {
    const std::optional<EngineStatus> status = ReadEngineStatus(station);
    return status && status->modems.size() == kModems &&
           status->modems[1].key == "COM2" && status->modems[1].sent_today == by_modem["COM2"];
  }));
}

TEST_F(ModemPool, AModemThatVanishesMidSendLosesAndDoublesNothingAndRejoins) {
  FileOutbox();
  StartRavelin();
  ASSERT_TRUE(EventuallyDraining([&] { return SentBy(2).size() >= 5; }, {ravelin_.get()}, 60s));
  const std::size_t offset = ravelin_->output().size();
  ASSERT_TRUE(ControlModem(Spool(2), "vanish-at-send 300"));
  ASSERT_TRUE(modems_[1]->WaitForOutput("gone ", 60s));
  const std::size_t before = SentBy(2).size();
  ASSERT_TRUE(WaitUntilAllHandled()) << ravelin_->output();
  EXPECT_EQ(Repeats(), 0);
  EXPECT_GT(SentBy(2).size(), before) << "the modem did not come back to work";

  // The recipient in flight was given back and sent by another modem.
  std::string number;
  for (const std::string& line : OutputLines(ravelin_->output().substr(offset))) {
    if (line.starts_with("COM2: ") && line.find("调制解调器故障") != std::string::npos) {
      number = line.substr(6, 11);
      break;
    }
  }
  ASSERT_FALSE(number.empty()) << ravelin_->output();
  bool elsewhere = false;
  for (int m : {1, 3, 4}) {
    for (const SentSms& sms : SentBy(m)) elsewhere = elsewhere || sms.to == number;
  }
  EXPECT_TRUE(elsewhere) << number;
}

TEST_F(ModemPool, KilledTwiceMidSendRepeatsAtMostOneSmsPerModemEachTime) {
  FileOutbox();
  for (long killed_after : {100L, 250L}) {
    StartRavelin();
    ASSERT_TRUE(EventuallyDraining([&] { return Sent() >= killed_after; }, {ravelin_.get()}, 60s));
    ravelin_->Signal(SIGKILL);
    ASSERT_TRUE(ravelin_->WaitExit());
  }
  StartRavelin();
  ASSERT_TRUE(WaitUntilAllHandled()) << ravelin_->output();
  EXPECT_LE(Repeats(), 2 * kModems);
}

TEST_F(ModemPool, MessagesOnTwoModemsAreFiledOnceEachAndPartsJoinedAcrossModems) {
  StartRavelin();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(InjectSms(Spool(1), Number(900 + i), "on one " + std::to_string(i)));
    ASSERT_TRUE(InjectSms(Spool(3), Number(950 + i), "on three " + std::to_string(i)));
  }
  const std::string long_text = "first part, second part";
  const std::string parts = "from: " + Number(999) + "\nref: 7\npart-size: 11\nparts: ";
  ASSERT_TRUE(InjectMessage(Spool(2), parts + "1\n\n" + long_text));
  ASSERT_TRUE(InjectMessage(Spool(4), parts + "2,3\n\n" + long_text));
  ASSERT_TRUE(EventuallyDraining([&] { return StoredCounter(dir_, day_, "recv") == 7; },
                                 {ravelin_.get()}, 60s))
      << ravelin_->output();
  std::map<std::string, int> filed;
  for (const StoredRecord& record : StoredRecords(dir_, day_, "recv", 7)) {
    ASSERT_TRUE(record.complete()) << record.n;
    ++filed[*record.da];
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(filed["on one " + std::to_string(i)], 1);
    EXPECT_EQ(filed["on three " + std::to_string(i)], 1);
  }
  EXPECT_EQ(filed[long_text], 1);
}

}  // namespace
}  // namespace tavrel::system_test
