#pragma once
// Small append-only files of state/ whose lines begin with the unix seconds
// they were written at: each line is appended and synced on its own, and
// lines older than what their reader keeps are dropped when the file is
// read. Several engine threads may append to one file; a lock on the file
// keeps a rewrite from losing a line appended meanwhile.
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

struct StampedLine {
  long long when = 0;
  std::string rest;  // the text after the seconds and one blank
};

// The lines stamped at keep_from or later, in file order. Older lines, and a
// last line cut by a crash, are dropped from the file too.
std::vector<StampedLine> ReadStampedLines(const std::string& path, long long keep_from);

// Appends "when rest" and syncs it, creating the file and its folder; false
// when the line did not reach the disk.
bool AppendStampedLine(const std::string& path, long long when, std::string_view rest);

}  // namespace tavrel

namespace tavrel {

class Station;
// The station's now as unix seconds, from its clock's local time.
long long StationSeconds(const Station& station);

}  // namespace tavrel
