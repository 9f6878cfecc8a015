#include "store/day_figures.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "store/record_store.h"

namespace tavrel {
namespace {

// The hour of a stamp "2026-12-7 09:05:03"; nullopt when it has none.
std::optional<int> HourOf(std::string_view stamp) {
  const std::size_t at = stamp.find(' ');
  if (at == std::string_view::npos || at + 2 >= stamp.size()) return std::nullopt;
  const char tens = stamp[at + 1], ones = stamp[at + 2];
  if (tens < '0' || tens > '2' || ones < '0' || ones > '9') return std::nullopt;
  const int hour = (tens - '0') * 10 + (ones - '0');
  if (hour > 23) return std::nullopt;
  return hour;
}

// The whole lines of path from byte `from` on (ending with the last CR LF);
// empty when there are none yet or the file cannot be read.
std::string LinesFrom(const std::string& path, std::uint64_t from) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) > from) {
    bytes.resize(static_cast<std::size_t>(info.st_size - from));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n =
          ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(from + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
  }
  ::close(fd);
  const std::size_t end = bytes.rfind("\r\n");
  bytes.resize(end == std::string::npos ? 0 : end + 2);
  return bytes;
}

void Count(OutcomeCounts& counts, const JournalEntry& entry) {
  ++counts[static_cast<std::size_t>(entry.state)];
}

long Lines(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<long>(std::count(text.begin(), text.end(), '\n')) +
         (text.back() == '\n' ? 0 : 1);
}

}  // namespace

const DayFigures& DayTally::Update(const Station& station, const std::string& day) {
  if (figures_.day != day) {
    figures_ = DayFigures{};
    figures_.day = day;
    journal_bytes_.clear();
  }
  figures_.records = std::max(0L, ReadMailboxCounter(station, day, kNewBox).value_or(0));
  figures_.finished = std::max(0L, ReadMailboxCounter(station, day, kSendBox).value_or(0));
  if (journal_bytes_.size() < static_cast<std::size_t>(figures_.records)) {
    journal_bytes_.resize(static_cast<std::size_t>(figures_.records), 0);
  }
  for (long n = 1; n <= figures_.records; ++n) {
    std::uint64_t& counted = journal_bytes_[static_cast<std::size_t>(n - 1)];
    const std::string lines = LinesFrom(JournalPath(station, day, n), counted);
    counted += lines.size();
    for (const JournalEntry& entry : ParseJournal(lines)) {
      Count(figures_.outcomes, entry);
      const std::optional<int> hour = HourOf(entry.time);
      if (entry.state == Outcome::Sent && hour) ++figures_.sent_by_hour[*hour];
    }
  }
  const long received = ReadMailboxCounter(station, day, kRecvBox).value_or(0);
  for (long n = figures_.received + 1; n <= received; ++n) {
    const std::optional<int> hour =
        HourOf(ReadRecordTime(RecordFilePath(station, day, kRecvBox, RecordPart::Header, n)));
    if (hour) ++figures_.received_by_hour[*hour];
  }
  figures_.received = std::max(figures_.received, received);
  return figures_;
}

std::vector<RecordOutcome> ReadRecordOutcomes(const Station& station, const std::string& day,
                                              long after, long limit) {
  std::vector<RecordOutcome> records;
  const long filed = ReadMailboxCounter(station, day, kNewBox).value_or(0);
  const long finished = ReadMailboxCounter(station, day, kSendBox).value_or(0);
  for (long n = std::max(0L, after) + 1; n <= filed && n <= after + limit; ++n) {
    RecordOutcome record;
    record.record = n;
    record.time = ReadRecordTime(RecordFilePath(station, day, kNewBox, RecordPart::Header, n));
    record.text = ReadRecordFile(station, day, kNewBox, RecordPart::Text, n).value_or("");
    record.recipients =
        Lines(ReadRecordFile(station, day, kNewBox, RecordPart::Recipients, n).value_or(""));
    long finals = 0;
    for (JournalEntry& entry : ReadJournal(station, day, n)) {
      Count(record.outcomes, entry);
      if (IsFinal(entry.state)) ++finals;
      if (entry.state == Outcome::Failed || entry.state == Outcome::Skipped ||
          entry.state == Outcome::Undelivered) {
        record.problems.push_back(std::move(entry));
      }
    }
    // A record the engine has finished has no recipient left to try.
    record.queued = n <= finished ? 0 : std::max(0L, record.recipients - finals);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace tavrel
