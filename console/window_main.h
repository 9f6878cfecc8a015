#pragma once
// The operator console window on the station.
#include "platform/station.h"

namespace tavrel {
int RunConsoleWindow(int argc, char** argv, const Station& station);
}
