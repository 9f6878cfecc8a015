#pragma once
// The parts the three mailbox pages share: a list with its columns over two
// labelled boxes, and a date edit with its two day buttons.
#include <string>
#include <vector>

#include "ui/report_view.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tavrel::ui {
class Memo;
}

namespace tavrel::console {

// Column 0 is the row caption, which stays empty; the row values fill 1 to 5.
ui::ReportView* MakeMailboxList(QWidget* page, std::vector<ui::ReportColumn> columns);
// The heading of the text column, which tells how to load the list.
std::string TextColumnHeading();

struct LabelledMemo {
  QLabel* label;
  ui::Memo* memo;
};
// Boxes below the list, left (recipients or sender) and right (text).
LabelledMemo MakeLeftBox(QWidget* page, const char* caption_utf8, std::size_t byte_limit);
LabelledMemo MakeRightBox(QWidget* page, const char* caption_utf8, std::size_t byte_limit);

struct DayControls {
  QLabel* label;
  QLineEdit* edit;
  QPushButton* back;
  QPushButton* forward;
};
DayControls MakeDayControls(QWidget* page);
// A button beside the boxes; row 0 is the topmost.
QPushButton* MakeSideButton(QWidget* page, const char* caption_utf8, int row);

struct SideProgress {
  QProgressBar* bar;
  QLabel* label;  // below the bar, a few lines
};
// A progress bar beside the boxes in the given row, its label under it.
SideProgress MakeSideProgress(QWidget* page, int row);

// The row values of the list's item, as the selection handlers take them.
const std::vector<std::string>& ItemValues(const ui::ReportView* list, int index);

}  // namespace tavrel::console
