#include "store/engine_status.h"

#include <gtest/gtest.h>

#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

// Other programs read state/status: the bytes are fixed, a field cannot
// split its line, and a reader passes over what it does not know.
TEST(EngineStatus, BytesRoundTripAndTolerantReading) {
  EngineStatus status;
  status.written = 1765090000;
  status.cycle_seconds = 4;
  status.pid = 77;
  status.modems.push_back({"COM", "/dev/ttyUSB0", "sending", 1765089996, 12, 0, "a|b\r\n"});
  status.modems.push_back({"COM2", "modem2", "waiting", 0, 0, 1765093600, ""});
  const std::string bytes = FormatEngineStatus(status);
  EXPECT_EQ(bytes,
            "written=1765090000\r\ncycle=4\r\npid=77\r\n"
            "modem=COM|/dev/ttyUSB0|sending|1765089996|12|0|a b  \r\n"
            "modem=COM2|modem2|waiting|0|0|1765093600|\r\n");

  const auto read = ParseEngineStatus("future=1\r\n" + bytes + "modem=broken\r\n");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->written, 1765090000);
  ASSERT_EQ(read->modems.size(), 2u);
  EXPECT_EQ(read->modems[0].sent_today, 12);
  EXPECT_EQ(read->modems[1].until, 1765093600);
  EXPECT_FALSE(ParseEngineStatus("cycle=4\r\n"));  // not written by an engine

  testing::TempWorkDir dir;
  ASSERT_TRUE(WriteEngineStatus(dir.station(), status));
  ASSERT_TRUE(ReadEngineStatus(dir.station()));
  EXPECT_EQ(ReadEngineStatus(dir.station())->modems[0].port, "/dev/ttyUSB0");
}

TEST(EngineStatus, FreshWithinAMinuteOrThreeCyclesWhicheverIsLonger) {
  struct Case {
    long cycle;
    long long age;
    bool fresh;
  } cases[] = {{4, 60, true}, {4, 61, false}, {30, 90, true}, {30, 91, false}, {0, 0, true}};
  for (const Case& c : cases) {
    EngineStatus status;
    status.written = 1765090000;
    status.cycle_seconds = c.cycle;
    EXPECT_EQ(IsFresh(status, status.written + c.age), c.fresh) << c.cycle << " " << c.age;
  }
}

}  // namespace
}  // namespace tavrel
