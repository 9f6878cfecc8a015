// scripts/queue-sms.sh against a headless Quillon: its exit status and its
// words for each answer, and text it refuses before connecting.
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/station.h"
#include "tests/system/support/station_support.h"

namespace tavrel::system_test {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome QueueScript(const StationDir& dir, int port, const std::string& numbers,
                    const std::string& text, const std::string& code = "0001") {
  const std::string err_path = dir.root() + "/queue-sms.stderr";
  ::unlink(err_path.c_str());
  Child::Options options;
  options.args = {"/bin/bash", std::string(TAVREL_SOURCE_DIR) + "/scripts/queue-sms.sh", numbers,
                  text, code, "127.0.0.1", std::to_string(port)};
  options.stderr_path = err_path;
  std::string error;
  auto child = Child::Start(options, &error);
  if (!child) return {-1, "", error};
  const int status = child->WaitExit().value_or(-1);
  return {status, child->output(), ReadFileBytes(err_path).value_or("")};
}

TEST(QueueScript, ExitsZeroOnlyWhenFiledAndSaysWhyOtherwise) {
  StationDir dir;
  const int port = FreeLoopbackPort();
  WriteStationSettings(dir, port);
  auto quillon = StartHeadlessQuillon(dir);
  ASSERT_NE(quillon, nullptr);
  const std::string day = Station().Today();

  Outcome run = QueueScript(dir, port, "13012312312", "你好");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(StoredCounter(dir, day, "new"), 1);

  run = QueueScript(dir, port, "13012312312", "你好", "0123456789");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("bad format"), std::string::npos) << run.err;

  // Refused before connecting: nothing reaches Quillon.
  run = QueueScript(dir, port, "13012312312", "笑😀");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("'😀' (U+1F600) has no GBK form"), std::string::npos) << run.err;
  run = QueueScript(dir, port, "13012312312", std::string(1100, 'x'));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
  EXPECT_EQ(StoredCounter(dir, day, "new"), 1);
}

}  // namespace
}  // namespace tavrel::system_test
