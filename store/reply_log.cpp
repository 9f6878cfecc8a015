#include "store/reply_log.h"

#include <sstream>

#include "store/state_lines.h"

namespace tavrel {
namespace {

constexpr long long kSecondsPerHour = 60 * 60;
// Long enough for a reply held over a night and finished the day after.
constexpr long long kKeptSeconds = 3 * 24 * kSecondsPerHour;
constexpr std::string_view kReplyWord = "reply";
constexpr std::string_view kRefusedWord = "refused";

// An alphanumeric sender may hold blanks; the line keeps one field for it.
std::string LogForm(std::string_view number) {
  std::string form(number);
  for (char& c : form) {
    if (static_cast<unsigned char>(c) <= ' ') c = '?';
  }
  return form.empty() ? "?" : form;
}

}  // namespace

ReplyLog::ReplyLog(const Station& station, long long now)
    : path_(station.Path(kReplyLogFile)), now_(now) {
  for (const StampedLine& stamped : ReadStampedLines(path_, now_ - kKeptSeconds)) {
    std::istringstream fields(stamped.rest);
    Line line;
    line.when = stamped.when;
    std::string kind;
    fields >> kind;
    line.reply = kind == kReplyWord;
    if (line.reply && !(fields >> line.day >> line.n)) continue;
    if (!line.reply && kind != kRefusedWord) continue;
    fields >> line.number;
    if (line.reply) own_.emplace(line.day, line.n);
    lines_.push_back(std::move(line));
  }
}

long ReplyLog::WithinHour(bool reply, std::string_view number) const {
  const std::string form = LogForm(number);
  long count = 0;
  for (const Line& line : lines_) {
    if (line.reply == reply && line.number == form && line.when > now_ - kSecondsPerHour) ++count;
  }
  return count;
}

long ReplyLog::RepliesWithinHour(std::string_view number) const { return WithinHour(true, number); }

long ReplyLog::RefusalsWithinHour(std::string_view number) const {
  return WithinHour(false, number);
}

bool ReplyLog::IsOwnReply(std::string_view day, long n) const {
  return own_.count({std::string(day), n}) != 0;
}

bool ReplyLog::NoteReply(std::string_view day, long n, std::string_view number) {
  const std::string rest = std::string(kReplyWord) + " " + std::string(day) + " " +
                           std::to_string(n) + " " + LogForm(number);
  if (!AppendStampedLine(path_, now_, rest)) return false;
  lines_.push_back({now_, true, std::string(day), n, LogForm(number)});
  own_.emplace(std::string(day), n);
  return true;
}

bool ReplyLog::NoteRefusal(std::string_view number) {
  if (!AppendStampedLine(path_, now_, std::string(kRefusedWord) + " " + LogForm(number))) {
    return false;
  }
  lines_.push_back({now_, false, {}, 0, LogForm(number)});
  return true;
}

}  // namespace tavrel
