#pragma once
// GET /metrics and GET /healthz: what the monitoring of the shop watches,
// from the counters, one header, the engine's status file and a tally of
// today's outcome journals that a thread of its own keeps current, so that a
// scrape costs the same with ten records as with ten thousand.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "listener/http/api.h"
#include "platform/station.h"
#include "store/journal.h"

namespace tavrel::http {

// Counts per state of the lines of today's journals send/J<n>, read as they
// grow: each pass reads only the bytes appended since the last.
class JournalTally {
 public:
  struct Counts {
    long sent = 0, failed = 0, delivered = 0, undelivered = 0;
  };
  static constexpr std::chrono::seconds kInterval{2};  // real time

  explicit JournalTally(Station station);
  ~JournalTally();  // stops the thread, if started
  void StartThread();
  void Refresh();  // one pass now
  Counts Today() const;

 private:
  const Station station_;
  mutable std::mutex mutex_;
  std::string day_;
  std::map<long, long long> read_to_;  // record -> bytes counted
  Counts counts_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// The Prometheus text exposition of the station's figures at now.
std::string MetricsText(const Station& station, const JournalTally::Counts& sms, std::time_t now);

// 200 when the store takes a file and the engine's status is fresh (rewritten
// within max(60 s, three cycles)); 503 with the reason otherwise.
Reply Health(const Station& station, std::time_t now);

}  // namespace tavrel::http
