#pragma once
// What a modem says of itself and of its SIM, for the operator who sets a
// station up: maker, model, signal quality and the service-centre number the
// SIM holds (the value SMSCODE wants).
#include <optional>
#include <string>
#include <string_view>

#include "engine/port.h"

namespace tavrel {

struct ModemInfo {
  std::string manufacturer;    // AT+CGMI, TS 27.007 5.1
  std::string model;           // AT+CGMM, TS 27.007 5.2
  std::optional<int> rssi;     // AT+CSQ, TS 27.007 8.5: 0..31, 99 unknown
  std::string service_centre;  // AT+CSCA?, TS 27.005 3.3.1: as the SIM holds it
  bool answered = false;       // at least one command ended in OK
};

// The information lines of a reply: every line that is neither blank, nor
// the echo of command, nor a final result, joined by one blank.
std::string ReplyInformation(std::string_view reply, std::string_view command);
// <rssi> of a "+CSQ: <rssi>,<ber>" reply.
std::optional<int> ParseSignalQuality(std::string_view information);
// The number of a "+CSCA: "<sca>",<tosca>" reply, without quotes.
std::string ParseServiceCentre(std::string_view information);
// TS 27.007 8.5: 0 is -113 dBm or less, 31 is -51 dBm or more, 2 dBm a
// step; nullopt for 99 (not known) and anything outside 0..31.
std::optional<int> RssiToDbm(int rssi);
// The service centre as SMSCODE holds it: digits only, no '+'.
std::string SmsCodeForm(std::string_view service_centre);

// Asks the four questions in turn, each answer read up to its final result
// or to a second of silence.
ModemInfo QueryModemInfo(Port& port);

}  // namespace tavrel
