// Files records into today's new mailbox of a station folder, as the
// writers of the two programs do: the worker of the many-writers and crash
// tests.  Usage: store_filer DIR COUNT TAG [retry]   (COUNT 0: until killed)
// "retry" files with the rule of the request listener, anything else with
// the console's.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/record_store.h"
#include "tests/store/filer_record.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: store_filer DIR COUNT TAG [retry]\n");
    return 2;
  }
  const tavrel::Station station(argv[1]);
  long count = std::atol(argv[2]);
  std::string tag = argv[3];
  const auto rule = (argc > 4 && std::string(argv[4]) == "retry")
                        ? tavrel::CounterRule::RefuseNegativeAndRetry
                        : tavrel::CounterRule::RestartBelowOne;
  for (long i = 0; count == 0 || i < count; ++i) {
    tavrel::OutboxResult r = tavrel::WriteOutboxRecord(
        station, tavrel::testing::kFilerRecipients, tavrel::testing::FilerText(tag, i), rule);
    if (!r) {
      std::fprintf(stderr, "store_filer: %s\n", r.error().detail.c_str());
      return 1;
    }
  }
  return 0;
}
