#pragma once
// Modal message boxes with one text and an OK button. Tests replace the box
// with a handler so that nothing blocks.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace tavrel::ui {

enum class MessageKind { Message, Exception };

using MessageBoxHandler = std::function<void(MessageKind kind, const std::string& gbk_text)>;

// Shows the text and returns when the operator closes the box. Any thread:
// from a worker it is shown by the window thread and the worker waits.
void ShowMessage(std::string_view gbk_text, QWidget* parent = nullptr);
// The standard exception box: an error icon over the exception's text.
void ShowException(std::string_view gbk_text, QWidget* parent = nullptr);

// Replaces the box; an empty handler restores it. Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Records every box while it lives, instead of showing it.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<std::string> Texts() const;  // GBK, in the order shown
  std::vector<MessageKind> Kinds() const;
  void Clear();
  // Called (on the window thread) each time a box would have been shown.
  void OnShow(std::function<void(const std::string&)> hook) { hook_ = std::move(hook); }

 private:
  struct Entry {
    MessageKind kind;
    std::string text;
  };
  std::vector<Entry> entries_;
  std::function<void(const std::string&)> hook_;
  MessageBoxHandler previous_;
};

}  // namespace tavrel::ui
