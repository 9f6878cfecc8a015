// Renders a program's main window to PNG files, offscreen, one per page of
// its tab control when it has one: <program>_screenshots OUTDIR
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>

#include "ui/application.h"

#if defined(SHOT_RAVELIN)
#include "console/form1.h"
using Window = tavrel::console::TForm1;
constexpr const char* kName = "ravelin";
#elif defined(SHOT_QUILLON)
#include "listener/window_main.h"
using Window = tavrel::TForm1;
constexpr const char* kName = "quillon";
#elif defined(SHOT_MERLON)
#include "numgen/window.h"
using Window = tavrel::numgen::TForm1;
constexpr const char* kName = "merlon";
#endif

namespace {

bool Save(QWidget& window, const QString& name) {
  QApplication::processEvents();
  if (!window.grab().save(name)) {
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(name));
    return false;
  }
  std::printf("%s\n", qPrintable(name));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s_screenshots OUTDIR\n", kName);
    return 2;
  }
  tavrel::ui::Application app(argc, argv);
  tavrel::ui::UseChineseFont();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  Window window;
  window.show();
  auto* pages = window.findChild<QTabWidget*>();
  if (pages == nullptr) return Save(window, out.filePath(QStringLiteral("%1.png").arg(kName))) ? 0 : 1;
  for (int page = 0; page < pages->count(); ++page) {
    pages->setCurrentIndex(page);
    if (!Save(window, out.filePath(QStringLiteral("%1-tab%2.png").arg(kName).arg(page + 1)))) return 1;
  }
  return 0;
}
