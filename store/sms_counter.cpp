#include "store/sms_counter.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "store/state_lines.h"

namespace tavrel {
namespace {

constexpr long long kSecondsPerHour = 60 * 60;

// Local midnight of the day of now; days ahead moves to a later midnight.
long long Midnight(long long now, int days_ahead) {
  const std::time_t seconds = static_cast<std::time_t>(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  local.tm_mday += days_ahead;
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

}  // namespace

std::string SmsCounterPath(const Station& station, std::string_view modem_key) {
  return station.Path("state/sms-" + std::string(modem_key));
}

SmsCounter::SmsCounter(const Station& station, std::string_view modem_key, long long now)
    : path_(SmsCounterPath(station, modem_key)) {
  const long long keep_from = std::min(Midnight(now, 0), now - kSecondsPerHour);
  for (const StampedLine& line : ReadStampedLines(path_, keep_from)) {
    const long sms = std::atol(line.rest.c_str());
    if (sms > 0) sent_.push_back({line.when, sms});
  }
}

long SmsCounter::InHourBefore(long long now) const {
  long count = 0;
  for (const Sent& s : sent_) {
    if (s.when > now - kSecondsPerHour && s.when <= now) count += s.sms;
  }
  return count;
}

long SmsCounter::OnDayOf(long long now) const {
  const long long from = Midnight(now, 0);
  long count = 0;
  for (const Sent& s : sent_) {
    if (s.when >= from && s.when <= now) count += s.sms;
  }
  return count;
}

std::optional<long long> SmsCounter::FreeAt(const SendCaps& caps, long long now) const {
  std::optional<long long> until;
  if (caps.per_day > 0 && OnDayOf(now) >= caps.per_day) until = Midnight(now, 1);
  long in_hour = InHourBefore(now);
  if (caps.per_hour > 0 && in_hour >= caps.per_hour) {
    // The hour frees up as its oldest counts leave it, until one fewer than
    // the cap is left.
    long long frees = now;
    for (const Sent& s : sent_) {
      if (s.when <= now - kSecondsPerHour || s.when > now) continue;
      in_hour -= s.sms;
      frees = s.when + kSecondsPerHour;
      if (in_hour < caps.per_hour) break;
    }
    until = std::max(until.value_or(frees), frees);
  }
  return until;
}

bool SmsCounter::Count(long long now, long sms) {
  sent_.push_back({now, sms});
  return AppendStampedLine(path_, now, std::to_string(sms));
}

}  // namespace tavrel
