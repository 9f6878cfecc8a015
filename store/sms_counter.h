#pragma once
// What each modem sent, for its caps: state/sms-<modem key> (state/sms-COM,
// state/sms-COM2, ...), one line "<unix seconds> <SMS>" per count, kept for
// the calendar day and the last hour. Every part of a long message is one
// SMS, as the operator counts it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

// 0: no cap.
struct SendCaps {
  long per_hour = 0;  // HOURCAP, over a rolling hour
  long per_day = 0;   // DAYCAP, over the calendar day
  bool Any() const { return per_hour > 0 || per_day > 0; }
};

class SmsCounter {
 public:
  SmsCounter(const Station& station, std::string_view modem_key, long long now);

  long InHourBefore(long long now) const;  // sent in (now - 1 hour, now]
  long OnDayOf(long long now) const;       // sent since local midnight of now

  // When the modem may send its next SMS under caps: nullopt when it may now.
  std::optional<long long> FreeAt(const SendCaps& caps, long long now) const;

  // False when the count did not reach the disk (it still counts here).
  bool Count(long long now, long sms = 1);

 private:
  struct Sent {
    long long when;
    long sms;
  };
  std::string path_;
  std::vector<Sent> sent_;  // oldest first
};

std::string SmsCounterPath(const Station& station, std::string_view modem_key);

}  // namespace tavrel
