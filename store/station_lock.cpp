#include "store/station_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/codepage.h"

namespace tavrel {
namespace {

flock WholeFile(short type) {
  flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

// "1234 engine" -> {1234, "engine"}; the file is tiny and written in one go.
StationHolder ReadHolder(int fd) {
  char bytes[128] = {};
  const ssize_t got = pread(fd, bytes, sizeof bytes - 1, 0);
  StationHolder holder;
  if (got <= 0) return holder;
  char* end = nullptr;
  holder.pid = std::strtol(bytes, &end, 10);
  std::string_view rest(end, static_cast<std::size_t>(bytes + got - end));
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
  holder.what = rest;
  return holder;
}

Error Refusal(const Station& station, const StationHolder& holder) {
  const std::string pid = holder.pid > 0 ? std::to_string(holder.pid) : "?";
  const std::string what = holder.what.empty() ? "engine" : holder.what;
  return Error{Gbk("本站已有收发进程在运行（进程号 ") + pid +
                   Gbk("），同一个站点文件夹只能有一个收发进程。"),
               "the station " + station.root() + " is held by the " + what + " of process " + pid +
                   "; one engine per station folder"};
}

Error Failure(const Station& station, const std::string& path) {
  return Error{Gbk("无法锁定站点文件夹：") + path, "cannot lock the station " + station.root() +
                                                       ": " + path + ": " + std::strerror(errno)};
}

}  // namespace

StationLock::~StationLock() {
  if (fd_ >= 0) close(fd_);
}

StationLock::StationLock(StationLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

StationLock& StationLock::operator=(StationLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

Result<StationLock> TakeStationLock(const Station& station, std::string_view what) {
  const std::string path = station.Path(kStationLockFile);
  // An existing lock file is opened as it is: a taker that is refused must
  // leave the station exactly as it found it.
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    mkdir(station.Path("state").c_str(), 0777);
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  }
  if (fd < 0) return Failure(station, path);
  flock lock = WholeFile(F_WRLCK);
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    const bool busy = errno == EAGAIN || errno == EACCES;
    Error error = busy ? Refusal(station, ReadHolder(fd)) : Failure(station, path);
    close(fd);
    return error;
  }
  const std::string holder = std::to_string(getpid()) + " " + std::string(what) + "\n";
  // Without the note the lock holds all the same; a refused taker then
  // names no pid.
  [[maybe_unused]] const bool noted =
      ftruncate(fd, 0) == 0 && pwrite(fd, holder.data(), holder.size(), 0) > 0;
  return StationLock(fd);
}

std::optional<StationHolder> StationLockHolder(const Station& station) {
  const int fd = open(station.Path(kStationLockFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  flock lock = WholeFile(F_WRLCK);
  std::optional<StationHolder> holder;
  if (fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) holder = ReadHolder(fd);
  close(fd);
  return holder;
}

}  // namespace tavrel
