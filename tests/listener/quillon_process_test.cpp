// Quillon --headless as its own process, and Quillon filing beside another
// writer of the same mailbox.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "listener_support.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "store/settings.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using test::FileBytes;
using test::SendRequest;
using test::TempStation;

// A Quillon --headless child running the station in folder, stopped by its
// pid.
class HeadlessQuillon {
 public:
  explicit HeadlessQuillon(const std::string& folder) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execl(TAVREL_BIN_DIR "/Quillon", "Quillon", "--headless", "--dir", folder.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }

  ~HeadlessQuillon() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }

  // Reads standard output until it holds text (UTF-8); false after timeout.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(out_, output_, left)) return false;
    }
    return true;
  }

  // Sends signal (none: just waits) and returns the exit status, or -1 when
  // the child did not end within the bound.
  int Stop(int signal_number, std::chrono::milliseconds timeout = 10s) {
    if (signal_number != 0) ::kill(pid_, signal_number);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(5ms);
    }
    exited_ = true;
    while (ReadSome(out_, output_, 0ms)) {
    }
    while (ReadSome(err_, errors_, 0ms)) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Reads standard output for the whole period.
  void ReadFor(std::chrono::milliseconds period) {
    const auto deadline = std::chrono::steady_clock::now() + period;
    for (auto now = std::chrono::steady_clock::now(); now < deadline;
         now = std::chrono::steady_clock::now()) {
      ReadSome(out_, output_,
               std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
    }
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& output() const { return output_; }
  const std::string& errors() const { return errors_; }

 private:
  static bool ReadSome(int fd, std::string& into, std::chrono::milliseconds timeout) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(count));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool exited_ = false;
  std::string output_;
  std::string errors_;
};

TEST(QuillonHeadless, PrintsStatusInUtf8AndStopsCleanly) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port));
  HeadlessQuillon quillon(dir.path());
  ASSERT_TRUE(quillon.started());
  ASSERT_TRUE(quillon.WaitForOutput("-------------系统启动成功....\n")) << quillon.output();
  EXPECT_EQ(quillon.output(), "数据服务进程---runing...\n127.0.0.1\n" + std::to_string(port) +
                                  "\nscoket over  bind.....\nover  listen..\n"
                                  "-------------系统启动成功....\n");

  const test::Exchange exchange =
      SendRequest(port, Gbk("0000|13012312312;11111111111;22222222222;|你好吗？我的朋友。|"));
  ASSERT_EQ(exchange.reply.size(), 1024u);
  EXPECT_EQ(exchange.reply.substr(0, 5), "0000|");
  EXPECT_TRUE(quillon.WaitForOutput("你好吗？我的朋友。\n系统信息：1\n"));

  EXPECT_EQ(quillon.Stop(SIGTERM), 0);
  // The stop closes the log, so its buffered lines are all on disk.
  const std::string log = FileBytes(dir.Path("log.txt"));
  EXPECT_EQ(log.size() - log.rfind(Gbk("建立短消息 over\r\r\n")),
            Gbk("建立短消息 over\r\r\n").size());
}

TEST(QuillonHeadless, FailedStartExitsWithAHint) {
  TempStation dir;
  WriteSetting(dir.station(), "SERVIP", "not an address");
  HeadlessQuillon quillon(dir.path());
  ASSERT_TRUE(quillon.started());
  EXPECT_EQ(quillon.Stop(0), 1);
  EXPECT_NE(quillon.output().find("err bind..\n"), std::string::npos) << quillon.output();
  EXPECT_NE(quillon.errors().find("./server.txt"), std::string::npos) << quillon.errors();
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(QuillonHeadless, LastingAcceptFailurePausesAndServiceResumesAfterIt) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port));
  HeadlessQuillon quillon(dir.path());
  ASSERT_TRUE(quillon.WaitForOutput("-------------系统启动成功....\n")) << quillon.output();

  // No descriptor left for the connection: every accept fails until the
  // limit is raised again.
  std::set<int> open_fds;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(quillon.pid()) + "/fd")) {
    open_fds.insert(std::stoi(entry.path().filename().string()));
  }
  int lowest_free = 0;
  while (open_fds.count(lowest_free) != 0) ++lowest_free;
  rlimit previous{};
  ASSERT_EQ(::prlimit(quillon.pid(), RLIMIT_NOFILE, nullptr, &previous), 0);
  const rlimit exhausted{static_cast<rlim_t>(lowest_free), previous.rlim_max};
  ASSERT_EQ(::prlimit(quillon.pid(), RLIMIT_NOFILE, &exhausted, nullptr), 0);

  auto client = std::async(std::launch::async, [&] { return SendRequest(port, "0|1|waited|"); });
  ASSERT_TRUE(quillon.WaitForOutput("   Accept() Error!...\n")) << quillon.output();
  const std::size_t before = Occurrences(quillon.output(), "Accept() Error!");
  quillon.ReadFor(300ms);
  // Paced at a few milliseconds here, the loop fails some tens of times in
  // this period; without its pause it would fail many thousands of times.
  EXPECT_LT(Occurrences(quillon.output(), "Accept() Error!") - before, 1000u);

  ASSERT_EQ(::prlimit(quillon.pid(), RLIMIT_NOFILE, &previous, nullptr), 0);
  EXPECT_EQ(client.get().reply.substr(0, 5), "0000|");
  EXPECT_EQ(quillon.Stop(SIGTERM), 0);
  EXPECT_NE(FileBytes(dir.Path("log.txt")).find("Accept() Error!\r\n"), std::string::npos);
}

TEST(QuillonHeadless, FilesBesideAnotherWriterWithoutLosingARecord) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port));
  HeadlessQuillon quillon(dir.path());
  ASSERT_TRUE(quillon.WaitForOutput("-------------系统启动成功....")) << quillon.output();

  constexpr int kEach = 40;
  auto client = std::async(std::launch::async, [&] {
    int accepted = 0;
    for (int i = 0; i < kEach; ++i) {
      const auto reply = SendRequest(port, "0000|13012312312|quillon " + std::to_string(i) + "|");
      accepted += reply.reply.rfind("0000|", 0) == 0 ? 1 : 0;
    }
    return accepted;
  });
  int filed_here = 0;
  for (int i = 0; i < kEach; ++i) {
    const std::string text = "console " + std::to_string(i);
    filed_here += WriteOutboxRecord(dir.station(), "13012312312", text).ok() ? 1 : 0;
  }
  ASSERT_EQ(client.get(), kEach);
  ASSERT_EQ(filed_here, kEach);
  EXPECT_EQ(quillon.Stop(SIGTERM), 0);

  const std::string day = test::OnlyDayFolder(dir.path());
  ASSERT_EQ(FileBytes(dir.Path(day + "/new/acc")), std::to_string(2 * kEach));
  std::set<std::string> texts;
  for (int n = 1; n <= 2 * kEach; ++n) {
    texts.insert(FileBytes(dir.Path(day + "/new/DA" + std::to_string(n))));
    EXPECT_EQ(FileBytes(dir.Path(day + "/new/R" + std::to_string(n))), "13012312312");
  }
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(2 * kEach));
  EXPECT_EQ(texts.count("<missing>"), 0u);
}

}  // namespace
}  // namespace tavrel
