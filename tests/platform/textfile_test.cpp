#include "platform/textfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavrel {
namespace {

std::string RawBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrel-textfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    chmod(dir_.c_str(), 0755);
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST(TextMode, LineEndsAsWindowsTextModeWritesAndReadsThem) {
  EXPECT_EQ(ToTextMode("a\nb"), "a\r\nb");
  EXPECT_EQ(ToTextMode("a\r\nb"), "a\r\r\nb");  // a memo line break
  EXPECT_EQ(ToTextMode("a\rb\n\n"), "a\rb\r\n\r\n");
  EXPECT_EQ(FromTextMode("a\r\nb"), "a\nb");
  EXPECT_EQ(FromTextMode("a\r\r\nb"), "a\r\nb");
  EXPECT_EQ(FromTextMode("a\rb\r"), "a\rb\r");
  for (std::string text : {"x\r\ny", "\r\r\n", "\n\r", "plain"}) {
    EXPECT_EQ(FromTextMode(ToTextMode(text)), text);
  }
}

TEST_F(TextFileTest, WritesAndReadsWholeFiles) {
  std::string path = dir_ + "/f";
  ASSERT_TRUE(WriteTextFile(path, "one\ntwo\r\nthree"));
  EXPECT_EQ(RawBytes(path), "one\r\ntwo\r\r\nthree");
  EXPECT_EQ(ReadTextFile(path).value(), "one\ntwo\r\nthree");
  ASSERT_TRUE(WriteTextFile(path, "x", Durability::Flushed));  // truncates
  EXPECT_EQ(RawBytes(path), "x");
  ASSERT_TRUE(WriteTextFile(path, ""));
  EXPECT_EQ(ReadTextFile(path).value(), "");
}

TEST_F(TextFileTest, MissingAndUnusablePathsFailCleanly) {
  EXPECT_FALSE(ReadTextFile(dir_ + "/absent").has_value());
  EXPECT_FALSE(WriteTextFile(dir_ + "/no/such/dir/f", "x"));
  EXPECT_FALSE(ReadTextFile(dir_).has_value());  // a directory is no file
  EXPECT_FALSE(WriteTextFile(dir_, "x"));
  EXPECT_TRUE(FileExists(dir_));
  EXPECT_FALSE(FileExists(dir_ + "/absent"));
}

TEST_F(TextFileTest, MakeDirectoryAcceptsAnExistingOneOnly) {
  std::string sub = dir_ + "/sub";
  EXPECT_TRUE(MakeDirectory(sub));
  EXPECT_TRUE(MakeDirectory(sub));
  ASSERT_TRUE(WriteTextFile(dir_ + "/file", "x"));
  EXPECT_FALSE(MakeDirectory(dir_ + "/file"));
  EXPECT_FALSE(MakeDirectory(dir_ + "/missing/child"));
}

TEST_F(TextFileTest, ReadOnlyFilesAreNotWritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files anyway";
  std::string path = dir_ + "/ro";
  ASSERT_TRUE(WriteTextFile(path, "keep"));
  chmod(path.c_str(), 0444);
  EXPECT_FALSE(WriteTextFile(path, "lost"));
  EXPECT_EQ(ReadTextFile(path).value(), "keep");
}

}  // namespace
}  // namespace tavrel
