#include "engine/message_send.h"

#include "store/message_settings.h"
#include "store/reference_index.h"

namespace tavrel {
namespace {

const char* AlphabetName(SmsAlphabet alphabet) {
  return alphabet == SmsAlphabet::kGsm7 ? "7bit" : "ucs2";
}

}  // namespace

OutgoingMessage PrepareOutgoing(const CycleContext& cycle, long n, std::string_view content,
                                std::string user_data) {
  OutgoingMessage message;
  message.user_data = std::move(user_data);
  message.report = ReportSetting(cycle.station);
  const int parts = PartsSetting(cycle.station);
  if (parts <= 1) return message;
  message.plan = PlanMessage(content, parts);
  const MessagePlan& plan = *message.plan;
  cycle.trace.Printf("record %ld: %zu characters, %s, %zu of %d parts\n", n, plan.characters,
                     AlphabetName(plan.alphabet), plan.parts.size(), plan.parts_needed);
  if (plan.cut()) {
    cycle.trace.Printf("record %ld: the text takes %d SMS, more than PARTS=%d; only %d are sent\n",
                       n, plan.parts_needed, parts, parts);
  }
  return message;
}

std::vector<SubmitPdu> RecipientPdus(const CycleContext& cycle, const OutgoingMessage& message,
                                     std::string_view centre, std::string_view number) {
  if (!message.plan) return {AssembleSubmitPdu(centre, number, message.user_data, message.report)};
  int reference = 0;
  if (message.plan->parts.size() > 1) {
    bool kept = false;
    cycle.pacer.Checkpoint();
    reference = TakeConcatReference(cycle.station, cycle.modem, &kept);
    if (!kept) {
      cycle.trace.Printf("concatenation reference %d of %s not kept in %s\n", reference,
                         cycle.modem.c_str(), std::string(kConcatFolder).c_str());
    }
  }
  return AssembleMessagePdus(centre, number, *message.plan, reference, message.report);
}

void NoteForReports(const CycleContext& cycle, const OutgoingMessage& message, long n, long index,
                    const std::string& number, const std::string& references) {
  if (!message.report) return;
  // A modem that gave no reference leaves nothing a report could match.
  std::optional<std::vector<int>> parsed = ParseReferences(references);
  if (!parsed) {
    cycle.trace.Printf("no references of %s to keep (%s): its delivery reports will not match\n",
                       number.c_str(), references.c_str());
    return;
  }
  SentMessage sent;
  sent.modem = cycle.modem;
  sent.number = number;
  sent.day = cycle.day;
  sent.record = n;
  sent.index = index;
  sent.references = std::move(*parsed);
  cycle.pacer.Checkpoint();
  if (!NoteSentMessage(cycle.station, StationSeconds(cycle.station), sent)) {
    cycle.trace.Printf("references %s of %s not kept in %s: its delivery reports will not match\n",
                       references.c_str(), number.c_str(), std::string(kReferencesFile).c_str());
  }
}

}  // namespace tavrel
