#include "engine/dispatcher.h"

#include <algorithm>
#include <ctime>

#include "platform/clock.h"
#include "platform/pace.h"
#include "engine/send_phase.h"
#include "store/record_store.h"
#include "store/state_lines.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;

// A modem's first rest after a station-side fault, doubled for each fault
// that follows without a send between, up to the longest (nominal, paced).
constexpr milliseconds kFirstRest{10000};
constexpr milliseconds kLongestRest{60000};

long CounterOrZero(std::optional<long> counter) {
  return counter && *counter >= 1 ? *counter : 0;
}

std::string DayBefore(const Station& station) {
  std::tm local = station.clock().LocalNow();
  local.tm_mday -= 1;
  local.tm_isdst = -1;
  std::mktime(&local);
  return DayFolderName(local);
}

}  // namespace

struct Dispatcher::Record {
  Record(const Station& station, std::string d, long number)
      : day(std::move(d)),
        n(number),
        done(SummariseJournal(station, day, n)),
        journal(station, day, n) {}

  std::string day;
  long n;
  std::shared_ptr<const OutgoingMessage> message;
  std::unique_ptr<RecipientReader> recipients;  // null once every line is out
  long index = 0;                               // the last line read
  JournalSummary done;                          // what the journal held at the start
  JournalWriter journal;
  bool recorded = false;  // a line was written since
  bool forbidden = false;
  long in_flight = 0;
};

Dispatcher::Dispatcher(const Station& station) : station_(station) {}
Dispatcher::~Dispatcher() = default;

// The day before today is finished first when it left records unsent, as
// one engine finishes it; a day is left only once all of it is out.
void Dispatcher::ChooseDay(const CycleContext& cycle) {
  if (day_ == cycle.day) return;
  std::string day = cycle.day;
  if (day_.empty()) {
    const std::string before = DayBefore(station_);
    const long sent = CounterOrZero(ReadMailboxCounter(station_, before, kSendBox));
    if (CounterOrZero(ReadMailboxCounter(station_, before, kNewBox)) > sent) day = before;
  } else if (next_n_ <= CounterOrZero(ReadMailboxCounter(station_, day_, kNewBox))) {
    return;  // records filed late into the day before are sent first
  }
  day_ = day;
  next_n_ = CounterOrZero(ReadMailboxCounter(station_, day_, kSendBox)) + 1;
  new_acc_ = 0;
}

Dispatcher::Record* Dispatcher::OpenNextRecord(const CycleContext& cycle) {
  ChooseDay(cycle);
  if (next_n_ > new_acc_) new_acc_ = CounterOrZero(ReadMailboxCounter(station_, day_, kNewBox));
  if (next_n_ > new_acc_) {
    if (day_ == cycle.day) return nullptr;
    ChooseDay(cycle);
    if (day_ != cycle.day) return nullptr;
    return OpenNextRecord(cycle);
  }
  const long n = next_n_++;
  EngineLog& trace = cycle.trace;
  trace.Printf("star....%s %ld,accI_new=%ld\n", day_.c_str(), n, new_acc_);
  const CycleContext on_day = CycleOnDay(cycle, day_, n - 1);
  auto record = std::make_unique<Record>(station_, day_, n);
  if (std::optional<OutgoingMessage> message = ReadOutgoingMessage(on_day, n)) {
    record->message = std::make_shared<const OutgoingMessage>(std::move(*message));
    auto recipients = std::make_unique<RecipientReader>(
        RecordFilePath(station_, day_, kNewBox, RecordPart::Recipients, n));
    if (recipients->ok()) {
      record->recipients = std::move(recipients);
    } else {
      trace.Printf("record %ld: %s cannot be read; nothing sent, the record counts as handled\n",
                   n, RecordFileName(day_, kNewBox, RecordPart::Recipients, n).c_str());
    }
  }
  open_.push_back(std::move(record));
  return open_.back().get();
}

// The first record with lines left that may be sent now. A record quiet
// hours hold stays open behind the ones that go past it, so send/acc stops
// before it.
Dispatcher::Record* Dispatcher::NextRecordWithLines(const CycleContext& cycle,
                                                    SendGuards* guards, long long now) {
  const auto sendable = [&](const Record& record) {
    return record.recipients && !(guards && guards->HoldUntil(record.day, record.n, now));
  };
  for (const std::unique_ptr<Record>& record : open_) {
    if (sendable(*record)) return record.get();
  }
  while (Record* record = OpenNextRecord(cycle)) {
    if (sendable(*record)) return record;
    if (!record->recipients) CloseFinishedRecords(cycle);
  }
  return nullptr;
}

