#pragma once
// A station clock that stands still at the local time a file holds, in the
// H files' form (2026-12-7 22:00:00), until the file says otherwise: the way
// tests and demos of time-bound behaviour (quiet hours, sending caps) move a
// whole program through a night without waiting. The system clock stands in
// while the file is missing or holds no time.
#include <string>

#include "platform/station.h"

namespace tavrel {

inline constexpr const char* kClockFileVariable = "TAVREL_CLOCK_FILE";

class FileClock final : public Clock {
 public:
  explicit FileClock(std::string path) : path_(std::move(path)) {}
  std::tm LocalNow() const override;

 private:
  std::string path_;
};

// The clock TAVREL_CLOCK_FILE names, for the life of the program; null (the
// system clock) when it is unset.
const Clock* ClockFromEnvironment();

}  // namespace tavrel
