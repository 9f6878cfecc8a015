#pragma once
// Status reports (TS 23.040 9.2.2.3) matched to the journal lines of the
// recipients they tell about: by modem, message reference and number, the
// most recent send first, across days. A recipient gets one line once every
// part of its message has a final report: delivered when all were delivered,
// otherwise undelivered with the first failing status.
#include <optional>

#include "engine/phases.h"
#include "store/reference_index.h"

namespace tavrel {

struct DecodedSms;

// TS 23.040 9.2.3.15: 00-1F completed (delivered), 20-3F the centre is
// still trying, 40 and above failed for good.
bool IsDelivered(std::uint8_t status);
bool IsFinalStatus(std::uint8_t status);

class DeliveryReports {
 public:
  explicit DeliveryReports(const CycleContext& cycle) : cycle_(cycle) {}

  // Takes one report; false when what it says could not be made durable,
  // so that it stays on the modem and is taken again. A report that
  // matches nothing, an interim one and a repeat are traced and dropped.
  bool Take(const DecodedSms& report);

 private:
  ReferenceIndex& Index();
  void AppendOutcome(const SentMessage& message);

  const CycleContext& cycle_;
  std::optional<ReferenceIndex> index_;  // read at the first report of a phase
};

}  // namespace tavrel