Dispatcher::Record* Dispatcher::Find(const std::string& day, long n) {
  for (const std::unique_ptr<Record>& record : open_) {
    if (record->day == day && record->n == n) return record.get();
  }
  return nullptr;
}

// send/acc covers a record only when it and every record before it have
// all their recipients out and back.
void Dispatcher::CloseFinishedRecords(const CycleContext& cycle) {
  while (!open_.empty() && !open_.front()->recipients && open_.front()->in_flight == 0) {
    const Record& record = *open_.front();
    WriteSendCounter(CycleOnDay(cycle, record.day, record.n - 1), record.n);
    cycle.trace.Printf("####end....%s %ld\n", record.day.c_str(), record.n);
    open_.pop_front();
  }
}

std::optional<PoolJob> Dispatcher::Take(const std::string& key, const CycleContext& cycle,
                                        SendGuards* guards) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Whether this modem may take work now: its rest after a fault, its caps.
  if (RestEndLocked(key)) return std::nullopt;
  const long long now = StationSeconds(station_);
  if (guards && guards->CapHold(now)) return std::nullopt;
  for (auto job = handed_back_.begin(); job != handed_back_.end(); ++job) {
    if (guards && guards->HoldUntil(job->day, job->n, now)) continue;
    PoolJob taken = std::move(*job);
    handed_back_.erase(job);
    return taken;
  }
  while (Record* record = NextRecordWithLines(cycle, guards, now)) {
    std::optional<std::string> line =
        record->recipients ? record->recipients->Next() : std::nullopt;
    if (!line) {
      record->recipients.reset();
      CloseFinishedRecords(cycle);
      continue;
    }
    const long index = ++record->index;
    if (record->done.Finished(index)) continue;
    const CycleContext on_day = CycleOnDay(cycle, record->day, record->n - 1);
    // Whether this record may be sent now: the forbid mark, looked for before
    // every line (holds were looked at when the record was chosen).
    record->forbidden = record->forbidden || IsForbidden(*line) || ForbiddenNow(on_day, record->n);
    if (record->forbidden) {
      // A record forbidden before it began has no journal at all.
      if (record->done.Empty() && !record->recorded && record->in_flight == 0) {
        record->recipients.reset();
        CloseFinishedRecords(cycle);
        continue;
      }
      std::string recipient = RecipientKey(*line);
      if (!recipient.empty() && recipient[0] == kForbidMark) recipient.erase(0, 1);
      AppendOutcome(on_day, record->journal,
                    {index, recipient, Outcome::Skipped, station_.Now().stamp,
                     std::string(kForbiddenReason)});
      record->recorded = true;
      continue;
    }
    ++record->in_flight;
    return PoolJob{record->day, record->n, index, std::move(*line), record->message, 0};
  }
  return std::nullopt;
}

void Dispatcher::Finish(const PoolJob& job, const RecipientOutcome& outcome,
                        const std::string& key, const CycleContext& cycle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* record = Find(job.day, job.n);
  if (record == nullptr) return;
  std::string detail = outcome.detail;
  if (outcome.state == Outcome::Sent) {
    detail += "@" + key;
    rests_.erase(key);
  }
  AppendOutcome(CycleOnDay(cycle, job.day, job.n - 1), record->journal,
                {job.index, outcome.number, outcome.state, station_.Now().stamp, detail});
  record->recorded = true;
  --record->in_flight;
  CloseFinishedRecords(cycle);
}

void Dispatcher::HandBack(PoolJob job, const RecipientOutcome& outcome, const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  job.attempts = outcome.attempts;
  handed_back_.push_front(std::move(job));
  RestLocked(key);
}

void Dispatcher::RestLocked(const std::string& key) {
  RestSpell& rest = rests_[key];
  rest.length = rest.length.count() == 0 ? kFirstRest : std::min(rest.length * 2, kLongestRest);
  rest.until = Clock::now() + Paced(rest.length);
}

void Dispatcher::Rest(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  RestLocked(key);
}

std::optional<Dispatcher::Clock::time_point> Dispatcher::RestEndLocked(
    const std::string& key) const {
  const auto rest = rests_.find(key);
  if (rest == rests_.end() || Clock::now() >= rest->second.until) return std::nullopt;
  return rest->second.until;
}

std::optional<Dispatcher::Clock::time_point> Dispatcher::RestingUntil(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return RestEndLocked(key);
}

}  // namespace tavrel
