#pragma once
// Texts in fixed character fields, as the C library reads them: a field ends
// at its first NUL, and a number is read by its leading digits.
#include <string_view>

namespace tavrel {

// The text up to, not including, its first NUL (all of it when there is none).
std::string_view UpToNul(std::string_view text);

// The standard atol conversion: blanks, optional sign, leading digits; other
// text gives 0. Saturates at LONG_MIN and LONG_MAX instead of overflowing.
long AtoL(std::string_view text);

}  // namespace tavrel
