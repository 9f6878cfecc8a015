#include "store/fingerprints.h"

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "platform/textfile.h"

namespace tavrel {
namespace {

constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;

// FNV-1a, 64 bits, over the fields with a NUL after each, so that no two
// different splits of the same bytes meet.
std::uint64_t Fnv1a(const FilingKey& key) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  auto add = [&hash](std::string_view bytes) {
    for (unsigned char c : bytes) {
      hash ^= c;
      hash *= 0x100000001b3ULL;
    }
    hash *= 0x100000001b3ULL;  // the NUL after the field
  };
  add(key.sender);
  add(key.time);
  add(std::to_string(key.reference));
  add(std::to_string(key.part));
  add(key.text);
  return hash;
}

std::string StateFolder(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

std::string FingerprintOf(const FilingKey& key) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, Fnv1a(key));
  return text;
}

FiledFingerprints::FiledFingerprints(const Station& station, std::time_t now)
    : path_(station.Path(kFingerprintsFile)), now_(now) {
  const std::optional<std::string> bytes = ReadFileBytes(path_);
  if (!bytes) return;
  std::istringstream lines(*bytes);
  std::string line;
  std::string kept;
  bool dropped = false;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    long long when = 0;
    FiledAt at;
    std::string fingerprint;
    if (!(fields >> when >> at.day >> at.record >> fingerprint) || fingerprint.size() != 16 ||
        when + kFingerprintDays * kSecondsPerDay < now_) {
      dropped = true;
      continue;
    }
    filed_[fingerprint] = at;
    kept += line + "\n";
  }
  // A line cut by a crash in the middle of its append is dropped too, so
  // that the next line appended starts a line of its own.
  if (!bytes->empty() && bytes->back() != '\n') dropped = true;
  if (dropped) ReplaceFile(path_, kept, Durability::Flushed);
}

std::optional<FiledAt> FiledFingerprints::Find(const std::string& fingerprint) const {
  const auto found = filed_.find(fingerprint);
  if (found == filed_.end()) return std::nullopt;
  return found->second;
}

bool FiledFingerprints::Note(const std::string& fingerprint, const FiledAt& at) {
  MakeDirectory(StateFolder(path_));
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const std::string line = std::to_string(static_cast<long long>(now_)) + " " + at.day + " " +
                           std::to_string(at.record) + " " + fingerprint + "\n";
  bool ok = WriteAll(fd, line) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) filed_[fingerprint] = at;
  return ok;
}

}  // namespace tavrel
