#pragma once
// What the three mailbox lists show, read from the store: the loaders run on
// a worker thread and hand their rows to a sink. No Qt here.
#include <string>
#include <string_view>
#include <vector>

#include "platform/station.h"

namespace tavrel::console {

// Record files are read into fields of these sizes: a list or a box shows at
// most field - 1 bytes of a file.
inline constexpr std::size_t kPendingField = 10240;
inline constexpr std::size_t kListField = 1024;
inline constexpr std::size_t kSelectionField = 10240;

// The row values of a listed record: position, number, R, DA, time stamp and,
// for a forbidden record only, the marker (which has no column in the
// pending and received lists; the sent list shows it with the outcome).
using RowValues = std::vector<std::string>;

// Where a loader puts its rows. Called on the loader's thread.
class ListSink {
 public:
  virtual ~ListSink() = default;
  virtual void Clear() = 0;
  virtual void Append(RowValues values) = 0;
  // True once a newer load of the same list has started: the loader stops at
  // its next record.
  virtual bool Replaced() const { return false; }
};

// Today's records that the engine has not handled yet (new above send/acc).
void LoadPendingList(const Station& station, const std::string& today, ListSink& sink);
// The records of day's new that the engine has handled (1 up to send/acc),
// each with what its journal says as a sixth value.
void LoadSentList(const Station& station, const std::string& day, ListSink& sink);
// The records of day's recv.
void LoadReceivedList(const Station& station, const std::string& day, ListSink& sink);

// The failed and skipped recipients of day's record n from its journal:
// line, number, 失败 or 跳过, and why; at most a thousand, then one row that
// says how many more there are.
void LoadUnsentList(const Station& station, const std::string& day, long n, ListSink& sink);

// The row's values as the selection handlers see them: each value followed
// by CR LF, cut at LF; field k (from 1) is the k-th value with its CR.
std::string RowText(const RowValues& values);
std::string RowField(const RowValues& values, int k);
long RowRecordNumber(const RowValues& values);
// Field k without its final CR: a value with a line break gives its first line.
std::string RowFieldLine(const RowValues& values, int k);

}  // namespace tavrel::console
