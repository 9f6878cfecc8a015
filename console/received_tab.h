#pragma once
// The page "已接收sms": the messages of a day that came in.
#include <QWidget>

namespace tavrel::console {

class ReceivedTab : public QWidget {
 public:
  explicit ReceivedTab(QWidget* parent = nullptr);
};

}  // namespace tavrel::console
