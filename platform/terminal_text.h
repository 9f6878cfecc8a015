#pragma once
// What the headless programs print: GBK texts as UTF-8 lines for a terminal.
#include <string>
#include <string_view>

namespace tavrel {

// The text in UTF-8, CR LF as LF, ending in a line end. A received SMS or a
// client's request must not drive the terminal (ESC "[2J" clears it, OSC
// retitles it), so every other control byte, DEL included, shows as '?'.
std::string TerminalLines(std::string_view gbk);

}  // namespace tavrel
