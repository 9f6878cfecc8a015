#include "store/settings.h"

#include "platform/profile.h"

namespace tavrel {

std::string ReadSetting(const SettingReader& reader, const std::string& path) {
  return GetProfileString(kSettingsSection, reader.key, reader.default_value,
                          reader.field_size, path);
}

void WriteSetting(std::string_view key, std::string_view value, const std::string& path) {
  // Neither save button looks at the outcome; a read-only file stays as it was.
  WriteProfileString(kSettingsSection, key, value, path);
}

}  // namespace tavrel
