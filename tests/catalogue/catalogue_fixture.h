#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/station.h"

namespace tavrel::catalogue_test {

namespace fs = std::filesystem;

inline std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void PutBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline void AppendBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::app | std::ios::binary) << bytes;
}

// Each test's station is root/work, a fresh folder of its own; root holds
// whatever a test wants to watch from outside. The process's working
// directory is never changed.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "catalogue-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    work_ = root_ / "work";
    fs::create_directory(work_);
    station_ = Station(work_.string());
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
  fs::path work_;
  Station station_;
};

}  // namespace tavrel::catalogue_test
