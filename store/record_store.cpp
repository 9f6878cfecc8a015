#include "store/record_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/field_text.h"
#include "platform/pace.h"
#include "platform/profile.h"
#include "platform/textfile.h"
#include "store/text.h"

namespace tavrel {
namespace {

constexpr int kCounterRetries = 10;
constexpr std::chrono::milliseconds kCounterRetryPause{1000};
constexpr std::chrono::milliseconds kRecordReopenPause{10};
constexpr const char* kTemporarySuffix = ".tmp";
constexpr std::size_t kStampField = 20;  // the views show at most 19 characters

// What the operator is told when a record cannot be filed; the path follows.
constexpr const char* kCannotLockText = "无法锁定发件箱：";
constexpr const char* kCannotReadCounterText = "无法读取计数文件：";
constexpr const char* kNegativeCounterText = "计数文件的数值为负：";
constexpr const char* kCannotWriteText = "无法写入文件：";

std::string ErrnoText() { return std::strerror(errno); }

Error CannotWrite(const std::string& path, const std::string& why) {
  return Error{Gbk(kCannotWriteText) + path, "cannot write " + path + ": " + why};
}

// The counter is written under a temporary name beside acc, flushed, and
// renamed over it, so a reader sees the old number or the new one, never an
// empty or half-written file, and a crash leaves acc as it was or complete.
// The caller holds the mailbox lock, which makes the fixed name safe; a
// replacement that fails takes its temporary file away again.
Result<> ReplaceCounter(const std::string& mailbox_dir, long n, const CounterOpenHook* hook) {
  const std::string acc = CounterPath(mailbox_dir);
  const std::string temporary = acc + kTemporarySuffix;
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return CannotWrite(temporary, ErrnoText());
  if (hook != nullptr && *hook) (*hook)(n);
  const std::string digits = std::to_string(n);
  bool ok = WriteAll(fd, digits) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), acc.c_str()) == 0) return {};
  Error error = CannotWrite(acc, ErrnoText());
  ::unlink(temporary.c_str());
  return error;
}

Result<> WriteRecordFile(const std::string& path, std::string_view content) {
  if (WriteTextFile(path, content, Durability::Flushed)) return {};
  return CannotWrite(path, ErrnoText());
}

}  // namespace

std::string MailboxDir(const Station& station, std::string_view day, std::string_view box) {
  return station.Path(std::string(day) + "/" + std::string(box));
}

std::string RecordPath(const std::string& mailbox_dir, std::string_view kind, long n) {
  return mailbox_dir + "/" + std::string(kind) + std::to_string(n);
}

std::string CounterPath(const std::string& mailbox_dir) { return mailbox_dir + "/acc"; }

void EnsureDayFolder(const Station& station, const std::string& day) {
  MakeDirectory(station.Path(day));
  for (std::string_view box : {kNewBox, kSendBox, kRecvBox, kQuryBox}) {
    MakeDirectory(MailboxDir(station, day, box));
  }
}

std::optional<long> ReadCounter(const std::string& mailbox_dir, std::size_t max_bytes) {
  std::optional<std::string> text = ReadTextPrefix(CounterPath(mailbox_dir), max_bytes);
  if (!text) return std::nullopt;
  return AtoL(text->substr(0, text->find('\n')));
}

bool WriteCounter(const std::string& mailbox_dir, long n) {
  MailboxLock lock(mailbox_dir);
  if (!lock.Held()) return false;
  return ReplaceCounter(mailbox_dir, n, nullptr).ok();
}

