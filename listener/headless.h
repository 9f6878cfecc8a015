#pragma once
// Quillon without a window: the listener starts at once and every status
// text it would show is printed to standard output as terminal lines
// (TerminalLines).
#include <cstdio>
#include <string>

#include "listener/listener_view.h"
#include "platform/station.h"

namespace tavrel {

// Prints each status text as lines of UTF-8; the account as "系统信息：n".
class PrintingView : public ListenerView {
 public:
  explicit PrintingView(std::FILE* out) : out_(out) {}
  void ShowStatus(const std::string& text) override;
  void AppendStatus(const std::string& text) override;
  void ShowAccount(const std::string& text) override;

 private:
  void PrintLine(const std::string& gbk);
  std::FILE* out_;
};

// Runs until SIGINT or SIGTERM (exit status 0) or until the listener fails
// to start (exit status 1, with a hint on standard error).
int RunHeadlessListener(const Station& station);

}  // namespace tavrel
