#include "ui/application.h"

#include <QFont>
#include <QFontDatabase>
#include <QWidget>
#include <exception>
#include <string>

#include "ui/gbk_text.h"
#include "ui/message_box.h"

namespace tavrel::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(ExceptionText(std::current_exception()));
    return false;
  }
}

std::string ExceptionText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    // what() texts of the standard library are ASCII; ours are GBK already.
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void UseChineseFont() {
  static const char* const kFamilies[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                          "AR PL UMing CN", "Droid Sans Fallback"};
  const QStringList installed = QFontDatabase::families();
  for (const char* family : kFamilies) {
    if (installed.contains(QString::fromLatin1(family))) {
      QFont font(QString::fromLatin1(family));
      font.setPixelSize(12);
      QApplication::setFont(font);
      return;
    }
  }
}

int RunApplication(int& argc, char** argv,
                   const std::function<std::unique_ptr<QWidget>()>& create_main_window) {
  Application app(argc, argv);
  UseChineseFont();
  std::unique_ptr<QWidget> main_window;
  try {
    main_window = create_main_window();
  } catch (...) {
    ShowException(ExceptionText(std::current_exception()));
    return 1;
  }
  main_window->show();
  return app.exec();
}

}  // namespace tavrel::ui
