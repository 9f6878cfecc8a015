#include "console/window_monitor.h"

#include "ui/gbk_text.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

// The send phase never clears the box, so a send to a hundred thousand
// numbers would grow it line by line for hours; the operator reads the
// newest lines on top, and the oldest go once there are this many.
constexpr int kMonitorLinesKept = 5000;

}  // namespace

void WindowMonitor::PrependText(const std::string& text, std::size_t reset_above) {
  ui::PostToWindow([memo = memo_, text, reset_above] {
    if (!memo) return;
    if (reset_above > 0 && memo->GbkSizeExceeds(reset_above)) memo->SetText("\r\n");
    memo->PrependText(text);
    memo->KeepFirstLines(kMonitorLinesKept);
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
