#include "engine/device_test.h"

#include <memory>
#include <vector>

#include "engine/link.h"
#include "engine/serial_modem_port.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "platform/serial.h"
#include "store/settings.h"

namespace tavrel {
namespace {

using Show = std::function<void(const std::string&)>;

constexpr std::chrono::milliseconds kTestPause{3000};

std::string FailureText() { return Gbk("!!! 数据线没有准备好，或COM口忙,或设置错误!"); }

// Steps 3 to 10: the port is open; the caller closes it. The outcome's text
// goes to show.
DeviceTestOutcome Exchange(SerialPort& serial, const DeviceTestView& view,
                           const std::string& sms_code, const std::string& rate, const Show& show) {
  if (!serial.Configure(rate)) {
    show(FailureText());
    return DeviceTestOutcome::kNotReady;
  }
  serial.ApplyTimeoutsAndPurge();
  SerialModemPort port(serial);
  PaceSleep(kTestPause);
  WriteCommand(port, "AT+CSCA=" + sms_code + "\r\n");
  view.set_caption(Gbk("短信中心设置过程中...."));
  PaceSleep(kTestPause);
  SingleRead(port);  // the modem's word on the centre number is not judged
  PaceSleep(kTestPause);
  WriteCommand(port, "AT+CMGF=0\r\n");
  view.set_caption(Gbk("编码方式设置过程中...."));
  PaceSleep(kTestPause);
  const std::string reply = SingleRead(port);
  if (!ReplyEndsWithOk(reply)) {
    show(FailureText());
    return DeviceTestOutcome::kNotReady;
  }
  show(Gbk("设备正常，设备参数保存正确，可以正常工作!"));
  return DeviceTestOutcome::kReady;
}

// Steps 2 to 11 on one modem; rate is read only once the port has opened.
DeviceTestOutcome TestModem(const Station& station, const std::string& com,
                            const std::function<std::string()>& rate, const std::string& sms_code,
                            const DeviceTestView& view, const Show& show) {
  std::unique_ptr<SerialPort> serial = SerialPort::Open(ModemDevice(station, com), nullptr);
  if (!serial) {
    show(Gbk("!!! 设置错误!"));
    return DeviceTestOutcome::kSettingError;
  }
  const DeviceTestOutcome outcome = Exchange(*serial, view, sms_code, rate(), show);
  serial.reset();
  return outcome;
}

}  // namespace

DeviceTestOutcome RunDeviceTest(const Station& station, const DeviceTestView& view,
                                const std::optional<std::string>& com_override) {
  const std::string sms_code = ReadSetting(station, settings::kTestSmsCode);
  const auto saved_rate = [&] { return ReadSetting(station, settings::kTestRate); };
  DeviceTestOutcome outcome = DeviceTestOutcome::kReady;
  const std::vector<ModemSetting> modems =
      ReadModemList(station, settings::kTestCom, settings::kTestRate);
  if (com_override || modems.size() == 1) {
    const std::string com = com_override ? *com_override : modems.front().com;
    outcome = TestModem(station, com, saved_rate, sms_code, view, view.show_message);
  } else {
    // A pool: every modem in turn, then one box that names each outcome.
    std::string outcomes;
    for (const ModemSetting& modem : modems) {
      const auto note = [&](const std::string& text) {
        outcomes += modem.key + " (" + modem.com + "): " + text + "\r\n";
      };
      const DeviceTestOutcome one =
          TestModem(station, modem.com, [&] { return modem.rate; }, sms_code, view, note);
      if (outcome == DeviceTestOutcome::kReady) outcome = one;
    }
    view.show_message(outcomes);
  }
  view.set_caption(Gbk("设备测试并保存设备参数"));
  return outcome;
}

DeviceTestOutcome RunDeviceTestOn(const Station& station, const ModemSetting& modem,
                                  const DeviceTestView& view) {
  const DeviceTestOutcome outcome = TestModem(
      station, modem.com, [&] { return modem.rate; }, ReadSetting(station, settings::kTestSmsCode),
      view, [&](const std::string& text) { view.show_message(modem.key + ": " + text); });
  view.set_caption(Gbk("设备测试并保存设备参数"));
  return outcome;
}

}  // namespace tavrel
