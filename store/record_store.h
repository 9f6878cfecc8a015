#pragma once
// The day-folder message store: DayFolder/{new,send,recv,qury}, records
// R<n>, H<n>, DA<n> and the counter acc of each mailbox.
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

inline constexpr std::string_view kNewBox = "new";
inline constexpr std::string_view kSendBox = "send";
inline constexpr std::string_view kRecvBox = "recv";
inline constexpr std::string_view kQuryBox = "qury";

std::string MailboxDir(std::string_view day, std::string_view box);          // day/box
std::string RecordPath(const std::string& mailbox_dir, std::string_view kind, long n);  // dir/R7
std::string CounterPath(const std::string& mailbox_dir);                      // dir/acc

void EnsureDayFolder(const std::string& day);

// nullopt when acc is absent or cannot be opened; otherwise its first
// max_bytes bytes converted like atol.
std::optional<long> ReadCounter(const std::string& mailbox_dir, std::size_t max_bytes = 9);
// Replaces acc atomically with n ("%d", no line end). False on failure.
bool WriteCounter(const std::string& mailbox_dir, long n);

// ';' -> LF, except a ';' whose byte two positions further on is a LF.
std::string ApplyRecipientListRule(std::string_view recipients);
std::string OutboxHeader(const std::string& stamp);  // the six lines of new, LF-ended
std::string InboxHeader(const std::string& stamp);   // the five lines of recv

enum class CounterRule {
  Ravelin,  // absent or below 1 -> 1, else value + 1
  Quillon,  // absent -> 1, else value + 1; an unreadable existing acc fails;
            // the counter write is retried 10 more times, 1000 ms apart
};

struct OutboxResult {
  bool ok = false;
  long number = 0;      // the record filed, when ok
  std::string error;    // what went wrong, when not ok
};

// Files one record in today's new mailbox under the mailbox lock; the
// counter advances only after R, H and DA are complete on disk.
OutboxResult WriteOutboxRecord(std::string_view recipients, std::string_view text,
                               CounterRule rule = CounterRule::Ravelin);

std::optional<std::string> ReadRecordFile(const std::string& path);
std::string ReadRecordTime(const std::string& header_path);  // at most 19 chars

}  // namespace tavrel
