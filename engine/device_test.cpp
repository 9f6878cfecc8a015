#include "engine/device_test.h"

#include <memory>

#include "engine/link.h"
#include "engine/serial_modem_port.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "platform/serial.h"
#include "store/settings.h"

namespace tavrel {
namespace {

constexpr std::chrono::milliseconds kTestPause{3000};

std::string FailureText() { return Gbk("!!! 数据线没有准备好，或COM口忙,或设置错误!"); }

// Steps 3 to 10: the port is open; the caller closes it.
DeviceTestOutcome Exchange(SerialPort& serial, const DeviceTestView& view,
                           const std::string& sms_code, const std::string& rate) {
  if (!serial.Configure(rate)) {
    view.show_message(FailureText());
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
    view.show_message(FailureText());
    return DeviceTestOutcome::kNotReady;
  }
  view.show_message(Gbk("设备正常，设备参数保存正确，可以正常工作!"));
  return DeviceTestOutcome::kReady;
}

}  // namespace

DeviceTestOutcome RunDeviceTest(const Station& station, const DeviceTestView& view,
                                const std::optional<std::string>& com_override) {
  const std::string com = com_override ? *com_override : ReadSetting(station, settings::kTestCom);
  const std::string sms_code = ReadSetting(station, settings::kTestSmsCode);
  const std::string rate = ReadSetting(station, settings::kTestRate);
  std::unique_ptr<SerialPort> serial = SerialPort::Open(ModemDevice(station, com), nullptr);
  DeviceTestOutcome outcome = DeviceTestOutcome::kSettingError;
  if (!serial) {
    view.show_message(Gbk("!!! 设置错误!"));
  } else {
    outcome = Exchange(*serial, view, sms_code, rate);
    serial.reset();
  }
  view.set_caption(Gbk("设备测试并保存设备参数"));
  return outcome;
}

}  // namespace tavrel
