#include "store/settings.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/modem_list.h"
#include "tests/store/temp_dir.h"

namespace tavrel {
namespace {

using testing::ReadBytes;
using testing::TempWorkDir;
using testing::WriteBytes;

TEST(Settings, EachReaderHasItsOwnDefaultWithoutAFile) {
  TempWorkDir dir;
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleCom), "COM1");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleRate), "19200");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleSmsCode), "88888888");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineSmsCode), "0000000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kTestSmsCode), "0000000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineCom), "COM1");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kTestRate), "19200");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerWindowServIp), "100.100.100.1");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerServIp), "100.100.100.100");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerWindowPort), "9002");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerPort), "9002");
}

TEST(Settings, BothProgramsKeysShareOneSectionInWriteOrder) {
  TempWorkDir dir;
  WriteSetting(dir.station(), "COM", "COM3");
  WriteSetting(dir.station(), "RATE", "9600");
  WriteSetting(dir.station(), "SMSCODE", "8613800000000");
  WriteSetting(dir.station(), "SERVIP", "127.0.0.1");
  WriteSetting(dir.station(), "PORT", "9100");
  EXPECT_EQ(ReadBytes(dir.Path("server.txt")),
            "[SET]\r\nCOM=COM3\r\nRATE=9600\r\nSMSCODE=8613800000000\r\n"
            "SERVIP=127.0.0.1\r\nPORT=9100\r\n");
  // After a save every reader agrees, whatever its default.
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleSmsCode), "8613800000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineSmsCode), "8613800000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerWindowServIp), "127.0.0.1");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerServIp), "127.0.0.1");
}

TEST(Settings, EachReaderCutsToItsOwnField) {
  TempWorkDir dir;
  WriteSetting(dir.station(), "SMSCODE", "+8613800000000");
  WriteSetting(dir.station(), "SERVIP", "255.255.255.255:9999");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineSmsCode), "+861380000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleSmsCode), "+8613800000000");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kListenerServIp), "255.255.255.255:999");
}

TEST(Settings, AComPathIsReadWholeAndAComNameToItsField) {
  TempWorkDir dir;
  const std::string longest_path = "/" + std::string(PATH_MAX - 2, 'p');
  struct Case {
    std::string saved, engine_and_test, console;
  } cases[] = {
      {"/dev/ttyUSB10", "/dev/ttyUSB10", "/dev/ttyUSB10"},
      {"./modem", "./modem", "./modem"},
      {longest_path, longest_path, longest_path},
      {longest_path + "q", longest_path, longest_path},
      {"COM123456789", "COM123456", "COM123456789"},
      {"ttyUSB0123456", "ttyUSB012", "ttyUSB0123456"},
      {std::string(120, 'c'), std::string(9, 'c'), std::string(99, 'c')},
  };
  for (const Case& c : cases) {
    WriteSetting(dir.station(), "COM", c.saved);
    EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineCom), c.engine_and_test) << c.saved;
    EXPECT_EQ(ReadSetting(dir.station(), settings::kTestCom), c.engine_and_test) << c.saved;
    EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleCom), c.console) << c.saved;
  }
}

TEST(Settings, AnEmptySavedValueBeatsEveryDefault) {
  TempWorkDir dir;
  WriteBytes(dir.Path("server.txt"), "[set]\r\ncom=\r\n");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleCom), "");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kEngineCom), "");
  EXPECT_EQ(ReadSetting(dir.station(), settings::kConsoleRate), "19200");
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

using testing::TempWorkDir;
using testing::WriteBytes;

// The modems as the engine reads them: COM first, numbered keys in order,
// gaps and empty values skipped, each RATEn defaulting to RATE.
TEST(ModemList, ComFirstThenEveryNumberedModemWithItsRateOrRates) {
  struct Case {
    const char* file;
    std::vector<std::string> expected;  // key=com@rate
  };
  const Case cases[] = {
      {"", {"COM=COM1@19200"}},
      {"[SET]\r\nCOM=./modem\r\nRATE=9600\r\n", {"COM=./modem@9600"}},
      {"[SET]\r\nCOM=./m1\r\nRATE=9600\r\nCOM3=./m3\r\nCOM2=\r\nCOM16=/dev/ttyUSB7\r\n"
       "RATE16=115200\r\nCOM17=./ignored\r\n",
       {"COM=./m1@9600", "COM3=./m3@9600", "COM16=/dev/ttyUSB7@115200"}},
  };
  for (const Case& c : cases) {
    TempWorkDir dir;
    if (*c.file) WriteBytes(dir.station().Path(kSettingsPath), c.file);
    std::vector<std::string> got;
    for (const ModemSetting& modem :
         ReadModemList(dir.station(), settings::kEngineCom, settings::kEngineRate)) {
      got.push_back(modem.key + "=" + modem.com + "@" + modem.rate);
      EXPECT_EQ(modem.rate_key, "RATE" + modem.key.substr(3));
    }
    EXPECT_EQ(got, c.expected) << c.file;
  }
}

}  // namespace
}  // namespace tavrel
