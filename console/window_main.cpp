#include "console/window_main.h"

#include <cstdio>

namespace tavrel {
// Until the window lands the console can only run headless.
int RunConsoleWindow(int, char**) {
  std::fprintf(stderr, "Ravelin: the window is not built yet; run Ravelin --headless\n");
  return 2;
}
}  // namespace tavrel
