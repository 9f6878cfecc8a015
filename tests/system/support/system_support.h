#pragma once
// Helpers for end-to-end tests: a temporary station directory, the real
// programs started as children (stopped by their pid, never by name),
// waiting for what they print instead of sleeping, and reading their files.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::system_test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Where the programs under test were built: $TAVREL_BIN_DIR, or bin/ beside
// the tests/ folder that holds the running test program.
std::string BinDir();
std::string Program(const std::string& name);

// A fresh directory, removed with everything in it. The station works in
// station(); the children's standard error goes beside it.
class StationDir {
 public:
  StationDir();
  ~StationDir();
  StationDir(const StationDir&) = delete;
  StationDir& operator=(const StationDir&) = delete;

  const std::string& root() const { return root_; }
  const std::string& station() const { return station_; }
  std::string operator/(std::string_view name) const;  // a path in station()

  // server.txt with a [SET] section holding these keys, CR LF.
  void WriteSettings(const std::vector<std::pair<std::string, std::string>>& keys) const;
  void WriteFile(std::string_view name, std::string_view bytes) const;
  std::string Read(std::string_view name) const;  // empty when absent

 private:
  std::string root_;
  std::string station_;
};

std::optional<std::string> ReadFileBytes(const std::string& path);
bool Exists(const std::string& path);
// Modification time, nanoseconds since the epoch; 0 when absent.
long long ModifiedNs(const std::string& path);

// A program started with posix_spawn; its standard output comes through a
// pipe and is gathered as it is read, its standard error goes to a file.
class Child {
 public:
  struct Options {
    std::vector<std::string> args;  // args[0] is the program's path
    std::map<std::string, std::string> env;  // added to the test's own
    std::string stderr_path;                 // /dev/null when empty
  };
  static std::unique_ptr<Child> Start(const Options& options, std::string* error);
  ~Child();  // stops the child if it still runs
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signal) const;

  // Gathers output until it holds `text` (searched from byte `from`) or the
  // time is up; returns where it was found.
  std::optional<std::size_t> WaitForOutput(std::string_view text,
                                           std::chrono::milliseconds timeout = 20s,
                                           std::size_t from = 0);
  const std::string& output();  // everything printed so far

  // The exit status once it has ended (128 + signal when killed).
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = 20s);
  // SIGTERM, then SIGKILL when it has not ended within grace.
  int Stop(std::chrono::milliseconds grace = 10s);
  bool running();

 private:
  Child(pid_t pid, int out) : pid_(pid), out_fd_(out) {}
  void Gather(std::chrono::milliseconds wait);

  pid_t pid_;
  int out_fd_;
  std::string output_;
  std::optional<int> status_;
};

// Waits for condition, checking every few milliseconds.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// modemsim linked at link (modem, modem2, ...) in the station, after it said
// it is ready; its standard error goes to <link>sim.stderr beside the station.
std::unique_ptr<Child> StartModemsim(const StationDir& dir, std::vector<std::string> extra = {},
                                     const std::string& link = "modem");
// Ravelin --headless --dir station(), with the given time scale.
std::unique_ptr<Child> StartHeadlessRavelin(const StationDir& dir, const std::string& scale = "0.01");

// One line of modemsim's traffic log.
struct Traffic {
  double ms = 0;  // CLOCK_MONOTONIC, like Clock
  bool in = false;  // from the station
  std::string data;
};
std::vector<Traffic> ReadTraffic(const std::string& path);
double NowMs();  // Clock's reading in the traffic log's unit

}  // namespace tavrel::system_test
