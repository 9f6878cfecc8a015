// Starting companion programs: nothing of the caller's open files reaches
// them (the engine's locked serial port above all), and a missing program
// is an error the caller may ignore.
#include <fcntl.h>
#include <unistd.h>

#include "platform/process.h"
#include "tests/console/console_fixture.h"

namespace tavrel {
namespace {

TEST(StartDetached, TheChildGetsOnlyTheStandardStreamsAndMissingProgramsFail) {
  system_test::StationDir dir;
  const std::string held = dir / "held";
  const int fd = ::open(held.c_str(), O_CREAT | O_RDWR, 0644);  // inheritable
  ASSERT_GE(fd, 0);
  const std::string out = dir / "fds";
  ASSERT_TRUE(StartDetached(
      "sh", {"-c", "for f in /proc/$$/fd/*; do readlink $f; done > " + out + ".tmp; mv " +
                       out + ".tmp " + out}));
  EXPECT_TRUE(system_test::Eventually([&] { return system_test::Exists(out); }));
  const std::string open_files = console::FileBytes(out);
  EXPECT_FALSE(open_files.empty());
  EXPECT_EQ(open_files.find(held), std::string::npos) << open_files;
  ::close(fd);

  std::string error;
  EXPECT_FALSE(StartDetached(dir / "no-such-program", {}, &error));
  EXPECT_NE(error.find("no-such-program"), std::string::npos);
  EXPECT_FALSE(OwnExecutableDir().empty());
}

}  // namespace
}  // namespace tavrel
