#include "console/headless.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/engines.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "platform/terminal_text.h"
#include "store/station_lock.h"

namespace tavrel {
namespace {

constexpr const char* kStartedText = "-------------收发进程已经启动！";
constexpr const char* kStartedCaption = "Tavrelsms客户管理系统  ：   收发进程已启动";
constexpr const char* kStoppedText = "-------------收发进程已经停止！";
constexpr const char* kStoppedCaption = "Tavrelsms客户管理系统  ：   收发进程已经停止！";

void StartRequest(Engines& engine, Monitor& monitor) {
  // The button's own texts go out before the engine runs, so that a first
  // start always prints them ahead of the engine's start-up text.
  monitor.ReplaceText(Gbk(kStartedText));
  monitor.SetCaption(Gbk(kStartedCaption));
  engine.Resume();
}

void StopRequest(Engines& engine, Monitor& monitor) {
  monitor.SetCaption(Gbk(kStoppedCaption));
  engine.Suspend();
  // The stopped text goes out only once the engine holds, so whoever reads
  // it knows that no more modem traffic or file write follows. A read in
  // progress finishes first; it lasts at most one read timeout.
  const auto longest_read = std::chrono::duration_cast<std::chrono::milliseconds>(
      Paced(std::chrono::milliseconds(5 * 512 + 1000)));
  engine.WaitSuspended(longest_read + std::chrono::seconds(2));
  monitor.ReplaceText(Gbk(kStoppedText));
}

}  // namespace

void PrintingMonitor::Print(const std::string& prefix, const std::string& gbk) {
  const std::string line = prefix + TerminalLines(gbk);
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void PrintingMonitor::PrependText(const std::string& text, std::size_t) { Print("", text); }
void PrintingMonitor::ReplaceText(const std::string& text) { Print("", text); }
void PrintingMonitor::SetCaption(const std::string& text) { Print("[caption] ", text); }

int RunHeadlessEngine(const Station& station) {
  // Before anything of the station is opened: a second engine would share
  // the first one's modem and truncate its trace.
  const Result<StationLock> lock = TakeStationLock(station, "engine");
  if (!lock) {
    std::fprintf(stderr, "Ravelin: %s; nothing was started.\n", lock.error().detail.c_str());
    return 1;
  }
  // Blocked before any thread exists, so that every thread inherits the mask
  // and the signals reach only the descriptor below.
  sigset_t requests;
  sigemptyset(&requests);
  for (int s : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP}) sigaddset(&requests, s);
  pthread_sigmask(SIG_BLOCK, &requests, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signals = signalfd(-1, &requests, SFD_CLOEXEC);
  if (signals < 0) {
    std::fprintf(stderr, "Ravelin: cannot set up signal handling: %s\n", std::strerror(errno));
    return 2;
  }

  PrintingMonitor monitor(stdout);
  Engines engine(monitor, station);
  StartRequest(engine, monitor);
  // The end of the engine is looked for a few times a second; that costs
  // nothing worth measuring and needs no second thread.
  while (!engine.Ended()) {
    pollfd request{signals, POLLIN, 0};
    const int ready = poll(&request, 1, 250);
    if (ready <= 0) continue;
    signalfd_siginfo info;
    if (read(signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    if (info.ssi_signo == SIGUSR1) {
      StopRequest(engine, monitor);
    } else if (info.ssi_signo == SIGUSR2) {
      StartRequest(engine, monitor);
    } else {
      // A plain stop (systemctl stop): the message in flight is filed and
      // deleted first; that takes one modem exchange without its pauses.
      engine.RequestFinish();
      engine.WaitFinished();
      close(signals);
      return 0;
    }
  }
  close(signals);
  const std::string detail = engine.FailureDetail();
  std::fprintf(stderr, "Ravelin: the engine has ended: the serial port failed%s%s\n",
               detail.empty() ? "" : ": ", detail.c_str());
  std::fprintf(
      stderr,
      "Check the modem, its cable, and COM and RATE in server.txt, then start Ravelin again.\n");
  return 1;
}

}  // namespace tavrel
