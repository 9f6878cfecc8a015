#include "store/settings.h"

#include "platform/profile.h"

namespace tavrel {

std::string ReadSetting(const SettingReader& reader, const std::string& path) {
  if (reader.path_field_size == 0) {
    return GetProfileString(kSettingsSection, reader.key, reader.default_value, reader.field_size,
                            path);
  }
  std::string value = GetProfileString(kSettingsSection, reader.key, reader.default_value,
                                       reader.path_field_size, path);
  if (value.find('/') == std::string::npos && value.size() >= reader.field_size) {
    value.resize(reader.field_size - 1);
  }
  return value;
}

void WriteSetting(std::string_view key, std::string_view value, const std::string& path) {
  // Neither save button looks at the outcome; a read-only file stays as it was.
  WriteProfileString(kSettingsSection, key, value, path);
}

std::string ModemDevice(const Station& station, std::string_view com) {
  if (com.find('/') == std::string_view::npos) return std::string(com);
  return station.Path(com);
}

std::string ReadSetting(const Station& station, const SettingReader& reader) {
  return ReadSetting(reader, station.Path(kSettingsPath));
}

void WriteSetting(const Station& station, std::string_view key, std::string_view value) {
  WriteSetting(key, value, station.Path(kSettingsPath));
}

}  // namespace tavrel
