#pragma once
// The modems at a glance, on the monitoring page: each modem's key, what it
// is doing (up, sending, paused, waiting, gone) and its SMS today, as the
// engines last wrote them into state/status. Hidden until this process's
// engines have written it.
#include <QLabel>
#include <string>

#include "platform/station.h"
#include "store/engine_status.h"

namespace tavrel::console {

class ModemStrip : public QLabel {
 public:
  ModemStrip(Station station, QWidget* parent);
  // Set by the stop and start buttons: stopped engines write nothing.
  void SetPaused(bool paused);
  void Refresh();  // also every second by itself

 private:
  const Station station_;
  bool paused_ = false;
};

// One modem as the strip shows it: "COM3 发送中 12" (GBK).
std::string ModemStripText(const ModemStatus& modem, bool paused);

}  // namespace tavrel::console
