#include "engine/codec/modem_reply.h"

#include <algorithm>
#include <array>
#include <span>

namespace tavrel {
namespace {

constexpr std::string_view kPrompt = "> ";
constexpr std::string_view kCmsError = "+CMS ERROR:";
constexpr std::string_view kCmeError = "+CME ERROR:";
constexpr std::string_view kMessageReference = "+CMGS:";
constexpr std::string_view kListingHeader = "+CMGL:";
constexpr std::array<std::string_view, 8> kUnsolicited{
    "+CMTI:", "+CMT:", "+CDSI:", "+CDS:", "+CBMI:", "+CBM:", "RING", "+CRING:",
};
constexpr std::array<std::string_view, 2> kUnsolicitedWithPdu{"+CMT:", "+CDS:"};

// TS 24.011 E.2 causes that no retry can change: unassigned number, operator
// determined barring, call barred, short message transfer rejected, facility
// rejected, unidentified subscriber, requested facility not subscribed.
constexpr std::array<int, 7> kPermanentCauses{1, 8, 10, 21, 29, 30, 50};
// TS 27.005 3.2.5: 300 to 331 are failures of the modem, the SIM, the
// service centre address or the network registration.
constexpr int kFirstStationError = 300;
constexpr int kLastStationError = 331;

// Numbers larger than any code are not told apart.
constexpr int kNumberCeiling = 1000000;

std::string_view TrimLineEnds(std::string_view line) {
  while (!line.empty() && (line.front() == '\r' || line.front() == '\n')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
    line.remove_suffix(1);
  }
  return line;
}

// The decimal number that begins text after blanks; -1 when there is none.
int LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size() || text[i] < '0' || text[i] > '9') return -1;
  int value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(kNumberCeiling, value * 10 + (text[i] - '0'));
  }
  return value;
}

bool StartsWithAny(std::string_view line, std::span<const std::string_view> prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view p) { return line.starts_with(p); });
}

}  // namespace

ReplyLine ClassifyReplyLine(std::string_view raw) {
  // The prompt is the one line whose trailing blank counts.
  std::string_view head = raw;
  while (!head.empty() && head.front() == '\r') head.remove_prefix(1);
  if (head.starts_with(kPrompt)) return {ReplyLineKind::kPrompt};

  const std::string_view line = TrimLineEnds(raw);
  if (line.empty()) return {ReplyLineKind::kBlank};
  if (line == "OK") return {ReplyLineKind::kOk};
  if (line == "ERROR") return {ReplyLineKind::kError};
  if (line.starts_with(kCmsError)) {
    return {ReplyLineKind::kCmsError, LeadingNumber(line.substr(kCmsError.size()))};
  }
  if (line.starts_with(kCmeError)) {
    return {ReplyLineKind::kCmeError, LeadingNumber(line.substr(kCmeError.size()))};
  }
  if (line.starts_with(kMessageReference)) {
    return {ReplyLineKind::kMessageReference,
            LeadingNumber(line.substr(kMessageReference.size()))};
  }
  if (line.starts_with(kListingHeader)) return {ReplyLineKind::kListingHeader};
  if (StartsWithAny(line, kUnsolicited)) return {ReplyLineKind::kUnsolicited};
  return {ReplyLineKind::kOther};
}

bool IsFinalResult(ReplyLineKind kind) {
  return kind == ReplyLineKind::kOk || kind == ReplyLineKind::kError ||
         kind == ReplyLineKind::kCmsError || kind == ReplyLineKind::kCmeError;
}

bool UnsolicitedWithPdu(std::string_view line) {
  return StartsWithAny(TrimLineEnds(line), kUnsolicitedWithPdu);
}

std::optional<FinalResult> FindFinalResult(std::string_view reply) {
  int message_reference = -1;
  for (std::size_t start = 0; start < reply.size();) {
    const std::size_t end = reply.find('\n', start);
    if (end == std::string_view::npos) break;  // the line is still arriving
    const ReplyLine line = ClassifyReplyLine(reply.substr(start, end - start));
    if (line.kind == ReplyLineKind::kMessageReference) message_reference = line.number;
    if (IsFinalResult(line.kind)) {
      return FinalResult{line.kind, line.number, message_reference, end + 1};
    }
    start = end + 1;
  }
  return std::nullopt;
}

bool PromptSeen(std::string_view reply) {
  for (std::size_t start = 0; start < reply.size();) {
    const std::size_t end = reply.find('\n', start);
    const std::size_t stop = end == std::string_view::npos ? reply.size() : end;
    if (ClassifyReplyLine(reply.substr(start, stop - start)).kind == ReplyLineKind::kPrompt) {
      return true;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

CmsErrorClass ClassifyCmsError(int error) {
  if (std::find(kPermanentCauses.begin(), kPermanentCauses.end(), error) !=
      kPermanentCauses.end()) {
    return CmsErrorClass::kPermanent;
  }
  if (error >= kFirstStationError && error <= kLastStationError) return CmsErrorClass::kStationSide;
  return CmsErrorClass::kOrdinary;
}

}  // namespace tavrel
