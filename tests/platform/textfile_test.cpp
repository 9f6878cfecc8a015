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

TEST_F(TextFileTest, APrefixIsReadInTextModeUpToItsLimit) {
  const struct {
    std::string raw, six;
  } cases[] = {
      {"ab\r\ncd\r\n\r\nxyz", "ab\ncd\n"},  // the CR LF at the edge reads as one LF
      {"\r\n\r\n\r\n\r\n\r\n\r\n\r\n", "\n\n\n\n\n\n"},
      {"abcde\r", "abcde\r"},
      {"abcdef\r\n", "abcdef"},
      {std::string("ab\0cd", 5), std::string("ab\0cd", 5)},  // a NUL is the caller's business
      {"", ""},
  };
  const std::string path = dir_ + "/f";
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.raw;
    EXPECT_EQ(ReadTextPrefix(path, 6), c.six) << c.raw;
    EXPECT_EQ(ReadTextFile(path).value().substr(0, 6), c.six) << c.raw;
  }
  EXPECT_EQ(ReadTextPrefix(path, 0), "");
  EXPECT_EQ(ReadTextPrefix(dir_ + "/absent", 6), std::nullopt);
  EXPECT_EQ(ReadTextPrefix(dir_, 6), std::nullopt);
  ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0644), 0);
  EXPECT_EQ(ReadTextPrefix(dir_ + "/pipe", 6), std::nullopt);  // refused, not waited on
  EXPECT_EQ(ReadFileBytes(dir_ + "/pipe"), std::nullopt);
}

TEST_F(TextFileTest, ReplacingAFileSwapsItsWholeContentAndKeepsItsPermissions) {
  const std::string path = dir_ + "/f";
  ASSERT_TRUE(ReplaceFile(path, "first\r\n"));  // a missing file is created
  EXPECT_EQ(RawBytes(path), "first\r\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(ReplaceFile(path, "second", Durability::Flushed));
  EXPECT_EQ(RawBytes(path), "second");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_FALSE(ReplaceFile(dir_, "x"));                  // a folder stays a folder
  EXPECT_FALSE(ReplaceFile(dir_ + "/missing/f", "x"));   // no folder is made
  if (geteuid() != 0) {
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(ReplaceFile(path, "lost"));
    EXPECT_EQ(RawBytes(path), "second");
  }
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file is left behind
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
