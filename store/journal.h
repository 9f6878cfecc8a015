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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

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
