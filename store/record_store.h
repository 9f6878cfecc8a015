#pragma once
// The day-folder message store: DayFolder/{new,send,recv,qury}, records
// R<n>, H<n>, DA<n> and the counter acc of each mailbox.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrel {

inline constexpr std::string_view kNewBox = "new";
inline constexpr std::string_view kSendBox = "send";
inline constexpr std::string_view kRecvBox = "recv";
inline constexpr std::string_view kQuryBox = "qury";

// Counters are read from at most this many bytes by the writers and the
// engine; the mailbox views read at most kViewCounterBytes.
inline constexpr std::size_t kCounterBytes = 9;
inline constexpr std::size_t kViewCounterBytes = 8;

std::string MailboxDir(std::string_view day, std::string_view box);          // day/box
std::string RecordPath(const std::string& mailbox_dir, std::string_view kind, long n);  // dir/R7
std::string CounterPath(const std::string& mailbox_dir);                      // dir/acc

void EnsureDayFolder(const std::string& day);

// nullopt when acc is absent or cannot be opened; otherwise its first line,
// at most max_bytes bytes, converted like atol.
std::optional<long> ReadCounter(const std::string& mailbox_dir,
                                std::size_t max_bytes = kCounterBytes);
// Replaces acc atomically with n ("%d", no line end), flushed to disk, under
// the mailbox lock. False on failure.
bool WriteCounter(const std::string& mailbox_dir, long n);

// The exclusive lock of one mailbox (the file "lock" inside it), between
// threads and processes alike. Every creating writer of a mailbox holds it
// from reading the counter to replacing it. Not reentrant: a thread that
// holds it must not take it again, nor call WriteCounter on that mailbox.
class MailboxLock {
 public:
  explicit MailboxLock(const std::string& mailbox_dir);  // blocks until held
  ~MailboxLock();
  MailboxLock(const MailboxLock&) = delete;
  MailboxLock& operator=(const MailboxLock&) = delete;
  bool Held() const { return fd_ >= 0; }  // false when the lock file cannot be made

 private:
  int fd_ = -1;
};

// ';' -> LF, except a ';' whose byte two positions further on is a LF. The
// text ends at its first NUL, as the field it was copied into did.
std::string ApplyRecipientListRule(std::string_view recipients);
std::string OutboxHeader(const std::string& stamp);  // the six lines of new, LF-ended
std::string InboxHeader(const std::string& stamp);   // the five lines of recv

// With either rule an acc that exists but cannot be read fails the writer
// before anything is written.
enum class CounterRule {
  RestartBelowOne,         // absent or below 1 -> 1, else value + 1
  RefuseNegativeAndRetry,  // absent -> 1, else value + 1 (a negative acc
                           // fails); the counter write is retried 10 more
                           // times, 1000 ms apart
};

struct FiledRecord {
  long number = 0;  // the record filed
  std::string day;  // the DayFolder it was filed in
};
// On failure nothing was counted; the error's text names what could not be
// done and the path concerned.
using OutboxResult = Result<FiledRecord>;

// Called once the counter's replacement is open for writing and before n is
// written into it (Quillon shows the text and n at that moment). It runs with
// the mailbox lock held: it must not wait for another writer of the store.
using CounterOpenHook = std::function<void(long n)>;

// Files one record in today's new mailbox under the mailbox lock; the
// counter advances only after R, H and DA are complete on disk.
OutboxResult WriteOutboxRecord(std::string_view recipients, std::string_view text,
                               CounterRule rule = CounterRule::RestartBelowOne,
                               const CounterOpenHook& on_counter_open = nullptr);

std::optional<std::string> ReadRecordFile(const std::string& path);
std::string ReadRecordTime(const std::string& header_path);  // at most 19 chars

}  // namespace tavrel
