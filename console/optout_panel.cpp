#include "console/optout_panel.h"

#include <QLabel>
#include <QPushButton>

#include "platform/codepage.h"
#include "store/optout.h"
#include "ui/gbk_text.h"
#include "ui/report_view.h"

namespace tavrel::console {

OptOutPanel::OptOutPanel(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  Caption = new QLabel(this);
  ui::SetText(Caption, Gbk("已退订号码（双击刷新）"));
  Caption->setGeometry(0, 0, 212, 20);
  OptOutList = new ui::ReportView(this);
  OptOutList->setGeometry(0, 22, 212, 254);
  OptOutList->SetColumns({{"", 1}, {Gbk("手机号"), 90}, {Gbk("退订时间"), 116}});
  RemoveButton = new QPushButton(this);
  ui::SetText(RemoveButton, Gbk("取消退订"));
  RemoveButton->setGeometry(0, 282, 212, 28);

  connect(OptOutList, &ui::ReportView::DoubleClicked, this, [this] { Reload(); });
  connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  Reload();
}

void OptOutPanel::Reload() {
  OptOutList->Clear();
  std::vector<ui::ReportRow> rows;
  for (OptOutEntry& entry : ListOptOuts(station_)) {
    rows.push_back(ui::ReportRow{{}, {std::move(entry.number), std::move(entry.since)}, -1});
  }
  OptOutList->AppendRows(std::move(rows));
}

void OptOutPanel::RemoveSelected() {
  const int index = OptOutList->SelectedIndex();
  if (index < 0) return;
  RemoveOptOut(station_, OptOutList->SubItem(index, 0));
  Reload();
}

}  // namespace tavrel::console
