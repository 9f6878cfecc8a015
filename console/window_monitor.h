#pragma once
// The engine's reports on the window: the monitor box Memo7 and the window
// caption. Calls come from the engine thread and are carried out by the
// window thread in the order made.
#include <QPointer>
#include <QWidget>

#include "engine/monitor.h"
#include "ui/memo.h"

namespace tavrel::console {

class WindowMonitor : public Monitor {
 public:
  // Both are made on the window thread; updates for a window that is gone
  // are dropped.
  WindowMonitor(ui::Memo* memo, QWidget* window) : memo_(memo), window_(window) {}

  void PrependText(const std::string& text, std::size_t reset_above = 0) override;
  void ReplaceText(const std::string& text) override;
  void SetCaption(const std::string& text) override;

 private:
  QPointer<ui::Memo> memo_;
  QPointer<QWidget> window_;
};

}  // namespace tavrel::console
