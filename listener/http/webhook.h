#pragma once
// HOOK: every message filed in an inbox is POSTed as JSON to an http URL,
// one request each, in order. The cursor state/hook-cursor names the last
// message a receiver took (answered 2xx); it advances across days and
// survives restarts, so a receiver that is down for a day misses nothing.
// Failures are retried after kFirstRetry, doubling up to kLongestRetry.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "listener/listener_log.h"
#include "platform/station.h"

namespace tavrel::http {

inline constexpr std::string_view kHookCursorFile = "state/hook-cursor";
// Nominal; the pacing clock scales them like every pause of the station.
inline constexpr std::chrono::milliseconds kFirstRetry{5000};
inline constexpr std::chrono::milliseconds kLongestRetry{3600 * 1000};
inline constexpr std::chrono::milliseconds kHookPoll{1000};

struct HookCursor {
  std::string day;  // the day folder of the last message taken
  long record = 0;  // its record in recv (0: none of that day yet)
};

std::optional<HookCursor> ReadHookCursor(const Station& station);
bool WriteHookCursor(const Station& station, const HookCursor& cursor);

// The message after cursor, in this day or a later day folder up to today;
// nullopt when there is none yet.
std::optional<HookCursor> NextInboxMessage(const Station& station, const HookCursor& cursor);

class Webhook {
 public:
  Webhook(Station station, ListenerLog& log, std::string url);
  ~Webhook();  // stops the thread

 private:
  void Run();
  bool Post(const HookCursor& message);  // true on a 2xx answer
  bool Sleep(std::chrono::milliseconds nominal);  // false when stopped

  const Station station_;
  ListenerLog& log_;
  std::string base_;  // scheme://host:port
  std::string path_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// A Webhook when HOOK is set; a URL it cannot use is logged and ignored.
std::unique_ptr<Webhook> StartWebhook(const Station& station, ListenerLog& log);

}  // namespace tavrel::http
