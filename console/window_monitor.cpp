#include "console/window_monitor.h"

#include "ui/gbk_text.h"
#include "ui/window_thread.h"

namespace tavrel::console {

void WindowMonitor::PrependText(const std::string& text, std::size_t reset_above) {
  ui::PostToWindow([memo = memo_, text, reset_above] {
    if (!memo) return;
    if (reset_above > 0 && memo->GbkSizeExceeds(reset_above)) memo->SetText("\r\n");
    memo->PrependText(text);
  });
}

void WindowMonitor::ReplaceText(const std::string& text) {
  ui::PostToWindow([memo = memo_, text] {
    if (memo) memo->SetText(text);
  });
}

void WindowMonitor::SetCaption(const std::string& text) {
  ui::PostToWindow([window = window_, text] {
    if (window) ui::SetText(window, text);
  });
}

}  // namespace tavrel::console
