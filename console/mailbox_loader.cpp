#include "console/mailbox_loader.h"

#include <optional>

#include "platform/codepage.h"
#include "store/journal.h"
#include "store/recipient_list.h"
#include "store/record_store.h"
#include "store/text.h"

namespace tavrel::console {
namespace {

// What one view reads and how it treats a record without its text file.
struct ListRules {
  std::string_view box;
  std::size_t field;
  bool stop_at_missing_text;
  bool with_outcome = false;  // the journal's outcome after the time stamp
};

constexpr ListRules kPendingRules{kNewBox, kPendingField, false};
constexpr ListRules kSentRules{kNewBox, kListField, false, true};
constexpr ListRules kReceivedRules{kRecvBox, kListField, true};

// How many failed and skipped recipients the details list shows at most: a
// record of a hundred thousand that all failed stays a short list.
constexpr long kUnsentRowsShown = 1000;

const std::string& ForbidMarker() {
  static const std::string marker = Gbk("禁发");
  return marker;
}

std::optional<long> ReadViewCounter(const Station& station, const std::string& day, std::string_view box) {
  return ReadMailboxCounter(station, day, box, kViewCounterBytes);
}

// The sixth value of a sent row says what became of the record: the forbid
// marker, the journal's outcome, or both. A record without a journal keeps
// the five values it always had.
void AddOutcome(const Station& station, const std::string& day, long n, RowValues& values) {
  const JournalSummary summary = SummariseJournal(station, day, n);
  if (summary.Empty()) return;
  const std::string outcome =
      OutcomeText(summary, CountRecipients(station, day, n).value_or(summary.Finals()));
  if (values.size() > 5) {
    values.back() += " " + outcome;
  } else {
    values.push_back(outcome);
  }
}

// Lists records first..last of the mailbox in ascending order; positions
// count only the rows appended, so they run on without gaps.
void ListRange(const Station& station, const std::string& day, const ListRules& rules, long first, long last,
               ListSink& sink) {
  long position = 0;
  for (long n = first; n <= last; ++n) {
    if (sink.Replaced()) return;
    std::optional<StoredRecord> record = ReadRecord(station, day, rules.box, n, rules.field);
    if (!record) {
      if (rules.stop_at_missing_text) return;
      continue;
    }
    const bool forbidden = IsForbidden(record->recipients);
    RowValues values;
    values.reserve(forbidden ? 6 : 5);
    values.push_back(std::to_string(++position));
    values.push_back(std::to_string(n));
    values.push_back(std::move(record->recipients));
    values.push_back(std::move(record->text));
    values.push_back(std::move(record->time));
    if (forbidden) values.push_back(ForbidMarker());
    if (rules.with_outcome) AddOutcome(station, day, n, values);
    sink.Append(std::move(values));
  }
}

}  // namespace

void LoadPendingList(const Station& station, const std::string& today, ListSink& sink) {
  const std::optional<long> written = ReadViewCounter(station, today, kNewBox);
  if (!written) return;  // the list stays as it was
  const std::optional<long> handled = ReadViewCounter(station, today, kSendBox);
  const long last = *written < 1 ? 1 : *written;
  const long first = handled && *handled >= 1 ? *handled + 1 : 1;
  sink.Clear();
  ListRange(station, today, kPendingRules, first, last, sink);
}

void LoadSentList(const Station& station, const std::string& day, ListSink& sink) {
  sink.Clear();
  const std::optional<long> handled = ReadViewCounter(station, day, kSendBox);
  if (!handled) return;
  ListRange(station, day, kSentRules, 1, *handled, sink);
}

void LoadReceivedList(const Station& station, const std::string& day, ListSink& sink) {
  sink.Clear();
  const std::optional<long> received = ReadViewCounter(station, day, kRecvBox);
  if (!received) return;
  ListRange(station, day, kReceivedRules, 1, *received < 1 ? 1 : *received, sink);
}

void LoadUnsentList(const Station& station, const std::string& day, long n, ListSink& sink) {
  sink.Clear();
  long listed = 0;
  long more = 0;
  ForEachJournalEntry(station, day, n, [&](const JournalEntry& entry) {
    if (sink.Replaced()) return false;
    if (entry.state != Outcome::Failed && entry.state != Outcome::Skipped) return true;
    if (listed == kUnsentRowsShown) {
      ++more;
      return true;
    }
    ++listed;
    sink.Append({std::to_string(entry.index), entry.number,
                 Gbk(entry.state == Outcome::Failed ? "失败" : "跳过"), entry.detail});
    return true;
  });
  if (more > 0) sink.Append({"", "", "", Gbk("……另有 ") + std::to_string(more) + Gbk(" 个未列出")});
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

}  // namespace tavrel::console
