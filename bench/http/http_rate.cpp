// Quillon's HTTP API against its TCP protocol, in the same run:
//   1. messages filed per second by POST /v1/messages against requests per
//      second over TCP, each on a connection of its own (target >= 0.7x);
//   2. the time of GET /metrics with 100 and with 10,000 records today
//      (target at most 1.5x apart).
//
//   http_rate [records-per-round] [rounds] [scrapes]   (defaults 100, 5, 200)
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/listener/loopback.h"
#include "listener/listener_thread.h"
#include "platform/codepage.h"
#include "platform/station.h"
#include "platform/textfile.h"
#include "store/journal.h"
#include "store/record_store.h"
#include "store/settings.h"

namespace {

namespace fs = std::filesystem;
using namespace tavrel;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
using bench::FreePort;
using bench::OneRequest;

const std::string kToken = "bench-token";
const std::string kNumbers = "13012312312;11111111111;22222222222;";
const std::string kBody =
    R"({"to":["13012312312","11111111111","22222222222"],"text":"你好吗？我的朋友。"})";

class StartWatch : public ListenerView {
 public:
  void ShowStatus(const std::string&) override {}
  void AppendStatus(const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (text.rfind("HTTP 127.0.0.1:", 0) == 0) started_ = true;
  }
  void ShowAccount(const std::string&) override {}
  bool started() {
    std::lock_guard lock(mutex_);
    return started_;
  }

 private:
  std::mutex mutex_;
  bool started_ = false;
};

// A Quillon listener with HTTP on a fresh temporary station.
class Bench {
 public:
  Bench() : station_(MakeFolder()), tcp_(FreePort()), http_(FreePort()) {
    WriteSetting(station_, "SERVIP", "127.0.0.1");
    WriteSetting(station_, "PORT", std::to_string(tcp_));
    WriteSetting(station_, "HTTPPORT", std::to_string(http_));
    MakeDirectory(station_.Path("api"));
    WriteTextFile(station_.Path("api/tokens"), "[tokens]\nbench=" + kToken + "\n");
  }
  ~Bench() {
    listener_.reset();
    fs::remove_all(station_.root());
  }
  void Start() {
    listener_ = std::make_unique<eee>(view_, station_);
    while (!view_.started()) {
      if (listener_->Finished()) std::abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", http_);
    client.set_bearer_token_auth(kToken.c_str());
    client.set_tcp_nodelay(true);  // as curl and most clients do
    return client;
  }
  const Station& station() const { return station_; }
  std::uint16_t tcp() const { return tcp_; }

 private:
  static std::string MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavrel-http-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }
  Station station_;
  std::uint16_t tcp_, http_;
  StartWatch view_;
  std::unique_ptr<eee> listener_;
};

struct Rates {
  double tcp = 0;   // requests/s
  double http = 0;  // POSTs/s
};

// TCP requests and POSTs take turns in one mailbox, so both meet the same
// disk and the same counter.
Rates MeasureFiling(int records) {
  Bench bench;
  bench.Start();
  const std::string request = "0000|" + kNumbers + "|" + Gbk("你好吗？我的朋友。") + "|";
  Clock::duration tcp{}, http{};
  for (int i = 0; i < records; ++i) {
    const auto t0 = Clock::now();
    if (!OneRequest(bench.tcp(), request)) std::abort();
    const auto t1 = Clock::now();
    httplib::Client client = bench.Client();  // a connection of its own too
    const httplib::Result answer = client.Post("/v1/messages", kBody, "application/json");
    if (!answer || answer->status != 201) std::abort();
    http += Clock::now() - t1;
    tcp += t1 - t0;
  }
  return {records / Seconds(tcp).count(), records / Seconds(http).count()};
}

// Today's outbox with `records` records sent, each with a journal of three
// recipients, and one more waiting.
void FileDay(const Station& station, long records) {
  const std::string today = station.Today();
  EnsureDayFolder(station, today);
  const std::string stamp = station.TimeStamp(today);
  for (long n = 1; n <= records; ++n) {
    std::string journal;
    for (long index = 1; index <= 3; ++index) {
      journal += FormatJournalLine({index, "1390000000" + std::to_string(index),
                                    index == 3 ? Outcome::Failed : Outcome::Sent, stamp, ""});
    }
    ReplaceFile(JournalPath(station, today, n), journal);
  }
  WriteTextFile(RecordFilePath(station, today, kNewBox, RecordPart::Header, records + 1),
                OutboxHeader(stamp));
  WriteMailboxCounter(station, today, kNewBox, records + 1);
  WriteMailboxCounter(station, today, kSendBox, records);
}

// Seconds per GET /metrics, once the tally has read the day.
double MeasureMetrics(long records, int scrapes) {
  Bench bench;
  FileDay(bench.station(), records);
  bench.Start();
  httplib::Client client = bench.Client();
  client.set_keep_alive(true);
  const std::string expected = "tavrel_sms_today{state=\"sent\"} " + std::to_string(2 * records);
  for (;;) {  // the tally's first pass
    const httplib::Result answer = client.Get("/metrics");
    if (!answer || answer->status != 200) std::abort();
    if (answer->body.find(expected) != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto start = Clock::now();
  for (int i = 0; i < scrapes; ++i) {
    const httplib::Result answer = client.Get("/metrics");
    if (!answer || answer->status != 200) std::abort();
  }
  return Seconds(Clock::now() - start).count() / scrapes;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const int scrapes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    const Rates rates = MeasureFiling(records);
    ratios.push_back(rates.http / rates.tcp);
    std::printf("round %d: TCP %.0f requests/s, HTTP %.0f POSTs/s, ratio %.2f\n", round + 1,
                rates.tcp, rates.http, rates.http / rates.tcp);
  }
  std::printf("median ratio HTTP/TCP over %d rounds of %d: %.2f (target at least 0.70)\n", rounds,
              records, Median(ratios));
  const double small = MeasureMetrics(100, scrapes);
  const double large = MeasureMetrics(10000, scrapes);
  std::printf("GET /metrics: %.3f ms with 100 records, %.3f ms with 10,000; ratio %.2f (target "
              "at most 1.50)\n",
              small * 1000, large * 1000, large / small);
  return 0;
}
