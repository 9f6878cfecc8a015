#include "bench/engine/modemsim_run.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/pace.h"

extern char** environ;

namespace bench {

std::size_t Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::size_t n = 0;
  for (char c : bytes.str()) n += c == '\n';
  return n;
}

pid_t StartModemsim(const std::string& dir, const std::string& link, const std::string& sent_log,
                    const std::string& spool) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string program = std::string(TAVREL_BIN_DIR) + "/modemsim";
  std::vector<std::string> args = {
      program,   "--link",          dir + "/" + link, "--sent-log",     dir + "/" + sent_log,
      "--spool", dir + "/" + spool, "--prompt-delay", "300",            "--result-delay",
      "2000"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    std::fprintf(stderr, "cannot start %s: %s (build the modemsim target)\n", program.c_str(),
                 std::strerror(rc));
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
    StopChild(pid);
    return -1;
  }
  return pid;
}

void StopChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

double NominalSeconds(Clock::duration real) {
  return std::chrono::duration<double>(real).count() / tavrel::TimeScale();
}

}  // namespace bench
