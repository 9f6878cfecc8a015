#include "console/received_tab.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/day_folder_nav.h"
#include "console/list_loader.h"
#include "console/mailbox_loader.h"
#include "console/mailbox_page.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

constexpr std::size_t kBoxByteLimit = 1023;

}  // namespace

ReceivedTab::ReceivedTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  ListView4 = MakeMailboxList(this, {{"", 1},
                                     {Gbk("信息内容"), 1},
                                     {Gbk("序号"), 35},
                                     {Gbk("发信人"), 100},
                                     {TextColumnHeading(), 440},
                                     {Gbk("收到时间"), 80}});
  const LabelledMemo sender = MakeLeftBox(this, "收信人：", kBoxByteLimit);
  Label7 = sender.label;
  Memo5 = sender.memo;
  const LabelledMemo text = MakeRightBox(this, "短信内容：", kBoxByteLimit);
  Label8 = text.label;
  Memo6 = text.memo;
  const DayControls day = MakeDayControls(this);
  Label9 = day.label;
  Edit4 = day.edit;
  Button3 = day.back;
  Button4 = day.forward;

  loader_ = std::make_unique<ListLoader>(ListView4, Edit4);

  connect(ListView4, &ui::ReportView::DoubleClicked, this, [this] { ListView4DblClick(); });
  connect(ListView4, &ui::ReportView::ItemChanged, this,
          [this](int index) { YiJieShouListView4Change(index); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
}

ReceivedTab::~ReceivedTab() = default;

void ReceivedTab::ListView4DblClick() {
  const std::string day = ChosenDay(ui::GetText(Edit4), station_.Today());
  loader_->Start(day, [day, station = station_](ListSink& sink) { LoadReceivedList(station, day, sink); });
}

// The boxes show the row as listed: each value up to its first line break.
void ReceivedTab::YiJieShouListView4Change(int index) {
  if (!ListView4->IsSelected(index)) return;
  const RowValues& values = ItemValues(ListView4, index);
  Memo5->SetText(RowFieldLine(values, 3));
  Memo6->SetText(RowFieldLine(values, 4));
}

void ReceivedTab::Button3Click() {
  ui::SetText(Edit4, StepDayBack(ui::GetText(Edit4), station_.Today()));
}

void ReceivedTab::Button4Click() {
  ui::SetText(Edit4, StepDayForward(ui::GetText(Edit4), station_.Today()));
}

}  // namespace tavrel::console
