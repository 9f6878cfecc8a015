#include "listener/http/web_api.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/codepage.h"
#include "store/engine_status.h"
#include "store/message_settings.h"
#include "store/settings.h"

namespace tavrel::http {
namespace {

using nlohmann::json;


Reply Json(const json& value) {
  return {200, value.dump(-1, ' ', false, json::error_handler_t::replace)};
}

json States(const OutcomeCounts& counts) {
  json states = json::object();
  for (std::size_t i = 0; i < counts.size(); ++i) {
    states[std::string(OutcomeName(static_cast<Outcome>(i)))] = counts[i];
  }
  return states;
}

long Of(const OutcomeCounts& counts, Outcome outcome) {
  return counts[static_cast<std::size_t>(outcome)];
}

}  // namespace

Reply GetToday(const Station& station, DayTally& tally) {
  const DayFigures& f = tally.Update(station, station.Today());
  return Json({{"day", f.day},
               {"records", f.records},
               {"waiting", f.Waiting()},
               {"sent", Of(f.outcomes, Outcome::Sent)},
               {"failed", Of(f.outcomes, Outcome::Failed)},
               {"skipped", Of(f.outcomes, Outcome::Skipped)},
               {"delivered", Of(f.outcomes, Outcome::Delivered)},
               {"undelivered", Of(f.outcomes, Outcome::Undelivered)},
               {"received", f.received},
               {"hours", {{"sent", f.sent_by_hour}, {"received", f.received_by_hour}}}});
}

Reply GetOutbox(const Station& station, std::optional<std::string> day,
                std::optional<std::string> after, std::optional<std::string> limit) {
  const std::optional<ListQuery> query = ReadListQuery(station, day, after, limit);
  if (!query) return BadListQuery();
  json messages = json::array();
  for (const RecordOutcome& r :
       ReadRecordOutcomes(station, query->day, query->after, query->limit)) {
    json problems = json::array();
    for (const JournalEntry& p : r.problems) {
      problems.push_back({{"index", p.index},
                          {"number", GbkToUtf8(p.number)},
                          {"state", OutcomeName(p.state)},
                          {"time", p.time},
                          {"detail", GbkToUtf8(p.detail)}});
    }
    json states = States(r.outcomes);
    states["queued"] = r.queued;
    messages.push_back({{"record", r.record},
                        {"time", r.time},
                        {"text", GbkToUtf8(r.text)},
                        {"recipients", r.recipients},
                        {"states", std::move(states)},
                        {"problems", std::move(problems)}});
  }
  return Json({{"day", query->day}, {"messages", std::move(messages)}});
}

Reply GetModems(const Station& station, std::time_t now) {
  const std::optional<EngineStatus> status = ReadEngineStatus(station);
  if (!status)
    return Json(
        {{"written", 0}, {"fresh", false}, {"cycle_seconds", 0}, {"modems", json::array()}});
  json modems = json::array();
  for (const ModemStatus& m : status->modems) {
    modems.push_back({{"key", m.key},
                      {"port", GbkToUtf8(m.port)},
                      {"state", m.state},
                      {"last_cycle", m.last_cycle},
                      {"sent_today", m.sent_today},
                      {"until", m.until},
                      {"note", GbkToUtf8(m.note)}});
  }
  return Json({{"written", status->written},
               {"fresh", IsFresh(*status, now)},
               {"cycle_seconds", status->cycle_seconds},
               {"modems", std::move(modems)}});
}

Reply GetLimits(const Station& station) {
  // TS 23.040 9.2.3.24.1: a part of several gives 6 of its 140 octets to
  // the concatenation header (153 septets, 67 UCS-2 characters).
  const long parts = PartsSetting(station);
  return Json({{"parts", parts},
               {"gsm7", {{"single", 160}, {"each", 153}}},
               {"ucs2", {{"single", 70}, {"each", 67}}}});
}

}  // namespace tavrel::http
