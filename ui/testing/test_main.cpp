// main() of window tests: offscreen unless a display is asked for, one
// application object for the whole program, and no box ever blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "ui/application.h"
#include "ui/message_box.h"

int main(int argc, char** argv) {
  // gtest_discover_tests may run the binary without the test's environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  tavrel::ui::Application app(argc, argv);
  tavrel::ui::UseChineseFont();
  // A box that nobody replaced would wait for an operator who is not there.
  tavrel::ui::SetMessageBoxHandler([](tavrel::ui::MessageKind, const std::string& text) {
    std::fprintf(stderr, "message box (not shown): %s\n", text.c_str());
  });
  return RUN_ALL_TESTS();
}
