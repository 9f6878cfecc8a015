#pragma once
// The page "点播信息维护": the information codes the auto-reply answers with.
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

class InfoCodeTab : public QWidget {
 public:
  explicit InfoCodeTab(Station station, QWidget* parent = nullptr);
  ~InfoCodeTab() override;

  void add_dianboClick();
  void ChaXun_DianBoBitBtn1Click();
  void change_diaoboClick();
  void del_dianbaoClick();
  void dianbo_listview_change(int index);
  void ListView1DblClick();  // loads the list on a thread of its own

  // Loads of ListView1 whose rows have all reached the list.
  int LoadsFinished() const;

  ui::ReportView* ListView1;
  QLabel* Label7;  // caption of Edit7
  QLineEdit* Edit7;
  QLabel* Label8;  // caption of Memo8
  ui::Memo* Memo8;
  QLabel* Label23;
  QPushButton* add_dianbo;
  QPushButton* ChaXun_DianBoBitBtn1;
  QPushButton* change_diaobo;
  QPushButton* del_dianbao;

 private:
  const Station station_;
  std::unique_ptr<CatalogueLoads> loads_;
};

}  // namespace tavrel::console
