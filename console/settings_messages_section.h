#pragma once
// PARTS and REPORT: how long a message may be, and whether every SMS asks
// for a delivery report.
#include "console/settings_section.h"

namespace tavrel::console {

class MessagesSection : public SettingsSection {
 public:
  explicit MessagesSection(QWidget* parent);
  void Load(const Station& station) override;
  void Save(const Station& station) override;

  QLineEdit* PartsEdit;
  QLineEdit* ReportEdit;
};

}  // namespace tavrel::console
