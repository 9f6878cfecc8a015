#include "tests/console/views_fixture.h"
#include "platform/station.h"

#include <cstdio>

#include "platform/textfile.h"
#include "store/record_store.h"
#include "store/text.h"

namespace tavrel::console {

std::string StampOf(const std::string& day, long n) {
  char time[16];
  std::snprintf(time, sizeof time, " 10:00:%02ld", n % 60);
  return day + time;
}

void PutRecord(const Station& station, const std::string& day, std::string_view box, long n,
               std::string_view recipients, std::optional<std::string_view> text) {
  EnsureDayFolder(station, day);
  const std::string dir = MailboxDir(station, day, box);
  ASSERT_TRUE(WriteTextFile(RecordPath(dir, "R", n), recipients));
  const std::string stamp = StampOf(day, n);
  ASSERT_TRUE(WriteTextFile(RecordPath(dir, "H", n),
                            box == kRecvBox ? InboxHeader(stamp) : OutboxHeader(stamp)));
  if (text) {
    ASSERT_TRUE(WriteTextFile(RecordPath(dir, "DA", n), *text));
  }
}

void PutRecords(const Station& station, const std::string& day, std::string_view box, long n) {
  for (long i = 1; i <= n; ++i) {
    PutRecord(station, day, box, i, "1380000000" + std::to_string(i), "text " + std::to_string(i));
  }
}

void PutCounter(const Station& station, const std::string& day, std::string_view box,
                std::string_view bytes) {
  EnsureDayFolder(station, day);
  ASSERT_TRUE(WriteTextFile(CounterPath(MailboxDir(station, day, box)), bytes));
}

std::vector<long> Numbers(const std::vector<RowValues>& rows) {
  std::vector<long> numbers;
  for (const RowValues& row : rows) numbers.push_back(AtoL(row.at(1)));
  return numbers;
}

}  // namespace tavrel::console
