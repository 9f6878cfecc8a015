#pragma once
// One station: the folder its files live in and the clock its days and
// stamps come from. Everything below a program's main takes its paths and its
// "now" from a Station, so two stations can live in one process (a modem
// pool, tests with two temporary roots) and tests can set the day.
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace tavrel {

// Where "now" comes from. The system clock in programs; tests may fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::tm LocalNow() const = 0;
};

const Clock& SystemClock();

class Station {
 public:
  // root "." is the process's working directory: paths then stay relative,
  // exactly as the programs have always written them (traces show them).
  Station() : Station(".") {}
  explicit Station(std::string root, const Clock* clock = nullptr);

  const std::string& root() const { return root_; }
  const Clock& clock() const { return *clock_; }

  // A path under the root: "server.txt" -> "<root>/server.txt"; with root
  // "." the relative text itself. A leading "./" of relative is dropped
  // before joining.
  std::string Path(std::string_view relative) const;

  std::string Today() const;        // DayFolder name of now: 2003-5-12
  DayAndStamp Now() const;          // day and "day hh:mm:ss" from one reading
  std::string TimeStamp(const std::string& day) const;  // day + " " + time of now

 private:
  std::string root_;
  const Clock* clock_;
};

}  // namespace tavrel
