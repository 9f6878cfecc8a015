#pragma once
// Application start shared by the three window programs.
#include <QApplication>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace tavrel::ui {

// An exception that escapes an event handler is shown in the standard
// exception box and the event loop goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Initialises the toolkit, creates the main window, shows it and runs the
// message loop until the main window closes. An exception that escapes the
// window's creation is shown in the exception box and ends the program with
// status 1.
int RunApplication(int& argc, char** argv,
                   const std::function<std::unique_ptr<QWidget>()>& create_main_window);

// The text of an exception as the exception box shows it (GBK).
std::string ExceptionText(const std::exception_ptr& error);

// Makes a font that renders Chinese the application's default, when one is
// installed. RunApplication does this; test mains call it themselves.
void UseChineseFont();

}  // namespace tavrel::ui
