#pragma once
// The modems of a pool beside COM: one row per COM2 ... COM16 with its
// device, its speed (empty: RATE's) and buttons to test or remove it; a
// button adds the next free one. Saved with 确定; a removed modem's keys go.
#include <vector>

#include "console/settings_section.h"

class QPushButton;
class QWidget;

namespace tavrel::console {

class ModemsSection : public SettingsSection {
 public:
  ModemsSection(Station station, QWidget* parent);
  void Load(const Station& station) override;
  void Save(const Station& station) override;

  // n is 2 ... 16; the new row is empty. False when all sixteen are listed.
  bool AddModem();
  void RemoveModem(int n);
  void TestModem(int n);  // the device test on what the row shows

  struct Row {
    int n = 0;
    QWidget* line = nullptr;
    QLineEdit* com = nullptr;
    QLineEdit* rate = nullptr;
  };
  const std::vector<Row>& rows() const { return rows_; }

 private:
  void AddRow(int n, const std::string& com, const std::string& rate);

  const Station station_;
  std::vector<Row> rows_;
  QPushButton* add_;
};

}  // namespace tavrel::console
