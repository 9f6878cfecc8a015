// Quillon --headless as its own process, and Quillon filing beside another
// writer of the same mailbox.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "listener_support.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "store/settings.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using test::FileBytes;
using test::SendRequest;
using test::TempWorkDir;

// A Quillon --headless child in the current directory, stopped by its pid.
class HeadlessQuillon {
 public:
  HeadlessQuillon() {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execl(TAVREL_BIN_DIR "/Quillon", "Quillon", "--headless", static_cast<char*>(nullptr));
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

  bool started() const { return pid_ > 0; }
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
  TempWorkDir dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting("SERVIP", "127.0.0.1");
  WriteSetting("PORT", std::to_string(port));
  HeadlessQuillon quillon;
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
  const std::string log = FileBytes("log.txt");
  EXPECT_EQ(log.size() - log.rfind(Gbk("建立短消息 over\r\r\n")),
            Gbk("建立短消息 over\r\r\n").size());
}

TEST(QuillonHeadless, FailedStartExitsWithAHint) {
  TempWorkDir dir;
  WriteSetting("SERVIP", "not an address");
  HeadlessQuillon quillon;
  ASSERT_TRUE(quillon.started());
  EXPECT_EQ(quillon.Stop(0), 1);
  EXPECT_NE(quillon.output().find("err bind..\n"), std::string::npos) << quillon.output();
  EXPECT_NE(quillon.errors().find("./server.txt"), std::string::npos) << quillon.errors();
}

TEST(QuillonHeadless, FilesBesideAnotherWriterWithoutLosingARecord) {
  TempWorkDir dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  WriteSetting("SERVIP", "127.0.0.1");
  WriteSetting("PORT", std::to_string(port));
  HeadlessQuillon quillon;
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
    filed_here += WriteOutboxRecord("13012312312", "console " + std::to_string(i)).ok ? 1 : 0;
  }
  ASSERT_EQ(client.get(), kEach);
  ASSERT_EQ(filed_here, kEach);
  EXPECT_EQ(quillon.Stop(SIGTERM), 0);

  const std::string day = test::OnlyDayFolder();
  ASSERT_EQ(FileBytes(day + "/new/acc"), std::to_string(2 * kEach));
  std::set<std::string> texts;
  for (int n = 1; n <= 2 * kEach; ++n) {
    texts.insert(FileBytes(day + "/new/DA" + std::to_string(n)));
    EXPECT_EQ(FileBytes(day + "/new/R" + std::to_string(n)), "13012312312");
  }
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(2 * kEach));
  EXPECT_EQ(texts.count("<missing>"), 0u);
}

}  // namespace
}  // namespace tavrel
