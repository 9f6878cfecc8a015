#include "numgen/line_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/codepage.h"
#include "ui/gbk_text.h"

namespace tavrel::numgen {
namespace {

constexpr int kTextMargin = 3;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString LineToQString(std::string_view gbk) {
  if (IsAscii(gbk)) return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
  return ui::FromGbk(gbk);
}

}  // namespace

LineListView::LineListView(QWidget* parent) : QAbstractScrollArea(parent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  UpdateScrollRange();
}

void LineListView::AppendText(std::string_view gbk) {
  if (gbk.empty()) return;
  if (gbk.size() > std::numeric_limits<std::uint32_t>::max() - text_.size()) {
    throw std::length_error("The list is full: it holds at most 4 GiB of text.");
  }
  const std::size_t first_new_line = LineCount() == 0 ? 0 : LineCount() - 1;
  const std::size_t base = text_.size();
  text_.append(gbk);
  const char* data = text_.data();
  for (std::size_t at = base; at < text_.size();) {
    const void* found = std::memchr(data + at, '\n', text_.size() - at);
    if (found == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
    line_starts_.push_back(static_cast<std::uint32_t>(at));
  }
  UpdateScrollRange();
  // Lines past the viewport need no paint; the scroll bar has already grown.
  if (first_new_line <= static_cast<std::size_t>(TopLine() + VisibleLineCount())) {
    viewport()->update();
  }
}

void LineListView::Clear() {
  // A long list's memory goes back with it, not only its text.
  std::string().swap(text_);
  std::vector<std::uint32_t>{0}.swap(line_starts_);
  has_selection_ = false;
  anchor_ = caret_ = 0;
  UpdateScrollRange();
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

void LineListView::Reserve(std::size_t bytes, std::size_t lines) {
  text_.reserve(text_.size() + bytes);
  line_starts_.reserve(line_starts_.size() + lines);
}

std::size_t LineListView::LineCount() const {
  const std::size_t starts = line_starts_.size();
  return line_starts_.back() == text_.size() ? starts - 1 : starts;
}

std::size_t LineListView::LineEnd(std::size_t index) const {
  return index + 1 < line_starts_.size() ? line_starts_[index + 1] : text_.size();
}

std::string_view LineListView::Line(std::size_t index) const {
  if (index >= LineCount()) return {};
  std::string_view line(text_.data() + line_starts_[index], LineEnd(index) - line_starts_[index]);
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

int LineListView::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int LineListView::TopLine() const { return verticalScrollBar()->value(); }

int LineListView::VisibleLineCount() const {
  return std::max(1, viewport()->height() / LineHeight());
}

int LineListView::LineAt(int y) const {
  const std::size_t count = LineCount();
  if (count == 0) return -1;
  const long long line = TopLine() + static_cast<long long>(std::floor(double(y) / LineHeight()));
  return static_cast<int>(std::clamp<long long>(line, 0, static_cast<long long>(count) - 1));
}

void LineListView::UpdateScrollRange() {
  const long long count = static_cast<long long>(LineCount());
  const int visible = VisibleLineCount();
  const long long top = std::max(0LL, count - visible);
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, static_cast<int>(std::min<long long>(top, std::numeric_limits<int>::max())));
  bar->setPageStep(visible);
  bar->setSingleStep(1);
}

void LineListView::ScrollToEnd() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void LineListView::EnsureVisible(std::size_t line) {
  const int target = static_cast<int>(line);
  if (target < TopLine()) {
    verticalScrollBar()->setValue(target);
  } else if (target >= TopLine() + VisibleLineCount()) {
    verticalScrollBar()->setValue(target - VisibleLineCount() + 1);
  }
}

std::size_t LineListView::SelectionFirst() const { return std::min(anchor_, caret_); }
std::size_t LineListView::SelectionLast() const { return std::max(anchor_, caret_); }

void LineListView::SelectLines(std::size_t anchor, std::size_t current) {
  const std::size_t count = LineCount();
  if (count == 0) return;
  anchor_ = std::min(anchor, count - 1);
  caret_ = std::min(current, count - 1);
  has_selection_ = true;
  viewport()->update();
}

void LineListView::SelectAll() {
  if (LineCount() > 0) SelectLines(0, LineCount() - 1);
}

void LineListView::MoveCaret(std::ptrdiff_t to, bool extend) {
  const std::size_t count = LineCount();
  if (count == 0) return;
  const auto line = static_cast<std::size_t>(
      std::clamp<std::ptrdiff_t>(to, 0, static_cast<std::ptrdiff_t>(count) - 1));
  SelectLines(extend && has_selection_ ? anchor_ : line, line);
  EnsureVisible(line);
}

QString LineListView::SelectedText() const {
  if (!has_selection_ || LineCount() == 0) return {};
  const std::size_t from = line_starts_[SelectionFirst()];
  const std::size_t to = LineEnd(SelectionLast());
  QString text = ui::FromGbkLines(std::string_view(text_).substr(from, to - from));
  if (!text.endsWith(u'\n')) text += u'\n';
  return text;
}

void LineListView::CopySelection() const {
  if (has_selection_) QApplication::clipboard()->setText(SelectedText());
}

void LineListView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const int height = LineHeight();
  const int ascent = fontMetrics().ascent();
  const int width = viewport()->width();
  const std::size_t count = LineCount();
  const auto top = static_cast<std::size_t>(TopLine());
  const QPalette& colours = palette();
  for (std::size_t line = top, y = 0;
       line < count && y < static_cast<std::size_t>(viewport()->height()) + height;
       ++line, y += height) {
    const int row = static_cast<int>(y);
    const bool selected = has_selection_ && line >= SelectionFirst() && line <= SelectionLast();
    if (selected) painter.fillRect(0, row, width, height, colours.color(QPalette::Highlight));
    painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(kTextMargin, row + ascent, LineToQString(Line(line)));
    if (has_selection_ && line == caret_ && hasFocus()) {
      painter.setPen(Qt::DotLine);
      painter.drawRect(0, row, width - 1, height - 1);
    }
  }
}

void LineListView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}

void LineListView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateScrollRange();
}

