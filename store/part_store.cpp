#include "store/part_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "platform/textfile.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

// A folder name any sender can take: the sender's bytes in hex.
std::string HexOf(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

std::optional<std::string> BytesOfHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (error != std::errc() || end != hex.data() + i + 2) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
}

std::optional<long long> NumberOf(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "<sender hex>-<N|A>-<reference>-<total>"
std::string FolderName(const PartSetKey& key) {
  return (key.sender.empty() ? std::string("_") : HexOf(key.sender)) + "-" +
         (key.alphanumeric ? "A" : "N") + "-" + std::to_string(key.reference) + "-" +
         std::to_string(key.total);
}

std::optional<PartSetKey> KeyOfFolder(const std::string& name) {
  std::vector<std::string_view> fields;
  std::string_view rest = name;
  for (std::size_t dash; (dash = rest.find('-')) != std::string_view::npos;) {
    fields.push_back(rest.substr(0, dash));
    rest.remove_prefix(dash + 1);
  }
  fields.push_back(rest);
  if (fields.size() != 4 || (fields[1] != "A" && fields[1] != "N")) return std::nullopt;
  const std::optional<std::string> sender =
      fields[0] == "_" ? std::optional<std::string>("") : BytesOfHex(fields[0]);
  const std::optional<long long> reference = NumberOf(fields[2]);
  const std::optional<long long> total = NumberOf(fields[3]);
  if (!sender || !reference || !total) return std::nullopt;
  return PartSetKey{*sender, fields[1] == "A", static_cast<int>(*reference),
                    static_cast<int>(*total)};
}

// A part's file: its arrival in seconds, LF, the time stamp, LF, the text.
std::optional<StoredPart> ReadPart(const fs::path& file) {
  const std::optional<long long> sequence = NumberOf(file.filename().string());
  if (!sequence) return std::nullopt;
  const std::optional<std::string> bytes = ReadFileBytes(file.string());
  if (!bytes) return std::nullopt;
  const std::size_t first = bytes->find('\n');
  const std::size_t second = first == std::string::npos ? first : bytes->find('\n', first + 1);
  if (second == std::string::npos) return std::nullopt;
  const std::optional<long long> arrived = NumberOf(std::string_view(*bytes).substr(0, first));
  if (!arrived) return std::nullopt;
  return StoredPart{static_cast<int>(*sequence), static_cast<std::time_t>(*arrived),
                    bytes->substr(first + 1, second - first - 1), bytes->substr(second + 1)};
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::time_t PartSet::FirstArrival() const {
  std::time_t first = 0;
  for (const StoredPart& part : parts) {
    if (first == 0 || part.arrived < first) first = part.arrived;
  }
  return first;
}

bool PartSet::Complete() const { return static_cast<int>(parts.size()) == key.total; }

PartStore::PartStore(const Station& station) : root_(station.Path(kPartsFolder)) {}

std::string PartStore::SetFolder(const PartSetKey& key) const {
  return root_ + "/" + FolderName(key);
}

bool PartStore::Keep(const PartSetKey& key, const StoredPart& part) const {
  const std::string folder = SetFolder(key);
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return false;
  const std::string bytes =
      std::to_string(static_cast<long long>(part.arrived)) + "\n" + part.time + "\n" + part.text;
  // The rename must outlive a power cut too, or the part would be gone
  // while the modem has already forgotten it.
  return ReplaceFile(folder + "/" + std::to_string(part.sequence), bytes, Durability::Flushed) &&
         SyncFolder(folder) && SyncFolder(root_);
}

std::vector<PartSet> PartStore::Waiting() const {
  std::vector<PartSet> sets;
  std::error_code error;
  for (const fs::directory_entry& folder : fs::directory_iterator(root_, error)) {
    const std::optional<PartSetKey> key = KeyOfFolder(folder.path().filename().string());
    if (!key || !folder.is_directory(error)) continue;
    PartSet set{*key, {}};
    for (const fs::directory_entry& file : fs::directory_iterator(folder.path(), error)) {
      std::optional<StoredPart> part = ReadPart(file.path());
      if (part && part->sequence >= 1 && part->sequence <= key->total) {
        set.parts.push_back(std::move(*part));
      }
    }
    if (set.parts.empty()) continue;
    std::sort(set.parts.begin(), set.parts.end(),
              [](const StoredPart& a, const StoredPart& b) { return a.sequence < b.sequence; });
    sets.push_back(std::move(set));
  }
  return sets;
}

bool PartStore::Drop(const PartSetKey& key) const {
  std::error_code error;
  fs::remove_all(SetFolder(key), error);
  return !error;
}

}  // namespace tavrel
