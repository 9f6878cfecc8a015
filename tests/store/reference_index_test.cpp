// The station state that lets delivery reports find their recipients, and
// the concatenation reference each modem counts.
#include <gtest/gtest.h>

#include "store/reference_index.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;
using testing::WriteBytes;

constexpr std::time_t kDay = 24 * 60 * 60;
constexpr std::time_t kNow = 1796600000;

SentMessage Sent(std::string modem, std::string number, std::string day, long record, long index,
                 std::vector<int> references) {
  SentMessage message;
  message.modem = std::move(modem);
  message.number = std::move(number);
  message.day = std::move(day);
  message.record = record;
  message.index = index;
  message.references = std::move(references);
  return message;
}

TEST(ReferenceIndex, NumbersCompareInTheirNationalForm) {
  const std::pair<const char*, const char*> rows[] = {
      {"13800000000", "13800000000"},    {"8613800000000", "13800000000"},
      {"+8613800000000", "13800000000"}, {"+4412345678901", "+4412345678901"},
      {"861380000000", "861380000000"},  {"10086", "10086"},
  };
  for (const auto& [number, national] : rows) EXPECT_EQ(NationalNumber(number), national) << number;
}

TEST(ReferenceIndex, ConcatenationReferencesCountPerModemAcrossRestartsAndWrap) {
  TempWorkDir dir;
  bool kept = false;
  EXPECT_EQ(TakeConcatReference(dir.station(), "COM", &kept), 1);
  EXPECT_TRUE(kept);
  EXPECT_EQ(TakeConcatReference(dir.station(), "COM", &kept), 2);
  EXPECT_EQ(TakeConcatReference(dir.station(), "COM2", &kept), 1);
  EXPECT_EQ(ReadBytes(dir.Path("state/concat/COM")), "2");
  WriteBytes(dir.Path("state/concat/COM"), "255");
  EXPECT_EQ(TakeConcatReference(dir.station(), "COM", &kept), 0);
  EXPECT_EQ(TakeConcatReference(dir.station(), "COM", &kept), 1);
}

TEST(ReferenceIndex, AReportFindsTheMostRecentSendOfItsModemAndNumberAcrossDays) {
  TempWorkDir dir;
  const Station& station = dir.station();
  ASSERT_TRUE(
      NoteSentMessage(station, kNow - kDay, Sent("COM", "13800000000", "2026-12-6", 4, 2, {17})));
  ASSERT_TRUE(
      NoteSentMessage(station, kNow - kDay, Sent("COM", "13800000000", "2026-12-6", 4, 3, {20})));
  ASSERT_TRUE(NoteSentMessage(station, kNow - 60,
                              Sent("COM", "8613800000000", "2026-12-7", 1, 5, {16, 17, 18})));
  ASSERT_TRUE(
      NoteSentMessage(station, kNow - 30, Sent("COM2", "13800000000", "2026-12-7", 2, 1, {17})));
  // Older than the seven days a report is waited for: forgotten.
  ASSERT_TRUE(NoteSentMessage(station, kNow - 8 * kDay,
                              Sent("COM", "13900000000", "2026-11-29", 1, 1, {9})));

  ReferenceIndex index(station, kNow);
  const std::optional<ReportMatch> latest = index.Find("COM", 17, "+8613800000000");
  ASSERT_TRUE(latest);
  EXPECT_EQ(index.message(*latest).day, "2026-12-7");
  EXPECT_EQ(index.message(*latest).record, 1);
  EXPECT_EQ(index.message(*latest).index, 5);
  EXPECT_EQ(latest->part, 1u);
  EXPECT_FALSE(index.Find("COM", 99, "13800000000"));
  EXPECT_FALSE(index.Find("COM", 9, "13900000000"));
  const std::optional<ReportMatch> yesterday = index.Find("COM", 20, "13800000000");
  ASSERT_TRUE(yesterday);
  EXPECT_EQ(index.message(*yesterday).day, "2026-12-6");
  EXPECT_EQ(index.message(*yesterday).index, 3);

  // Reports survive a restart; the message is complete with its last part.
  ASSERT_TRUE(index.NoteReport(*latest, 0x00));
  ASSERT_TRUE(index.NoteReport(*index.Find("COM", 16, "13800000000"), 0x46));
  EXPECT_FALSE(index.message(*latest).Complete());
  ReferenceIndex again(station, kNow);
  const std::optional<ReportMatch> last = again.Find("COM", 18, "13800000000");
  ASSERT_TRUE(last);
  EXPECT_FALSE(again.message(*last).Complete());
  ASSERT_TRUE(again.NoteReport(*last, 0x00));
  const SentMessage& message = again.message(*last);
  EXPECT_TRUE(message.Complete());
  EXPECT_EQ(message.statuses[0], 0x46);
  EXPECT_EQ(message.statuses[1], 0x00);
  // The forgotten line is gone from the file too.
  EXPECT_EQ(ReadBytes(dir.Path("state/references")).find("2026-11-29"), std::string::npos);
}

}  // namespace
}  // namespace tavrel
