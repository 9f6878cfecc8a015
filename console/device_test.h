#pragma once
// The device test: stores the service-centre number in the modem and switches
// it to PDU mode, with the saved settings, over a port opened for the test
// alone. No Qt here: the window passes how to show progress and boxes.
#include <functional>
#include <string>

#include "platform/station.h"
#include "store/modem_list.h"

namespace tavrel::console {

struct DeviceTestView {
  std::function<void(const std::string& gbk)> set_caption;   // of the test button
  std::function<void(const std::string& gbk)> show_message;  // returns when closed
};

// With COM alone, the test as it always was. With a pool, every modem in
// turn, then one box naming each modem and its outcome.
void RunDeviceTest(const Station& station, const DeviceTestView& view);
// The test on one modem of the pool (the settings tab's test button of its
// row); the box names the modem.
void RunDeviceTestOn(const Station& station, const ModemSetting& modem,
                     const DeviceTestView& view);

}  // namespace tavrel::console
