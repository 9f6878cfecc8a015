#pragma once
// The page "已发送sms": the messages of a chosen day that the engine has
// handled.
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
class UnsentDialog;

class SentTab : public QWidget {
 public:
  explicit SentTab(Station station, QWidget* parent = nullptr);
  ~SentTab() override;

  // Selecting a sent row sets the window's one SelectedRecord, which the
  // pending page's modify and forbid buttons use.
  void ShareSelectedRecord(long* selected_record) { selected_record_ = selected_record; }

  // Loads the sent list of the day in nian_Edit7 (or today) on a loader thread.
  void ListView3DblClick();
  // A row of ListView3 changed; only a selected row is shown.
  void YiifaduanXinlistView(int index);
  void Button5Click();  // previous day
  void Button6Click();  // next day
  // Shows the failed and skipped recipients of the selected row's record.
  void UnsentButtonClick();

  // Null until the unsent button was first pressed.
  UnsentDialog* Unsent() { return unsent_; }

  ListLoader& Loader() { return *loader_; }

  ui::ReportView* ListView3;
  QLabel* Label4;
  ui::Memo* Memo3;
  QLabel* Label5;
  ui::Memo* Memo4;
  QLabel* Label6;
  QLineEdit* nian_Edit7;
  QPushButton* Button5;
  QPushButton* Button6;
  QPushButton* UnsentButton;

 private:
  const Station station_;
  std::unique_ptr<ListLoader> loader_;
  UnsentDialog* unsent_ = nullptr;
  long own_selected_record_ = 0;
  long* selected_record_ = &own_selected_record_;
};

}  // namespace tavrel::console
