#pragma once
// The two profile-file operations (INI files, CR LF, GBK bytes unconverted).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

// The value of key in section, or the default, cut to field_size - 1 bytes.
// Section and key names match without regard to ASCII case.
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view default_value,
                             std::size_t field_size, const std::string& path);

// With a value: rewrite the key's line in place, or add it after the
// section's last key, or add the section at the end, or create the file.
// With nullopt: remove the key's line. Never creates directories.
// Returns false when the file could not be written (callers mostly ignore it).
bool WriteProfileString(std::string_view section, std::string_view key,
                        std::optional<std::string_view> value,
                        const std::string& path);

}  // namespace tavrel
