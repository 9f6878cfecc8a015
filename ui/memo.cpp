#include "ui/memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/gbk_text.h"

namespace tavrel::ui {

Memo::Memo(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  connect(document(), &QTextDocument::contentsChange, this,
          [this](int position, int /*removed*/, int added) {
            if (!programmatic_ && byte_limit_ > 0 && added > 0) CutUserInsertion(position, added);
          });
}

std::string Memo::Text() const { return ToGbkLines(toPlainText()); }

void Memo::SetText(std::string_view gbk) {
  programmatic_ = true;
  setPlainText(FromGbkLines(gbk));
  programmatic_ = false;
}

void Memo::Clear() { SetText({}); }

void Memo::InsertAt(bool at_end, std::string_view gbk) {
  if (gbk.empty()) return;
  programmatic_ = true;
  QTextCursor cursor(document());
  cursor.movePosition(at_end ? QTextCursor::End : QTextCursor::Start);
  cursor.insertText(FromGbkLines(gbk));
  programmatic_ = false;
}

void Memo::AppendText(std::string_view gbk) { InsertAt(true, gbk); }

void Memo::PrependText(std::string_view gbk) {
  InsertAt(false, gbk);
  verticalScrollBar()->setValue(0);
}

void Memo::KeepFirstLines(int lines) {
  QTextDocument* doc = document();
  if (lines < 1 || doc->blockCount() <= lines) return;
  programmatic_ = true;
  QTextCursor cut(doc->findBlockByNumber(lines - 1));
  cut.movePosition(QTextCursor::EndOfBlock);
  cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cut.removeSelectedText();
  programmatic_ = false;
}

std::size_t Memo::GbkSize() const { return GbkByteCount(toPlainText()); }

bool Memo::GbkSizeExceeds(std::size_t at_least) const {
  // characterCount() is kept by the document; it counts each line break once
  // and one extra for the closing paragraph, so chars - 1 <= bytes <= 2 * chars.
  const auto chars = static_cast<std::size_t>(document()->characterCount()) - 1;
  if (chars > at_least) return true;
  if (2 * chars <= at_least) return false;
  return GbkSize() > at_least;
}

void Memo::SetByteLimit(std::size_t bytes) { byte_limit_ = bytes; }

// Whatever the operator typed, pasted or dropped past the limit is taken off
// the end of that insertion, like an edit box with a text limit.
void Memo::CutUserInsertion(int position, int added) {
  const std::size_t size = GbkSize();
  if (size <= byte_limit_) return;
  const int end = std::min(position + added, document()->characterCount() - 1);
  QTextCursor inserted(document());
  inserted.setPosition(position);
  inserted.setPosition(end, QTextCursor::KeepAnchor);
  const QString text = inserted.selectedText().replace(QChar::ParagraphSeparator, u'\n');
  const std::size_t inserted_bytes = GbkByteCount(text);
  const std::size_t before = size - std::min(size, inserted_bytes);
  std::size_t allowance = byte_limit_ > before ? byte_limit_ - before : 0;
  qsizetype keep = 0;
  while (keep < text.size()) {
    qsizetype step = (text.at(keep).isHighSurrogate() && keep + 1 < text.size()) ? 2 : 1;
    std::size_t bytes = GbkByteCount(text.mid(keep, step));
    if (bytes > allowance) break;
    allowance -= bytes;
    keep += step;
  }
  programmatic_ = true;
  QTextCursor cut(document());
  cut.setPosition(position + static_cast<int>(keep));
  cut.setPosition(end, QTextCursor::KeepAnchor);
  cut.removeSelectedText();
  programmatic_ = false;
}

}  // namespace tavrel::ui
