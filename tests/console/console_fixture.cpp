#include "tests/console/console_fixture.h"
#include "platform/station.h"

#include <QApplication>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#include "ui/window_thread.h"

namespace tavrel::console {

void ConsoleTest::SetUpTestSuite() {
  // Every pause and read timeout of the engine and the device test runs at a
  // hundredth of its real length.
  setenv("TAVREL_TIME_SCALE", "0.01", 1);
}

void ConsoleTest::SetUp() {
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  old_cwd_ = cwd;
  dir_ = std::make_unique<system_test::StationDir>();
  ASSERT_EQ(chdir(dir_->station().c_str()), 0);
  boxes_ = std::make_unique<ui::MessageRecorder>();
}

void ConsoleTest::TearDown() {
  ui::ProcessPostedUpdates();
  boxes_.reset();
  if (!old_cwd_.empty()) {
    EXPECT_EQ(chdir(old_cwd_.c_str()), 0);
  }
  dir_.reset();
}

void FormTest::SetUp() {
  ConsoleTest::SetUp();
  form_ = std::make_unique<TForm1>();
}

void FormTest::TearDown() {
  form_.reset();
  ConsoleTest::TearDown();
}

bool ConsoleTest::WaitUntil(const std::function<bool()>& condition,
                            std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    ui::ProcessPostedUpdates();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string Today() { return Station().Today(); }

std::string FileBytes(const std::string& path) {
  return system_test::ReadFileBytes(path).value_or("");
}

}  // namespace tavrel::console
