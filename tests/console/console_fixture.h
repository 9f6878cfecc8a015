#pragma once
// A console window in a fresh working directory, with boxes recorded.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "console/form1.h"
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

  std::unique_ptr<system_test::StationDir> dir_;
  std::unique_ptr<ui::MessageRecorder> boxes_;
  std::string old_cwd_;
};

// ConsoleTest with the main window open for the whole test.
class FormTest : public ConsoleTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<TForm1> form_;
};

std::string Today();
std::string FileBytes(const std::string& path);  // "" when absent

}  // namespace tavrel::console
