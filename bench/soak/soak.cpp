// The whole station for minutes on end at a small time scale: a client
// queueing requests with Quillon, customers texting modemsim (half of them
// queries), Ravelin's engine sending and receiving. It prints the resident
// memory of Ravelin and Quillon at the start, every minute and at the end,
// and what got through. With --window, Ravelin runs with its window on
// Xvfb and the soak presses its start button, so the window's memory (the
// monitor box above all) is part of the figure.
//
//   station_soak [--minutes M] [--scale S] [--request-ms N] [--sms-ms N] [--window]
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"
#include "tests/system/support/station_x11.h"

using namespace tavrel;
using namespace tavrel::system_test;

namespace {

struct Options {
  double minutes = 10;
  std::string scale = "0.01";
  int request_ms = 200;
  int sms_ms = 2000;
  bool window = false;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--window") {
      options->window = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (name == "--minutes") {
      options->minutes = std::atof(value);
    } else if (name == "--scale") {
      options->scale = value;
    } else if (name == "--request-ms") {
      options->request_ms = std::atoi(value);
    } else if (name == "--sms-ms") {
      options->sms_ms = std::atoi(value);
    } else {
      return false;
    }
  }
  return options->minutes > 0 && options->request_ms > 0 && options->sms_ms > 0;
}

void PrintMemory(const char* when, Child& ravelin, Child& quillon) {
  std::printf("%-8s Ravelin %6ld KiB   Quillon %6ld KiB\n", when, ResidentKib(ravelin.pid()),
              ResidentKib(quillon.pid()));
  std::fflush(stdout);
}

// Keeps the children's output pipes drained so that they never block on a
// full pipe; the soak does not look at what they print.
void Drain(Child& child) {
  child.output();
}

// Ravelin with its window on a fresh Xvfb display, its start button pressed.
struct WindowedRavelin {
  std::unique_ptr<Child> xvfb;
  std::unique_ptr<XProbe> probe;
  std::unique_ptr<Child> ravelin;
};

