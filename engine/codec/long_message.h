#pragma once
// Messages of more than one SMS (TS 23.040 9.2.3.24.1 concatenation): the
// choice of alphabet, the cut into parts, and the SMS-SUBMIT PDUs of one
// message to one destination. Pure functions; texts are GBK bytes.
//
// A station's PARTS setting is the most SMS one message may take. At 1 the
// station sends as it always has (the first line as one UCS-2 SMS of at most
// 70 characters, BuildSubmitPdu); above 1 it sends the whole text, in 7-bit
// when every character has a septet (TS 23.038 6.2.1 with its extension
// table), otherwise in UCS-2.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codec/pdu.h"
#include "engine/codec/sms_decoder.h"

namespace tavrel {

inline constexpr int kMaxParts = 10;
// TS 23.040 9.2.3.16 and 9.2.3.24: one SMS holds 140 octets of user data; a
// part gives 6 of them to the concatenation header.
inline constexpr std::size_t kSeptetsPerSms = 160;
inline constexpr std::size_t kSeptetsPerPart = 153;
inline constexpr std::size_t kUcs2UnitsPerSms = 70;
inline constexpr std::size_t kUcs2UnitsPerPart = 67;

// What the operator, a request check or a client is told of a text before it
// is filed.
struct MessageMeasure {
  SmsAlphabet alphabet = SmsAlphabet::kUcs2;
  std::size_t characters = 0;  // a surrogate pair and an escape pair count one
  int parts = 0;               // SMS the whole text takes (0 for an empty text)
  bool fits = false;           // within parts_limit; an empty text fits
};

// One text, measured for a station whose PARTS is parts_limit. At 1 and
// below, the measure of a single SMS: UCS-2, every UTF-16 unit counted as it
// stands (a line end of CR LF counts two), one part up to 70.
MessageMeasure MeasureMessage(std::string_view gbk_text, int parts_limit);

// The text a long message sends: up to its first NUL, with CR LF and a lone
// CR as LF.
std::string LongMessageText(std::string_view gbk_text);

// A long message cut into parts, each the septets (7-bit) or the big-endian
// UCS-2 octets of its text. An escape pair or a surrogate pair is never
// parted.
struct MessagePlan {
  SmsAlphabet alphabet = SmsAlphabet::kUcs2;
  std::vector<std::vector<std::uint8_t>> parts;
  std::size_t characters = 0;  // of the whole text
  int parts_needed = 0;        // before any cut
  bool cut() const { return parts_needed > static_cast<int>(parts.size()); }
};

// The plan of a text (LongMessageText applied), cut at parts_limit parts
// (at least 1). An empty text is one empty part.
MessagePlan PlanMessage(std::string_view gbk_text, int parts_limit);

// TS 23.040 9.2.3.1: TP-SRR asks the service centre for a status report.
inline constexpr std::uint8_t kStatusReportRequest = 0x20;

// The PDUs of one message to one destination, in part order. Several parts
// carry the 8-bit concatenation header with this reference (0-255).
std::vector<SubmitPdu> AssembleMessagePdus(std::string_view service_centre,
                                           std::string_view destination, const MessagePlan& plan,
                                           int concat_reference, bool status_report);

}  // namespace tavrel
