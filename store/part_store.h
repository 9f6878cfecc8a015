#pragma once
// Parts of long messages waiting for the rest, in state/parts: one folder
// per part set (sender, reference, part count) and one file per part,
// written whole and synced before the modem may forget the part. Nothing
// here is needed to read a day folder.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel {

inline constexpr std::string_view kPartsFolder = "state/parts";

// Parts belong together when these agree (TS 23.040 9.2.3.24.1: the
// reference is the sender's, so the sender is part of the key).
struct PartSetKey {
  std::string sender;        // as R of recv holds it
  bool alphanumeric = false; // an alphanumeric sender gets no auto-reply
  int reference = 0;
  int total = 0;

  bool operator==(const PartSetKey&) const = default;
};

struct StoredPart {
  int sequence = 0;       // from 1
  std::time_t arrived = 0;
  std::string time;       // the service-centre time stamp
  std::string text;       // GBK
};

struct PartSet {
  PartSetKey key;
  std::vector<StoredPart> parts;  // in sequence order, each sequence once

  std::time_t FirstArrival() const;
  bool Complete() const;
};

class PartStore {
 public:
  explicit PartStore(const Station& station);

  // Keeps part durably in its set, replacing a copy kept before; false when
  // it is not on the disk.
  bool Keep(const PartSetKey& key, const StoredPart& part) const;

  // Every set waiting, in no particular order; unreadable ones are passed
  // over.
  std::vector<PartSet> Waiting() const;

  // Forgets a set once its record is counted; false when some of it stays.
  bool Drop(const PartSetKey& key) const;

 private:
  std::string SetFolder(const PartSetKey& key) const;

  std::string root_;
};

}  // namespace tavrel
