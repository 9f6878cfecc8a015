#pragma once
// How the engine reports: the monitor text box (newest line on top) and the
// window caption. The console posts each call, in order, to the window
// thread; headless mode prints. All texts are GBK.
#include <cstddef>
#include <string>

namespace tavrel {

class Monitor {
 public:
  virtual ~Monitor() = default;
  // Puts text in front of the monitor text. When reset_above > 0 and the
  // current text is longer than reset_above bytes, the text is first
  // replaced by "\r\n".
  virtual void PrependText(const std::string& text, std::size_t reset_above = 0) = 0;
  virtual void ReplaceText(const std::string& text) = 0;
  virtual void SetCaption(const std::string& text) = 0;
};

}  // namespace tavrel
