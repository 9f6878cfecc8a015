#pragma once
// The settings that protect customers and SIM cards, read in one place for
// the engine, and the reply guard's judgement of a sender.
#include <optional>
#include <string>
#include <string_view>

#include "platform/station.h"
#include "store/quiet_hours.h"
#include "store/sms_counter.h"

namespace tavrel {

struct Protection {
  std::string optout_words;  // empty: opt-out and opt-in words are not looked for
  std::string optout_reply;  // GBK
  std::string optin_words;
  std::string own_numbers;
  long reply_cap = 5;
  std::optional<QuietWindow> quiet;
  SendCaps caps;
};

Protection ReadProtection(const Station& station);

// The words and the confirmation a fresh station starts with (GBK).
const std::string& DefaultOptOutWords();
const std::string& DefaultOptOutReply();
const std::string& DefaultOptInWords();

enum class ReplyRefusal { kNone, kAlphanumeric, kNotMobile, kOwnNumber, kHourCap };
// Why the station must not answer sender: only 11-digit national mobile
// numbers that are not the station's own get replies, and no more than the
// cap within an hour. Machines answer too, and two of them would answer each
// other for ever.
ReplyRefusal JudgeReply(const Protection& protection, std::string_view sender, bool alphanumeric,
                        long replies_within_hour);
std::string_view RefusalText(ReplyRefusal refusal);  // for the trace and the monitor

// 11 digits, 13x to 19x.
bool IsMobileNumber(std::string_view number);
// One of the comma-separated numbers of list, written with or without +86.
bool IsOwnNumber(std::string_view list, std::string_view number);

}  // namespace tavrel
