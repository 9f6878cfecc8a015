#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

// Each test runs in root/work, a fresh working directory of its own, because
// every catalogue path is relative to the working directory; root holds
// whatever a test wants to watch from outside.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "catalogue-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directory(root_ / "work");
    fs::current_path(root_ / "work");
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
  }
  fs::path saved_;
  fs::path root_;
};

}  // namespace tavrel::catalogue_test
