// Ravelin: the operator console, or with --headless the engine alone. The
// station is the working directory, or the folder --dir names.
#include <cstdio>
#include <string_view>

#include "console/headless.h"
#include "console/window_main.h"
#include "platform/station.h"

int main(int argc, char** argv) {
  bool headless = false;
  std::string_view dir = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--dir") {
      std::fprintf(stderr, "Ravelin: --dir needs the station's folder\n");
      return 2;
    }
  }
  const tavrel::Station station{std::string(dir)};
  if (headless) return tavrel::RunHeadlessEngine(station);
  return tavrel::RunConsoleWindow(argc, argv, station);
}