WindowedRavelin StartWindowedRavelin(const StationDir& dir, const std::string& scale) {
  WindowedRavelin w;
  Child::Options x;
  x.args = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-ac", "-nolisten", "tcp"};
  x.stderr_path = dir.root() + "/Xvfb.stderr";
  std::string error;
  w.xvfb = Child::Start(x, &error);
  if (!w.xvfb || !w.xvfb->WaitForOutput("\n")) {
    std::fprintf(stderr, "station_soak: Xvfb did not start %s\n", error.c_str());
    return {};
  }
  const int display = std::atoi(w.xvfb->output().c_str());
  w.probe = XProbe::Connect(display, &error);
  Child::Options options;
  options.args = {Program("Ravelin"), "--dir", dir.station()};
  options.env = {{"TAVREL_TIME_SCALE", scale}, {"DISPLAY", ":" + std::to_string(display)}, {"QT_QPA_PLATFORM", "xcb"}};
  options.stderr_path = dir.root() + "/Ravelin.stderr";
  w.ravelin = Child::Start(options, &error);
  if (!w.probe || !w.ravelin) {
    std::fprintf(stderr, "station_soak: %s\n", error.c_str());
    return {};
  }
  XProbe::Window window;
  Eventually([&] {
    window = w.probe->FindWindow(756, 496);
    return window.id != 0;
  });
  // The start button, where the console puts it.
  if (window.id == 0 || !w.probe->Click(window.x + 81, window.y + 476) || !w.probe->Ping(window, 10s)) {
    std::fprintf(stderr, "station_soak: cannot press the window's start button\n");
    w.ravelin.reset();
  }
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: station_soak [--minutes M] [--scale S] [--request-ms N] [--sms-ms N] [--window]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);

  StationDir dir;
  const std::string spool = dir.root() + "/spool";
  const std::string sent_log = dir.root() + "/sent.jsonl";
  const int port = FreeLoopbackPort();
  WriteStationSettings(dir, port);
  WriteCatalogue(dir, "query/query", "query", {{"0001", Gbk("营业时间：九点到五点")}});
  auto modem = StartModemsim(dir, {"--spool", spool, "--sent-log", sent_log});
  auto quillon = StartHeadlessQuillon(dir, options.scale);
  WindowedRavelin windowed;
  std::unique_ptr<Child> ravelin;
  if (options.window) {
    windowed = StartWindowedRavelin(dir, options.scale);
    ravelin = std::move(windowed.ravelin);
  } else {
    ravelin = StartHeadlessRavelin(dir, options.scale);
  }
  if (!modem || !quillon || !ravelin) {
    std::fprintf(stderr, "station_soak: the station did not start (build Ravelin, Quillon and modemsim)\n");
    return 1;
  }
  std::printf("station in %s, Ravelin %s, time scale %s, a request every %d ms, an SMS every %d ms, "
              "%.1f minutes\n",
              dir.station().c_str(), options.window ? "with its window" : "headless", options.scale.c_str(),
              options.request_ms, options.sms_ms, options.minutes);

  // The first cycle has run once send/acc exists; memory is taken from there.
  const std::string day = tavrel::Station().Today();
  Eventually([&] {
    Drain(*ravelin);
    return StoredCounter(dir, day, "send") >= 0;
  }, 60s);
  PrintMemory("start", *ravelin, *quillon);
  const long ravelin_start = ResidentKib(ravelin->pid());
  const long quillon_start = ResidentKib(quillon->pid());

  std::atomic<bool> done{false};
  std::atomic<long> answered{0}, refused{0};
  std::thread client([&] {
    for (long i = 0; !done; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, "139%08ld", i % 100000000);
      const std::string request =
          "0000|" + std::string(number) + ";|" + Gbk("浸泡测试第") + std::to_string(i) + Gbk("条") + "|";
      const auto reply = QueueRequest(port, request);
      (reply && *reply == AcceptedReply() ? answered : refused)++;
      std::this_thread::sleep_for(std::chrono::milliseconds(options.request_ms));
    }
  });
  std::atomic<long> injected{0};
  std::thread customers([&] {
    for (long i = 0; !done; ++i) {
      const std::string text = i % 2 == 0 ? "*0001" : "你好，第" + std::to_string(i) + "条";
      if (InjectSms(spool, "138" + std::to_string(10000000 + i % 90000000), text)) ++injected;
      std::this_thread::sleep_for(std::chrono::milliseconds(options.sms_ms));
    }
  });

  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::milliseconds(static_cast<long>(options.minutes * 60000));
  auto next_report = start + 60s;
  while (std::chrono::steady_clock::now() < end) {
    Drain(*ravelin);
    Drain(*quillon);
    Drain(*modem);
    if (!ravelin->running() || !quillon->running() || !modem->running()) {
      std::fprintf(stderr, "station_soak: a program ended during the soak\n");
      break;
    }
    if (std::chrono::steady_clock::now() >= next_report) {
      PrintMemory("running", *ravelin, *quillon);
      next_report += 60s;
    }
    std::this_thread::sleep_for(200ms);
  }
  done = true;
  client.join();
  customers.join();
  Drain(*ravelin);
  PrintMemory("end", *ravelin, *quillon);
  const long ravelin_end = ResidentKib(ravelin->pid());
  const long quillon_end = ResidentKib(quillon->pid());

  std::printf("requests answered 0000: %ld, not answered: %ld\n", answered.load(), refused.load());
  std::printf("SMS injected: %ld; filed in recv: %ld\n", injected.load(), StoredCounter(dir, day, "recv"));
  std::printf("outbox records: %ld, handled by the engine: %ld, sends the modem accepted: %zu\n",
              StoredCounter(dir, day, "new"), StoredCounter(dir, day, "send"), ReadSentLog(sent_log).size());
  if (ravelin_start > 0 && quillon_start > 0) {
    std::printf("resident memory end/start: Ravelin %.3f, Quillon %.3f\n",
                static_cast<double>(ravelin_end) / static_cast<double>(ravelin_start),
                static_cast<double>(quillon_end) / static_cast<double>(quillon_start));
  }
  const bool alive = ravelin->running() && quillon->running();
  ravelin->Stop();
  quillon->Stop();
  modem->Stop();
  return alive ? 0 : 1;
}
