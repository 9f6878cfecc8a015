#pragma once
// The dispatcher of a modem pool: it walks the outbox in record order and
// hands one recipient at a time to whichever modem's engine asks, records
// each outcome in the record's journal, and is the only writer of send/acc,
// which it moves over the finished prefix of records only. A reader of
// send/acc therefore sees what it sees with one modem.
//
// It has no thread of its own: the engines call it from theirs, so a stopped
// pool leaves it untouched. Every call takes its lock; file writes in it pass
// the calling engine's checkpoints, as the send phase's do.
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/phases.h"
#include "engine/recipient_send.h"
#include "engine/send_guards.h"
#include "platform/station.h"
#include "store/journal.h"

namespace tavrel {

// One recipient line of one record, handed to one modem.
struct PoolJob {
  std::string day;
  long n = 0;
  long index = 0;  // the line of R<n>, from 1
  std::string line;
  std::shared_ptr<const OutgoingMessage> message;
  int attempts = 0;  // counted on every modem it was on
};

class Dispatcher {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Dispatcher(const Station& station);
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // The next recipient for the modem of key, or nullopt when none waits for
  // it now. cycle is the asking engine's: its day, trace and checkpoints.
  // guards, the modem's own: while its caps hold it takes nothing, and a
  // record quiet hours hold is passed over (none: nothing is held).
  std::optional<PoolJob> Take(const std::string& key, const CycleContext& cycle,
                              SendGuards* guards = nullptr);

  // Records the recipient's final outcome; with several modems a sent line
  // says which modem sent it ("17@COM3").
  void Finish(const PoolJob& job, const RecipientOutcome& outcome, const std::string& key,
              const CycleContext& cycle);

  // A station-side fault: the recipient goes back for another modem, and the
  // modem of key is not handed work until its rest is over.
  void HandBack(PoolJob job, const RecipientOutcome& outcome, const std::string& key);

  // The end of the rest of the modem of key; nullopt when it may take work.
  std::optional<Clock::time_point> RestingUntil(const std::string& key);
  // The modem is not answering: it rests longer, up to the longest rest. A
  // send it makes ends its rests.
  void Rest(const std::string& key);

 private:
  struct Record;

  Record* NextRecordWithLines(const CycleContext& cycle, SendGuards* guards, long long now);
  Record* OpenNextRecord(const CycleContext& cycle);
  void ChooseDay(const CycleContext& cycle);
  void CloseFinishedRecords(const CycleContext& cycle);
  Record* Find(const std::string& day, long n);
  void RestLocked(const std::string& key);
  std::optional<Clock::time_point> RestEndLocked(const std::string& key) const;

  const Station station_;
  std::mutex mutex_;
  std::string day_;   // the day whose records are opened; empty before the first
  long next_n_ = 1;   // the next record of day_ to open
  long new_acc_ = 0;  // day_'s outbox counter when last read
  std::deque<std::unique_ptr<Record>> open_;  // in record order
  std::deque<PoolJob> handed_back_;
  struct RestSpell {
    Clock::time_point until;
    std::chrono::milliseconds length{0};
  };
  std::map<std::string, RestSpell> rests_;
};

}  // namespace tavrel
