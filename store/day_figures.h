#pragma once
// A day's traffic at a glance, for the web page's views of the HTTP API:
// outcome counts and SMS per hour of a day, and the outcome of each outbox
// record. Everything comes from the day folder and its outcome journals.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/station.h"
#include "store/journal.h"

namespace tavrel {

using OutcomeCounts = std::array<long, 5>;  // by Outcome

struct DayFigures {
  std::string day;
  long records = 0;                         // outbox records filed (new/acc)
  long finished = 0;                        // of those, the ones the engine has finished (send/acc)
  long received = 0;                        // received messages filed (recv/acc)
  OutcomeCounts outcomes{};                 // journal lines per outcome, every record of the day
  std::array<long, 24> sent_by_hour{};      // "sent" journal lines by the hour of their time
  std::array<long, 24> received_by_hour{};  // received messages by the hour of their H<n>
  long Waiting() const { return records > finished ? records - finished : 0; }
};

// Keeps a day's figures and brings them up to date by reading only what was
// added since the last look: journals only grow by appending whole lines,
// and a counted record is never rewritten. Not thread-safe.
class DayTally {
 public:
  const DayFigures& Update(const Station& station, const std::string& day);

 private:
  DayFigures figures_;
  std::vector<std::uint64_t> journal_bytes_;  // bytes of J<n> counted, at n - 1
};

// Outbox record n as the sent view shows it.
struct RecordOutcome {
  long record = 0;
  std::string time;     // the stamp of H<n>
  std::string text;     // DA<n> whole (GBK)
  long recipients = 0;  // lines of R<n>
  long queued = 0;      // recipients without a final outcome yet
  OutcomeCounts outcomes{};
  std::vector<JournalEntry> problems;  // failed, skipped and undelivered lines
};

// Outbox records after..after+limit of day that have been filed, in order.
std::vector<RecordOutcome> ReadRecordOutcomes(const Station& station, const std::string& day,
                                              long after, long limit);

}  // namespace tavrel
