#pragma once
// The station folder a program's command line names with "--dir FOLDER";
// the working directory when it names none.
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

struct ProgramArgs {
  bool headless = false;
  std::string dir = ".";
};

// nullopt when --dir has no folder after it.
inline std::optional<ProgramArgs> ReadProgramArgs(int argc, char** argv) {
  ProgramArgs args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless") {
      args.headless = true;
    } else if (arg == "--dir") {
      if (i + 1 >= argc) return std::nullopt;
      args.dir = argv[++i];
    }
  }
  return args;
}

}  // namespace tavrel
