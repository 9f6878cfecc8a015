#pragma once
// Quillon's HTTP API on the settings tab: its port, the addresses both of
// Quillon's ports serve, and the URL received messages are posted to.
#include "console/settings_section.h"

namespace tavrel::console {

class HttpSettingsSection : public SettingsSection {
 public:
  explicit HttpSettingsSection(QWidget* parent);
  void Load(const Station& station) override;
  void Save(const Station& station) override;

  QLineEdit* HttpPort;
  QLineEdit* Allow;
  QLineEdit* Hook;
};

}  // namespace tavrel::console
