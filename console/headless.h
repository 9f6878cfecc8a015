#pragma once
// Ravelin without a window: the engine starts at once in the working
// directory and every monitor update is printed to standard output as
// terminal lines (TerminalLines), in order: a replaced text is printed whole,
// a text put in front is printed as it is, a caption as "[caption] " and its
// text.
//
// The operator's two buttons are signals: SIGUSR1 is the stop request and
// SIGUSR2 the start request. SIGTERM, SIGINT and SIGHUP end the program.
// The exit status is 1, with the failure on standard error, when the engine
// ends on a port failure or another engine holds the station, and 0
// otherwise.
#include <cstdio>
#include <mutex>
#include <string>

#include "engine/monitor.h"
#include "platform/station.h"

namespace tavrel {

class PrintingMonitor : public Monitor {
 public:
  explicit PrintingMonitor(std::FILE* out) : out_(out) {}
  void PrependText(const std::string& text, std::size_t reset_above = 0) override;
  void ReplaceText(const std::string& text) override;
  void SetCaption(const std::string& text) override;

 private:
  void Print(const std::string& prefix, const std::string& gbk);

  std::FILE* out_;
  std::mutex mutex_;
};

int RunHeadlessEngine(const Station& station);

}  // namespace tavrel
