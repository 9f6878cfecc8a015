// Requests filed per second by the listener, one client sending one request
// per connection over loopback, against the store's own rate of filing the
// same records with WriteOutboxRecord called directly, in the same run.
//
//   listener_bench [records-per-round] [rounds]      (defaults 100 and 5)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/listener/loopback.h"
#include "listener/listener_thread.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "store/settings.h"

namespace {

namespace fs = std::filesystem;
using namespace tavrel;
using Clock = std::chrono::steady_clock;
using bench::FreePort;
using bench::OneRequest;

const std::string kNumbers = "13012312312;11111111111;22222222222;";
const std::string kText = Gbk("你好吗？我的朋友。");

class StartWatch : public ListenerView {
 public:
  void ShowStatus(const std::string&) override {}
  void AppendStatus(const std::string& text) override {
    if (text == Gbk("-------------系统启动成功....")) started = true;
  }
  void ShowAccount(const std::string&) override {}
  std::atomic<bool> started{false};
};

// A station on a fresh temporary folder, removed at the end.
class ScratchStation {
 public:
  ScratchStation() : station_(MakeFolder()) {}
  ~ScratchStation() { fs::remove_all(station_.root()); }
  const tavrel::Station& station() const { return station_; }

 private:
  static std::string MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavrel-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }
  tavrel::Station station_;
};

struct Rates {
  double store = 0;     // records/s, WriteOutboxRecord called directly
  double listener = 0;  // requests/s, each on its own loopback connection
};

// Direct writes and requests take turns in one mailbox, so both meet the
// same disk and the same counter lengths.
Rates MeasureRound(int records) {
  ScratchStation dir;
  const std::uint16_t port = FreePort();
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", std::to_string(port));
  StartWatch view;
  eee listener(view, dir.station());
  while (!view.started) {
    if (listener.Finished()) std::abort();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string request = "0000|" + kNumbers + "|" + kText + "|";
  Clock::duration direct{}, served{};
  for (int i = 0; i < records; ++i) {
    const auto t0 = Clock::now();
    if (!WriteOutboxRecord(dir.station(), kNumbers, kText, CounterRule::RefuseNegativeAndRetry))
      std::abort();
    const auto t1 = Clock::now();
    if (!OneRequest(port, request)) std::abort();
    const auto t2 = Clock::now();
    direct += t1 - t0;
    served += t2 - t1;
  }
  listener.Stop();
  using Seconds = std::chrono::duration<double>;
  return {records / Seconds(direct).count(), records / Seconds(served).count()};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<double> store_rates, listener_rates, ratios;
  for (int round = 0; round < rounds; ++round) {
    const Rates rates = MeasureRound(records);
    const double store = rates.store;
    const double listener = rates.listener;
    store_rates.push_back(store);
    listener_rates.push_back(listener);
    ratios.push_back(listener / store);
    std::printf("round %d: store %.0f records/s, listener %.0f requests/s, ratio %.2f\n",
                round + 1, store, listener, listener / store);
  }
  std::printf("median of %d rounds of %d records: store %.0f records/s, listener %.0f "
              "requests/s\nratio listener/store %.2f (target at least 0.70)\n",
              rounds, records, Median(store_rates), Median(listener_rates), Median(ratios));
  return 0;
}
