#pragma once
// What holds a record back from one modem now: quiet hours (for every record
// but the station's own replies) and the modem's caps (for everything), and
// which recipients the customers asked to be left alone. The send phase asks
// before a record and before each recipient; a pool's dispatcher asks the
// same for each modem.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/station.h"
#include "store/optout.h"
#include "store/protection.h"
#include "store/reply_log.h"
#include "store/sms_counter.h"

namespace tavrel {

struct Hold {
  enum class Why { kQuiet, kCap };
  Why why = Why::kQuiet;
  long long until = 0;  // unix seconds
  bool operator==(const Hold&) const = default;
};

class SendGuards {
 public:
  // modem_key: the settings key of the modem's port (COM, COM2, ...).
  SendGuards(const Station& station, std::string modem_key);
  ~SendGuards();

  // Reads the settings, the opt-out list, the station's replies and the
  // modem's count again, and forgets the holds met so far.
  void BeginCycle();

  const std::string& modem_key() const { return modem_key_; }
  bool IsOwnReply(std::string_view day, long n) const;
  // Opted out, and opt-out handling is on (OPTOUT set).
  bool OptedOut(const std::string& number) const;

  // The hold on record n of day at now, if any.
  std::optional<Hold> HoldUntil(std::string_view day, long n, long long now);
  // The modem's caps alone, which hold every record alike.
  std::optional<Hold> CapHold(long long now);
  // The earliest end of the holds met since BeginCycle.
  std::optional<Hold> EarliestHold() const { return earliest_; }

  // Every SMS the modem took, a part of a long message each.
  void CountSent(long long now, long sms);

  // True the first time a hold is met with its end: the operator hears of
  // it once, not once per cycle.
  bool IsNewHold(const Hold& hold);
  // "静默时段，08:00 后发送" or "已达发送上限，11:00:05 后发送" (GBK).
  std::string HoldText(const Hold& hold) const;

 private:
  void Remember(const std::optional<Hold>& hold);

  const Station& station_;
  std::string modem_key_;
  Protection protection_;
  std::unique_ptr<OptOutSet> opted_out_;
  std::unique_ptr<ReplyLog> replies_;
  std::unique_ptr<SmsCounter> counter_;
  std::optional<Hold> earliest_;
  std::optional<Hold> shown_;
};

// Once, for a caller without guards of its own.
std::optional<Hold> HoldUntil(const Station& station, std::string_view day, long n,
                              std::string_view modem_key, long long now);

// What the pending view says of a record: the quiet hours it waits for.
class PendingHolds {
 public:
  PendingHolds(const Station& station, long long now);
  std::optional<std::string> TextFor(std::string_view day, long n) const;

 private:
  std::optional<QuietWindow> quiet_;  // set only while quiet hours hold
  std::unique_ptr<ReplyLog> replies_;
};

}  // namespace tavrel
