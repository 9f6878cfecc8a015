#include "listener/headless.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "listener/listener_thread.h"
#include "platform/codepage.h"
#include "platform/terminal_text.h"

namespace tavrel {

void PrintingView::PrintLine(const std::string& gbk) {
  const std::string line = TerminalLines(gbk);
  std::fwrite(line.data(), 1, line.size(), out_);
  // Scripts and tests wait for the start line; a pipe must not hold it back.
  std::fflush(out_);
}

void PrintingView::ShowStatus(const std::string& text) { PrintLine(text); }
void PrintingView::AppendStatus(const std::string& text) { PrintLine(text); }
void PrintingView::ShowAccount(const std::string& text) {
  PrintLine(Gbk("系统信息：") + text);
}

int RunHeadlessListener(const Station& station) {
  // Block the stop signals before any thread exists so that only the
  // waiting thread below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  PrintingView view(stdout);
  view.ShowStatus(Gbk("数据服务进程---runing..."));
  eee listener(view, station);

  std::atomic<bool> signalled{false};
  std::thread waiter([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    signalled = true;
    listener.Stop();
  });
  listener.WaitFinished();
  const bool failed = !signalled;
  if (failed) {
    std::fputs("Quillon: the listener could not start; see ./log.txt, then set SERVIP to an "
               "address of this machine (for example 127.0.0.1) and PORT to a free port in "
               "./server.txt and start Quillon again.\n",
               stderr);
    // Wake the waiter so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
  }
  waiter.join();
  return failed ? 1 : 0;
}

}  // namespace tavrel
