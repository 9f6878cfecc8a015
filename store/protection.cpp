#include "store/protection.h"

#include <algorithm>

#include "platform/codepage.h"
#include "store/settings.h"

namespace tavrel {
namespace {

constexpr std::size_t kMobileDigits = 11;

// A cap that is no positive number is no cap.
long CapOf(const std::string& value) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::atol(value.c_str());
}

std::string NationalForm(std::string_view number) {
  std::string digits;
  for (char c : number) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.size() == kMobileDigits + 2 && digits.starts_with("86")) digits.erase(0, 2);
  return digits;
}

}  // namespace

const std::string& DefaultOptOutWords() {
  static const std::string words = Gbk("TD,T,退订,取消");
  return words;
}

const std::string& DefaultOptOutReply() {
  static const std::string reply = Gbk("您已退订，将不再收到本号码的短信。");
  return reply;
}

const std::string& DefaultOptInWords() {
  static const std::string words = Gbk("订阅");
  return words;
}

Protection ReadProtection(const Station& station) {
  Protection p;
  p.optout_words = ReadSetting(station, settings::kOptOut);
  p.optout_reply = ReadSetting(station, settings::kOptOutReply);
  if (p.optout_reply.empty()) p.optout_reply = DefaultOptOutReply();
  p.optin_words = ReadSetting(station, settings::kOptIn);
  if (p.optin_words.empty()) p.optin_words = DefaultOptInWords();
  p.own_numbers = ReadSetting(station, settings::kOwnNumbers);
  const std::string cap = ReadSetting(station, settings::kReplyCap);
  if (!cap.empty() && cap.find_first_not_of("0123456789") == std::string::npos) {
    p.reply_cap = std::atol(cap.c_str());
  }
  p.quiet = ParseQuietWindow(ReadSetting(station, settings::kQuiet));
  p.caps.per_hour = CapOf(ReadSetting(station, settings::kHourCap));
  p.caps.per_day = CapOf(ReadSetting(station, settings::kDayCap));
  return p;
}

bool IsMobileNumber(std::string_view number) {
  return number.size() == kMobileDigits &&
         number.find_first_not_of("0123456789") == std::string_view::npos && number[0] == '1' &&
         number[1] >= '3';
}

bool IsOwnNumber(std::string_view list, std::string_view number) {
  const std::string wanted = NationalForm(number);
  if (wanted.empty()) return false;
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    if (NationalForm(list.substr(at, comma - at)) == wanted) return true;
    at = comma + 1;
  }
  return false;
}

ReplyRefusal JudgeReply(const Protection& protection, std::string_view sender, bool alphanumeric,
                        long replies_within_hour) {
  if (alphanumeric) return ReplyRefusal::kAlphanumeric;
  if (!IsMobileNumber(sender)) return ReplyRefusal::kNotMobile;
  if (IsOwnNumber(protection.own_numbers, sender)) return ReplyRefusal::kOwnNumber;
  if (replies_within_hour >= protection.reply_cap) return ReplyRefusal::kHourCap;
  return ReplyRefusal::kNone;
}

std::string_view RefusalText(ReplyRefusal refusal) {
  switch (refusal) {
    case ReplyRefusal::kNone: return "";
    case ReplyRefusal::kAlphanumeric: return "alphanumeric sender";
    case ReplyRefusal::kNotMobile: return "not an 11-digit mobile number";
    case ReplyRefusal::kOwnNumber: return "one of the station's own numbers";
    case ReplyRefusal::kHourCap: return "reply cap of the hour reached";
  }
  return "";
}

}  // namespace tavrel
