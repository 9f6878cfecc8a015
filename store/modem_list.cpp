#include "store/modem_list.h"

namespace tavrel {

std::string ModemComKey(int n) { return n <= 1 ? "COM" : "COM" + std::to_string(n); }
std::string ModemRateKey(int n) { return n <= 1 ? "RATE" : "RATE" + std::to_string(n); }

std::vector<ModemSetting> ReadModemList(const Station& station, const SettingReader& com,
                                        const SettingReader& rate) {
  std::vector<ModemSetting> modems;
  const std::string first_rate = ReadSetting(station, rate);
  modems.push_back({ModemComKey(1), ReadSetting(station, com), ModemRateKey(1), first_rate});
  for (int n = 2; n <= settings::kPoolModems; ++n) {
    const std::string com_key = ModemComKey(n);
    const std::string rate_key = ModemRateKey(n);
    const std::string value =
        ReadSetting(station, SettingReader{com_key, "", com.field_size, com.path_field_size});
    if (value.empty()) continue;
    modems.push_back({com_key, value, rate_key,
                      ReadSetting(station, SettingReader{rate_key, first_rate, rate.field_size})});
  }
  return modems;
}

}  // namespace tavrel
