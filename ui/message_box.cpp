#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <mutex>

#include "ui/gbk_text.h"
#include "ui/window_thread.h"

namespace tavrel::ui {
namespace {

std::mutex handler_mutex;

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

void Show(MessageKind kind, std::string_view gbk_text, QWidget* parent) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(handler_mutex);
    handler = Handler();
  }
  std::string text(gbk_text);
  RunOnWindowAndWait([&] {
    if (handler) {
      handler(kind, text);
      return;
    }
    QMessageBox box(kind == MessageKind::Exception ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QApplication::applicationDisplayName(), FromGbkLines(text), QMessageBox::Ok,
                    parent);
    box.exec();
  });
}

}  // namespace

void ShowMessage(std::string_view gbk_text, QWidget* parent) {
  Show(MessageKind::Message, gbk_text, parent);
}

void ShowException(std::string_view gbk_text, QWidget* parent) {
  Show(MessageKind::Exception, gbk_text, parent);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(handler_mutex);
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

MessageRecorder::MessageRecorder() {
  previous_ = SetMessageBoxHandler([this](MessageKind kind, const std::string& text) {
    entries_.push_back({kind, text});
    if (hook_) hook_(text);
  });
}

MessageRecorder::~MessageRecorder() { SetMessageBoxHandler(std::move(previous_)); }

std::vector<std::string> MessageRecorder::Texts() const {
  std::vector<std::string> texts;
  for (const Entry& e : entries_) texts.push_back(e.text);
  return texts;
}

std::vector<MessageKind> MessageRecorder::Kinds() const {
  std::vector<MessageKind> kinds;
  for (const Entry& e : entries_) kinds.push_back(e.kind);
  return kinds;
}

void MessageRecorder::Clear() { entries_.clear(); }

}  // namespace tavrel::ui
