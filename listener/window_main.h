#pragma once
// Quillon's window: the listener's address and port, the start button and
// the status memo that shows the help text until the listener starts.
#include <QWidget>
#include <memory>
#include <string>

#include "platform/station.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrel {

class eee;
class ListenerView;
namespace ui {
class Memo;
}

// The address Label4 opens in the desktop's browser.
inline constexpr const char* kHelpAddress = "http://www.tavrel.example/help/";

class TForm1 : public QWidget {
 public:
  explicit TForm1(Station station = Station());
  ~TForm1() override;

  void FormCreate();
  void Button3Click();
  void Button1Click();
  void Label4Click();

  QFrame* Panel1;
  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QPushButton* Button3;
  QPushButton* Button1;
  QLabel* Label3;
  QLineEdit* Edit3;
  QLabel* Label4;
  ui::Memo* Memo1;

 protected:
  // Button1 is the window's cancel button: Esc presses it.
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildDesign();
  std::unique_ptr<ListenerView> view_;
  std::unique_ptr<eee> listener_;
  const Station station_;
};

// The help text of Memo1, lines joined by CR LF (GBK).
std::string HelpText();

int RunListenerWindow(int argc, char** argv, const Station& station);

}  // namespace tavrel
