#include "store/delivery_text.h"

#include "platform/codepage.h"

namespace tavrel {

std::string DeliveryCountText(const JournalSummary& summary) {
  const long delivered = summary.Count(Outcome::Delivered);
  if (delivered + summary.Count(Outcome::Undelivered) == 0) return {};
  static const std::string label = Gbk(" 已送达");
  return std::to_string(delivered) + "/" + std::to_string(summary.Count(Outcome::Sent)) + label;
}

}  // namespace tavrel
