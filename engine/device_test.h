#pragma once
// The device test: stores the service-centre number in the modem and switches
// it to PDU mode, with the saved settings, over a port opened for the test
// alone. The settings tab shows its progress in a window, the command-line
// tool on a terminal; each passes how.
#include <functional>
#include <optional>
#include <string>

#include "platform/station.h"
#include "store/modem_list.h"

namespace tavrel {

struct DeviceTestView {
  std::function<void(const std::string& gbk)> set_caption;   // of the test button
  std::function<void(const std::string& gbk)> show_message;  // returns when closed
};

// The three ends of a test, each with its own message.
enum class DeviceTestOutcome {
  kReady,         // both commands went out and PDU mode was taken
  kSettingError,  // the port could not be opened
  kNotReady,      // the line settings were refused, or the modem did not say OK
};

// With COM alone, the test as it always was. With a pool, every modem in
// turn, then one box naming each modem and its outcome; the outcome is the
// first that is not ready. com: the port to use instead of the saved ones,
// for this test only.
DeviceTestOutcome RunDeviceTest(const Station& station, const DeviceTestView& view,
                                const std::optional<std::string>& com = std::nullopt);
// The test on one modem of the pool (the settings tab's test button of its
// row); the box names the modem.
DeviceTestOutcome RunDeviceTestOn(const Station& station, const ModemSetting& modem,
                                  const DeviceTestView& view);

}  // namespace tavrel
