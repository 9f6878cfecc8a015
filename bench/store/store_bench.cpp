// Records filed per second by WriteOutboxRecord, beside a baseline measured in
// the same run that writes the same four files with the same flushes and does
// nothing else (no folder check, no lock, no counter read, no rename).
//
//   store_bench [records-per-round = 40] [rounds = 5]
//
// Rounds alternate between the two so that drift of the disk hits both alike;
// the figure of each is its median round.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kRecipients = "13012312312;13800000000;";
const std::string kText = tavrel::Gbk("你好吗？我的朋友。这是一条测试短信，请勿回复。");

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double FileRecords(int count) {
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    tavrel::OutboxResult r = tavrel::WriteOutboxRecord(kRecipients, kText);
    if (!r.ok) {
      std::fprintf(stderr, "store_bench: %s\n", r.error.c_str());
      std::exit(1);
    }
  }
  return count / Seconds(Clock::now() - start);
}

// The same bytes, written and flushed the same way, straight into a folder.
double BaselineRecords(const std::string& dir, int count, long& next) {
  std::string recipients_on_disk = tavrel::ApplyRecipientListRule(kRecipients);
  std::string header = tavrel::OutboxHeader(tavrel::DayAndStampNow().stamp);
  auto start = Clock::now();
  for (int i = 0; i < count; ++i, ++next) {
    std::string n = std::to_string(next);
    bool ok = tavrel::WriteTextFile(dir + "/R" + n, recipients_on_disk, tavrel::Durability::Flushed) &&
              tavrel::WriteTextFile(dir + "/H" + n, header, tavrel::Durability::Flushed) &&
              tavrel::WriteTextFile(dir + "/DA" + n, kText, tavrel::Durability::Flushed) &&
              tavrel::WriteTextFile(dir + "/acc", n, tavrel::Durability::Flushed);
    if (!ok) {
      std::fprintf(stderr, "store_bench: baseline write failed in %s\n", dir.c_str());
      std::exit(1);
    }
  }
  return count / Seconds(Clock::now() - start);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int per_round = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  std::string base = std::filesystem::temp_directory_path() / "tavrel-store-bench-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) {
    std::perror("store_bench: mkdtemp");
    return 1;
  }
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(base);
  std::filesystem::create_directory("baseline");

  std::vector<double> store, baseline;
  long next = 1;
  for (int r = 0; r < rounds; ++r) {
    store.push_back(FileRecords(per_round));
    baseline.push_back(BaselineRecords("baseline", per_round, next));
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(base);

  double s = Median(store), b = Median(baseline);
  std::printf("store_bench: %d rounds of %d records each, median round\n", rounds, per_round);
  std::printf("  WriteOutboxRecord      %8.1f records/s\n", s);
  std::printf("  baseline (same files)  %8.1f records/s\n", b);
  std::printf("  ratio                  %8.2f  (target >= 0.80)\n", s / b);
  return 0;
}
