#pragma once
// A console window on a station in a fresh folder, with boxes recorded.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "console/form1.h"
#include "platform/station.h"
#include "tests/system/support/system_support.h"
#include "ui/message_box.h"

namespace tavrel::console {

class ConsoleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Runs the window thread's events until condition holds or time is up.
  static bool WaitUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Paths in the station's folder: "server.txt" -> "<station>/server.txt";
  // absolute paths stay as they are.
  std::string In(std::string_view relative) const { return station_.Path(relative); }
  std::string Today() const { return station_.Today(); }
  std::string FileBytes(std::string_view relative) const;  // "" when absent

  // Made with the fixture, so that members of derived fixtures can use them.
  std::unique_ptr<system_test::StationDir> dir_ = std::make_unique<system_test::StationDir>();
  Station station_{dir_->station()};
  std::unique_ptr<ui::MessageRecorder> boxes_;
};

// ConsoleTest with the main window open for the whole test.
class FormTest : public ConsoleTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<TForm1> form_;
};

std::string FileBytes(const std::string& path);  // "" when absent

}  // namespace tavrel::console
