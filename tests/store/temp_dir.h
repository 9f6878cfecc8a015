#pragma once
// A temporary working directory for store tests: entered on construction,
// left and removed on destruction.
#include <string>

namespace tavrel::testing {

class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

std::string ReadBytes(const std::string& path);  // raw, no text-mode conversion
void WriteBytes(const std::string& path, const std::string& bytes);
// day, one blank, and hh:mm:ss.
bool IsTimeStamp(const std::string& stamp, const std::string& day);

}  // namespace tavrel::testing
