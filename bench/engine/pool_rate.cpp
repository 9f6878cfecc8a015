// How the send rate grows with the modems of a pool: 1, 2, 4 and 8
// modemsims, each taking 0.3 s for its prompt and 2 s for a send's result,
// at the modem's pace (PACE=prompt). Delays and the engine's pauses are
// scaled by TAVREL_TIME_SCALE (default here 0.05); figures are nominal.
//
//   pool_rate [RECIPIENTS PER MODEM]     (default 48)
//
// Prints SMS per minute for each pool and its ratio to one modem (target:
// 4 modems at least 3.6x, 8 at least 7x).
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/engine/modemsim_run.h"
#include "engine/engines.h"
#include "platform/pace.h"
#include "platform/station.h"

namespace {

std::string Suffix(int m) { return m == 1 ? "" : std::to_string(m); }

// SMS per minute from the first accepted send to the last, over every modem;
// 0 when the run did not finish.
double Measure(int modems, int recipients) {
  std::string dir = (std::filesystem::temp_directory_path() / "tavrel-pool-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return 0;
  const tavrel::Station station(dir);
  const auto in = [&](const std::string& relative) { return station.Path(relative); };
  std::vector<pid_t> sims;
  std::string settings = "[SET]\r\nRATE=19200\r\nSMSCODE=8613800000000\r\nPACE=prompt\r\n";
  for (int m = 1; m <= modems; ++m) {
    sims.push_back(bench::StartModemsim(dir, "modem" + Suffix(m), "sent" + Suffix(m) + ".jsonl",
                                        "spool" + Suffix(m)));
    settings += "COM" + Suffix(m) + "=./modem" + Suffix(m) + "\r\n";
  }
  double per_minute = 0;
  if (std::find(sims.begin(), sims.end(), -1) == sims.end()) {
    std::ofstream(in("server.txt"), std::ios::binary) << settings;
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

    const auto sent = [&] {
      std::size_t total = 0;
      for (int m = 1; m <= modems; ++m) total += bench::Lines(in("sent" + Suffix(m) + ".jsonl"));
      return total;
    };
    bench::QuietMonitor monitor;
    tavrel::Engines engines(monitor, station);
    engines.Resume();
    const double limit_s = 600;
    bool ok = bench::WaitFor([&] { return sent() >= 1; }, limit_s);
    const bench::Clock::time_point first = bench::Clock::now();
    ok = ok && bench::WaitFor(
                   [&] { return sent() >= static_cast<std::size_t>(recipients); }, limit_s);
    if (ok) {
      per_minute = (recipients - 1) / bench::NominalSeconds(bench::Clock::now() - first) * 60.0;
    }
  }
  for (pid_t sim : sims) bench::StopChild(sim);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return per_minute;
}

}  // namespace

int main(int argc, char** argv) {
  const char* scale = getenv("TAVREL_TIME_SCALE");
  setenv("TAVREL_TIME_SCALE", scale ? scale : "0.05", 1);
  const int per_modem = argc > 1 ? std::atoi(argv[1]) : 48;
  if (per_modem < 2) {
    std::fprintf(stderr, "usage: pool_rate [RECIPIENTS PER MODEM >= 2]\n");
    return 2;
  }
  std::printf("time scale %g, %d recipients per modem, figures in nominal time\n",
              tavrel::TimeScale(), per_modem);
  std::printf("modem's limit: %.2f SMS/min each\n",
              60.0 / (bench::kPromptDelayS + bench::kResultDelayS));
  double one = 0;
  for (int modems : {1, 2, 4, 8}) {
    const double rate = Measure(modems, modems * per_modem);
    if (rate <= 0) {
      std::fprintf(stderr, "the run with %d modems did not finish\n", modems);
      return 1;
    }
    if (modems == 1) one = rate;
    const char* target = modems == 4   ? " (target at least 3.6x)"
                         : modems == 8 ? " (target at least 7x)"
                                       : "";
    std::printf("%d modem%s: %7.2f SMS/min, %.2fx one modem%s\n", modems, modems == 1 ? " " : "s",
                rate, rate / one, target);
  }
  return 0;
}
