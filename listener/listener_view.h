#pragma once
// Where the listener's status texts go: the window's Memo1 and Edit3, or
// standard output when Quillon runs headless. Called from the listener
// thread; the window implementation hands each call to its own thread in
// order. All texts are GBK.
#include <string>

namespace tavrel {

class ListenerView {
 public:
  virtual ~ListenerView() = default;
  // Replaces the whole text of the status memo.
  virtual void ShowStatus(const std::string& text) = 0;
  // Sets the status memo to its current text, "\r\n" and text.
  virtual void AppendStatus(const std::string& text) = 0;
  // The record number of the last filed request.
  virtual void ShowAccount(const std::string& text) = 0;
};

}  // namespace tavrel
