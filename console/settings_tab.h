#pragma once
// The page "系统设置": the modem settings of server.txt (and how the
// exchange is paced), the hours that parts of a long message wait for the
// rest, the instructions for first use, and the device test.
#include <QWidget>
#include <vector>

#include "platform/station.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tavrel::console {

class SettingsSection;

class SettingsTab : public QWidget {
 public:
  explicit SettingsTab(Station station, QWidget* parent = nullptr);

  void Button1Click();   // saves the edits
  void SheZhi_enter();   // reloads the edits from the file
  void Button2Click();   // the device test; returns when it has ended
  void SetInstructions();  // the two instruction labels, at window creation

  QLabel* Label18;
  QLineEdit* Edit1;
  QLabel* Label19;
  QLineEdit* Edit2;
  QLabel* Label20;
  QLineEdit* Edit3;
  QLabel* Label21;
  QLineEdit* Edit4;  // PARTWAIT
  QPushButton* Button1;
  QLabel* PaceLabel;
  QComboBox* PaceBox;  // PACE: the fixed pauses, or the modem's own pace
  QGroupBox* GroupBox1;
  QLabel* Label24;
  QLabel* Label25;
  QPushButton* Button2;
  // The groups of later keys, one under the other, below 确定.
  QScrollArea* MoreSettings;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddSection(SettingsSection* section);

  const Station station_;
  bool testing_ = false;
  QVBoxLayout* sections_layout_;
  std::vector<SettingsSection*> sections_;
};

}  // namespace tavrel::console
