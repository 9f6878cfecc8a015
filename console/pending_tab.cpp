#include "console/pending_tab.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "console/list_loader.h"
#include "console/mailbox_loader.h"
#include "console/mailbox_page.h"
#include "console/page_worker.h"
#include "console/send_progress.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "store/record_store.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

constexpr std::size_t kBoxByteLimit = 1023;
// How long the pointer rests on a row before hot tracking selects it.
constexpr std::chrono::milliseconds kHoverSelect{400};
// How often the shown page looks at the record being sent.
constexpr std::chrono::milliseconds kProgressEvery{2000};

void ShowProgress(QProgressBar* bar, QLabel* label, const SendProgress& progress) {
  bar->setVisible(progress.record != 0);
  bar->setRange(0, static_cast<int>(std::min<long>(progress.recipients, 1 << 30)));
  bar->setValue(static_cast<int>(std::min<long>(progress.done(), 1 << 30)));
  ui::SetText(label, ProgressText(progress));
}

}  // namespace

PendingTab::PendingTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  ListView2 = MakeMailboxList(this, {{"", 1},
                                     {"", 30},
                                     {Gbk("序号"), 35},
                                     {Gbk("收信人"), 80},
                                     {TextColumnHeading(), 380},
                                     {Gbk("建立时间"), 120}});
  ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView2->setMouseTracking(true);
  ListView2->viewport()->setMouseTracking(true);

  const LabelledMemo recipients = MakeLeftBox(this, "收信人：", kBoxByteLimit);
  Label2 = recipients.label;
  Memo1 = recipients.memo;
  const LabelledMemo text = MakeRightBox(this, "内容：", kBoxByteLimit);
  Label3 = text.label;
  Memo2 = text.memo;
  changge_dai_BitBtn1 = MakeSideButton(this, "短信修改", 0);
  del_dai_BitBtn2 = MakeSideButton(this, "禁止发送", 1);
  const SideProgress progress = MakeSideProgress(this, 2);
  SendProgressBar = progress.bar;
  SendProgressLabel = progress.label;
  SendProgressBar->hide();

  loader_ = std::make_unique<ListLoader>(ListView2);
  progress_worker_ = std::make_unique<PageWorker>();
  progress_reader_ = std::make_shared<SendProgressReader>(station_);
  progress_timer_ = new QTimer(this);
  progress_timer_->setInterval(
      std::chrono::duration_cast<std::chrono::milliseconds>(Paced(kProgressEvery)));
  connect(progress_timer_, &QTimer::timeout, this, [this] {
    if (isVisible()) RefreshProgress();
  });
  progress_timer_->start();
  hover_timer_ = new QTimer(this);
  hover_timer_->setSingleShot(true);
  hover_timer_->setInterval(
      std::chrono::duration_cast<std::chrono::milliseconds>(Paced(kHoverSelect)));

  connect(ListView2, &ui::ReportView::DoubleClicked, this, [this] { ListView2DblClick(); });
  connect(ListView2, &ui::ReportView::ItemChanged, this, [this](int index) { daifaListView(index); });
  connect(ListView2, &QAbstractItemView::entered, this,
          [this](const QModelIndex& index) { HoverOver(index.row()); });
  connect(ListView2, &QAbstractItemView::viewportEntered, hover_timer_, &QTimer::stop);
  connect(hover_timer_, &QTimer::timeout, this, [this] {
    if (hovered_row_ >= 0 && hovered_row_ < ListView2->Count() && !ListView2->IsSelected(hovered_row_))
      ListView2->Select(hovered_row_);
  });
  connect(changge_dai_BitBtn1, &QPushButton::clicked, this, [this] { changge_dai_BitBtn1Click(); });
  connect(del_dai_BitBtn2, &QPushButton::clicked, this, [this] { del_dai_BitBtn2Click(); });
}

PendingTab::~PendingTab() = default;

void PendingTab::ListView2DblClick() {
  const std::string today = station_.Today();
  loader_->Start(today, [today, station = station_](ListSink& sink) { LoadPendingList(station, today, sink); });
}

void PendingTab::RefreshProgress() {
  progress_worker_->Start([reader = progress_reader_, today = station_.Today(),
                           bar = QPointer<QProgressBar>(SendProgressBar),
                           label = QPointer<QLabel>(SendProgressLabel)] {
    ui::PostToWindow([progress = reader->Read(today), bar, label] {
      if (bar && label) ShowProgress(bar, label, progress);
    });
  });
}

void PendingTab::HoverOver(int index) {
  hovered_row_ = index;
  hover_timer_->start();
}

void PendingTab::daifaListView(int index) {
  if (!ListView2->IsSelected(index)) return;
  SelectedRecord = RowRecordNumber(ItemValues(ListView2, index));
  // The files, not the row: they may have been rewritten since the load.
  const std::string today = station_.Today();
  const long n = SelectedRecord;
  const auto recipients =
      ReadRecordField(station_, today, kNewBox, RecordPart::Recipients, n, kSelectionField);
  if (!recipients) return;
  Memo1->SetText(*recipients);
  if (auto text = ReadRecordField(station_, today, kNewBox, RecordPart::Text, n, kSelectionField))
    Memo2->SetText(*text);
}

void PendingTab::changge_dai_BitBtn1Click() {
  RewriteOutboxRecord(station_, station_.Today(), SelectedRecord, Memo1->Text(), Memo2->Text());
}

void PendingTab::del_dai_BitBtn2Click() {
  const std::string today = station_.Today();
  std::string recipients = Memo1->Text();
  // The box shows only the start of a list longer than its field; written
  // back from the box, the list of a big record being sent would lose the
  // rest, which the journal then could not account for. The mark goes in
  // front of the file's own list instead.
  std::error_code error;
  const auto size = std::filesystem::file_size(
      RecordFilePath(station_, today, kNewBox, RecordPart::Recipients, SelectedRecord), error);
  if (!error && size >= kSelectionField) {
    if (auto whole = ReadRecordFile(station_, today, kNewBox, RecordPart::Recipients, SelectedRecord))
      recipients = std::move(*whole);
  }
  ForbidOutboxRecord(station_, today, SelectedRecord, recipients);
}

}  // namespace tavrel::console
