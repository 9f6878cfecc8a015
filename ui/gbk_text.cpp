#include "ui/gbk_text.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QValidator>

#include "platform/codepage.h"
#include "ui/memo.h"

namespace tavrel::ui {

QString FromGbk(std::string_view gbk) { return QString::fromStdU16String(GbkToUtf16(gbk)); }

std::string ToGbk(const QString& text) {
  return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                        static_cast<std::size_t>(text.size())));
}

QString FromGbkLines(std::string_view gbk) {
  QString text = FromGbk(gbk);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string ToGbkLines(const QString& text) {
  std::string gbk = ToGbk(text);
  std::string out;
  out.reserve(gbk.size() + gbk.size() / 16);
  for (char c : gbk) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::size_t GbkByteCount(const QString& text) {
  std::size_t bytes = 0;
  qsizetype start = 0;
  // ASCII runs are counted directly; only the rest goes through the code page.
  for (qsizetype i = 0; i < text.size(); ++i) {
    char16_t c = text.at(i).unicode();
    if (c < 0x80) {
      bytes += (c == u'\n') ? 2 : 1;
      continue;
    }
    start = i;
    while (i < text.size() && text.at(i).unicode() >= 0x80) ++i;
    bytes += ToGbk(text.mid(start, i - start)).size();
    --i;
  }
  return bytes;
}

std::string GetText(const QWidget* control) {
  if (auto* memo = qobject_cast<const Memo*>(control)) return memo->Text();
  if (auto* plain = qobject_cast<const QPlainTextEdit*>(control))
    return ToGbkLines(plain->toPlainText());
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return ToGbk(edit->text());
  if (auto* label = qobject_cast<const QLabel*>(control)) return ToGbkLines(label->text());
  if (auto* button = qobject_cast<const QAbstractButton*>(control))
    return ToGbkLines(button->text());
  if (auto* group = qobject_cast<const QGroupBox*>(control)) return ToGbk(group->title());
  return ToGbk(control->windowTitle());
}

void SetText(QWidget* control, std::string_view gbk) {
  if (auto* memo = qobject_cast<Memo*>(control)) return memo->SetText(gbk);
  if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
    return plain->setPlainText(FromGbkLines(gbk));
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->setText(FromGbk(gbk));
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setTextFormat(Qt::PlainText);
    return label->setText(FromGbkLines(gbk));
  }
  if (auto* button = qobject_cast<QAbstractButton*>(control))
    return button->setText(FromGbkLines(gbk));
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->setTitle(FromGbk(gbk));
  control->setWindowTitle(FromGbk(gbk));
}

namespace {

class GbkByteLimitValidator : public QValidator {
 public:
  GbkByteLimitValidator(std::size_t limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int&) const override {
    return GbkByteCount(input) <= limit_ ? Acceptable : Invalid;
  }

 private:
  std::size_t limit_;
};

}  // namespace

void SetByteLimit(QLineEdit* edit, std::size_t byte_limit) {
  edit->setValidator(new GbkByteLimitValidator(byte_limit, edit));
}

}  // namespace tavrel::ui
