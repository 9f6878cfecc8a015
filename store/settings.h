#pragma once
// Every reader of ./server.txt, with the default and field size that reader
// uses: the differences between readers are behaviour, not accident.
#include <climits>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/station.h"

namespace tavrel {

inline constexpr const char* kSettingsPath = "./server.txt";
inline constexpr std::string_view kSettingsSection = "SET";

struct SettingReader {
  std::string_view key;
  std::string_view default_value;
  std::size_t field_size;
  // When not 0, a value holding '/' is a path and is read with this field
  // instead, so that /dev/serial/by-id/... names reach the port whole.
  std::size_t path_field_size = 0;
};

namespace settings {
// Ravelin's main window creation and settings-tab reload.
inline constexpr SettingReader kConsoleCom{"COM", "COM1", 100, PATH_MAX};
inline constexpr SettingReader kConsoleRate{"RATE", "19200", 100};
inline constexpr SettingReader kConsoleSmsCode{"SMSCODE", "88888888", 100};
inline constexpr SettingReader kConsolePace{"PACE", "", 100};
// Ravelin's device test.
inline constexpr SettingReader kTestCom{"COM", "COM1", 10, PATH_MAX};
inline constexpr SettingReader kTestSmsCode{"SMSCODE", "0000000000", 14};
inline constexpr SettingReader kTestRate{"RATE", "19200", 10};
// Ravelin's engine.
inline constexpr SettingReader kEngineCom{"COM", "COM1", 10, PATH_MAX};
inline constexpr SettingReader kEngineRate{"RATE", "19200", 10};
inline constexpr SettingReader kEngineSmsCode{"SMSCODE", "0000000000", 14};
// Hours that the parts of a long message wait for the rest before the
// message is filed with what arrived; read by the engine and the settings tab.
inline constexpr SettingReader kPartWait{"PARTWAIT", "24", 10};
// "prompt": the exchange waits for the modem; absent or "fixed": fixed pauses.
inline constexpr SettingReader kEnginePace{"PACE", "fixed", 10};
// Customer protection, read by the engine and the settings tab: opt-out and
// opt-in words (absent OPTOUT: none; empty OPTOUTREPLY and OPTIN: the
// defaults below), own numbers, replies per sender and hour, quiet hours,
// SMS per modem and hour or day (absent: no cap).
inline constexpr SettingReader kOptOut{"OPTOUT", "", 256};
inline constexpr SettingReader kOptOutReply{"OPTOUTREPLY", "", 280};
inline constexpr SettingReader kOptIn{"OPTIN", "", 256};
inline constexpr SettingReader kOwnNumbers{"OWN", "", 1024};
inline constexpr SettingReader kReplyCap{"REPLYCAP", "5", 10};
inline constexpr SettingReader kQuiet{"QUIET", "", 20};
inline constexpr SettingReader kHourCap{"HOURCAP", "", 10};
inline constexpr SettingReader kDayCap{"DAYCAP", "", 10};
// The modem pool: COM2 ... COM16 add modems beside COM, each at RATE2 ...
// RATE16 or else RATE; read through store/modem_list.h.
inline constexpr int kPoolModems = 16;
// Long messages and delivery reports, read by the engine, the compose tab,
// Quillon and the settings tab: PARTS is the most SMS one message may take
// (1 to 10; 1, the default, is the single SMS of 70 characters), REPORT=1
// asks for a status report of every SMS.
inline constexpr SettingReader kParts{"PARTS", "1", 10};
inline constexpr SettingReader kReport{"REPORT", "0", 10};
// Quillon's window creation.
inline constexpr SettingReader kListenerWindowServIp{"SERVIP", "100.100.100.1", 20};
inline constexpr SettingReader kListenerWindowPort{"PORT", "9002", 10};
// Quillon's listener start.
inline constexpr SettingReader kListenerServIp{"SERVIP", "100.100.100.100", 20};
inline constexpr SettingReader kListenerPort{"PORT", "9002", 10};
// Quillon's HTTP API (absent: no HTTP server), the addresses both its ports
// serve (absent: everyone) and the URL received messages are posted to.
inline constexpr SettingReader kHttpPort{"HTTPPORT", "", 10};
inline constexpr SettingReader kAllow{"ALLOW", "", 4096};
inline constexpr SettingReader kHook{"HOOK", "", 1024};
}  // namespace settings

// A COM value as the serial port is to open it: a value with '/' is a path,
// and a relative one is relative to the station's folder; COMn and bare
// device names are left for the port to map.
std::string ModemDevice(const Station& station, std::string_view com);

// The station's server.txt, or the settings file at path.
std::string ReadSetting(const Station& station, const SettingReader& reader);
std::string ReadSetting(const SettingReader& reader, const std::string& path);
void WriteSetting(const Station& station, std::string_view key, std::string_view value);
void WriteSetting(std::string_view key, std::string_view value, const std::string& path);

}  // namespace tavrel
