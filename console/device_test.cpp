#include "console/device_test.h"

#include <functional>
#include <memory>
#include <vector>

#include "engine/link.h"
#include "engine/serial_modem_port.h"
#include "platform/codepage.h"
#include "platform/pace.h"
#include "platform/serial.h"
#include "store/modem_list.h"
#include "store/settings.h"

namespace tavrel::console {
namespace {

constexpr std::chrono::milliseconds kTestPause{3000};

std::string FailureText() { return Gbk("!!! 数据线没有准备好，或COM口忙,或设置错误!"); }

// Steps 3 to 10: the port is open; the caller closes it. The outcome goes to
// show, the box's text.
void Exchange(SerialPort& serial, const DeviceTestView& view, const std::string& sms_code,
              const std::string& rate, const std::function<void(const std::string&)>& show) {
  if (!serial.Configure(rate)) {
    show(FailureText());
    return;
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
  show(ReplyEndsWithOk(reply) ? Gbk("设备正常，设备参数保存正确，可以正常工作!") : FailureText());
}

// Steps 2 to 11 on one modem; rate is read only once the port has opened.
void TestModem(const Station& station, const std::string& com,
               const std::function<std::string()>& rate, const std::string& sms_code,
               const DeviceTestView& view, const std::function<void(const std::string&)>& show) {
  std::unique_ptr<SerialPort> serial = SerialPort::Open(ModemDevice(station, com), nullptr);
  if (!serial) {
    show(Gbk("!!! 设置错误!"));
    return;
  }
  Exchange(*serial, view, sms_code, rate(), show);
  serial.reset();
}

}  // namespace

void RunDeviceTest(const Station& station, const DeviceTestView& view) {
  const std::vector<ModemSetting> modems =
      ReadModemList(station, settings::kTestCom, settings::kTestRate);
  const std::string sms_code = ReadSetting(station, settings::kTestSmsCode);
  if (modems.size() == 1) {
    TestModem(
        station, modems.front().com, [&] { return ReadSetting(station, settings::kTestRate); },
        sms_code, view, view.show_message);
  } else {
    // A pool: every modem in turn, then one box that names each outcome.
    std::string outcomes;
    for (const ModemSetting& modem : modems) {
      const auto note = [&](const std::string& text) {
        outcomes += modem.key + " (" + modem.com + "): " + text + "\r\n";
      };
      TestModem(station, modem.com, [&] { return modem.rate; }, sms_code, view, note);
    }
    view.show_message(outcomes);
  }
  view.set_caption(Gbk("设备测试并保存设备参数"));
}

void RunDeviceTestOn(const Station& station, const ModemSetting& modem,
                     const DeviceTestView& view) {
  TestModem(
      station, modem.com, [&] { return modem.rate; }, ReadSetting(station, settings::kTestSmsCode),
      view, [&](const std::string& text) { view.show_message(modem.key + ": " + text); });
  view.set_caption(Gbk("设备测试并保存设备参数"));
}

}  // namespace tavrel::console
