#pragma once
// A read-only list of text lines that only grows at its end, for lists far
// too long for a text document: a million numbers cost their bytes plus four
// bytes a line, an append costs time in proportion to what it adds, and a
// paint draws only the lines in sight. Whole lines are selected with the
// mouse or the keyboard; Ctrl+A selects all, Ctrl+C copies the selection.
#include <QAbstractScrollArea>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::numgen {

class LineListView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit LineListView(QWidget* parent = nullptr);

  // The text as appended: GBK, each line ended by CR LF (or LF).
  const std::string& Text() const { return text_; }
  // Appends GBK text; a line without its end is completed by the next append.
  void AppendText(std::string_view gbk);
  void Clear();
  // Room for what a run is known to add, so the text is not copied as it grows.
  void Reserve(std::size_t bytes, std::size_t lines);

  // Lines on show: every ended line, and a last one still without its end.
  std::size_t LineCount() const;
  std::string_view Line(std::size_t index) const;  // without its line end

  int TopLine() const;
  int VisibleLineCount() const;  // whole lines that fit in the viewport
  void ScrollToEnd();

  bool HasSelection() const { return has_selection_; }
  std::size_t SelectionFirst() const;
  std::size_t SelectionLast() const;
  void SelectAll();
  void SelectLines(std::size_t anchor, std::size_t current);
  // The selected lines as the clipboard gets them: LF after each line.
  QString SelectedText() const;
  void CopySelection() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  int LineHeight() const;
  int LineAt(int y) const;  // clamped to the lines there are; -1 when empty
  void MoveCaret(std::ptrdiff_t to, bool extend);
  void EnsureVisible(std::size_t line);
  void UpdateScrollRange();
  std::size_t LineEnd(std::size_t index) const;  // byte after the line and its end

  std::string text_;
  // Byte offset where each line starts; the text stays under 4 GiB (Append
  // refuses more), which the generator's limit keeps far away.
  std::vector<std::uint32_t> line_starts_{0};

  bool has_selection_ = false;
  std::size_t anchor_ = 0;
  std::size_t caret_ = 0;
};

}  // namespace tavrel::numgen
