#include "console/settings_section.h"

#include <QFormLayout>
#include <QLineEdit>

#include "platform/codepage.h"
#include "platform/profile.h"

namespace tavrel::console {

SettingsSection::SettingsSection(const char* title, QWidget* parent)
    : QGroupBox(QString::fromUtf8(title), parent), form_(new QFormLayout(this)) {}

QLineEdit* SettingsSection::AddEdit(const char* label, const char* placeholder) {
  auto* edit = new QLineEdit(this);
  edit->setPlaceholderText(QString::fromUtf8(placeholder));
  form_->addRow(QString::fromUtf8(label), edit);
  return edit;
}

void SaveIfChanged(const Station& station, const SettingReader& reader, const std::string& value) {
  if (value == ReadSetting(station, reader)) return;
  if (value.empty()) {
    WriteProfileString(kSettingsSection, reader.key, std::nullopt, station.Path(kSettingsPath));
    return;
  }
  WriteSetting(station, reader.key, value);
}

}  // namespace tavrel::console
