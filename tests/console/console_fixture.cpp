#include "tests/console/console_fixture.h"

#include <QApplication>

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

void ConsoleTest::SetUp() { boxes_ = std::make_unique<ui::MessageRecorder>(); }

void ConsoleTest::TearDown() {
  ui::ProcessPostedUpdates();
  boxes_.reset();
  dir_.reset();
}

void FormTest::SetUp() {
  ConsoleTest::SetUp();
  form_ = std::make_unique<TForm1>(station_);
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

std::string ConsoleTest::FileBytes(std::string_view relative) const {
  return console::FileBytes(In(relative));
}

std::string FileBytes(const std::string& path) {
  return system_test::ReadFileBytes(path).value_or("");
}

}  // namespace tavrel::console
