#pragma once
// The endpoints behind the web page's views, as functions of a request's
// parts: today's figures, the outbox records with their outcomes, the
// modems from the engine's status and the limits of one message.
#include <ctime>
#include <optional>
#include <string>

#include "listener/http/api.h"
#include "platform/station.h"
#include "store/day_figures.h"

namespace tavrel::http {

// GET /v1/today: {"day", "records", "waiting", "sent", "failed", "skipped",
// "delivered", "undelivered", "received", "hours": {"sent": [24],
// "received": [24]}}. tally keeps the day's figures between requests.
Reply GetToday(const Station& station, DayTally& tally);

// GET /v1/outbox?day=&after=&limit=: {"day", "messages": [{"record",
// "time", "text", "recipients", "states": {"queued", "sent", ...},
// "problems": [{"index", "number", "state", "time", "detail"}]}]}.
Reply GetOutbox(const Station& station, std::optional<std::string> day,
                std::optional<std::string> after, std::optional<std::string> limit);

// GET /v1/modems: {"written", "fresh", "cycle_seconds", "modems": [{"key",
// "port", "state", "last_cycle", "sent_today", "until", "note"}]}; fresh as
// /healthz judges it at now.
Reply GetModems(const Station& station, std::time_t now);

// GET /v1/limits: {"parts", "gsm7": {"single", "each"}, "ucs2": {"single",
// "each"}}: PARTS and what one SMS carries alone or as a part of several.
Reply GetLimits(const Station& station);

}  // namespace tavrel::http
