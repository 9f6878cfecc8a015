#include "engine/send_guards.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "store/state_lines.h"

namespace tavrel {
namespace {

std::string QuietText(const QuietWindow& window) {
  return Gbk("静默时段，") + WindowEndText(window) + Gbk(" 后发送");
}

std::string TimeText(long long when) {
  const std::time_t seconds = static_cast<std::time_t>(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  return TimeOfDayText(local);
}

}  // namespace

SendGuards::SendGuards(const Station& station, std::string modem_key)
    : station_(station), modem_key_(std::move(modem_key)) {
  BeginCycle();
}

SendGuards::~SendGuards() = default;

void SendGuards::BeginCycle() {
  const long long now = StationSeconds(station_);
  protection_ = ReadProtection(station_);
  opted_out_ = protection_.optout_words.empty() ? nullptr : std::make_unique<OptOutSet>(station_);
  replies_ = std::make_unique<ReplyLog>(station_, now);
  counter_ = protection_.caps.Any() ? std::make_unique<SmsCounter>(station_, modem_key_, now)
                                    : nullptr;
  earliest_.reset();
}

bool SendGuards::IsOwnReply(std::string_view day, long n) const {
  return replies_->IsOwnReply(day, n);
}

bool SendGuards::OptedOut(const std::string& number) const {
  return opted_out_ && opted_out_->Contains(number);
}

std::optional<Hold> SendGuards::HoldUntil(std::string_view day, long n, long long now) {
  std::optional<Hold> hold = CapHold(now);
  if (hold) return hold;
  if (protection_.quiet && !IsOwnReply(day, n)) {
    const long long next = NextSendTime(*protection_.quiet, now);
    if (next > now) hold = Hold{Hold::Why::kQuiet, next};
  }
  Remember(hold);
  return hold;
}

std::optional<Hold> SendGuards::CapHold(long long now) {
  std::optional<Hold> hold;
  if (counter_) {
    if (const std::optional<long long> free = counter_->FreeAt(protection_.caps, now)) {
      hold = Hold{Hold::Why::kCap, *free};
    }
  }
  Remember(hold);
  return hold;
}

void SendGuards::Remember(const std::optional<Hold>& hold) {
  if (hold && (!earliest_ || hold->until < earliest_->until)) earliest_ = hold;
}

void SendGuards::CountSent(long long now, long sms) {
  if (counter_) counter_->Count(now, sms);
}

bool SendGuards::IsNewHold(const Hold& hold) {
  if (shown_ == hold) return false;
  shown_ = hold;
  return true;
}

std::string SendGuards::HoldText(const Hold& hold) const {
  if (hold.why == Hold::Why::kQuiet && protection_.quiet) return QuietText(*protection_.quiet);
  return Gbk("已达发送上限，") + TimeText(hold.until) + Gbk(" 后发送");
}

std::optional<Hold> HoldUntil(const Station& station, std::string_view day, long n,
                              std::string_view modem_key, long long now) {
  SendGuards guards(station, std::string(modem_key));
  return guards.HoldUntil(day, n, now);
}

PendingHolds::PendingHolds(const Station& station, long long now) {
  const std::optional<QuietWindow> quiet = ReadProtection(station).quiet;
  if (!quiet || NextSendTime(*quiet, now) == now) return;
  quiet_ = quiet;
  replies_ = std::make_unique<ReplyLog>(station, now);
}

std::optional<std::string> PendingHolds::TextFor(std::string_view day, long n) const {
  if (!quiet_ || replies_->IsOwnReply(day, n)) return std::nullopt;
  return QuietText(*quiet_);
}

}  // namespace tavrel
