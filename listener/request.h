#pragma once
// The request protocol: one receive of at most 1024 bytes holding
// code|numbers|text| and one 1024-byte reply, all GBK bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel {

inline constexpr std::size_t kRequestSize = 1024;
inline constexpr std::size_t kReplySize = 1024;
// The code lives in a 10-byte field, so a longer code is a malformed request.
inline constexpr std::size_t kCodeFieldSize = 10;

enum class ReplyCode { Accepted, BadRequest, ServerFault };  // 0000, 0001, 0002

// The reply text alone ("0000|...|"), as GBK bytes.
const std::string& ReplyText(ReplyCode code);
// The reply as sent: its text followed by zero bytes up to kReplySize.
std::string PaddedReply(ReplyCode code);

struct Request {
  std::string code;
  std::string numbers;
  std::string text;
  // What the status memo shows: the text field, or the whole request when
  // the request has fewer than three separators.
  std::string shown;
  bool well_formed = false;  // three separators, no empty field, code fits
};

// The request is the received bytes up to the first zero byte.
Request ParseRequest(std::string_view received);

// Whether a request's text fits the station's PARTS. At 1 every text is
// taken, as it always was (the engine sends what fits one SMS).
bool TextFitsParts(std::string_view text, int parts_limit);

}  // namespace tavrel
