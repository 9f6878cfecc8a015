#include "tests/system/support/system_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace tavrel::system_test {

std::string BinDir() {
  if (const char* dir = std::getenv("TAVREL_BIN_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "build/bin";
  return (self.parent_path().parent_path() / "bin").string();
}

std::string Program(const std::string& name) { return BinDir() + "/" + name; }

StationDir::StationDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-system-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary directory: " << std::strerror(errno);
    return;
  }
  root_ = pattern;
  station_ = root_ + "/station";
  std::filesystem::create_directory(station_);
}

StationDir::~StationDir() {
  std::error_code ignored;
  if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
}

std::string StationDir::operator/(std::string_view name) const { return station_ + "/" + std::string(name); }

void StationDir::WriteSettings(const std::vector<std::pair<std::string, std::string>>& keys) const {
  std::string text = "[SET]\r\n";
  for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
  WriteFile("server.txt", text);
}

void StationDir::WriteFile(std::string_view name, std::string_view bytes) const {
  std::ofstream out(*this / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string StationDir::Read(std::string_view name) const {
  return ReadFileBytes(*this / name).value_or(std::string());
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

long long ModifiedNs(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

std::unique_ptr<Child> Child::Start(const Options& options, std::string* error) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const std::string err = options.stderr_path.empty() ? "/dev/null" : options.stderr_path;
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  // The child starts with no signal blocked, whatever the test thread holds.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (options.env.count(name) == 0) env_text.push_back(entry);
  }
  for (const auto& [name, value] : options.env) env_text.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = options.args;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    *error = options.args[0] + ": " + std::strerror(rc);
    return nullptr;
  }
  ::fcntl(out[0], F_SETFL, O_NONBLOCK);
  return std::unique_ptr<Child>(new Child(pid, out[0]));
}

Child::~Child() {
  Stop();
  if (out_fd_ >= 0) ::close(out_fd_);
}

void Child::Signal(int signal) const {
  if (!status_) ::kill(pid_, signal);
}

void Child::Gather(std::chrono::milliseconds wait) {
  if (out_fd_ < 0) return;
  pollfd p{out_fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out_fd_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) {  // the child closed its output
      ::close(out_fd_);
      out_fd_ = -1;
    }
    return;
  }
}

const std::string& Child::output() {
  Gather(0ms);
  return output_;
}

std::optional<std::size_t> Child::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout,
                                                std::size_t from) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto at = output_.find(text, from);
    if (at != std::string::npos) return at;
    if (Clock::now() > deadline) return std::nullopt;
    if (out_fd_ < 0) {
      // Nothing more will come.
      return std::nullopt;
    }
    Gather(10ms);
  }
}

bool Child::running() {
  if (status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

std::optional<int> Child::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (running()) {
    if (Clock::now() > deadline) return std::nullopt;
    Gather(5ms);
  }
  Gather(0ms);
  return status_;
}

int Child::Stop(std::chrono::milliseconds grace) {
  if (!running()) return *status_;
  ::kill(pid_, SIGTERM);
  if (auto status = WaitExit(grace)) return *status;
  ::kill(pid_, SIGKILL);
  return WaitExit(10s).value_or(-1);
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::unique_ptr<Child> StartModemsim(const StationDir& dir, std::vector<std::string> extra,
                                     const std::string& link_name) {
  Child::Options options;
  // The station's COM=./modem names this link, beside its server.txt.
  const std::string link = dir / link_name;
  options.args = {Program("modemsim"), "--link", link};
  options.args.insert(options.args.end(), extra.begin(), extra.end());
  options.stderr_path =
      dir.root() + (link_name == "modem" ? "/modemsim.stderr" : "/" + link_name + "sim.stderr");
  std::string error;
  auto child = Child::Start(options, &error);
  if (!child) {
    ADD_FAILURE() << "cannot start modemsim (build it first): " << error;
    return nullptr;
  }
  if (!child->WaitForOutput("ready " + link + "\n")) {
    ADD_FAILURE() << "modemsim did not become ready: "
                  << ReadFileBytes(options.stderr_path).value_or("");
  }
  return child;
}

std::unique_ptr<Child> StartHeadlessRavelin(const StationDir& dir, const std::string& scale) {
  Child::Options options;
  options.args = {Program("Ravelin"), "--headless", "--dir", dir.station()};
  options.env = {{"TAVREL_TIME_SCALE", scale}};
  options.stderr_path = dir.root() + "/Ravelin.stderr";
  std::string error;
  auto child = Child::Start(options, &error);
  if (!child) ADD_FAILURE() << "cannot start Ravelin (build it first): " << error;
  return child;
}

namespace {

std::string FieldAfter(const std::string& line, const std::string& key) {
  const auto at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return {};
  std::size_t i = at + key.size() + 3;
  if (i < line.size() && line[i] == '"') {
    const auto end = line.find('"', i + 1);
    return line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
  }
  const auto end = line.find_first_of(",}", i);
  return line.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

std::vector<Traffic> ReadTraffic(const std::string& path) {
  std::vector<Traffic> traffic;
  std::istringstream lines(ReadFileBytes(path).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line.back() != '}') continue;  // a line still being written
    Traffic t;
    t.ms = std::strtod(FieldAfter(line, "ms").c_str(), nullptr);
    t.in = FieldAfter(line, "dir") == "in";
    t.data = FromHex(FieldAfter(line, "hex"));
    traffic.push_back(std::move(t));
  }
  return traffic;
}

double NowMs() {
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

}  // namespace tavrel::system_test
