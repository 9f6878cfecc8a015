// How fast the engine sends, and how fast it answers a query, with the
// fixed pauses and at the modem's own pace. modemsim takes 0.3 s to show
// its prompt and 2 s to give a send's result; both, and the engine's
// pauses, are scaled by TAVREL_TIME_SCALE (default here 0.05), and every
// figure is given in nominal time.
//
//   send_rate [RECIPIENTS]     (default 20)
//
// Prints SMS per minute for PACE=fixed and PACE=prompt, their ratio (target
// at least 2), the prompt pace against the modem's own limit of one SMS per
// prompt delay plus result delay (target at least 0.9), and the time from a
// query's arrival at modemsim to its reply leaving modemsim in both modes
// (target: prompt at least 3x shorter).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/engine/modemsim_run.h"
#include "engine/engine_thread.h"
#include "platform/clock.h"
#include "platform/pace.h"
#include "platform/station.h"

namespace {

using bench::Clock;
using bench::kPromptDelayS;
using bench::kResultDelayS;
using bench::Lines;
using bench::NominalSeconds;
using bench::WaitFor;

struct Figures {
  double per_minute = 0;
  double query_s = 0;
};

// One station in a fresh directory with the given PACE, sending one record
// of `recipients` numbers, then answering one query.
bool Measure(const std::string& pace, int recipients, Figures* figures) {
  std::string dir = (std::filesystem::temp_directory_path() / "tavrel-rate-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return false;
  const tavrel::Station station(dir);
  const auto in = [&](std::string_view relative) { return station.Path(relative); };
  const pid_t modem = bench::StartModemsim(dir);
  bool ok = modem > 0;
  if (ok) {
    std::ofstream(in("server.txt"), std::ios::binary)
        << "[SET]\r\nCOM=./modem\r\nRATE=19200\r\nSMSCODE=8613800000000\r\n"
        << (pace.empty() ? "" : "PACE=" + pace + "\r\n");
    std::filesystem::create_directories(in("query"));
    std::ofstream(in("query/query"), std::ios::binary) << "[query]\r\n0001=ok\r\n";
    const std::string day = station.Today();
    for (const char* box : {"new", "send", "recv", "qury"}) {
      std::filesystem::create_directories(in(day + "/" + box));
    }
    std::string list;
    for (int i = 0; i < recipients; ++i) list += std::to_string(13000000000LL + i) + "\r\n";
    std::ofstream(in(day + "/new/R1"), std::ios::binary) << list;
    std::ofstream(in(day + "/new/H1"), std::ios::binary) << "[HEAD]\r\n";
    std::ofstream(in(day + "/new/DA1"), std::ios::binary) << "rate";
    std::ofstream(in(day + "/new/acc"), std::ios::binary) << "1";

    bench::QuietMonitor monitor;
    tavrel::myterad engine(monitor, station);
    engine.Resume();
    // The rate from the first send to the last: start-up left out.
    const double limit_s = 600;
    const std::string sent = in("sent.jsonl");
    ok = WaitFor([&] { return Lines(sent) >= 1; }, limit_s);
    const Clock::time_point first = Clock::now();
    ok =
        ok && WaitFor([&] { return Lines(sent) >= static_cast<std::size_t>(recipients); }, limit_s);
    const double sends_s = NominalSeconds(Clock::now() - first);
    figures->per_minute = (recipients - 1) / sends_s * 60.0;

    std::ofstream(in(".query"), std::ios::binary) << "13900000001\n*0001";
    const Clock::time_point asked = Clock::now();
    std::filesystem::rename(in(".query"), in("spool/q.sms"));
    ok = ok && WaitFor([&] { return Lines(sent) > static_cast<std::size_t>(recipients); }, limit_s);
    figures->query_s = NominalSeconds(Clock::now() - asked);
    if (engine.Ended()) ok = false;
  }
  bench::StopChild(modem);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TAVREL_TIME_SCALE", getenv("TAVREL_TIME_SCALE") ? getenv("TAVREL_TIME_SCALE") : "0.05", 1);
  const int recipients = argc > 1 ? std::atoi(argv[1]) : 20;
  if (recipients < 2) {
    std::fprintf(stderr, "usage: send_rate [RECIPIENTS >= 2]\n");
    return 2;
  }
  Figures fixed, prompt;
  if (!Measure("", recipients, &fixed) || !Measure("prompt", recipients, &prompt)) {
    std::fprintf(stderr, "a measurement did not finish\n");
    return 1;
  }
  const double modem_limit = 60.0 / (kPromptDelayS + kResultDelayS);
  std::printf("time scale %g, %d recipients, figures in nominal time\n", tavrel::TimeScale(),
              recipients);
  std::printf("fixed pauses:  %6.2f SMS/min, query answered in %6.2f s\n", fixed.per_minute,
              fixed.query_s);
  std::printf("modem's pace:  %6.2f SMS/min, query answered in %6.2f s\n", prompt.per_minute,
              prompt.query_s);
  std::printf("prompt / fixed rate: %.2fx (target at least 2)\n", prompt.per_minute / fixed.per_minute);
  std::printf("prompt / modem's limit of %.2f SMS/min: %.2fx (target at least 0.9)\n", modem_limit,
              prompt.per_minute / modem_limit);
  std::printf("query reply, fixed / prompt: %.2fx shorter (target at least 3)\n",
              fixed.query_s / prompt.query_s);
  return 0;
}
