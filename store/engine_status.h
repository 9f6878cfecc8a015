#pragma once
// The engine's status, state/status: what Ravelin's engines last did, for the
// programs that only meet the engine through files (Quillon's metrics and
// health check, the command-line tool, the web page). Each engine rewrites
// it in one step at the end of every cycle. Its bytes are a contract:
//
//   written=1765090000 CR LF          unix seconds of this rewrite
//   cycle=4 CR LF                     seconds the last whole cycle took
//   pid=1234 CR LF                    the process that wrote it
//   modem=key|port|state|last_cycle|sent_today|until|note CR LF   one per modem
//
// key is the modem's settings key (COM, COM2, ...), port what it names,
// state one of up, sending, paused, waiting, gone; last_cycle the unix
// seconds its last cycle ended (0: none yet); sent_today the SMS it sent
// today; until the unix seconds a waiting modem waits for (0: none); note a
// few words for the operator (GBK, '|' and line ends replaced). Readers pass
// over lines and keys they do not know.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kEngineStatusFile = "state/status";

struct ModemStatus {
  std::string key;   // COM, COM2, ...
  std::string port;  // the device as configured
  std::string state = "up";
  long long last_cycle = 0;
  long sent_today = 0;
  long long until = 0;
  std::string note;
};

struct EngineStatus {
  long long written = 0;
  long cycle_seconds = 0;
  long pid = 0;
  std::vector<ModemStatus> modems;
};

std::string FormatEngineStatus(const EngineStatus& status);
std::optional<EngineStatus> ParseEngineStatus(std::string_view bytes);

// Replaces state/status in one step (creating state/); false when it cannot.
bool WriteEngineStatus(const Station& station, const EngineStatus& status);
// nullopt when there is none or it is not a status file.
std::optional<EngineStatus> ReadEngineStatus(const Station& station);

// The engine counts as running while its status was rewritten within
// max(60 s, three cycles) of now (unix seconds).
bool IsFresh(const EngineStatus& status, long long now);

}  // namespace tavrel
