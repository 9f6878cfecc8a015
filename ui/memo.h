#pragma once
// A multi-line text box. Its text crosses to the programs as GBK with CR LF
// between lines. Large appends are cheap: they go in as one insertion, and
// worker threads hand them over through PostAppend (window_thread.h), which
// joins consecutive appends into one.
#include <QPlainTextEdit>
#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::ui {

class Memo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit Memo(QWidget* parent = nullptr);

  std::string Text() const;                 // GBK, CR LF between lines
  void SetText(std::string_view gbk);       // replaces the whole text
  void AppendText(std::string_view gbk);    // at the end, one insertion
  void PrependText(std::string_view gbk);   // in front, without rereading the text
  // Drops every line after the first `lines`.
  void KeepFirstLines(int lines);
  void Clear();

  // Size of the text in GBK bytes (a line break counts two). Cheap while the
  // text is far from `at_least`: answers whether the text exceeds it.
  bool GbkSizeExceeds(std::size_t at_least) const;
  std::size_t GbkSize() const;

  // Typing and pasting stop at this many GBK bytes (0: no limit); texts set
  // by the program are not cut.
  void SetByteLimit(std::size_t bytes);
  std::size_t ByteLimit() const { return byte_limit_; }

  // Whether the Tab key types a tab character (true) or moves the focus.
  void SetWantTabs(bool want) { setTabChangesFocus(!want); }

 private:
  void CutUserInsertion(int position, int added);
  void InsertAt(bool at_end, std::string_view gbk);

  std::size_t byte_limit_ = 0;
  bool programmatic_ = false;
};

}  // namespace tavrel::ui
