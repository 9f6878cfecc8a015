#include "numgen/window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <system_error>
#include <utility>

#include "numgen/line_list_view.h"
#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/message_box.h"
#include "ui/window_style.h"
#include "ui/window_thread.h"

namespace tavrel::numgen {
namespace {

constexpr int kEditChars = 11;
// A batch is big enough that handing it over costs nothing per line, and
// small enough that the list visibly grows while a run lasts.
constexpr std::size_t kBatchLines = 8192;
constexpr std::size_t kMaxInFlightBytes = 4u << 20;

std::size_t LineBytes(const NumberRange& range, std::int64_t value) {
  return ListRange(NumberRange{range.prefix, value, value, range.width}).size();
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  ui::SetText(this, Gbk("Tavrelsms客户管理---手机号码自动生成"));
  ui::SetUpMainWindow(this, 503, 371);

  Label1 = new QLabel(this);
  ui::SetText(Label1, Gbk("启始号    "));
  Label1->setGeometry(16, 16, 64, 17);
  Edit1 = new QLineEdit(this);
  Edit1->setMaxLength(kEditChars);
  Edit1->setGeometry(80, 12, 121, 23);

  Label2 = new QLabel(this);
  ui::SetText(Label2, Gbk("终止号    "));
  Label2->setGeometry(216, 16, 64, 17);
  Edit2 = new QLineEdit(this);
  Edit2->setMaxLength(kEditChars);
  Edit2->setGeometry(280, 12, 121, 23);

  Button1 = new QPushButton(this);
  ui::SetText(Button1, Gbk("确定"));
  ui::SetBold(Button1);
  Button1->setGeometry(416, 11, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);

  Memo1 = new LineListView(this);
  ui::SetBold(Memo1);
  ui::SetTextColour(Memo1, Qt::white);
  ui::SetBackgroundColour(Memo1, ui::DesktopColour());
  // Inverted, so a selection stands out on the desktop colour.
  QPalette colours = Memo1->palette();
  colours.setColor(QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::HighlightedText, ui::DesktopColour());
  Memo1->setPalette(colours);
  Memo1->setGeometry(8, 48, 487, 315);
}

TForm1::~TForm1() {
  // Closing the window ends a run in progress; the worker stops at its next batch.
  {
    // Under the lock, so a worker about to wait for room cannot miss it.
    std::lock_guard lock(flight_mutex_);
    stop_ = true;
  }
  flight_room_.notify_all();
  if (worker_.joinable()) worker_.join();
}

std::string TForm1::TooManyNumbersText(std::uint64_t count) {
  return Gbk("号码范围太大：从启始号到终止号共有 ") + std::to_string(count) +
         Gbk(" 个号码，一次最多只能生成 ") + std::to_string(kMaxRangeNumbers) +
         Gbk(" 个。请缩小启始号和终止号之间的范围后再按确定。");
}

void TForm1::Button1Click() {
  // The button is disabled while a run lasts; a click that slips through is refused.
  if (Running()) return;
  // Texts are read here, on the window thread: the worker never touches a control.
  const NumberRange range = PlanRange(ui::GetText(Edit1), ui::GetText(Edit2));
  const std::uint64_t count = range.Count();
  if (count > kMaxRangeNumbers) {
    Memo1->Clear();
    ui::ShowMessage(TooManyNumbersText(count), this);
    return;
  }

  stop_ = false;
  {
    std::lock_guard lock(flight_mutex_);
    in_flight_ = 0;
  }
  try {
    worker_ = std::thread([this, range] { GenerateRange(range); });
  } catch (const std::system_error&) {
    return;  // no thread, no run: the window stays as it was
  }
  // Posted batches run only after this handler returns, so the list is
  // cleared before the first of them arrives.
  ui::SetText(Button1, Gbk("运行中..."));
  Button1->setEnabled(false);
  Memo1->Clear();
  if (count > 0) {
    const std::size_t widest = std::max(LineBytes(range, range.first), LineBytes(range, range.last));
    Memo1->Reserve(widest * count, count);
  }
}

int TForm1::GenerateRange(NumberRange range) {
  RangeLines lines(std::move(range));
  while (!lines.Done() && !stop_) {
    std::string batch;
    lines.AppendTo(batch, kBatchLines);
    HandOver(std::move(batch));
  }
  if (!stop_) {
    QPointer<TForm1> self(this);
    ui::PostToWindow([self] {
      if (self) self->FinishRun();
    });
  }
  return 0;
}

void TForm1::HandOver(std::string batch) {
  const std::size_t size = batch.size();
  {
    std::unique_lock lock(flight_mutex_);
    flight_room_.wait(lock, [&] { return stop_ || in_flight_ < kMaxInFlightBytes; });
    if (stop_) return;
    in_flight_ += size;
  }
  QPointer<TForm1> self(this);
  ui::PostToWindow([self, size, batch = std::move(batch)] {
    if (!self) return;
    self->Memo1->AppendText(batch);
    {
      std::lock_guard lock(self->flight_mutex_);
      self->in_flight_ -= size;
    }
    self->flight_room_.notify_all();
  });
}

void TForm1::FinishRun() {
  if (worker_.joinable()) worker_.join();
  ui::SetText(Button1, Gbk("确定"));
  Button1->setEnabled(true);
  emit RunFinished();
}

}  // namespace tavrel::numgen