void LineListView::scrollContentsBy(int, int) { viewport()->update(); }

void LineListView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) return SelectAll();
  if (event->matches(QKeySequence::Copy)) return CopySelection();
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const auto caret = static_cast<std::ptrdiff_t>(has_selection_ ? caret_ : TopLine());
  const std::ptrdiff_t page = VisibleLineCount();
  switch (event->key()) {
    case Qt::Key_Up: return MoveCaret(has_selection_ ? caret - 1 : caret, extend);
    case Qt::Key_Down: return MoveCaret(has_selection_ ? caret + 1 : caret, extend);
    case Qt::Key_PageUp: return MoveCaret(caret - page, extend);
    case Qt::Key_PageDown: return MoveCaret(caret + page, extend);
    case Qt::Key_Home: return MoveCaret(0, extend);
    case Qt::Key_End: return MoveCaret(std::numeric_limits<std::ptrdiff_t>::max(), extend);
    default: QAbstractScrollArea::keyPressEvent(event);
  }
}

void LineListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const int line = LineAt(event->position().toPoint().y());
  if (line >= 0) MoveCaret(line, event->modifiers() & Qt::ShiftModifier);
}

void LineListView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return QAbstractScrollArea::mouseMoveEvent(event);
  const int line = LineAt(event->position().toPoint().y());
  if (line >= 0) MoveCaret(line, true);
}

void LineListView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(ui::FromGbk(Gbk("复制")), this, &LineListView::CopySelection);
  copy->setEnabled(has_selection_);
  QAction* all = menu.addAction(ui::FromGbk(Gbk("全选")), this, &LineListView::SelectAll);
  all->setEnabled(LineCount() > 0);
  menu.exec(event->globalPos());
}

}  // namespace tavrel::numgen
