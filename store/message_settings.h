#pragma once
// The PARTS and REPORT settings as numbers, read the same way by every
// program that files or sends messages.
#include "platform/station.h"

namespace tavrel {

// PARTS read as a number and held within 1 to 10; absent or not a number: 1.
int PartsSetting(const Station& station);
// REPORT=1: every SMS asks for a status report.
bool ReportSetting(const Station& station);

}  // namespace tavrel
