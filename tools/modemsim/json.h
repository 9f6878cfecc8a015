#pragma once
// The two logs modemsim writes are JSON lines; this is all the JSON it needs.
#include <string>
#include <string_view>

namespace modemsim {

// A JSON string literal of UTF-8 text (quotes included); bytes that are not
// UTF-8 are written as U+FFFD.
std::string JsonString(std::string_view utf8);

// A JSON string literal of raw bytes read as Latin-1, so that every byte of
// a serial chunk stays visible and recoverable.
std::string JsonBytes(std::string_view bytes);

}  // namespace modemsim
