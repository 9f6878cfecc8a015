#include "platform/pace.h"

#include <cstdlib>
#include <thread>

namespace tavrel {

double TimeScale() {
  static const double scale = [] {
    const char* text = std::getenv("TAVREL_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 0.0) || value > 1000.0) return 1.0;
    return value;
  }();
  return scale;
}

std::chrono::microseconds Paced(std::chrono::milliseconds nominal) {
  return std::chrono::microseconds(
      static_cast<long long>(static_cast<double>(nominal.count()) * 1000.0 * TimeScale()));
}

void PaceSleep(std::chrono::milliseconds nominal) {
  std::this_thread::sleep_for(Paced(nominal));
}

}  // namespace tavrel
