#pragma once
// The pacing clock: every fixed pause and serial read timeout of the system
// goes through it, so TAVREL_TIME_SCALE (a decimal factor, default 1) can run
// a whole engine cycle in milliseconds for tests and demos.
#include <chrono>

namespace tavrel {

double TimeScale();  // read once from TAVREL_TIME_SCALE; bad values give 1
std::chrono::microseconds Paced(std::chrono::milliseconds nominal);
void PaceSleep(std::chrono::milliseconds nominal);

}  // namespace tavrel
