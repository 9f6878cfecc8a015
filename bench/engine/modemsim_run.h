#pragma once
// What the engine benchmarks share: modemsim started on a link with the
// journal's delays (0.3 s prompt, 2 s result, scaled), its sent log counted,
// and waiting without a timer of the station's own.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

#include "engine/monitor.h"

namespace bench {

using Clock = std::chrono::steady_clock;
inline constexpr double kPromptDelayS = 0.3;
inline constexpr double kResultDelayS = 2.0;

class QuietMonitor : public tavrel::Monitor {
 public:
  void PrependText(const std::string&, std::size_t) override {}
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
};

// modemsim linked at dir/link with the sent log dir/sent_log and the spool
// dir/spool; -1 when it did not come up.
pid_t StartModemsim(const std::string& dir, const std::string& link = "modem",
                    const std::string& sent_log = "sent.jsonl", const std::string& spool = "spool");
void StopChild(pid_t pid);
std::size_t Lines(const std::string& path);
bool WaitFor(const std::function<bool()>& condition, double seconds);
double NominalSeconds(Clock::duration real);

}  // namespace bench
