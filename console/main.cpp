// Ravelin: the operator console, or with --headless the engine alone.
#include <string_view>

#include "console/headless.h"
#include "console/window_main.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--headless") return tavrel::RunHeadlessEngine();
  }
  return tavrel::RunConsoleWindow(argc, argv);
}
