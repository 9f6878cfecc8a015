#include "console/unsent_dialog.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "console/list_loader.h"
#include "console/mailbox_loader.h"
#include "console/page_worker.h"
#include "platform/codepage.h"
#include "store/journal.h"
#include "ui/gbk_text.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

constexpr int kWidth = 560;
constexpr int kListHeight = 300;

std::string RetryOutcome(const Result<Refiled>& refiled) {
  if (!refiled) return refiled.error().text;
  const Refiled& again = refiled.value();
  if (again.recipients == 0) return Gbk("没有失败或跳过的号码。");
  return Gbk("已重新建立 ") + again.record.day + Gbk(" 第 ") + std::to_string(again.record.number) +
         Gbk(" 条短信，") + std::to_string(again.recipients) + Gbk(" 个号码。");
}

}  // namespace

UnsentDialog::UnsentDialog(Station station, QWidget* parent)
    : QDialog(parent), station_(std::move(station)) {
  ui::SetText(this, Gbk("失败和跳过的号码"));
  resize(kWidth, kListHeight + 80);
  RecordLabel = new QLabel(this);
  RecordLabel->setGeometry(4, 4, kWidth - 8, 18);
  UnsentList = new ui::ReportView(this);
  UnsentList->setGeometry(4, 26, kWidth - 8, kListHeight);
  UnsentList->SetColumns({{"", 1},
                          {Gbk("行"), 50},
                          {Gbk("号码"), 110},
                          {Gbk("结果"), 50},
                          {Gbk("原因"), 330}});
  RetryButton = new QPushButton(this);
  ui::SetText(RetryButton, Gbk("重新发送这些号码"));
  RetryButton->setGeometry(4, kListHeight + 34, 150, 28);
  RetryLabel = new QLabel(this);
  RetryLabel->setGeometry(164, kListHeight + 34, kWidth - 168, 28);
  loader_ = std::make_unique<ListLoader>(UnsentList);
  worker_ = std::make_unique<PageWorker>();
  connect(RetryButton, &QPushButton::clicked, this, [this] { RetryButtonClick(); });
}

UnsentDialog::~UnsentDialog() = default;

void UnsentDialog::ShowRecord(const std::string& day, long n) {
  day_ = day;
  record_ = n;
  ui::SetText(RecordLabel, day + Gbk(" 第 ") + std::to_string(n) + Gbk(" 条短信"));
  ui::SetText(RetryLabel, "");
  loader_->Start(day, [day, n, station = station_](ListSink& sink) {
    LoadUnsentList(station, day, n, sink);
  });
}

void UnsentDialog::RetryButtonClick() {
  worker_->Start([station = station_, day = day_, n = record_,
                  label = QPointer<QLabel>(RetryLabel)] {
    ui::PostToWindow([text = RetryOutcome(FileUnsentAgain(station, day, n)), label] {
      if (label) ui::SetText(label, text);
    });
  });
}

}  // namespace tavrel::console
