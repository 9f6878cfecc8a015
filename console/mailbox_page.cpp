#include "console/mailbox_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"

namespace tavrel::console {
namespace {

constexpr int kMargin = 4;
constexpr int kListWidth = 740;
constexpr int kListHeight = 240;
constexpr int kBoxTop = kListHeight + 2 * kMargin + 20;
constexpr int kBoxHeight = 148;
constexpr int kLeftBoxWidth = 200;
constexpr int kRightBoxLeft = kMargin + kLeftBoxWidth + 12;
constexpr int kRightBoxWidth = 360;
constexpr int kSideLeft = kRightBoxLeft + kRightBoxWidth + 16;
constexpr int kSideWidth = 150;

QLabel* MakeLabel(QWidget* page, const char* caption_utf8, int x, int y, int width) {
  auto* label = new QLabel(page);
  ui::SetText(label, Gbk(caption_utf8));
  label->setGeometry(x, y, width, 18);
  return label;
}

LabelledMemo MakeBox(QWidget* page, const char* caption_utf8, std::size_t byte_limit, int x,
                     int width) {
  LabelledMemo box{MakeLabel(page, caption_utf8, x, kBoxTop - 20, width), new ui::Memo(page)};
  box.memo->setGeometry(x, kBoxTop, width, kBoxHeight);
  box.memo->SetByteLimit(byte_limit);
  box.memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return box;
}

}  // namespace

ui::ReportView* MakeMailboxList(QWidget* page, std::vector<ui::ReportColumn> columns) {
  auto* list = new ui::ReportView(page);
  list->setGeometry(kMargin, kMargin, kListWidth, kListHeight);
  // Columns one pixel wide keep their values out of sight, as designed.
  list->horizontalHeader()->setMinimumSectionSize(1);
  list->SetColumns(std::move(columns));
  return list;
}

std::string TextColumnHeading() { return Gbk("短信内容  (双击下面空白，获得内容列表)"); }

LabelledMemo MakeLeftBox(QWidget* page, const char* caption_utf8, std::size_t byte_limit) {
  return MakeBox(page, caption_utf8, byte_limit, kMargin, kLeftBoxWidth);
}

LabelledMemo MakeRightBox(QWidget* page, const char* caption_utf8, std::size_t byte_limit) {
  return MakeBox(page, caption_utf8, byte_limit, kRightBoxLeft, kRightBoxWidth);
}

DayControls MakeDayControls(QWidget* page) {
  DayControls day;
  day.label = MakeLabel(page, "日期：", kSideLeft, kBoxTop - 20, kSideWidth);
  day.edit = new QLineEdit(page);
  day.edit->setGeometry(kSideLeft, kBoxTop, kSideWidth, 24);
  day.back = MakeSideButton(page, "上一工作日", 1);
  day.forward = MakeSideButton(page, "下一工作日", 2);
  return day;
}

QPushButton* MakeSideButton(QWidget* page, const char* caption_utf8, int row) {
  auto* button = new QPushButton(page);
  ui::SetText(button, Gbk(caption_utf8));
  button->setGeometry(kSideLeft, kBoxTop + 4 + 36 * row, kSideWidth, 28);
  return button;
}

SideProgress MakeSideProgress(QWidget* page, int row) {
  SideProgress progress{new QProgressBar(page), new QLabel(page)};
  const int top = kBoxTop + 4 + 36 * row;
  progress.bar->setGeometry(kSideLeft, top, kSideWidth, 16);
  progress.bar->setTextVisible(false);
  progress.label->setGeometry(kSideLeft, top + 18, kSideWidth, 3 * 16);
  progress.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  progress.label->setWordWrap(true);
  return progress;
}

const std::vector<std::string>& ItemValues(const ui::ReportView* list, int index) {
  return list->Item(index).sub_items;
}

}  // namespace tavrel::console
