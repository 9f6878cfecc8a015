// Several processes file into one mailbox at once, and writers die at random
// moments: numbers stay distinct and the counter never covers a torn record.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "tests/store/filer_record.h"
#include "tests/store/temp_dir.h"

extern char** environ;

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;

pid_t StartFiler(const std::string& dir, long count, const std::string& tag,
                 const char* rule = "once") {
  std::string count_text = std::to_string(count);
  const char* argv[] = {STORE_FILER, dir.c_str(), count_text.c_str(), tag.c_str(), rule, nullptr};
  pid_t pid = -1;
  int rc = posix_spawn(&pid, STORE_FILER, nullptr, nullptr, const_cast<char**>(argv), environ);
  return rc == 0 ? pid : -1;
}

// Waits for a child within a bound; a child still running then is killed.
int WaitChild(pid_t pid, std::chrono::seconds bound) {
  auto deadline = std::chrono::steady_clock::now() + bound;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Checks record n of the mailbox and returns the text's tag and index.
std::string CheckCompleteRecord(const std::string& box, long n) {
  std::string stamp = ReadRecordTime(RecordPath(box, "H", n));
  EXPECT_TRUE(testing::IsTimeStamp(stamp, Station().Today())) << "H" << n;
  EXPECT_EQ(ReadBytes(RecordPath(box, "H", n)),
            "[HEAD]\r\ntime=" + stamp +
                "\r\nsend= \r\ntype=\xB2\xE9\xD1\xAF\r\nstat=\xCE\xB4\xB7\xA2\r\n"
                "jrade=\xBD\xF4\xBC\xB1\r\n")
      << "H" << n;
  EXPECT_EQ(ReadBytes(RecordPath(box, "R", n)), testing::kFilerRecipientsOnDisk) << "R" << n;
  std::optional<std::string> text = ReadRecordFile(RecordPath(box, "DA", n));
  if (!text) {
    ADD_FAILURE() << "DA" << n << " missing";
    return {};
  }
  std::string id = text->substr(0, text->find('|'));
  std::size_t dash = id.rfind('-');
  EXPECT_NE(dash, std::string::npos) << "DA" << n;
  if (dash == std::string::npos) return {};
  EXPECT_EQ(*text, testing::FilerText(id.substr(0, dash), std::atol(id.c_str() + dash + 1)))
      << "DA" << n;
  return id;
}

TEST(StoreProcesses, FourProcessesFile250RecordsEachIntoOneMailbox) {
  TempWorkDir dir;
  constexpr int kProcesses = 4;
  constexpr long kEach = 250;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcesses; ++p) {
    pids.push_back(
        StartFiler(dir.path(), kEach, "p" + std::to_string(p), p % 2 ? "retry" : "once"));
    ASSERT_GT(pids.back(), 0);
  }
  for (pid_t pid : pids) EXPECT_EQ(WaitChild(pid, std::chrono::seconds(300)), 0);

  std::string box = MailboxDir(dir.station(), dir.station().Today(), kNewBox);
  ASSERT_EQ(ReadCounter(box).value_or(-1), kProcesses * kEach);
  std::set<std::string> ids;
  for (long n = 1; n <= kProcesses * kEach; ++n) ids.insert(CheckCompleteRecord(box, n));
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kProcesses * kEach));  // none overwritten
  EXPECT_FALSE(FileExists(RecordPath(box, "R", kProcesses * kEach + 1)));
}

TEST(StoreProcesses, KilledWritersNeverLeaveACountedTornRecord) {
  TempWorkDir dir;
  constexpr int kKills = 200;
  std::mt19937 random(20030512);
  // A record takes a few flushes; the kills spread over the first two or three.
  std::uniform_int_distribution<int> delay_us(0, 60000);
  std::string box = MailboxDir(dir.station(), dir.station().Today(), kNewBox);
  long checked = 0;
  for (int k = 0; k < kKills; ++k) {
    pid_t pid = StartFiler(dir.path(), 0, "k" + std::to_string(k));
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    // Every record the counter covers is complete; only new ones need a look.
    long counted = ReadCounter(box).value_or(0);
    ASSERT_GE(counted, checked) << "the counter went back";
    for (long n = checked + 1; n <= counted; ++n) CheckCompleteRecord(box, n);
    if (::testing::Test::HasFailure()) return;
    checked = counted;
  }
  // Writers killed while holding the lock did not block the next one.
  EXPECT_EQ(WaitChild(StartFiler(dir.path(), 3, "last"), std::chrono::seconds(60)), 0);
  EXPECT_EQ(ReadCounter(box).value_or(0), checked + 3);
  EXPECT_GT(checked, 0) << "no writer got far enough to count a record";
  RecordProperty("records_counted", static_cast<int>(checked));
}

}  // namespace
}  // namespace tavrel
