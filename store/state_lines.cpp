#include "store/state_lines.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/station.h"
#include "platform/textfile.h"

namespace tavrel {
namespace {

// flock for the life of the object; a file that cannot be opened is no lock.
class FileLock {
 public:
  explicit FileLock(const std::string& path, int flags)
      : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::vector<StampedLine> ReadStampedLines(const std::string& path, long long keep_from) {
  std::vector<StampedLine> lines;
  FileLock lock(path, O_RDONLY);
  if (lock.fd() < 0) return lines;
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return lines;
  std::string kept;
  bool dropped = !bytes->empty() && bytes->back() != '\n';
  std::size_t at = 0;
  while (at < bytes->size()) {
    const std::size_t end = bytes->find('\n', at);
    if (end == std::string::npos) break;  // cut by a crash
    const std::string line = bytes->substr(at, end - at);
    at = end + 1;
    char* after = nullptr;
    const long long when = std::strtoll(line.c_str(), &after, 10);
    if (after == line.c_str() || when < keep_from) {
      dropped = true;
      continue;
    }
    lines.push_back({when, *after == ' ' ? std::string(after + 1) : std::string(after)});
    kept += line + "\n";
  }
  if (dropped) ReplaceFile(path, kept, Durability::Flushed);
  return lines;
}

bool AppendStampedLine(const std::string& path, long long when, std::string_view rest) {
  MakeDirectory(FolderOf(path));
  const std::string line = std::to_string(when) + " " + std::string(rest) + "\n";
  for (;;) {
    FileLock lock(path, O_WRONLY | O_CREAT | O_APPEND);
    if (lock.fd() < 0) return false;
    // A reader that dropped old lines meanwhile replaced the file: the line
    // belongs in the new one.
    struct stat held {}, named {};
    if (::fstat(lock.fd(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        (held.st_ino != named.st_ino || held.st_dev != named.st_dev)) {
      continue;
    }
    return WriteAll(lock.fd(), line) && ::fsync(lock.fd()) == 0;
  }
}

}  // namespace tavrel

namespace tavrel {

long long StationSeconds(const Station& station) {
  std::tm local = station.clock().LocalNow();
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

}  // namespace tavrel
