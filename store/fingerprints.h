#pragma once
// The fingerprints of messages already filed into recv, in state/filed: a
// message that the modem lists again after a crash between its filing and
// its deletion is recognised and not filed twice. One line per filed
// message or part, appended and synced before its record is written:
// "<seconds since the epoch> <day> <record> <fingerprint>".
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kFingerprintsFile = "state/filed";
// How long a fingerprint is kept: a message listed again later than this
// is taken for a new one.
inline constexpr std::time_t kFingerprintDays = 7;

// What makes a received message the same one: sender, service-centre time
// to the second, concatenation reference and part number (-1 and 0 for a
// single message), and text.
struct FilingKey {
  std::string sender;
  std::string time;
  int reference = -1;
  int part = 0;
  std::string text;
};

std::string FingerprintOf(const FilingKey& key);  // 16 hex digits

struct FiledAt {
  std::string day;
  long record = 0;
};

class FiledFingerprints {
 public:
  // Reads state/filed, keeping the fingerprints of the last seven days of
  // now; older lines are dropped from the file when there are any.
  FiledFingerprints(const Station& station, std::time_t now);

  // Where a message of this fingerprint was last meant to be filed. The
  // record may not have been counted: the caller looks.
  std::optional<FiledAt> Find(const std::string& fingerprint) const;

  // Appends one line and syncs it; false when it is not on the disk.
  bool Note(const std::string& fingerprint, const FiledAt& at);

 private:
  std::string path_;
  std::time_t now_;
  std::unordered_map<std::string, FiledAt> filed_;
};

}  // namespace tavrel
