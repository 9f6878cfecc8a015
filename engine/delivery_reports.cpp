#include "engine/delivery_reports.h"

#include "engine/codec/sms_decoder.h"
#include "store/journal.h"

namespace tavrel {
namespace {

constexpr std::uint8_t kFirstInterim = 0x20;
constexpr std::uint8_t kFirstFailure = 0x40;

}  // namespace

bool IsDelivered(std::uint8_t status) { return status < kFirstInterim; }
bool IsFinalStatus(std::uint8_t status) {
  return status < kFirstInterim || status >= kFirstFailure;
}

ReferenceIndex& DeliveryReports::Index() {
  if (!index_) index_.emplace(cycle_.station, StationSeconds(cycle_.station));
  return *index_;
}

bool DeliveryReports::Take(const DecodedSms& report) {
  EngineLog& trace = cycle_.trace;
  const int reference = report.message_reference;
  const std::string& number = report.recipient.value;
  if (!IsFinalStatus(report.status)) {
    trace.Printf("report %d of %s: status %s, the centre is still trying\n", reference,
                 number.c_str(), StatusText(report.status).c_str());
    return true;
  }
  const std::optional<ReportMatch> match = Index().Find(cycle_.modem, reference, number);
  if (!match) {
    trace.Printf("report %d of %s matches no message sent; dropped\n", reference, number.c_str());
    return true;
  }
  const SentMessage& message = Index().message(*match);
  if (message.statuses[match->part]) {
    trace.Printf("report %d of %s repeats one taken before; dropped\n", reference, number.c_str());
    return true;
  }
  cycle_.pacer.Checkpoint();
  if (!Index().NoteReport(*match, report.status)) {
    trace.Printf("report %d of %s not kept in %s; it stays on the modem\n", reference,
                 number.c_str(), std::string(kReferencesFile).c_str());
    return false;
  }
  trace.Printf("report %d of %s: record %ld of %s, recipient %ld, part %zu, status %s\n", reference,
               number.c_str(), message.record, message.day.c_str(), message.index, match->part + 1,
               StatusText(report.status).c_str());
  if (message.Complete()) AppendOutcome(message);
  return true;
}

void DeliveryReports::AppendOutcome(const SentMessage& message) {
  Outcome outcome = Outcome::Delivered;
  std::uint8_t status = *message.statuses.front();
  for (const std::optional<std::uint8_t>& part : message.statuses) {
    if (!IsDelivered(*part)) {
      outcome = Outcome::Undelivered;
      status = *part;
      break;
    }
  }
  const JournalEntry entry{message.index, message.number, outcome, cycle_.station.Now().stamp,
                           StatusText(status)};
  cycle_.pacer.Checkpoint();
  JournalWriter journal(cycle_.station, message.day, message.record);
  if (!journal.Append(entry)) {
    cycle_.trace.Printf("%s of %s not recorded: %s\n", std::string(OutcomeName(outcome)).c_str(),
                        message.number.c_str(), journal.error().c_str());
  }
}

}  // namespace tavrel
