#pragma once
// The outcome journal send/J<n> of a day folder: one line per outcome of a
// recipient of outbox record n, appended and synced before the next
// recipient is tried, so that a crash repeats at most the one recipient in
// flight. Other programs read it; its bytes are a contract:
//
//   index|number|state|time|detail CR LF      (GBK)
//
// index counts the lines of R<n> from 1; number is the recipient as resolved
// through the customer catalogue, with bytes below 0x20 (and '|', which would
// split the line) shown as '?'; time has the H files' form
// (2026-12-7 09:05:03). A last line without its CR LF is an append cut by a
// crash and is not part of the journal.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/station.h"
#include "store/record_store.h"

namespace tavrel {

enum class Outcome { Sent, Failed, Skipped, Delivered, Undelivered };

std::string_view OutcomeName(Outcome outcome);  // "sent", "failed", ...
std::optional<Outcome> OutcomeFromName(std::string_view name);
// Sent, failed and skipped end a recipient; the delivery outcomes come later.
bool IsFinal(Outcome outcome);

struct JournalEntry {
  long index = 0;
  std::string number;
  Outcome state = Outcome::Sent;
  std::string time;
  std::string detail;
};

// One line with its CR LF.
std::string FormatJournalLine(const JournalEntry& entry);
// A line without its line end; nullopt when it is not a journal line.
std::optional<JournalEntry> ParseJournalLine(std::string_view line);
// Every complete line of a journal's bytes, in order; lines that are not
// journal lines are passed over.
std::vector<JournalEntry> ParseJournal(std::string_view bytes);

std::string JournalPath(const Station& station, std::string_view day, long n);

// What a record's journal says so far, small whatever the recipient count:
// counts per state and, for resuming, which indexes have a final state.
class JournalSummary {
 public:
  void Add(const JournalEntry& entry);
  bool Finished(long index) const;  // index has a final state
  // The first index (from 1) without a final state.
  long FirstOpen() const;
  long Count(Outcome outcome) const { return counts_[static_cast<std::size_t>(outcome)]; }
  long Finals() const { return Count(Outcome::Sent) + Count(Outcome::Failed) + Count(Outcome::Skipped); }
  bool Empty() const { return lines_ == 0; }

 private:
  std::vector<bool> final_;  // by index - 1
  long counts_[5] = {0, 0, 0, 0, 0};
  long lines_ = 0;
};

// Reads send/J<n> of day; an absent journal is an empty summary. The file is
// read in pieces, never whole.
JournalSummary SummariseJournal(const Station& station, std::string_view day, long n);
// Every entry of send/J<n> (for views and retry); empty when absent.
std::vector<JournalEntry> ReadJournal(const Station& station, std::string_view day, long n);
// The entries of send/J<n> one at a time, read in pieces, until take
// returns false; nothing when the journal is absent.
void ForEachJournalEntry(const Station& station, std::string_view day, long n,
                         const std::function<bool(const JournalEntry&)>& take);

// The record's outcome as the views, the API and the command line show it
// (GBK): "5/5 已发", "3/5 已发，1 失败，1 跳过", with "2 待发" for recipients
// not yet tried and, once delivery reports came, "3/5 已送达" (delivered of
// those sent); empty when the journal says nothing yet.
std::string OutcomeText(const JournalSummary& summary, long recipients);

// A journal that is being written, read as it grows: each Update reads only
// what was appended since the last one, so watching a send of a hundred
// thousand recipients costs what the new lines cost.
class JournalFollower {
 public:
  JournalFollower(const Station& station, std::string_view day, long n);

  void Update();
  const JournalSummary& summary() const { return summary_; }
  // Recipients ended per second, measured over the times of the last lines
  // read; nullopt while they do not span a second yet.
  std::optional<double> Rate() const;

 private:
  std::string path_;
  long long offset_ = 0;  // the end of the last complete line read
  JournalSummary summary_;
  std::deque<long long> recent_;  // seconds of the last final lines
};

// The retry of the sent view: the recipients of day's record n whose journal
// says failed or skipped are filed again, with the record's text, as a new
// record of today's outbox (each as its recipient key, without a forbid
// mark). The new record's number and day, and how many recipients it has;
// nothing is filed when there are none.
struct Refiled {
  FiledRecord record;
  long recipients = 0;
};
Result<Refiled> FileUnsentAgain(const Station& station, std::string_view day, long n);

// Appends to one record's journal. Each Append is one write followed by a
// sync. A line cut by a crash at the end of the file is cut away before the
// first append, so the next line starts on a line of its own.
class JournalWriter {
 public:
  JournalWriter(const Station& station, std::string_view day, long n);
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // False, with the reason in error(), when the line did not reach the disk.
  [[nodiscard]] bool Append(const JournalEntry& entry);
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  bool Open();

  std::string path_;
  int fd_ = -1;
  std::string error_;
};

}  // namespace tavrel
