#include "store/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/codepage.h"
#include "store/recipient_list.h"

namespace tavrel {
namespace {

constexpr std::array<std::string_view, 5> kOutcomeNames = {"sent", "failed", "skipped",
                                                           "delivered", "undelivered"};
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kReadPiece = 64 * 1024;

std::string Shown(std::string_view number) {
  std::string out(number);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '|') c = '?';
  }
  return out;
}

bool ParseIndex(std::string_view text, long* index) {
  if (text.empty() || text.size() > 9) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return false;
  *index = value;
  return true;
}

// Feeds the complete lines of the file from offset on to take, reading it in
// pieces, until take returns false. The offset just past the last line
// taken.
template <typename Take>
long long ForEachLine(const std::string& path, long long offset, Take take) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return offset;
  if (offset > 0 && ::lseek(fd, offset, SEEK_SET) != offset) {
    ::close(fd);
    return offset;
  }
  std::string pending;
  std::string buffer(kReadPiece, '\0');
  bool more = true;
  while (more) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer.data(), static_cast<std::size_t>(n));
    std::size_t start = 0;
    while (more) {
      std::size_t end = pending.find(kLineEnd, start);
      if (end == std::string::npos) break;
      if (auto entry = ParseJournalLine(std::string_view(pending).substr(start, end - start))) {
        more = take(*entry);
      }
      start = end + kLineEnd.size();
    }
    offset += static_cast<long long>(start);
    pending.erase(0, start);
  }
  ::close(fd);
  return offset;
}

// "2026-12-7 09:05:03" as seconds of the local clock; nullopt when it is not
// such a time.
std::optional<long long> StampSeconds(const std::string& stamp) {
  std::tm local{};
  char rest = 0;
  if (std::sscanf(stamp.c_str(), "%d-%d-%d %d:%d:%d%c", &local.tm_year, &local.tm_mon,
                  &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &rest) != 6) {
    return std::nullopt;
  }
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<long long>(seconds);
}

// How many line times the rate is measured over: recent enough to follow a
// modem that slows down, long enough to smooth the seconds' grain.
constexpr std::size_t kRateWindow = 64;

}  // namespace

std::string_view OutcomeName(Outcome outcome) {
  return kOutcomeNames[static_cast<std::size_t>(outcome)];
}

std::optional<Outcome> OutcomeFromName(std::string_view name) {
  for (std::size_t i = 0; i < kOutcomeNames.size(); ++i) {
    if (kOutcomeNames[i] == name) return static_cast<Outcome>(i);
  }
  return std::nullopt;
}

bool IsFinal(Outcome outcome) {
  return outcome == Outcome::Sent || outcome == Outcome::Failed || outcome == Outcome::Skipped;
}

std::string FormatJournalLine(const JournalEntry& entry) {
  std::string line = std::to_string(entry.index);
  line += '|';
  line += Shown(entry.number);
  line += '|';
  line += OutcomeName(entry.state);
  line += '|';
  line += entry.time;
  line += '|';
  // The detail is the last field: only a line end could break it.
  for (char c : entry.detail) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += kLineEnd;
  return line;
}

std::optional<JournalEntry> ParseJournalLine(std::string_view line) {
  std::string_view fields[4];
  for (std::string_view& field : fields) {
    std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    field = line.substr(0, bar);
    line.remove_prefix(bar + 1);
  }
  JournalEntry entry;
  if (!ParseIndex(fields[0], &entry.index)) return std::nullopt;
  std::optional<Outcome> state = OutcomeFromName(fields[2]);
  if (!state) return std::nullopt;
  entry.number = std::string(fields[1]);
  entry.state = *state;
  entry.time = std::string(fields[3]);
  entry.detail = std::string(line);
  return entry;
}

std::vector<JournalEntry> ParseJournal(std::string_view bytes) {
  std::vector<JournalEntry> entries;
  for (;;) {
    std::size_t end = bytes.find(kLineEnd);
    if (end == std::string_view::npos) break;
    if (auto entry = ParseJournalLine(bytes.substr(0, end))) entries.push_back(std::move(*entry));
    bytes.remove_prefix(end + kLineEnd.size());
  }
  return entries;
}

std::string JournalPath(const Station& station, std::string_view day, long n) {
  return station.Path(std::string(day) + "/send/J" + std::to_string(n));
}

void JournalSummary::Add(const JournalEntry& entry) {
  ++lines_;
  ++counts_[static_cast<std::size_t>(entry.state)];
  if (!IsFinal(entry.state)) return;
  const std::size_t at = static_cast<std::size_t>(entry.index - 1);
  if (at >= final_.size()) final_.resize(at + 1, false);
  if (final_[at]) --counts_[static_cast<std::size_t>(entry.state)];  // a repeat counts once
  final_[at] = true;
}

bool JournalSummary::Finished(long index) const {
  const std::size_t at = static_cast<std::size_t>(index - 1);
  return index >= 1 && at < final_.size() && final_[at];
}

long JournalSummary::FirstOpen() const {
  long index = 1;
  while (Finished(index)) ++index;
  return index;
}

JournalSummary SummariseJournal(const Station& station, std::string_view day, long n) {
  JournalSummary summary;
  ForEachLine(JournalPath(station, day, n), 0, [&](const JournalEntry& e) {
    summary.Add(e);
    return true;
  });
  return summary;
}

