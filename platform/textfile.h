#pragma once
// Windows text-mode files on Linux: every LF written reaches the disk as
// CR LF (a CR already present stays), and CR LF reads back as LF.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

std::string ToTextMode(std::string_view text);    // LF -> CR LF
std::string FromTextMode(std::string_view bytes); // CR LF -> LF, lone CR stays

enum class Durability { Buffered, Flushed };  // Flushed: fsync before close

// Whole-file read of the bytes as they are on disk; nullopt when the path is
// no regular file (a folder or a pipe never hangs a reader) or cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
// Whole-file read in text mode; nullopt as for ReadFileBytes.
std::optional<std::string> ReadTextFile(const std::string& path);
// The first `limit` bytes of a file's text-mode content, reading no more of
// a long file than they take; nullopt as for ReadFileBytes.
std::optional<std::string> ReadTextPrefix(const std::string& path, std::size_t limit);

// Writes all of bytes to the descriptor; false on a write error.
bool WriteAll(int fd, std::string_view bytes);
// Whole-file write in text mode, truncating; false when it cannot be written.
bool WriteTextFile(const std::string& path, std::string_view text,
                   Durability durability = Durability::Buffered);
// Replaces the file with bytes in one step (a temporary file beside it,
// renamed over it), so a reader in another thread or program sees the old
// content or the new, never a part. A file already there must be a writable
// regular file and keeps its permissions. False, with the file as it was,
// when it cannot be replaced.
bool ReplaceFile(const std::string& path, std::string_view bytes,
                 Durability durability = Durability::Buffered);

bool FileExists(const std::string& path);
bool MakeDirectory(const std::string& path);  // an existing one is no error

}  // namespace tavrel
