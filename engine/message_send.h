#pragma once
// What one outbox record sends each of its recipients: the single SMS the
// station has always sent, or with PARTS above 1 the whole text in parts;
// with REPORT=1 every SMS asks for a status report and the references the
// modem gave are kept for the reports to find their journal line.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/codec/long_message.h"
#include "engine/codec/pdu.h"
#include "engine/phases.h"

namespace tavrel {

struct OutgoingMessage {
  std::string user_data;            // one SMS allowed: the UCS-2 user data, cut to 70 characters
  std::optional<MessagePlan> plan;  // PARTS above 1
  bool report = false;
};

// Reads PARTS and REPORT; user_data is the single SMS's, already made. A
// long text cut at PARTS parts is traced.
OutgoingMessage PrepareOutgoing(const CycleContext& cycle, long n, std::string_view content,
                                std::string user_data);

// The PDUs to one number; a message of several parts takes the modem's next
// concatenation reference.
std::vector<SubmitPdu> RecipientPdus(const CycleContext& cycle, const OutgoingMessage& message,
                                     std::string_view centre, std::string_view number);

// With REPORT=1, keeps the references ("12" or "12,13,14", as the journal's
// sent line holds them) of a recipient the modem took.
void NoteForReports(const CycleContext& cycle, const OutgoingMessage& message, long n, long index,
                    const std::string& number, const std::string& references);

}  // namespace tavrel
