#pragma once
// The day-folder message store: DayFolder/{new,send,recv,qury}, records
// R<n>, H<n>, DA<n> and the counter acc of each mailbox.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kNewBox = "new";
inline constexpr std::string_view kSendBox = "send";
inline constexpr std::string_view kRecvBox = "recv";
inline constexpr std::string_view kQuryBox = "qury";

// Counters are read from at most this many bytes by the writers and the
// engine; the mailbox views read at most kViewCounterBytes.
inline constexpr std::size_t kCounterBytes = 9;
inline constexpr std::size_t kViewCounterBytes = 8;

// The layout on disk, for the store itself and for tests that check bytes;
// the engine and the console go by day, mailbox and record number below.
std::string MailboxDir(const Station& station, std::string_view day, std::string_view box);          // day/box
std::string RecordPath(const std::string& mailbox_dir, std::string_view kind, long n);  // dir/R7
std::string CounterPath(const std::string& mailbox_dir);                      // dir/acc

void EnsureDayFolder(const Station& station, const std::string& day);

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
OutboxResult WriteOutboxRecord(const Station& station, std::string_view recipients, std::string_view text,
                               CounterRule rule = CounterRule::RestartBelowOne,
                               const CounterOpenHook& on_counter_open = nullptr);

std::optional<std::string> ReadRecordFile(const std::string& path);
std::string ReadRecordTime(const std::string& header_path);  // at most 19 chars

// The three files of record n: R<n>, H<n> and DA<n>.
enum class RecordPart { Recipients, Header, Text };

// The names of a record's file and of a mailbox's counter inside a station
// ("2026-12-7/new/DA7"), as the traces show them whatever the station's
// folder; RecordFilePath is where the file is.
std::string RecordFileName(std::string_view day, std::string_view box, RecordPart part, long n);
std::string CounterFileName(std::string_view day, std::string_view box);
std::string RecordFilePath(const Station& station, std::string_view day, std::string_view box,
                           RecordPart part, long n);

// ReadCounter and WriteCounter of day's mailbox box.
std::optional<long> ReadMailboxCounter(const Station& station, std::string_view day, std::string_view box,
                                       std::size_t max_bytes = kCounterBytes);
bool WriteMailboxCounter(const Station& station, std::string_view day, std::string_view box, long n);

// A record's file whole, in text mode; nullopt when it cannot be read.
std::optional<std::string> ReadRecordFile(const Station& station, std::string_view day, std::string_view box,
                                          RecordPart part, long n);
// A record's file read into a field of `field` bytes, as the views read it:
// its first field - 1 bytes of text, up to a NUL; nullopt when it cannot be
// read. A long file is read no further than the field needs.
std::optional<std::string> ReadRecordField(const Station& station, std::string_view day, std::string_view box,
                                           RecordPart part, long n, std::size_t field);

// Record n as a mailbox view lists it.
struct StoredRecord {
  std::string recipients;  // R<n>: the recipients, or the sender in recv
  std::string text;        // DA<n>
  std::string time;        // the time stamp of H<n>; empty when it has none
};
// R<n> and DA<n> each read into a field of `field` bytes, and the time stamp;
// nullopt when DA<n> or R<n> cannot be read: a record missing either file is
// incomplete.
std::optional<StoredRecord> ReadRecord(const Station& station, std::string_view day, std::string_view box, long n,
                                       std::size_t field);

// The forbid mark: a recipient list (or what is left of one from a line on)
// that begins with it is sent to nobody.
inline constexpr char kForbidMark = '*';
bool IsForbidden(std::string_view recipients);

// The modify button: R<n> of day's new becomes recipients and, only when that
// worked, DA<n> becomes text, both unchanged (no recipient-list rule). Each
// file is replaced in one step, so the engine reading it at that moment sees
// the old list or the new one, never a cut one. False when a file could not
// be replaced; it is then as it was.
bool RewriteOutboxRecord(const Station& station, std::string_view day, long n, std::string_view recipients,
                         std::string_view text);
// The forbid button: R<n> of day's new becomes the forbid mark followed by
// recipients, replaced as above.
bool ForbidOutboxRecord(const Station& station, std::string_view day, long n, std::string_view recipients);

}  // namespace tavrel
