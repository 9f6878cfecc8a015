// modem test and modem info: the modem without a window, never while an
// engine holds the station or the port.
#include <memory>

#include "engine/device_test.h"
#include "engine/modem_info.h"
#include "engine/serial_modem_port.h"
#include "platform/serial.h"
#include "store/settings.h"
#include "store/station_lock.h"
#include "tools/tavrel/commands.h"

namespace tavrel::cli {
namespace {

// The station for the length of one modem command; nullopt (with the
// refusal given) while an engine holds it, a paused one included.
std::optional<StationLock> HoldStation(Context& c, int& status) {
  Result<StationLock> lock = TakeStationLock(c.station, "modem test");
  if (!lock) {
    status = c.Fail(lock.error().detail +
                    ". The engine keeps the modem while it runs, even when paused: stop "
                    "Ravelin (systemctl stop tavrel-ravelin) and try again");
    return std::nullopt;
  }
  return std::move(lock.value());
}

// The device of the port named, or of the saved COM; the port is opened and
// let go once, so that a port held by a program outside this station is
// refused with the reason before anything is sent.
std::optional<std::string> CheckPort(Context& c, const std::optional<std::string>& port,
                                     std::string& com, int& status) {
  com = port ? *port : ReadSetting(c.station, settings::kTestCom);
  const std::string device = ModemDevice(c.station, com);
  std::string why;
  if (!SerialPort::Open(device, &why)) {
    status = c.Fail("cannot open the modem's port " + com + ": " + why);
    return std::nullopt;
  }
  return device;
}

}  // namespace

int ModemTest(Context& c, const std::optional<std::string>& port) {
  int status = kOk;
  const std::optional<StationLock> lock = HoldStation(c, status);
  if (!lock) return status;
  std::string com;
  if (!CheckPort(c, port, com, status)) return status;

  Json steps = Json::array();
  DeviceTestView view;
  view.set_caption = [&](const std::string& gbk) {
    steps.push_back(Utf8(gbk));
    c.Line(Utf8(gbk));
  };
  std::string message;
  view.show_message = [&](const std::string& gbk) { message = Utf8(gbk); };
  const DeviceTestOutcome outcome =
      RunDeviceTest(c.station, view, port ? std::optional<std::string>(com) : std::nullopt);
  c.doc["port"] = com;
  c.doc["ready"] = outcome == DeviceTestOutcome::kReady;
  c.doc["message"] = message;
  if (outcome != DeviceTestOutcome::kReady) return c.Fail(message);
  c.Line(message);
  return kOk;
}

int ModemInfo(Context& c, const std::optional<std::string>& port) {
  int status = kOk;
  const std::optional<StationLock> lock = HoldStation(c, status);
  if (!lock) return status;
  std::string com;
  const std::optional<std::string> device = CheckPort(c, port, com, status);
  if (!device) return status;
  std::string why;
  std::unique_ptr<SerialPort> serial = SerialPort::Open(*device, &why);
  const std::string rate = ReadSetting(c.station, settings::kTestRate);
  if (!serial || !serial->Configure(rate, &why)) {
    return c.Fail("cannot use the modem's port " + com + " at " + rate + ": " + why);
  }
  serial->ApplyTimeoutsAndPurge();
  SerialModemPort modem(*serial);
  const tavrel::ModemInfo info = QueryModemInfo(modem);
  if (!info.answered)
    return c.Fail("the modem on " + com + " did not answer (check RATE and the cable)");

  const std::optional<int> dbm = RssiToDbm(info.rssi.value_or(-1));
  const std::string sms_code = SmsCodeForm(info.service_centre);
  c.doc["port"] = com;
  c.doc["manufacturer"] = info.manufacturer;
  c.doc["model"] = info.model;
  c.doc["signal"] = info.rssi ? Json(*info.rssi) : Json(nullptr);
  c.doc["signal_dbm"] = dbm ? Json(*dbm) : Json(nullptr);
  c.doc["service_centre"] = info.service_centre;
  c.doc["smscode"] = sms_code;
  c.Line("port            " + com);
  c.Line("manufacturer    " + info.manufacturer);
  c.Line("model           " + info.model);
  std::string signal = "not reported";
  if (info.rssi) signal = std::to_string(*info.rssi) + " (not known)";
  if (dbm) signal = std::to_string(info.rssi.value_or(0)) + " (" + std::to_string(*dbm) + " dBm)";
  c.Line("signal          " + signal);
  c.Line("service centre  " + info.service_centre +
         (sms_code.empty() ? "" : "   for server.txt: SMSCODE=" + sms_code));
  return kOk;
}

}  // namespace tavrel::cli
