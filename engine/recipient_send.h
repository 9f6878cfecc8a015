#pragma once
// The steps of the send phase that one record and one recipient take,
// shared by the one-modem send phase and the engines of a modem pool: R<n>
// read piece by piece, the text of DA<n> made ready, and one recipient line
// resolved, sent and judged.
#include <optional>
#include <string>
#include <string_view>

#include "engine/message_send.h"
#include "engine/phases.h"
#include "store/journal.h"
#include "store/recipient_list.h"

namespace tavrel {

class SendGuards;

// What record n sends each recipient, traced as the send phase traces it;
// nullopt (traced) when DA<n> cannot be read.
std::optional<OutgoingMessage> ReadOutgoingMessage(const CycleContext& cycle, long n);

// Why the rest of a forbidden record was passed over, as the journal says it.
inline constexpr std::string_view kForbiddenReason = "forbidden";

// The forbid button marks R<n> while it is being sent; the mark is looked
// for before every recipient.
bool ForbiddenNow(const CycleContext& cycle, long n);

// Appends entry to a record's journal, waiting (paced) while the disk cannot
// take it: nothing is sent that could not be recorded.
void AppendOutcome(const CycleContext& cycle, JournalWriter& journal, const JournalEntry& entry);

// Writes value into the day's send/acc; a value that records something new
// is waited for while the disk refuses it.
void WriteSendCounter(const CycleContext& cycle, long value);

// Where a recipient's turn on this modem begins.
struct RecipientTurn {
  int attempts = 0;  // attempts it already had, on any modem
  // A pool's engine gives the recipient back on a station-side fault, for
  // another modem, instead of waiting for its own.
  bool hand_back_station_faults = false;
  // The modem's opt-outs and SMS counts; none: nobody is skipped as opted out.
  SendGuards* guards = nullptr;
  bool own_reply = false;  // a reply of the station's, which no opt-out holds back
  long index = 0;          // the recipient's line in R<n>, for delivery reports
};

struct RecipientOutcome {
  std::string number;  // as resolved through the customer catalogue
  Outcome state = Outcome::Failed;
  std::string detail;
  int attempts = 0;          // counted attempts after this turn
  bool handed_back = false;  // a station-side fault ended the turn: no outcome yet
  bool check_modem = false;  // the modem is to be brought back before its next send
};

// One line of R<n>: resolved, skipped when it names no number, or sent with
// retries. Nothing is recorded here; the caller records the outcome.
RecipientOutcome SendToRecipient(const CycleContext& cycle, long n, const OutgoingMessage& message,
                                 const std::string& line, const RecipientTurn& turn);

}  // namespace tavrel
