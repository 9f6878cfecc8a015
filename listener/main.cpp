// Quillon: the request listener with its window, or with --headless the
// listener alone, started at once.
#include <cstdio>
#include <string_view>

#include "listener/headless.h"
#ifdef TAVREL_QUILLON_WINDOW
#include "listener/window_main.h"
#endif

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--headless") return tavrel::RunHeadlessListener();
  }
#ifdef TAVREL_QUILLON_WINDOW
  return tavrel::RunListenerWindow(argc, argv);
#else
  std::fputs("Quillon was built without Qt 6 Widgets: run it as Quillon --headless.\n", stderr);
  return 2;
#endif
}
