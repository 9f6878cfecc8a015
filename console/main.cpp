// Ravelin: the operator console, or with --headless the engine alone.
#include <string_view>

#include "console/window_main.h"
#include "engine/headless.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--headless") return tavrel::RunHeadlessRavelin();
  }
  return tavrel::RunConsoleWindow(argc, argv);
}
