#pragma once
// The client keys of POST /v1/messages, kept in state/http-ids so that a
// retry, even after a restart or midnight, answers the record it filed
// instead of filing another. One JSON object a line, appended and synced;
// keys older than kKeepDays are dropped when the file is loaded.
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/station.h"

namespace tavrel::http {

inline constexpr std::string_view kIdsFile = "state/http-ids";
inline constexpr long long kKeepDays = 7;

struct KeptRequest {
  std::string digest;  // of the request's to list and text
  std::string day;
  long record = 0;
  long long filed_at = 0;  // unix seconds
};

class IdempotencyKeys {
 public:
  explicit IdempotencyKeys(Station station);

  // Held from looking a key up until its record is filed and kept, so that
  // two retries racing each other file one record.
  std::mutex& mutex() { return mutex_; }
  std::optional<KeptRequest> Find(std::string_view token_name, std::string_view id) const;
  // False when the key could not reach the disk (it is still kept in memory).
  bool Keep(std::string_view token_name, std::string_view id, const KeptRequest& request);

 private:
  void Load();
  static std::string KeyOf(std::string_view token_name, std::string_view id);

  const Station station_;
  std::mutex mutex_;
  std::unordered_map<std::string, KeptRequest> kept_;
};

}  // namespace tavrel::http
