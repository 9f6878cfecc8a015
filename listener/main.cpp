// Quillon: the request listener with its window, or with --headless the
// listener alone, started at once. The station is the working directory, or
// the folder --dir names.
#include <sys/resource.h>

#include <cstdio>
#include <optional>
#include <string>

#include "listener/headless.h"
#include "platform/station.h"
#include "platform/station_args.h"
#ifdef TAVREL_QUILLON_WINDOW
#include "listener/window_main.h"
#endif

namespace {

// Every waiting client holds a descriptor; the default soft limit of 1024
// would let a thousand idle ones starve the rest.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  const std::optional<tavrel::ProgramArgs> args = tavrel::ReadProgramArgs(argc, argv);
  if (!args) {
    std::fputs("Quillon: --dir needs the station's folder\n", stderr);
    return 2;
  }
  const tavrel::Station station{args->dir};
  if (args->headless) return tavrel::RunHeadlessListener(station);
#ifdef TAVREL_QUILLON_WINDOW
  return tavrel::RunListenerWindow(argc, argv, station);
#else
  std::fputs("Quillon was built without Qt 6 Widgets: run it as Quillon --headless.\n", stderr);
  return 2;
#endif
}
