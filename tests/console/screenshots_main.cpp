// Renders every page of Ravelin's main window to PNG files, offscreen:
// window_screenshots OUTDIR
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>

#include "console/form1.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_screenshots OUTDIR\n");
    return 2;
  }
  tavrel::ui::Application app(argc, argv);
  tavrel::ui::UseChineseFont();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "window_screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  tavrel::console::TForm1 form;
  form.show();
  for (int page = 0; page < form.PageControl1->count(); ++page) {
    form.PageControl1->setCurrentIndex(page);
    QApplication::processEvents();
    const QString name = out.filePath(QStringLiteral("ravelin-tab%1.png").arg(page + 1));
    if (!form.grab().save(name)) {
      std::fprintf(stderr, "window_screenshots: cannot write %s\n", qPrintable(name));
      return 1;
    }
    std::printf("%s\n", qPrintable(name));
  }
  return 0;
}
