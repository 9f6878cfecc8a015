#include "listener/http/idempotency.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/textfile.h"

namespace tavrel::http {
namespace {

using nlohmann::json;

json Line(std::string_view token_name, std::string_view id, const KeptRequest& request) {
  return {{"token", token_name}, {"id", id},          {"digest", request.digest},
          {"day", request.day},  {"record", request.record}, {"at", request.filed_at}};
}

}  // namespace

IdempotencyKeys::IdempotencyKeys(Station station) : station_(std::move(station)) { Load(); }

std::string IdempotencyKeys::KeyOf(std::string_view token_name, std::string_view id) {
  // A token name holds no NUL (it comes from a profile line), so the pair is
  // told apart from every other pair.
  return std::string(token_name) + '\0' + std::string(id);
}

void IdempotencyKeys::Load() {
  const std::string path = station_.Path(kIdsFile);
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return;
  const long long oldest = static_cast<long long>(std::time(nullptr)) - kKeepDays * 86400;
  std::string kept_lines;
  for (std::size_t at = 0; at < bytes->size();) {
    std::size_t end = bytes->find('\n', at);
    // A last line without its end is an append cut by a crash.
    if (end == std::string::npos) break;
    const json line = json::parse(bytes->substr(at, end - at), nullptr, false);
    at = end + 1;
    if (!line.is_object()) continue;
    KeptRequest request;
    std::string token, id;
    try {
      request.digest = line.value("digest", "");
      request.day = line.value("day", "");
      request.record = line.value("record", 0L);
      request.filed_at = line.value("at", 0LL);
      token = line.value("token", "");
      id = line.value("id", "");
    } catch (const json::exception&) {
      continue;  // a line some other hand wrote
    }
    if (request.filed_at < oldest) continue;
    kept_[KeyOf(token, id)] = request;
    kept_lines += Line(token, id, request).dump() + "\n";
  }
  if (kept_lines.size() != bytes->size()) ReplaceFile(path, kept_lines, Durability::Flushed);
}

std::optional<KeptRequest> IdempotencyKeys::Find(std::string_view token_name,
                                                 std::string_view id) const {
  const auto it = kept_.find(KeyOf(token_name, id));
  if (it == kept_.end()) return std::nullopt;
  return it->second;
}

bool IdempotencyKeys::Keep(std::string_view token_name, std::string_view id,
                           const KeptRequest& request) {
  kept_[KeyOf(token_name, id)] = request;
  MakeDirectory(station_.Path("state"));
  const int fd = ::open(station_.Path(kIdsFile).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                        0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, Line(token_name, id, request).dump() + "\n") && ::fsync(fd) == 0;
  ::close(fd);
  return written;
}

}  // namespace tavrel::http
