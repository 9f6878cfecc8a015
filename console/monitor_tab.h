#pragma once
// The page "信息监控": the monitor box the engine reports in, and the
// station's sign-off.
#include <QWidget>

class QLabel;

namespace tavrel::ui {
class Memo;
}

namespace tavrel::console {

inline constexpr std::size_t kMonitorTextLimit = 20481;

class MonitorTab : public QWidget {
 public:
  explicit MonitorTab(QWidget* parent = nullptr);

  ui::Memo* Memo7;
  QLabel* Label21;
  QLabel* Label22;
};

// The informational text the monitor box holds until the engine starts.
std::string MonitorWelcomeText();

}  // namespace tavrel::console
