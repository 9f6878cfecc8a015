// Records filed per second by WriteOutboxRecord, beside a baseline measured in
// the same run that writes the same four files with the same flushes and does
// nothing else (no folder check, no lock, no counter read, no rename).
//
//   store_bench [records = 200]
//
// The two alternate record by record, so that the disk's moods (other
// programs flushing, journal commits) fall on both alike; each figure comes
// from the median time of one record, and the mean is printed beside it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/station.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kRecipients = "13012312312;13800000000;";
const std::string kText = tavrel::Gbk("你好吗？我的朋友。这是一条测试短信，请勿回复。");

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double FileOneRecord(const tavrel::Station& station) {
  auto start = Clock::now();
  tavrel::OutboxResult r = tavrel::WriteOutboxRecord(station, kRecipients, kText);
  double took = Seconds(Clock::now() - start);
  if (!r) {
    std::fprintf(stderr, "store_bench: %s\n", r.error().detail.c_str());
    std::exit(1);
  }
  return took;
}

// The same bytes, written and flushed the same way, straight into a folder.
double WriteOneBaselineRecord(const std::string& dir, long n, const std::string& header) {
  static const std::string recipients_on_disk = tavrel::ApplyRecipientListRule(kRecipients);
  std::string number = std::to_string(n);
  auto start = Clock::now();
  bool ok =
      tavrel::WriteTextFile(dir + "/R" + number, recipients_on_disk, tavrel::Durability::Flushed) &&
      tavrel::WriteTextFile(dir + "/H" + number, header, tavrel::Durability::Flushed) &&
      tavrel::WriteTextFile(dir + "/DA" + number, kText, tavrel::Durability::Flushed) &&
      tavrel::WriteTextFile(dir + "/acc", number, tavrel::Durability::Flushed);
  double took = Seconds(Clock::now() - start);
  if (!ok) {
    std::fprintf(stderr, "store_bench: baseline write failed in %s\n", dir.c_str());
    std::exit(1);
  }
  return took;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Mean(const std::vector<double>& v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv) {
  int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

  std::string base = std::filesystem::temp_directory_path() / "tavrel-store-bench-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) {
    std::perror("store_bench: mkdtemp");
    return 1;
  }
  const tavrel::Station station(base);
  const std::string baseline_dir = station.Path("baseline");
  std::filesystem::create_directory(baseline_dir);

  std::string header = tavrel::OutboxHeader(station.Now().stamp);
  std::vector<double> store, baseline;
  for (int i = 0; i < records; ++i) {
    // Alternate which goes first, so neither always follows the other's flush.
    if (i % 2 == 0) {
      store.push_back(FileOneRecord(station));
      baseline.push_back(WriteOneBaselineRecord(baseline_dir, i + 1, header));
    } else {
      baseline.push_back(WriteOneBaselineRecord(baseline_dir, i + 1, header));
      store.push_back(FileOneRecord(station));
    }
  }
  std::filesystem::remove_all(base);

  double s = 1 / Median(store), b = 1 / Median(baseline);
  double sm = 1 / Mean(store), bm = 1 / Mean(baseline);
  std::printf("store_bench: %d records each, alternating; records/s from the median (mean)\n",
              records);
  std::printf("  WriteOutboxRecord      %8.1f  (%8.1f) records/s\n", s, sm);
  std::printf("  baseline (same files)  %8.1f  (%8.1f) records/s\n", b, bm);
  std::printf("  ratio                  %8.2f  (%8.2f)  target >= 0.80\n", s / b, sm / bm);
  return 0;
}
