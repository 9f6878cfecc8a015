#pragma once
// tavrel: the station's files from a terminal or a script, without a window
// and without a server, beside running programs.
#include <iosfwd>
#include <string>
#include <vector>

namespace tavrel::cli {

// args[0] is the program's name. Returns the exit status.
int RunTavrel(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err);

}  // namespace tavrel::cli
