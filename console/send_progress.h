#pragma once
// What the pending view shows of the record the engine is sending: read from
// today's counters and the record's journal, on a worker thread. No Qt here.
#include <memory>
#include <optional>
#include <string>

#include "platform/station.h"
#include "store/journal.h"

namespace tavrel::console {

struct SendProgress {
  long record = 0;  // 0: nothing is being sent
  long recipients = 0;
  long sent = 0;
  long failed = 0;
  long skipped = 0;
  std::optional<long> seconds_left;  // from the measured rate, once there is one

  long done() const { return sent + failed + skipped; }
};

// The label under the progress bar (GBK); empty when nothing is being sent.
std::string ProgressText(const SendProgress& progress);

// Follows the record being sent: the first of today's records above
// send/acc whose journal has begun. Each Read reads only the journal lines
// written since the one before, and counts a record's recipients once.
class SendProgressReader {
 public:
  explicit SendProgressReader(Station station) : station_(std::move(station)) {}

  SendProgress Read(const std::string& today);

 private:
  const Station station_;
  std::string day_;
  long record_ = 0;
  long recipients_ = 0;
  std::unique_ptr<JournalFollower> follower_;
};

}  // namespace tavrel::console
