#pragma once
// The pieces of the send phase that work on record text alone, without the
// modem or the store.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/recipient_list.h"

namespace tavrel {

// The message text field: the first line of DA<n>, at most 1023 bytes.
inline constexpr std::size_t kMessageTextField = 1024;
// A looked-up value longer than this is not a number the phase can use.
inline constexpr std::size_t kMaxLookedUpNumber = 12;
inline constexpr std::size_t kMobileNumberLength = 11;
inline constexpr int kSendAttempts = 6;

struct MessageText {
  std::string text;  // what is sent: the first line
  bool cut = false;  // the first line did not fit the field
};

// The first line of a DA<n> file as read in text mode: the content up to its
// first CR, LF or NUL, within the text field. A line that does not fit is cut
// at a character boundary, so no half GBK character goes to the modem.
MessageText FirstLineOfText(std::string_view content);

}  // namespace tavrel
