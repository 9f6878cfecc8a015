#pragma once
// The one place where the system's GBK texts meet Qt's QString. Multi-line
// texts cross this boundary with CR LF between lines, as the programs expect
// of their memos; inside Qt they are plain LF.
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

class QLineEdit;
class QWidget;

namespace tavrel::ui {

QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

// Lines joined by CR LF <-> LF.
QString FromGbkLines(std::string_view gbk);
std::string ToGbkLines(const QString& text);

// Size in GBK bytes of a Qt text as the programs count it: a line break is
// CR LF, so two bytes.
std::size_t GbkByteCount(const QString& text);

// The text of a control as GBK: a window's caption, a button's or label's
// caption, a group box's title, an edit's or a memo's whole text (memos with
// CR LF between lines).
std::string GetText(const QWidget* control);
void SetText(QWidget* control, std::string_view gbk);

// Typing and pasting into the edit stop at byte_limit GBK bytes; texts set by
// the program are not cut.
void SetByteLimit(QLineEdit* edit, std::size_t byte_limit);

}  // namespace tavrel::ui
