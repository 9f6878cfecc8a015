#pragma once
// The date edits of the sent and received pages: one calendar day back or
// forward, and the DayFolder a load reads. Pure text functions, so the
// buttons and the loaders share one reading of what the operator typed.
#include <string>
#include <string_view>

namespace tavrel::console {

// The longest date text the day buttons and the loaders take as it is; a
// longer one is malformed (a DayFolder name needs at most 18 bytes here).
inline constexpr std::size_t kMaxDateTextBytes = 18;

// February has 29 days and weekends count, in both directions: one press,
// one day. A result whose year is below 1000 (empty or unreadable text)
// becomes `today` instead.
std::string StepDayBack(std::string_view edit_text, const std::string& today);
std::string StepDayForward(std::string_view edit_text, const std::string& today);

// digits '-' digits '-' digits, at most kMaxDateTextBytes bytes.
bool IsDayFolderName(std::string_view text);

// The DayFolder a sent or received load reads for the edit's text: the text
// itself when it names a day folder, otherwise today. A text that is not of
// that form never reaches a path, so no load reads outside the store.
std::string ChosenDay(std::string_view edit_text, const std::string& today);

}  // namespace tavrel::console
