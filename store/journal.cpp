#include "store/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

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

// Feeds every complete line of the file to take, reading it in pieces.
template <typename Take>
void ForEachLine(const std::string& path, Take take) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::string pending;
  std::string buffer(kReadPiece, '\0');
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer.data(), static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (;;) {
      std::size_t end = pending.find(kLineEnd, start);
      if (end == std::string::npos) break;
      if (auto entry = ParseJournalLine(std::string_view(pending).substr(start, end - start))) {
        take(*entry);
      }
      start = end + kLineEnd.size();
    }
    pending.erase(0, start);
  }
  ::close(fd);
}

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
  ForEachLine(JournalPath(station, day, n), [&](const JournalEntry& e) { summary.Add(e); });
  return summary;
}

std::vector<JournalEntry> ReadJournal(const Station& station, std::string_view day, long n) {
  std::vector<JournalEntry> entries;
  ForEachLine(JournalPath(station, day, n), [&](const JournalEntry& e) { entries.push_back(e); });
  return entries;
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
