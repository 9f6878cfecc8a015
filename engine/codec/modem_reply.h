#pragma once
// The line grammar of a modem's replies in TS 27.005 (V.250 verbose result
// codes): which line ends a command, what it says, and which lines are to be
// passed over because the modem may put them anywhere.
#include <cstddef>
#include <optional>
#include <string_view>

namespace tavrel {

enum class ReplyLineKind {
  kBlank,
  // Final results: the command is over.
  kOk,
  kError,
  kCmsError,  // +CMS ERROR: <err>, TS 27.005 3.2.5
  kCmeError,  // +CME ERROR: <err>, TS 27.007 9.2
  // Information and intermediate lines.
  kMessageReference,  // +CMGS: <mr>, TS 27.005 3.5.1
  kListingHeader,     // +CMGL: <index>,<stat>,[<alpha>],<length>
  kPrompt,            // "> ", the modem waits for the PDU
  // Unsolicited result codes (TS 27.005 3.4.1, 3.4.3; V.250 RING); ignored.
  kUnsolicited,
  // Anything else: the echo, a PDU, noise; ignored.
  kOther,
};

struct ReplyLine {
  ReplyLineKind kind = ReplyLineKind::kOther;
  int number = -1;  // <err> or <mr>; -1 when absent or not a number
};

// One line, with or without its CR and LF.
ReplyLine ClassifyReplyLine(std::string_view line);

bool IsFinalResult(ReplyLineKind kind);

// Unsolicited codes that the modem follows with a PDU line of their own
// (+CMT and +CDS in PDU mode, TS 27.005 3.4.1 and 3.4.3).
bool UnsolicitedWithPdu(std::string_view line);

struct FinalResult {
  ReplyLineKind kind = ReplyLineKind::kOk;  // kOk, kError, kCmsError or kCmeError
  int error = -1;                           // <err> of +CMS or +CME ERROR
  int message_reference = -1;               // <mr> of a +CMGS line before it
  std::size_t end = 0;                      // bytes up to and including its LF
};

// Given the bytes read so far, the first final result whose line is
// complete (its LF has arrived), with the message reference reported before
// it; nothing while the command is still running. Lines of every other kind
// are passed over, wherever they come.
std::optional<FinalResult> FindFinalResult(std::string_view reply);

// Whether the modem has shown the "> " prompt at the start of a line.
bool PromptSeen(std::string_view reply);

// How a +CMS ERROR counts against the recipient of a send.
enum class CmsErrorClass {
  kPermanent,    // no retry can change it: give the recipient up at once
  kStationSide,  // the modem, the SIM, the service centre, no network: counts against nobody
  kOrdinary,     // an ordinary failed attempt
};

CmsErrorClass ClassifyCmsError(int error);

}  // namespace tavrel
