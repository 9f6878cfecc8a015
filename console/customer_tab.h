#pragma once
// The page "客户信息维护": the customer catalogue.
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

class CatalogueLoads;
class OptOutPanel;

class CustomerTab : public QWidget {
 public:
  explicit CustomerTab(Station station, QWidget* parent = nullptr);
  ~CustomerTab() override;

  void add_kehu_buttonClick();
  void ChaXun_BitBtn1Click();
  void change_kehu_BitBtn2Click();
  void del_keHU_BitBtn4Click();
  void kehu_listvi_chang(int index);
  void ListView5DblClick();  // loads the list on a thread of its own

  // Loads of ListView5 that have ended (rows listed, boxes closed).
  int LoadsFinished() const;

  ui::ReportView* ListView5;
  QLabel* Label5;  // caption of Edit5
  QLineEdit* Edit5;
  QLabel* Label6;  // caption of Edit6
  QLineEdit* Edit6;
  QLabel* Label13;   // "客户" beside Memo13
  QLabel* Label14;   // "信息" below it
  ui::Memo* Memo13;
  QPushButton* add_kehu_button;
  QPushButton* ChaXun_BitBtn1;
  QPushButton* change_kehu_BitBtn2;
  QPushButton* del_keHU_BitBtn4;
  OptOutPanel* OptOuts;

 private:
  const Station station_;
  std::unique_ptr<CatalogueLoads> loads_;
};

}  // namespace tavrel::console
