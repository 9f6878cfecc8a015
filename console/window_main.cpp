#include "console/window_main.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "console/form1.h"
#include "ui/application.h"

namespace tavrel {

int RunConsoleWindow(int argc, char** argv, const Station& station) {
  return ui::RunApplication(argc, argv, [&station] {
    auto window = std::make_unique<console::TForm1>(station);
    // Closing the window ends the process at once: the engine is neither
    // stopped nor waited for, and the port goes with the process.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
      std::fflush(nullptr);
      std::_Exit(0);
    });
    return window;
  });
}

}  // namespace tavrel
