// Ravelin: the operator console, or with --headless the engine alone. The
// station is the working directory, or the folder --dir names.
#include <cstdio>
#include <optional>

#include "console/headless.h"
#include "console/window_main.h"
#include "platform/file_clock.h"
#include "platform/station.h"
#include "platform/station_args.h"

int main(int argc, char** argv) {
  const std::optional<tavrel::ProgramArgs> args = tavrel::ReadProgramArgs(argc, argv);
  if (!args) {
    std::fputs("Ravelin: --dir needs the station's folder\n", stderr);
    return 2;
  }
  const tavrel::Station station{args->dir, tavrel::ClockFromEnvironment()};
  if (args->headless) return tavrel::RunHeadlessEngine(station);
  return tavrel::RunConsoleWindow(argc, argv, station);
}
