#pragma once
// The page "已接收sms": the messages that came in on a chosen day.
#include <QWidget>
#include <memory>

#include "platform/station.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrel::ui {
class Memo;
class ReportView;
}  // namespace tavrel::ui

namespace tavrel::console {

class ListLoader;

class ReceivedTab : public QWidget {
 public:
  explicit ReceivedTab(Station station, QWidget* parent = nullptr);
  ~ReceivedTab() override;

  // Loads the received list of the day in Edit4 (or today) on a loader thread.
  void ListView4DblClick();
  // A row of ListView4 changed; a selected row is shown from the row itself.
  void YiJieShouListView4Change(int index);
  void Button3Click();  // previous day
  void Button4Click();  // next day

  ListLoader& Loader() { return *loader_; }

  ui::ReportView* ListView4;
  QLabel* Label7;
  ui::Memo* Memo5;
  QLabel* Label8;
  ui::Memo* Memo6;
  QLabel* Label9;
  QLineEdit* Edit4;
  QPushButton* Button3;
  QPushButton* Button4;

 private:
  const Station station_;
  std::unique_ptr<ListLoader> loader_;
};

}  // namespace tavrel::console
