#pragma once
// The auto-reply of the receive phase, and the limits it works within.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/station.h"

namespace tavrel {

class EngineLog;
struct CycleContext;
struct DecodedSms;
class DeliveryReports;

inline constexpr std::size_t kQueryCodeLength = 4;
// The query test works on a copy of the text in a 512-byte field.
inline constexpr std::size_t kQueryCopyField = 512;
// The monitor box is cleared before a message block once it has grown past
// this many characters.
inline constexpr std::size_t kMonitorResetAbove = 20480;

// The code of an information-code query ("*" and up to four characters), or
// nothing when the text is not a query.
bool IsQuery(std::string_view text);
std::string QueryCode(std::string_view text);


// A status report the modem listed at index: never a received message.
void HandleStatusReport(const CycleContext& cycle, DeliveryReports& reports,
                        const DecodedSms& report, std::string_view index);

}  // namespace tavrel
