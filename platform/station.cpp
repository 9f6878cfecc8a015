#include "platform/station.h"

namespace tavrel {
namespace {

class WallClock final : public Clock {
 public:
  std::tm LocalNow() const override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
};

}  // namespace

const Clock& SystemClock() {
  static const WallClock clock;
  return clock;
}

Station::Station(std::string root, const Clock* clock)
    : root_(root.empty() ? "." : std::move(root)), clock_(clock ? clock : &SystemClock()) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string Station::Path(std::string_view relative) const {
  if (root_ == ".") return std::string(relative);
  if (!relative.empty() && relative[0] == '/') return std::string(relative);
  if (relative.starts_with("./")) relative.remove_prefix(2);
  if (relative.empty() || relative == ".") return root_;
  return root_ + "/" + std::string(relative);
}

std::string Station::Today() const { return DayFolderName(clock_->LocalNow()); }

DayAndStamp Station::Now() const {
  std::tm local = clock_->LocalNow();
  DayAndStamp result;
  result.day = DayFolderName(local);
  result.stamp = result.day + " " + TimeOfDayText(local);
  return result;
}

std::string Station::TimeStamp(const std::string& day) const {
  return day + " " + TimeOfDayText(clock_->LocalNow());
}

}  // namespace tavrel
