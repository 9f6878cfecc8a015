// How much of a core an idle engine uses: nothing to send, nothing
// received, cycling on modemsim. The engine runs in this process, whose
// main thread only sleeps, so the process's CPU time is the engine's.
//
//   engine_idle_bench [SECONDS]     (default 20; TAVREL_TIME_SCALE applies)
//
// Prints the CPU seconds over the wall time and their ratio to 1% of one
// core, the target being below 1.
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
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "engine/engine_thread.h"
#include "platform/station.h"
#include "platform/pace.h"

extern char** environ;

namespace {

class QuietMonitor : public tavrel::Monitor {
 public:
  void PrependText(const std::string&, std::size_t) override {}
  void ReplaceText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// modemsim on dir/modem; its pid once it said it is ready, else -1.
pid_t StartModemsim(const std::string& dir) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string program = std::string(TAVREL_BIN_DIR) + "/modemsim";
  std::string link_flag = "--link", link = dir + "/modem";
  char* argv[] = {program.data(), link_flag.data(), link.data(), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    std::fprintf(stderr, "cannot start %s: %s (build the modemsim target)\n", program.c_str(), std::strerror(rc));
    close(out[0]);
    return -1;
  }
  std::string said;
  char buffer[256];
  pollfd p{out[0], POLLIN, 0};
  while (said.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    said.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (said.rfind("ready", 0) != 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::fprintf(stderr, "modemsim did not become ready\n");
    return -1;
  }
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: engine_idle_bench [SECONDS]\n");
    return 2;
  }
  std::string dir = (std::filesystem::temp_directory_path() / "tavrel-idle-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return 1;
  const tavrel::Station station(dir);

  const pid_t modem = StartModemsim(dir);
  int status = 1;
  if (modem > 0) {
    std::ofstream(station.Path("server.txt"), std::ios::binary)
        << "[SET]\r\nCOM=./modem\r\nRATE=19200\r\n";
    QuietMonitor monitor;
    {
      tavrel::myterad engine(monitor, station);
      engine.Resume();
      // Measured from the first cycle on, start-up left out.
      const auto warm = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (Count(Slurp(station.Path("sms.log")), "accI_new") == 0 &&
             std::chrono::steady_clock::now() < warm && !engine.Ended()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      const std::size_t cycles_before = Count(Slurp(station.Path("sms.log")), "\n&");
      const double cpu0 = CpuSeconds();
      const auto wall0 = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      const double cpu = CpuSeconds() - cpu0;
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
      const std::size_t cycles = Count(Slurp(station.Path("sms.log")), "\n&") - cycles_before;
      if (engine.Ended()) {
        std::fprintf(stderr, "the engine ended: %s\n", engine.FailureDetail().c_str());
      } else {
        const double share = cpu / wall;
        std::printf("idle engine, time scale %g: %.4f CPU s over %.2f wall s (%zu cycles)\n",
                    tavrel::TimeScale(), cpu, wall, cycles);
        std::printf("share of one core: %.5f%%; ratio to 1%% of a core: %.4f (target below 1)\n",
                    share * 100.0, share / 0.01);
        status = 0;
      }
    }
  }
  if (modem > 0) {
    kill(modem, SIGTERM);
    waitpid(modem, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
