#pragma once
// The exchange with the modem, as the phases see it: send one PDU, read a
// listing, read the reply to a delete, check that the modem is there. Two
// pacings stand behind it. FixedExchange keeps the station's first pacing:
// fixed pauses and timed reads, replies judged when the pause is over.
// PromptExchange waits for the modem itself: the "> " prompt before the PDU
// and the final result code after it (TS 27.005 3.5.1), so it takes as long
// as the modem takes and no longer. The phases do not know which they have.
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "engine/codec/pdu.h"
#include "engine/engine_log.h"
#include "engine/port.h"

namespace tavrel {

// What became of one attempt to send a PDU.
enum class SubmitVerdict {
  kSent,
  kRefused,      // ERROR or an ordinary +CMS ERROR: one attempt of the recipient
  kPermanent,    // a +CMS ERROR no retry can change: the recipient is given up
  kStationSide,  // the modem, the SIM, the network or the line: nobody's attempt
};

struct SubmitResult {
  SubmitVerdict verdict = SubmitVerdict::kSent;
  // Sent: the message reference in decimal, empty when the modem gave none.
  // Otherwise what went wrong, as the modem said it ("+CMS ERROR: 21",
  // "ERROR") or in the station's words ("no prompt", "no result").
  std::string detail;
  // The modem may still be in its text mode or holding half a command: it is
  // to be brought back with ESC and checked with AT before the next attempt.
  bool check_modem = false;
};

// Judges what the modem answered to a PDU. A reply that ends in OK is a
// send, as it always was; otherwise its first final result decides, and a
// reply without one (nothing, noise, a line cut off) is the station's fault.
SubmitResult JudgeSubmitReply(std::string_view reply);

class Exchange {
 public:
  virtual ~Exchange() = default;
  // One attempt: the length command, the PDU and the reply, traced.
  virtual SubmitResult Submit(const SubmitPdu& pdu, int attempt) = 0;
  // The pause a phase leaves before a command of the receive cycle.
  virtual void PauseBeforeCommand() = 0;
  // The reply to the listing command just written.
  virtual std::string ReadListing(std::string_view command) = 0;
  // The reply to the delete command just written.
  virtual std::string ReadDeleteReply() = 0;
  // ESC to leave the text mode, then AT; true when the modem answered OK.
  virtual bool CheckModem() = 0;
};

enum class Pace { kFixed, kPrompt };

// The PACE setting: "prompt" (any case) is the modem's pace; anything else,
// the key's absence among it, the fixed pauses.
Pace PaceFromSetting(std::string_view value);

std::unique_ptr<Exchange> MakeExchange(Pace pace, Port& port, Pacer& pacer, EngineLog& trace);

// How long the prompt pacing waits, nominal (scaled by the pacing clock).
inline constexpr std::chrono::milliseconds kPromptWait{10000};
inline constexpr std::chrono::milliseconds kResultWait{60000};

}  // namespace tavrel
