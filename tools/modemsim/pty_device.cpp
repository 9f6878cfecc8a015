#include "tools/modemsim/pty_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace modemsim {
namespace {

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool PtyDevice::Open(std::string& error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) {
    error = Reason("cannot create a pseudo-terminal");
    return false;
  }
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    error = Reason("cannot prepare the pseudo-terminal");
    Close();
    return false;
  }
  device_path_ = name;
  keeper_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (keeper_ < 0) {
    error = Reason("cannot open " + device_path_);
    Close();
    return false;
  }
  // Raw from the start: a program that opens the device before setting its
  // own line settings must not see our replies echoed back or cooked.
  termios settings{};
  if (tcgetattr(keeper_, &settings) == 0) {
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(keeper_, TCSANOW, &settings);
  }
  return true;
}

void PtyDevice::Close() {
  if (keeper_ >= 0) close(keeper_);
  if (master_ >= 0) close(master_);
  keeper_ = master_ = -1;
  device_path_.clear();
}

std::size_t PtyDevice::Unread() const {
  int count = 0;
  if (keeper_ < 0 || ioctl(keeper_, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<std::size_t>(count);
}

bool PlaceLink(const std::string& link, const std::string& target, std::string& error) {
  struct stat existing{};
  if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = link + " exists and is not a symbolic link; remove it or choose another --link path";
    return false;
  }
  // Made under a temporary name and renamed over the old link, so that the
  // name never points nowhere while a program looks it up.
  std::string temporary = link + ".modemsim-" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    error = Reason("cannot create the link " + link);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    error = Reason("cannot create the link " + link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  std::vector<char> buffer(4096);
  ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
  if (length < 0) return;
  if (std::string(buffer.data(), static_cast<std::size_t>(length)) == target) unlink(link.c_str());
}

}  // namespace modemsim
