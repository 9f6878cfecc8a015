#pragma once
// The page "待发送sms": the messages of a day that wait to be sent.
#include <QWidget>

namespace tavrel::console {

class PendingTab : public QWidget {
 public:
  explicit PendingTab(QWidget* parent = nullptr);

  // Loads the pending list of the chosen day on a loader thread.
  void ListView2DblClick();
};

}  // namespace tavrel::console
