#pragma once
// What the three mailbox lists show, read from the store: the loaders run on
// a worker thread and hand their rows to a sink; the selection boxes and the
// modify and forbid buttons read and rewrite single record files. No Qt here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::console {

// Record files are read into fields of these sizes: a list or a box shows at
// most field - 1 bytes of a file.
inline constexpr std::size_t kPendingField = 10240;
inline constexpr std::size_t kListField = 1024;
inline constexpr std::size_t kSelectionField = 10240;

// The row values of a listed record: position, number, R, DA, time stamp and,
// for a forbidden record only, the marker (which has no column).
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
void LoadPendingList(const std::string& today, ListSink& sink);
// The records of day's new that the engine has handled (1 up to send/acc).
void LoadSentList(const std::string& day, ListSink& sink);
// The records of day's recv.
void LoadReceivedList(const std::string& day, ListSink& sink);

// The record file read in text mode into a field: its first field - 1 bytes,
// up to a NUL. nullopt when it cannot be opened. Never reads much more of a
// long file than the field holds.
std::optional<std::string> ReadRecordField(const std::string& path, std::size_t field);

// The row's values as the selection handlers see them: each value followed
// by CR LF, cut at LF; field k (from 1) is the k-th value with its CR.
std::string RowText(const RowValues& values);
std::string RowField(const RowValues& values, int k);
long RowRecordNumber(const RowValues& values);
// Field k without its final CR: a value with a line break gives its first line.
std::string RowFieldLine(const RowValues& values, int k);

// Replaces a record file of today's new with text (text mode). The new
// content replaces the old in one step, so the engine, reading the file at
// that moment, sees either the old list or the new one, never a cut one.
// False when it could not be written; the file is then as it was.
bool RewriteRecordFile(const std::string& path, std::string_view text);

}  // namespace tavrel::console
