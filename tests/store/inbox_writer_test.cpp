// The recv writer: what reaches the disk at each step, and how it says which
// file failed.
#include "store/inbox_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;

constexpr const char* kDay = "2003-5-12";
constexpr const char* kStamp = "2003-5-12 14:05:09";

TEST(InboxWriter, FilesReachTheDiskAsTheyAreClosedAndTheCounterWhenCounted) {
  TempWorkDir dir;
  EnsureDayFolder(dir.station(), kDay);
  const std::string box = MailboxDir(dir.station(), kDay, kRecvBox);
  int writes = 0;
  std::vector<std::string> failed;
  {
    InboxWriter record(dir.station(), kDay, 4,
                       {[&] { ++writes; }, [&](const std::string& f) { failed.push_back(f); }});
    record.WriteSender("13012312312");
    record.WriteText(Gbk("你好") + "\nbye");
    EXPECT_EQ(ReadBytes(box + "/R4"), "");  // opened, replaced, not yet written
    EXPECT_EQ(record.HeaderName(), std::string(kDay) + "/recv/H4");  // as traces show it
    record.WriteHeader(kStamp);
    EXPECT_EQ(ReadBytes(box + "/H4"),
              "[HEAD]\r\ntime=2003-5-12 14:05:09\r\nsend= \r\nstat= \r\njrade= \r\n");
    EXPECT_TRUE(record.CloseSender());
    EXPECT_EQ(ReadBytes(box + "/R4"), "13012312312");
    EXPECT_TRUE(record.CloseText());
    EXPECT_FALSE(FileExists(box + "/acc"));
    EXPECT_TRUE(record.Count());
    EXPECT_TRUE(record.CloseHeader());
  }
  EXPECT_EQ(ReadBytes(box + "/DA4"), Gbk("你好") + "\r\nbye");
  EXPECT_EQ(ReadBytes(box + "/acc"), "4");
  EXPECT_TRUE(failed.empty());
  // Three opens, four writes, five pushes (two of the header, one at each
  // close) and the counter: each one passed the checkpoint first.
  EXPECT_EQ(writes, 3 + 4 + 5 + 1);
}

TEST(InboxWriter, EachFileThatCannotBeWrittenIsNamedAndOnlyItsStepFails) {
  const struct {
    std::string blocked;  // made a folder, so it cannot be written as a file
    bool sender, text, counted, header;
  } cases[] = {
      {"R1", false, true, true, true},
      {"DA1", true, false, true, true},
      {"H1", true, true, true, false},
      {"acc", true, true, false, true},
  };
  for (const auto& c : cases) {
    TempWorkDir dir;
    EnsureDayFolder(dir.station(), kDay);
    const std::string blocked = MailboxDir(dir.station(), kDay, kRecvBox) + "/" + c.blocked;
    std::filesystem::create_directory(blocked);
    std::vector<std::string> failed;
    InboxWriter record(dir.station(), kDay, 1, {nullptr, [&](const std::string& f) { failed.push_back(f); }});
    record.WriteSender("13012312312");
    record.WriteText("hello");
    record.WriteHeader(kStamp);
    EXPECT_EQ(record.CloseSender(), c.sender) << c.blocked;
    EXPECT_EQ(record.CloseText(), c.text) << c.blocked;
    EXPECT_EQ(record.Count(), c.counted) << c.blocked;
    EXPECT_EQ(record.CloseHeader(), c.header) << c.blocked;
    EXPECT_EQ(failed, std::vector<std::string>{std::string(kDay) + "/recv/" + c.blocked})
        << c.blocked;
  }
}

}  // namespace
}  // namespace tavrel
