#pragma once
// The station's modems as server.txt lists them: COM (and RATE) first, then
// every COM2 ... COM16 that holds a value, in key order. A station that sets
// none of the numbered keys has one modem and works as it always has.
#include <string>
#include <vector>

#include "platform/station.h"
#include "store/settings.h"

namespace tavrel {

struct ModemSetting {
  std::string key;       // "COM", "COM2", ...: names the modem in traces and the journal
  std::string com;       // the value as configured
  std::string rate_key;  // "RATE", "RATE2", ...
  std::string rate;      // its own RATEn, or RATE when that is absent
};

// "COM" for 1, "COM<n>" above; "RATE" likewise.
std::string ModemComKey(int n);
std::string ModemRateKey(int n);

// com and rate read the first modem (kEngineCom and kEngineRate for the
// engine, kTestCom and kTestRate for the device test); the numbered keys are
// read with the same field sizes. An empty COMn is no modem.
std::vector<ModemSetting> ReadModemList(const Station& station, const SettingReader& com,
                                        const SettingReader& rate);

}  // namespace tavrel
