#include "console/sent_tab.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/day_folder_nav.h"
#include "console/list_loader.h"
#include "console/mailbox_loader.h"
#include "console/mailbox_page.h"
#include "console/unsent_dialog.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

constexpr std::size_t kRecipientsByteLimit = 10240;
constexpr std::size_t kTextByteLimit = 1023;

}  // namespace

SentTab::SentTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  ListView3 = MakeMailboxList(this, {{"", 1},
                                     {"", 1},
                                     {Gbk("序号"), 35},
                                     {Gbk("收信人"), 100},
                                     {TextColumnHeading(), 320},
                                     // Wide enough for the whole stamp.
                                     {Gbk("发送时间"), 130},
                                     {Gbk("发送结果"), 130}});
  const LabelledMemo recipients = MakeLeftBox(this, "收  信  人：", kRecipientsByteLimit);
  Label4 = recipients.label;
  Memo3 = recipients.memo;
  const LabelledMemo text = MakeRightBox(this, "内容：", kTextByteLimit);
  Label5 = text.label;
  Memo4 = text.memo;
  const DayControls day = MakeDayControls(this);
  Label6 = day.label;
  nian_Edit7 = day.edit;
  Button5 = day.back;
  Button6 = day.forward;
  UnsentButton = MakeSideButton(this, "失败和跳过的号码", 3);

  loader_ = std::make_unique<ListLoader>(ListView3, nian_Edit7);

  connect(ListView3, &ui::ReportView::DoubleClicked, this, [this] { ListView3DblClick(); });
  connect(ListView3, &ui::ReportView::ItemChanged, this,
          [this](int index) { YiifaduanXinlistView(index); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(UnsentButton, &QPushButton::clicked, this, [this] { UnsentButtonClick(); });
}

SentTab::~SentTab() = default;

void SentTab::ListView3DblClick() {
  const std::string day = ChosenDay(ui::GetText(nian_Edit7), station_.Today());
  loader_->Start(day, [day, station = station_](ListSink& sink) { LoadSentList(station, day, sink); });
}

void SentTab::YiifaduanXinlistView(int index) {
  if (!ListView3->IsSelected(index)) return;
  *selected_record_ = RowRecordNumber(ItemValues(ListView3, index));
  const std::string day = ChosenDay(ui::GetText(nian_Edit7), station_.Today());
  const long n = *selected_record_;
  const auto recipients = ReadRecordField(station_, day, kNewBox, RecordPart::Recipients, n, kSelectionField);
  if (!recipients) return;
  Memo3->SetText(*recipients);
  if (auto text = ReadRecordField(station_, day, kNewBox, RecordPart::Text, n, kSelectionField))
    Memo4->SetText(*text);
}

void SentTab::Button5Click() {
  ui::SetText(nian_Edit7, StepDayBack(ui::GetText(nian_Edit7), station_.Today()));
}

void SentTab::Button6Click() {
  ui::SetText(nian_Edit7, StepDayForward(ui::GetText(nian_Edit7), station_.Today()));
}

void SentTab::UnsentButtonClick() {
  const int row = ListView3->SelectedIndex();
  if (row < 0) return;
  if (unsent_ == nullptr) unsent_ = new UnsentDialog(station_, this);
  unsent_->ShowRecord(ChosenDay(ui::GetText(nian_Edit7), station_.Today()),
                      RowRecordNumber(ItemValues(ListView3, row)));
  unsent_->show();
  unsent_->raise();
}

}  // namespace tavrel::console
