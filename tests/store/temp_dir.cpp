#include "tests/store/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrel::testing {

TempWorkDir::TempWorkDir() {
  char pattern[] = "/tmp/tavrel-store-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  station_ = Station(path_);
}

TempWorkDir::~TempWorkDir() {
  // Tests may leave read-only folders behind; make them removable first.
  std::error_code ec;
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    if (entry.is_directory()) chmod(entry.path().c_str(), 0755);
  }
  chmod(path_.c_str(), 0755);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool IsTimeStamp(const std::string& stamp, const std::string& day) {
  const std::string form = day + " 99:99:99";
  if (stamp.size() != form.size()) return false;
  for (std::size_t i = 0; i < form.size(); ++i) {
    bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (form[i] == '9' && i > day.size() ? !digit : stamp[i] != form[i]) return false;
  }
  return true;
}

}  // namespace tavrel::testing
