#pragma once
// A temporary station folder for store tests, removed on destruction. The
// process's working directory is never changed: code under test reaches the
// folder through station().
#include <string>

#include "platform/station.h"

namespace tavrel::testing {

class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;
  const std::string& path() const { return path_; }
  const Station& station() const { return station_; }
  std::string Path(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
  Station station_;
};

std::string ReadBytes(const std::string& path);  // raw, no text-mode conversion
void WriteBytes(const std::string& path, const std::string& bytes);
// day, one blank, and hh:mm:ss.
bool IsTimeStamp(const std::string& stamp, const std::string& day);

}  // namespace tavrel::testing
