#pragma once
// The page "新建sms": the operator writes a message and files it in today's
// outbox, where the engine finds it in its next cycle.
#include <QWidget>

#include "platform/station.h"

class QLabel;
class QPushButton;

namespace tavrel::ui {
class Memo;
class ReportView;
}  // namespace tavrel::ui

namespace tavrel::console {

inline constexpr std::size_t kRecipientsByteLimit = 1023;
inline constexpr std::size_t kMessageByteLimit = 142;
// With PARTS above 1, bytes the text memo takes per SMS of PARTS: 160 septets,
// each a GBK byte or, for a character such as é, two.
inline constexpr std::size_t kMessageBytesPerPart = 320;

class ComposeTab : public QWidget {
 public:
  explicit ComposeTab(Station station, QWidget* parent = nullptr);

  void MemoTextChangeView();
  void fasdxClick();
  const Station& station() const { return station_; }

  QLabel* Label1;
  ui::Memo* shoujihao;
  QLabel* StaticText1;
  ui::Memo* duanxin;
  QLabel* Label10;
  QPushButton* fasdx;
  // The address book; filled and wired by the customer catalogue.
  QPushButton* tongxb;
  ui::ReportView* ListView7;

 private:
  const Station station_;
};

}  // namespace tavrel::console
