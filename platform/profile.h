#pragma once
// The two profile-file operations (INI files, CR LF, GBK bytes unconverted).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavrel {

// The value of key in section, or the default, cut to field_size - 1 bytes.
// Section and key names match without regard to ASCII case.
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view default_value,
                             std::size_t field_size, const std::string& path);

// The values of one section of a profile file's text, read once and found
// as GetProfileString finds them (the first section of that name, the first
// line of each key), for a reader that looks up many keys of one file.
class ProfileSection {
 public:
  ProfileSection(std::string_view text, std::string_view section);
  // As GetProfileString on the file the text came from.
  std::string Value(std::string_view key, std::string_view default_value,
                    std::size_t field_size) const;

 private:
  std::unordered_map<std::string, std::string> values_;  // by name, ASCII case folded
};

// With a value: rewrite the key's line in place, or add it after the
// section's last key, or add the section at the end, or create the file.
// With nullopt: remove the key's line. Never creates directories.
// Returns false when the file could not be written (callers mostly ignore it).
bool WriteProfileString(std::string_view section, std::string_view key,
                        std::optional<std::string_view> value,
                        const std::string& path);

}  // namespace tavrel
