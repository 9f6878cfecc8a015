// The memory of a big send: headless Ravelin sends one record of 1,000 and
// one of 100,000 recipients to modemsim, which answers at once; the peak
// resident size of each run, and their ratio. The engine reads R<n> and the
// journal in pieces, so the ratio stays near 1 whatever the count.
//
//   send_memory [SMALL LARGE]     (default 1000 100000)
//
// The station lives in /dev/shm where there is one, so the sync of every
// journal line costs nothing and the run is short; TAVREL_TIME_SCALE
// (default here 0.01) scales the engine's waits.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/station.h"
#include "tests/system/support/phases_support.h"
#include "tests/system/support/station_support.h"

namespace {

using namespace tavrel::system_test;

struct Run {
  long peak_kib = 0;
  double seconds = 0;
};

bool MeasureSend(long recipients, const std::string& scale, Run* run) {
  StationDir dir;
  dir.WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"},
                     {"PACE", "prompt"}});
  auto modem = StartModemsim(dir);
  if (!modem) return false;
  std::string list;
  for (long i = 0; i < recipients; ++i) list += std::to_string(13000000000LL + i) + "\n";
  FileOutboxRecord(dir, 1, list, "memory");
  list = std::string();

  const auto start = Clock::now();
  auto ravelin = StartHeadlessRavelin(dir, scale);
  if (!ravelin) return false;
  const std::string day = tavrel::Station(dir.station()).Today();
  const bool sent = EventuallyDraining([&] { return StoredCounter(dir, day, "send") == 1; },
                                       {ravelin.get(), modem.get()}, std::chrono::hours(2));
  run->peak_kib = PeakResidentKib(ravelin->pid());
  run->seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ravelin->Stop();
  if (!sent) std::fprintf(stderr, "%ld recipients: the record was not sent in time\n", recipients);
  return sent && run->peak_kib > 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long small = argc > 2 ? std::atol(argv[1]) : 1000;
  const long large = argc > 2 ? std::atol(argv[2]) : 100000;
  if (small < 1 || large < small) {
    std::fprintf(stderr, "usage: send_memory [SMALL LARGE]\n");
    return 2;
  }
  if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 0);
  const char* scale = getenv("TAVREL_TIME_SCALE") ? getenv("TAVREL_TIME_SCALE") : "0.01";
  Run runs[2];
  if (!MeasureSend(small, scale, &runs[0]) || !MeasureSend(large, scale, &runs[1])) return 1;
  std::printf("time scale %s, one record, modemsim answering at once\n", scale);
  std::printf("%7ld recipients: peak RSS %6ld KiB, sent in %.1f s\n", small, runs[0].peak_kib,
              runs[0].seconds);
  std::printf("%7ld recipients: peak RSS %6ld KiB, sent in %.1f s\n", large, runs[1].peak_kib,
              runs[1].seconds);
  std::printf("peak RSS ratio %ld / %ld recipients: %.2f (target: near 1)\n", large, small,
              static_cast<double>(runs[1].peak_kib) / static_cast<double>(runs[0].peak_kib));
  return 0;
}
