#pragma once
// Windows text-mode files on Linux: every LF written reaches the disk as
// CR LF (a CR already present stays), and CR LF reads back as LF.
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

std::string ToTextMode(std::string_view text);    // LF -> CR LF
std::string FromTextMode(std::string_view bytes); // CR LF -> LF, lone CR stays

enum class Durability { Buffered, Flushed };  // Flushed: fsync before close

// Whole-file read of the bytes as they are on disk; nullopt when the file
// cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// Whole-file read in text mode; nullopt when the file cannot be opened.
std::optional<std::string> ReadTextFile(const std::string& path);
// Whole-file write in text mode, truncating; false when it cannot be written.
bool WriteTextFile(const std::string& path, std::string_view text,
                   Durability durability = Durability::Buffered);

bool FileExists(const std::string& path);
bool MakeDirectory(const std::string& path);  // an existing one is no error

}  // namespace tavrel
