#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tavrel {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrel-profile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/server.txt";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Put(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  std::string Bytes() {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  // Every read also asks a section read once, which must find the same.
  std::string Get(std::string_view section, std::string_view key, std::size_t field = 100) {
    std::string value = GetProfileString(section, key, "dflt", field, path_);
    EXPECT_EQ(ProfileSection(Bytes(), section).Value(key, "dflt", field), value) << key;
    return value;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(ProfileTest, MissingFileIsCreatedWithSectionThenKeys) {
  EXPECT_EQ(Get("SET", "COM"), "dflt");
  ASSERT_TRUE(WriteProfileString("SET", "COM", "COM1", path_));
  ASSERT_TRUE(WriteProfileString("SET", "RATE", "19200", path_));
  ASSERT_TRUE(WriteProfileString("SET", "SMSCODE", "8613800000000", path_));
  EXPECT_EQ(Bytes(), "[SET]\r\nCOM=COM1\r\nRATE=19200\r\nSMSCODE=8613800000000\r\n");
  EXPECT_EQ(Get("SET", "RATE"), "19200");
}

TEST_F(ProfileTest, NewKeyGoesAfterTheSectionsLastKey) {
  Put("[A]\r\nx=1\r\ny=2\r\n\r\n; note\r\n[B]\r\nz=3\r\n");
  ASSERT_TRUE(WriteProfileString("A", "w", "4", path_));
  EXPECT_EQ(Bytes(), "[A]\r\nx=1\r\ny=2\r\nw=4\r\n\r\n; note\r\n[B]\r\nz=3\r\n");
  // A section without keys takes its first key right after its line.
  Put("[A]\r\n[B]\r\nz=3\r\n");
  ASSERT_TRUE(WriteProfileString("A", "w", "4", path_));
  EXPECT_EQ(Bytes(), "[A]\r\nw=4\r\n[B]\r\nz=3\r\n");
  // The last key line without a line end gets one first.
  Put("[A]\r\nx=1");
  ASSERT_TRUE(WriteProfileString("A", "y", "2", path_));
  EXPECT_EQ(Bytes(), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST_F(ProfileTest, ExistingKeyIsRewrittenInPlaceWithoutBlanks) {
  Put("[SET]\r\nCOM = COM3 \r\nRATE=9600\r\n");
  ASSERT_TRUE(WriteProfileString("set", "com", "COM7", path_));
  EXPECT_EQ(Bytes(), "[SET]\r\nCOM=COM7\r\nRATE=9600\r\n");
  ASSERT_TRUE(WriteProfileString("SET", "COM", "", path_));  // empty, not removed
  EXPECT_EQ(Bytes(), "[SET]\r\nCOM=\r\nRATE=9600\r\n");
  EXPECT_EQ(Get("SET", "COM"), "");
}

TEST_F(ProfileTest, MissingSectionIsAddedAtTheEnd) {
  Put("[SET]\r\nCOM=COM1");
  ASSERT_TRUE(WriteProfileString("query", "0001", "\xC4\xE3\xBA\xC3", path_));
  EXPECT_EQ(Bytes(), "[SET]\r\nCOM=COM1\r\n[query]\r\n0001=\xC4\xE3\xBA\xC3\r\n");
  EXPECT_EQ(Get("QUERY", "0001"), "\xC4\xE3\xBA\xC3");
}

TEST_F(ProfileTest, RemovalLeavesNoLineBehind) {
  Put("[cust]\r\n000000=222222\r\nab=13012312312\r\ncd=13800000000\r\n");
  ASSERT_TRUE(WriteProfileString("cust", "AB", std::nullopt, path_));
  EXPECT_EQ(Bytes(), "[cust]\r\n000000=222222\r\ncd=13800000000\r\n");
  ASSERT_TRUE(WriteProfileString("cust", "ab", std::nullopt, path_));  // already gone
  ASSERT_TRUE(WriteProfileString("other", "cd", std::nullopt, path_));
  EXPECT_EQ(Bytes(), "[cust]\r\n000000=222222\r\ncd=13800000000\r\n");
  ASSERT_TRUE(WriteProfileString("cust", "x", std::nullopt, dir_ + "/absent"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/absent"));
}

TEST_F(ProfileTest, ReadsAreCaseInsensitiveOnAsciiOnlyAndCutToTheField) {
  Put("[Set]\r\nSmsCode=+8613800000000\r\n\xD5\xC5=1\r\n");
  EXPECT_EQ(Get("SET", "SMSCODE", 14), "+861380000000");
  EXPECT_EQ(Get("set", "smscode", 15), "+8613800000000");
  EXPECT_EQ(Get("SET", "SMSCODE", 1), "");
  EXPECT_EQ(Get("SET", "SMSCODE", 0), "");
  EXPECT_EQ(Get("SET", "\xD5\xC5"), "1");
  EXPECT_EQ(Get("SET", "\xF5\xC5"), "dflt");  // 0xD5 vs 0xF5 differ only in bit 5
  // A trail byte in the letter range is part of a character, not a letter.
  Put("[SET]\r\n\xB0\x41=upper\r\n\xB0\x61=lower\r\n");
  EXPECT_EQ(Get("SET", "\xB0\x61"), "lower");
  EXPECT_EQ(Get("set", "\xB0\x41"), "upper");
  EXPECT_EQ(GetProfileString("SET", "none", "COM123456789", 10, path_), "COM123456");
  EXPECT_EQ(Get("OTHER", "SmsCode"), "dflt");
}

TEST_F(ProfileTest, OddLinesAreToleratedAndKeptOnRewrite) {
  const std::string odd =
      "garbage before any section\r\n"
      "=no name\r\n"
      "[SET\r\n"
      "  PORT  =  9002  \r\n"
      "line without equals\r\n"
      "PORT=second\r\n"
      "\xFF\xFE\r\n"
      "[SET]\r\n"
      "late=1\n";
  Put(odd);
  EXPECT_EQ(Get("SET", "PORT"), "9002");   // blanks trimmed, the first key wins
  EXPECT_EQ(Get("SET", "late"), "dflt");   // only the first section of a name counts
  ASSERT_TRUE(WriteProfileString("SET", "SERVIP", "127.0.0.1", path_));
  std::string after = Bytes();
  EXPECT_NE(after.find("PORT=second\r\nSERVIP=127.0.0.1\r\n\xFF\xFE\r\n[SET]"), std::string::npos)
      << after;
  EXPECT_EQ(after.find("garbage before any section\r\n=no name\r\n"), 0u);
}

TEST_F(ProfileTest, WriteNeverCreatesDirectoriesAndNeverHurtsReadOnlyFiles) {
  EXPECT_FALSE(WriteProfileString("SET", "COM", "COM1", dir_ + "/missing/server.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/missing"));
  EXPECT_FALSE(WriteProfileString("SET", "COM", "COM1", dir_));  // a directory
  if (geteuid() != 0) {
    Put("[SET]\r\nCOM=COM1\r\n");
    chmod(path_.c_str(), 0444);
    EXPECT_FALSE(WriteProfileString("SET", "COM", "COM2", path_));
    EXPECT_EQ(Get("SET", "COM"), "COM1");
    chmod(path_.c_str(), 0644);
  }
  // No temporary files are left behind.
  Put("[SET]\r\n");
  ASSERT_TRUE(WriteProfileString("SET", "COM", "COM1", path_));
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_)) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace tavrel
