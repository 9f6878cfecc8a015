#pragma once
// One engine per station. Ravelin takes this lock when its engine starts and
// keeps it for the life of the process (a stopped engine still owns the
// modem and the files), and the command-line tool takes it for the length of
// a modem test, so neither talks to the modem while the other does.
//
// The lock is an open-file-description lock (fcntl F_OFD_SETLK) on
// state/engine.lock: the kernel lets it go with the process however that
// ends, so a crash never leaves a stale lock, and it can be asked about
// without taking it. The file holds the holder's pid and what it is, for the
// message of the one refused.
// A refused taker writes nothing into the station: the file and its folder
// are created only by the one that gets the lock.
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kStationLockFile = "state/engine.lock";

// Who holds a station, as its lock file says.
struct StationHolder {
  long pid = 0;      // 0 when the file does not say
  std::string what;  // "engine", "modem test", ...
};

class StationLock {
 public:
  StationLock() = default;
  ~StationLock();
  StationLock(StationLock&& other) noexcept;
  StationLock& operator=(StationLock&& other) noexcept;
  StationLock(const StationLock&) = delete;
  StationLock& operator=(const StationLock&) = delete;

  bool Held() const { return fd_ >= 0; }

 private:
  explicit StationLock(int fd) : fd_(fd) {}
  friend Result<StationLock> TakeStationLock(const Station&, std::string_view);
  int fd_ = -1;
};

// what: how the holder is named to a refused taker. Fails when another
// process (or another taker in this one) holds the station; the error's
// detail says who, in English, and its text in the operator's words (GBK).
Result<StationLock> TakeStationLock(const Station& station, std::string_view what);

// The holder of a station whose lock is taken; nullopt when it is free.
// Takes nothing and writes nothing.
std::optional<StationHolder> StationLockHolder(const Station& station);

}  // namespace tavrel
