#pragma once
// The device test: stores the service-centre number in the modem and switches
// it to PDU mode, with the saved settings, over a port opened for the test
// alone. No Qt here: the window passes how to show progress and boxes.
#include <functional>
#include <string>

#include "platform/station.h"

namespace tavrel::console {

struct DeviceTestView {
  std::function<void(const std::string& gbk)> set_caption;   // of the test button
  std::function<void(const std::string& gbk)> show_message;  // returns when closed
};

void RunDeviceTest(const Station& station, const DeviceTestView& view);

}  // namespace tavrel::console
