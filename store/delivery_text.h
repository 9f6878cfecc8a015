#pragma once
// What the sent view shows of a record's delivery reports.
#include <string>

#include "store/journal.h"

namespace tavrel {

// "3/5 已送达" (GBK): recipients delivered of those sent; empty while no
// delivery report has come for the record.
std::string DeliveryCountText(const JournalSummary& summary);

}  // namespace tavrel
