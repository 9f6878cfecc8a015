#include "console/mailbox_loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "store/text.h"

namespace tavrel::console {
namespace {

// What one view reads and how it treats a record without its text file.
struct ListRules {
  std::string_view box;
  std::size_t field;
  bool stop_at_missing_text;
};

constexpr ListRules kPendingRules{kNewBox, kPendingField, false};
constexpr ListRules kSentRules{kNewBox, kListField, false};
constexpr ListRules kReceivedRules{kRecvBox, kListField, true};

const std::string& ForbidMarker() {
  static const std::string marker = Gbk("禁发");
  return marker;
}

std::optional<long> ReadViewCounter(const std::string& day, std::string_view box) {
  return ReadCounter(MailboxDir(day, box), kViewCounterBytes);
}

// Lists records first..last of the mailbox in ascending order; positions
// count only the rows appended, so they run on without gaps.
void ListRange(const std::string& day, const ListRules& rules, long first, long last,
               ListSink& sink) {
  const std::string dir = MailboxDir(day, rules.box);
  long position = 0;
  for (long n = first; n <= last; ++n) {
    if (sink.Replaced()) return;
    std::optional<std::string> text = ReadRecordField(RecordPath(dir, "DA", n), rules.field);
    // A text without its recipients file is as incomplete as one without text.
    std::optional<std::string> recipients =
        text ? ReadRecordField(RecordPath(dir, "R", n), rules.field) : std::nullopt;
    if (!recipients) {
      if (rules.stop_at_missing_text) return;
      continue;
    }
    const bool forbidden = !recipients->empty() && (*recipients)[0] == '*';
    RowValues values;
    values.reserve(forbidden ? 6 : 5);
    values.push_back(std::to_string(++position));
    values.push_back(std::to_string(n));
    values.push_back(std::move(*recipients));
    values.push_back(std::move(*text));
    values.push_back(ReadRecordTime(RecordPath(dir, "H", n)));
    if (forbidden) values.push_back(ForbidMarker());
    sink.Append(std::move(values));
  }
}

}  // namespace

void LoadPendingList(const std::string& today, ListSink& sink) {
  const std::optional<long> written = ReadViewCounter(today, kNewBox);
  if (!written) return;  // the list stays as it was
  const std::optional<long> handled = ReadViewCounter(today, kSendBox);
  const long last = *written < 1 ? 1 : *written;
  const long first = handled && *handled >= 1 ? *handled + 1 : 1;
  sink.Clear();
  ListRange(today, kPendingRules, first, last, sink);
}

void LoadSentList(const std::string& day, ListSink& sink) {
  sink.Clear();
  const std::optional<long> handled = ReadViewCounter(day, kSendBox);
  if (!handled) return;
  ListRange(day, kSentRules, 1, *handled, sink);
}

void LoadReceivedList(const std::string& day, ListSink& sink) {
  sink.Clear();
  const std::optional<long> received = ReadViewCounter(day, kRecvBox);
  if (!received) return;
  ListRange(day, kReceivedRules, 1, *received < 1 ? 1 : *received, sink);
}

std::optional<std::string> ReadRecordField(const std::string& path, std::size_t field) {
  if (field == 0) return std::string();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const std::size_t keep = field - 1;
  // Every kept byte costs at most two bytes on disk (CR LF), and one more
  // tells whether a CR at the edge belongs to a line end.
  std::string raw(2 * keep + 1, '\0');
  std::size_t got = 0;
  while (got < raw.size()) {
    const ssize_t n = ::read(fd, raw.data() + got, raw.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;  // a directory opens but does not read
    }
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  raw.resize(got);
  std::string text = FromTextMode(raw);
  text.resize(std::min({text.size(), keep, text.find('\0')}));
  return text;
}

std::string RowText(const RowValues& values) {
  std::string text;
  for (const std::string& value : values) {
    text += value;
    text += "\r\n";
  }
  return text;
}

std::string RowField(const RowValues& values, int k) {
  return SplitField(RowText(values), k, '\n').field;
}

long RowRecordNumber(const RowValues& values) { return AtoL(RowField(values, 2)); }

std::string RowFieldLine(const RowValues& values, int k) {
  std::string field = RowField(values, k);
  if (!field.empty() && field.back() == '\r') field.pop_back();
  return field;
}

bool RewriteRecordFile(const std::string& path, std::string_view text) {
  const std::string draft = path + ".edit" + std::to_string(::getpid());
  if (!WriteTextFile(draft, text, Durability::Flushed)) {
    ::unlink(draft.c_str());
    return false;
  }
  if (::rename(draft.c_str(), path.c_str()) != 0) {
    ::unlink(draft.c_str());
    return false;
  }
  return true;
}

}  // namespace tavrel::console
