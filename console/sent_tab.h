#pragma once
// The page "已发送sms": the messages of a day that were sent.
#include <QWidget>

namespace tavrel::console {

class SentTab : public QWidget {
 public:
  explicit SentTab(QWidget* parent = nullptr);
};

}  // namespace tavrel::console
