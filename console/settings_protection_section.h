#pragma once
// Settings that protect the customers and the SIM cards: opt-out and opt-in
// words, the opt-out confirmation, the station's own numbers, replies per
// sender and hour, quiet hours and the SMS caps of each modem.
#include <vector>

#include "console/settings_section.h"

namespace tavrel::console {

class ProtectionSection : public SettingsSection {
 public:
  explicit ProtectionSection(QWidget* parent);
  void Load(const Station& station) override;
  void Save(const Station& station) override;

  QLineEdit* OptOutEdit;       // OPTOUT
  QLineEdit* OptOutReplyEdit;  // OPTOUTREPLY
  QLineEdit* OptInEdit;        // OPTIN
  QLineEdit* OwnEdit;          // OWN
  QLineEdit* ReplyCapEdit;     // REPLYCAP
  QLineEdit* QuietEdit;        // QUIET
  QLineEdit* HourCapEdit;      // HOURCAP
  QLineEdit* DayCapEdit;       // DAYCAP

 private:
  struct KeyEdit {
    const SettingReader& reader;
    QLineEdit* edit;
  };
  std::vector<KeyEdit> Keys() const;
};

}  // namespace tavrel::console
