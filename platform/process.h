#pragma once
// Starting another program the way the console starts its companions: the
// program runs on its own, in its own session, with none of the caller's
// open files (the serial port above all), and nobody waits for it.
#include <string>
#include <vector>

namespace tavrel {

// Starts program with args (argv[0] is program). A program without '/' is
// looked up in PATH. Returns false, with the reason in error when given, if
// it could not be started. The child is reaped in the background so that it
// never lingers as a zombie; the caller is never made to wait.
bool StartDetached(const std::string& program, const std::vector<std::string>& args = {},
                   std::string* error = nullptr);

// The folder of the running program's own executable ("" if unknown).
std::string OwnExecutableDir();

}  // namespace tavrel
