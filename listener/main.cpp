// Quillon: the request listener with its window, or with --headless the
// listener alone, started at once. The station is the working directory, or
// the folder --dir names.
#include <cstdio>
#include <string>
#include <string_view>

#include "listener/headless.h"
#include "platform/station.h"
#ifdef TAVREL_QUILLON_WINDOW
#include "listener/window_main.h"
#endif

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
      std::fputs("Quillon: --dir needs the station's folder\n", stderr);
      return 2;
    }
  }
  const tavrel::Station station{std::string(dir)};
  if (headless) return tavrel::RunHeadlessListener(station);
#ifdef TAVREL_QUILLON_WINDOW
  return tavrel::RunListenerWindow(argc, argv, station);
#else
  std::fputs("Quillon was built without Qt 6 Widgets: run it as Quillon --headless.\n", stderr);
  return 2;
#endif
}
