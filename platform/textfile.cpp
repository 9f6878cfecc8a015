#include "platform/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace tavrel {

std::string ToTextMode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string FromTextMode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out += bytes[i];
  }
  return out;
}

namespace {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// At most max_bytes bytes from the start of a regular file.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t max_bytes) {
  // O_NONBLOCK: opening a pipe must not wait for a writer before it is refused.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[16384];
  while (bytes.size() < max_bytes) {
    ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, max_bytes - bytes.size()));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
  return ReadRegularFile(path, kNoLimit);
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return FromTextMode(*bytes);
}

std::optional<std::string> ReadTextPrefix(const std::string& path, std::size_t limit) {
  // Each byte of text takes at most two on disk (CR LF), and one more tells
  // whether a CR at the edge begins a line end.
  const std::size_t raw = limit < kNoLimit / 2 ? 2 * limit + 1 : kNoLimit;
  std::optional<std::string> bytes = ReadRegularFile(path, raw);
  if (!bytes) return std::nullopt;
  std::string text = FromTextMode(*bytes);
  if (text.size() > limit) text.resize(limit);
  return text;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteTextFile(const std::string& path, std::string_view text, Durability durability) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, ToTextMode(text));
  if (ok && durability == Durability::Flushed) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, Durability durability) {
  static std::atomic<unsigned> sequence{0};
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  if (existed) {
    if (!S_ISREG(st.st_mode)) return false;
    if (::access(path.c_str(), W_OK) != 0) return false;  // read-only stays read-only
  } else if (errno != ENOENT) {
    return false;
  }
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".tmp%ld.%u", static_cast<long>(::getpid()),
                sequence.fetch_add(1));
  const std::string temp = path + suffix;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  if (ok && existed) ::fchmod(fd, st.st_mode & 07777);
  if (ok && durability == Durability::Flushed) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tavrel
