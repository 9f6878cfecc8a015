#pragma once
// A group of settings keys the station gained after the first four on the
// settings tab: each group loads its keys when the tab reloads and saves them
// with the tab's 确定 button. Keys a station has never set are written only
// once chosen or changed, so that a file without them keeps meaning the
// behaviour the station had before the key existed.
#include <QGroupBox>
#include <string>

#include "platform/station.h"
#include "store/settings.h"

class QFormLayout;
class QLineEdit;

namespace tavrel::console {

class SettingsSection : public QGroupBox {
 public:
  // title: UTF-8.
  SettingsSection(const char* title, QWidget* parent);
  virtual void Load(const Station& station) = 0;
  virtual void Save(const Station& station) = 0;

 protected:
  // A labelled edit (label UTF-8) in the group's form.
  QLineEdit* AddEdit(const char* label, const char* placeholder = "");
  QFormLayout* form() const { return form_; }

 private:
  QFormLayout* form_;
};

// Writes value under reader's key unless it is what the station reads now
// (the key's default when absent); an empty value removes a key that is set.
void SaveIfChanged(const Station& station, const SettingReader& reader, const std::string& value);

}  // namespace tavrel::console