std::vector<JournalEntry> ReadJournal(const Station& station, std::string_view day, long n) {
  std::vector<JournalEntry> entries;
  ForEachLine(JournalPath(station, day, n), 0, [&](const JournalEntry& e) {
    entries.push_back(e);
    return true;
  });
  return entries;
}

void ForEachJournalEntry(const Station& station, std::string_view day, long n,
                         const std::function<bool(const JournalEntry&)>& take) {
  ForEachLine(JournalPath(station, day, n), 0, take);
}

std::string OutcomeText(const JournalSummary& summary, long recipients) {
  if (summary.Empty()) return {};
  std::string text = std::to_string(summary.Count(Outcome::Sent)) + "/" +
                     std::to_string(recipients) + Gbk(" 已发");
  const auto add = [&](long count, const char* what_utf8) {
    if (count > 0) text += Gbk("，") + std::to_string(count) + Gbk(what_utf8);
  };
  add(summary.Count(Outcome::Failed), " 失败");
  add(summary.Count(Outcome::Skipped), " 跳过");
  add(recipients - summary.Finals(), " 待发");
  // Delivery reports, once any came: delivered of those sent.
  if (summary.Count(Outcome::Delivered) + summary.Count(Outcome::Undelivered) > 0) {
    text += Gbk("，") + std::to_string(summary.Count(Outcome::Delivered)) + "/" +
            std::to_string(summary.Count(Outcome::Sent)) + Gbk(" 已送达");
  }
  return text;
}

JournalFollower::JournalFollower(const Station& station, std::string_view day, long n)
    : path_(JournalPath(station, day, n)) {}

void JournalFollower::Update() {
  offset_ = ForEachLine(path_, offset_, [&](const JournalEntry& e) {
    summary_.Add(e);
    if (!IsFinal(e.state)) return true;
    if (std::optional<long long> seconds = StampSeconds(e.time)) {
      recent_.push_back(*seconds);
      if (recent_.size() > kRateWindow) recent_.pop_front();
    }
    return true;
  });
}

std::optional<double> JournalFollower::Rate() const {
  if (recent_.size() < 2 || recent_.back() <= recent_.front()) return std::nullopt;
  return static_cast<double>(recent_.size() - 1) /
         static_cast<double>(recent_.back() - recent_.front());
}

Result<Refiled> FileUnsentAgain(const Station& station, std::string_view day, long n) {
  // Which lines to file again, by index: one bit a recipient.
  std::vector<bool> again;
  ForEachJournalEntry(station, day, n, [&](const JournalEntry& e) {
    if (e.state != Outcome::Failed && e.state != Outcome::Skipped) return true;
    const std::size_t at = static_cast<std::size_t>(e.index - 1);
    if (at >= again.size()) again.resize(at + 1, false);
    again[at] = true;
    return true;
  });
  const std::optional<std::string> text =
      ReadRecordFile(station, day, kNewBox, RecordPart::Text, n);
  RecipientReader reader(RecordFilePath(station, day, kNewBox, RecordPart::Recipients, n));
  if (!text || !reader.ok()) {
    return Error{Gbk("无法读取短信记录 ") + RecordFileName(day, kNewBox, RecordPart::Recipients, n),
                 "record " + std::to_string(n) + " of " + std::string(day) + " cannot be read"};
  }
  Refiled refiled;
  std::string recipients;
  std::size_t at = 0;
  while (std::optional<std::string> line = reader.Next()) {
    if (at < again.size() && again[at]) {
      std::string key = RecipientKey(*line);
      key.erase(0, key.find_first_not_of(kForbidMark));
      recipients += key + "\n";
      ++refiled.recipients;
    }
    ++at;
  }
  if (refiled.recipients == 0) return refiled;
  OutboxResult filed = WriteOutboxRecord(station, recipients, *text);
  if (!filed) return filed.error();
  refiled.record = filed.value();
  return refiled;
}

JournalWriter::JournalWriter(const Station& station, std::string_view day, long n)
    : path_(JournalPath(station, day, n)) {}

JournalWriter::~JournalWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool JournalWriter::Open() {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error_ = "cannot open " + path_ + ": " + std::strerror(errno);
    return false;
  }
  // A crash in the middle of an append leaves a line without its end; cut
  // it away so the next line is not glued to it.
  struct stat st {};
  if (::fstat(fd_, &st) != 0) st.st_size = 0;
  off_t keep = st.st_size;
  char tail[2] = {0, 0};
  while (keep > 0) {
    const off_t at = keep >= 2 ? keep - 2 : 0;
    if (keep >= 2 && ::pread(fd_, tail, 2, at) == 2 && tail[0] == '\r' && tail[1] == '\n') break;
    --keep;
  }
  if (keep != st.st_size && ::ftruncate(fd_, keep) != 0) {
    error_ = "cannot cut the torn last line of " + path_ + ": " + std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

bool JournalWriter::Append(const JournalEntry& entry) {
  if (fd_ < 0 && !Open()) return false;
  const std::string line = FormatJournalLine(entry);
  const ssize_t written = ::write(fd_, line.data(), line.size());
  if (written != static_cast<ssize_t>(line.size())) {
    error_ = "cannot append to " + path_ + ": " +
             (written < 0 ? std::strerror(errno) : "the disk took only part of the line");
    // The part that went out is cut away before the next append.
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  if (::fdatasync(fd_) != 0) {
    error_ = "cannot sync " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tavrel
