#pragma once
// The station's own answers, state/replies: one line per reply record the
// engine filed (query answers and opt-out confirmations) and one per reply
// it refused, kept three days.
//
//   1765090000 reply 2026-12-7 12 13012312312    filed as record 12 of that day
//   1765090000 refused 10086
//
// The send phase tells its own replies from other records by this list (a
// header can be written by anyone), and the reply guard counts from it, so
// a restart resets neither.
#include <set>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kReplyLogFile = "state/replies";

class ReplyLog {
 public:
  ReplyLog(const Station& station, long long now);

  long RepliesWithinHour(std::string_view number) const;
  long RefusalsWithinHour(std::string_view number) const;
  bool IsOwnReply(std::string_view day, long n) const;

  // False when the line did not reach the disk.
  bool NoteReply(std::string_view day, long n, std::string_view number);
  bool NoteRefusal(std::string_view number);

 private:
  struct Line {
    long long when = 0;
    bool reply = false;
    std::string day;
    long n = 0;
    std::string number;
  };
  long WithinHour(bool reply, std::string_view number) const;

  std::string path_;
  long long now_;
  std::vector<Line> lines_;
  std::set<std::pair<std::string, long>> own_;  // (day, n) of each reply
};

}  // namespace tavrel
