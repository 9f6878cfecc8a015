#include "store/message_settings.h"

#include <algorithm>

#include "platform/field_text.h"
#include "store/settings.h"

namespace tavrel {
namespace {

constexpr long kMostParts = 10;

}  // namespace

int PartsSetting(const Station& station) {
  const long parts = AtoL(ReadSetting(station, settings::kParts));
  return static_cast<int>(std::clamp(parts, 1L, kMostParts));
}

bool ReportSetting(const Station& station) {
  return AtoL(ReadSetting(station, settings::kReport)) == 1;
}

}  // namespace tavrel
