#pragma once
// Beside the customer list: the numbers whose owners asked to receive nothing
// more, with the time they asked, and a button that takes one off the list
// (the customer asked again by phone, or was added by mistake).
#include <QWidget>

#include "platform/station.h"

class QLabel;
class QPushButton;

namespace tavrel::ui {
class ReportView;
}  // namespace tavrel::ui

namespace tavrel::console {

class OptOutPanel : public QWidget {
 public:
  OptOutPanel(Station station, QWidget* parent);

  void Reload();          // also on a double click on the list
  void RemoveSelected();  // the button; nothing when no row is selected

  QLabel* Caption;
  ui::ReportView* OptOutList;  // number, since
  QPushButton* RemoveButton;

 private:
  const Station station_;
};

}  // namespace tavrel::console