MailboxLock::MailboxLock(const std::string& mailbox_dir) {
  fd_ = ::open((mailbox_dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
}

MailboxLock::~MailboxLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
}

std::string ApplyRecipientListRule(std::string_view recipients) {
  std::string out(UpToNul(recipients));
  for (std::size_t i = 0; i < out.size(); ++i) {
    bool kept = i + 2 < out.size() && out[i + 2] == '\n';
    if (out[i] == ';' && !kept) out[i] = '\n';
  }
  return out;
}

std::string OutboxHeader(const std::string& stamp) {
  static const std::string tail = "send= \ntype=" + Gbk("查询") + "\nstat=" + Gbk("未发") +
                                  "\njrade=" + Gbk("紧急") + "\n";
  return "[HEAD]\ntime=" + stamp + "\n" + tail;
}

std::string InboxHeader(const std::string& stamp) {
  return "[HEAD]\ntime=" + stamp + "\nsend= \nstat= \njrade= \n";
}

OutboxResult WriteOutboxRecord(const Station& station, std::string_view recipients, std::string_view text,
                               CounterRule rule, const CounterOpenHook& on_counter_open) {
  const DayAndStamp now = station.Now();
  EnsureDayFolder(station, now.day);
  const std::string box = MailboxDir(station, now.day, kNewBox);
  const std::string counter_path = CounterPath(box);

  MailboxLock lock(box);
  if (!lock.Held()) {
    return Error{Gbk(kCannotLockText) + box, "cannot lock the mailbox " + box + ": " + ErrnoText()};
  }

  std::optional<long> counter = ReadCounter(box);
  // A counter that is there but cannot be read would make any writer start
  // again at 1 and overwrite the day's first records.
  if (!counter && FileExists(counter_path)) {
    return Error{Gbk(kCannotReadCounterText) + counter_path,
                 "cannot read the counter " + counter_path};
  }
  long n = 1;
  if (rule == CounterRule::RefuseNegativeAndRetry) {
    if (counter) n = *counter + 1;
    // A negative counter would file a record numbered below 1 that no reader
    // ever reaches, while the client is told it was filed.
    if (n < 1) {
      return Error{Gbk(kNegativeCounterText) + counter_path,
                   "the counter " + counter_path + " holds a negative number"};
    }
  } else if (counter && *counter >= 1) {
    n = *counter + 1;
  }

  const std::string r_path = RecordPath(box, "R", n);
  const std::string r_content = ApplyRecipientListRule(recipients);
  Result<> written = WriteRecordFile(r_path, r_content);
  if (!written) {
    PaceSleep(kRecordReopenPause);
    written = WriteRecordFile(r_path, r_content);
  }
  if (written) written = WriteRecordFile(RecordPath(box, "H", n), OutboxHeader(now.stamp));
  if (written) written = WriteRecordFile(RecordPath(box, "DA", n), UpToNul(text));
  if (!written) return written.error();

  const int tries = rule == CounterRule::RefuseNegativeAndRetry ? 1 + kCounterRetries : 1;
  bool hook_called = false;
  CounterOpenHook once = [&](long number) {
    if (!hook_called && on_counter_open) on_counter_open(number);
    hook_called = true;
  };
  Result<> counted = ReplaceCounter(box, n, &once);
  for (int attempt = 1; !counted && attempt < tries; ++attempt) {
    PaceSleep(kCounterRetryPause);
    counted = ReplaceCounter(box, n, &once);
  }
  if (!counted) return counted.error();
  return FiledRecord{n, now.day};
}

std::optional<std::string> ReadRecordFile(const std::string& path) { return ReadTextFile(path); }

std::string ReadRecordTime(const std::string& header_path) {
  return GetProfileString("HEAD", "time", "", kStampField, header_path);
}

namespace {

std::string_view PartKind(RecordPart part) {
  switch (part) {
    case RecordPart::Recipients:
      return "R";
    case RecordPart::Header:
      return "H";
    case RecordPart::Text:
      return "DA";
  }
  return {};
}

bool RewriteRecordFile(const std::string& path, std::string_view text) {
  return ReplaceFile(path, ToTextMode(text), Durability::Flushed);
}

}  // namespace

std::string RecordFileName(std::string_view day, std::string_view box, RecordPart part, long n) {
  return RecordPath(std::string(day) + "/" + std::string(box), PartKind(part), n);
}

std::string RecordFilePath(const Station& station, std::string_view day, std::string_view box,
                           RecordPart part, long n) {
  return station.Path(RecordFileName(day, box, part, n));
}

std::string CounterFileName(std::string_view day, std::string_view box) {
  return CounterPath(std::string(day) + "/" + std::string(box));
}

std::optional<long> ReadMailboxCounter(const Station& station, std::string_view day, std::string_view box,
                                       std::size_t max_bytes) {
  return ReadCounter(MailboxDir(station, day, box), max_bytes);
}

bool WriteMailboxCounter(const Station& station, std::string_view day, std::string_view box, long n) {
  return WriteCounter(MailboxDir(station, day, box), n);
}

std::optional<std::string> ReadRecordFile(const Station& station, std::string_view day, std::string_view box,
                                          RecordPart part, long n) {
  return ReadRecordFile(RecordFilePath(station, day, box, part, n));
}

std::optional<std::string> ReadRecordField(const Station& station, std::string_view day, std::string_view box,
                                           RecordPart part, long n, std::size_t field) {
  std::optional<std::string> text =
      ReadTextPrefix(RecordFilePath(station, day, box, part, n), field == 0 ? 0 : field - 1);
  if (text) text->resize(UpToNul(*text).size());
  return text;
}

std::optional<StoredRecord> ReadRecord(const Station& station, std::string_view day, std::string_view box, long n,
                                       std::size_t field) {
  std::optional<std::string> text = ReadRecordField(station, day, box, RecordPart::Text, n, field);
  if (!text) return std::nullopt;
  std::optional<std::string> recipients =
      ReadRecordField(station, day, box, RecordPart::Recipients, n, field);
  if (!recipients) return std::nullopt;
  return StoredRecord{std::move(*recipients), std::move(*text),
                      ReadRecordTime(RecordFilePath(station, day, box, RecordPart::Header, n))};
}

bool IsForbidden(std::string_view recipients) {
  return !recipients.empty() && recipients.front() == kForbidMark;
}

bool RewriteOutboxRecord(const Station& station, std::string_view day, long n, std::string_view recipients,
                         std::string_view text) {
  return RewriteRecordFile(RecordFilePath(station, day, kNewBox, RecordPart::Recipients, n), recipients) &&
         RewriteRecordFile(RecordFilePath(station, day, kNewBox, RecordPart::Text, n), text);
}

bool ForbidOutboxRecord(const Station& station, std::string_view day, long n, std::string_view recipients) {
  return RewriteRecordFile(RecordFilePath(station, day, kNewBox, RecordPart::Recipients, n),
                           kForbidMark + std::string(recipients));
}

}  // namespace tavrel
