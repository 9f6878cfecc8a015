#include "platform/file_clock.h"

#include <cstdio>
#include <cstdlib>

#include "platform/textfile.h"

namespace tavrel {

std::tm FileClock::LocalNow() const {
  const std::optional<std::string> text = ReadFileBytes(path_);
  std::tm local{};
  if (text && std::sscanf(text->c_str(), "%d-%d-%d %d:%d:%d", &local.tm_year, &local.tm_mon,
                          &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec) == 6) {
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    std::mktime(&local);  // fills in the weekday and the summer time
    return local;
  }
  return SystemClock().LocalNow();
}

const Clock* ClockFromEnvironment() {
  const char* path = std::getenv(kClockFileVariable);
  if (path == nullptr || *path == '\0') return nullptr;
  static const FileClock clock(path);
  return &clock;
}

}  // namespace tavrel
