#include "console/settings_modems_section.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "engine/device_test.h"
#include "platform/codepage.h"
#include "store/modem_list.h"
#include "ui/gbk_text.h"
#include "ui/message_box.h"

namespace tavrel::console {
namespace {

SettingReader ComReader(const std::string& key) {
  return {key, "", settings::kConsoleCom.field_size, settings::kConsoleCom.path_field_size};
}
SettingReader RateReader(const std::string& key) {
  return {key, "", settings::kConsoleRate.field_size};
}

}  // namespace

ModemsSection::ModemsSection(Station station, QWidget* parent)
    : SettingsSection("更多调制解调器 (COM2 ... COM16)", parent), station_(std::move(station)) {
  add_ = new QPushButton(QString::fromUtf8("添加调制解调器"), this);
  form()->addRow(add_);
  connect(add_, &QPushButton::clicked, this, [this] { AddModem(); });
}

void ModemsSection::AddRow(int n, const std::string& com, const std::string& rate) {
  Row row{n, new QWidget(this), new QLineEdit, new QLineEdit};
  auto* layout = new QHBoxLayout(row.line);
  layout->setContentsMargins(0, 0, 0, 0);
  ui::SetText(row.com, com);
  ui::SetText(row.rate, rate);
  row.rate->setPlaceholderText(QStringLiteral("RATE"));
  row.rate->setMaximumWidth(70);
  auto* test = new QPushButton(QString::fromUtf8("测试"));
  auto* remove = new QPushButton(QString::fromUtf8("删除"));
  for (QWidget* widget : {static_cast<QWidget*>(row.com), static_cast<QWidget*>(row.rate),
                          static_cast<QWidget*>(test), static_cast<QWidget*>(remove)}) {
    layout->addWidget(widget);
  }
  connect(test, &QPushButton::clicked, this, [this, n] { TestModem(n); });
  connect(remove, &QPushButton::clicked, this, [this, n] { RemoveModem(n); });
  const auto at = std::find_if(rows_.begin(), rows_.end(), [n](const Row& r) { return r.n > n; });
  form()->insertRow(static_cast<int>(at - rows_.begin()), QString::fromStdString(ModemComKey(n)),
                    row.line);
  rows_.insert(at, row);
}

void ModemsSection::Load(const Station& station) {
  while (!rows_.empty()) RemoveModem(rows_.back().n);
  for (int n = 2; n <= settings::kPoolModems; ++n) {
    const std::string com = ReadSetting(station, ComReader(ModemComKey(n)));
    if (!com.empty()) AddRow(n, com, ReadSetting(station, RateReader(ModemRateKey(n))));
  }
}

void ModemsSection::Save(const Station& station) {
  for (int n = 2; n <= settings::kPoolModems; ++n) {
    const auto row = std::find_if(rows_.begin(), rows_.end(), [n](const Row& r) { return r.n == n; });
    const bool listed = row != rows_.end();
    SaveIfChanged(station, ComReader(ModemComKey(n)), listed ? ui::GetText(row->com) : "");
    SaveIfChanged(station, RateReader(ModemRateKey(n)), listed ? ui::GetText(row->rate) : "");
  }
}

bool ModemsSection::AddModem() {
  for (int n = 2; n <= settings::kPoolModems; ++n) {
    if (std::none_of(rows_.begin(), rows_.end(), [n](const Row& r) { return r.n == n; })) {
      AddRow(n, "", "");
      return true;
    }
  }
  return false;
}

void ModemsSection::RemoveModem(int n) {
  const auto row = std::find_if(rows_.begin(), rows_.end(), [n](const Row& r) { return r.n == n; });
  if (row == rows_.end()) return;
  form()->removeRow(row->line);
  rows_.erase(row);
}

void ModemsSection::TestModem(int n) {
  const auto row = std::find_if(rows_.begin(), rows_.end(), [n](const Row& r) { return r.n == n; });
  if (row == rows_.end()) return;
  std::string rate = ui::GetText(row->rate);
  if (rate.empty()) rate = ReadSetting(station_, settings::kTestRate);
  const ModemSetting modem{ModemComKey(n), ui::GetText(row->com), ModemRateKey(n), rate};
  DeviceTestView view;
  view.set_caption = [](const std::string&) {};
  view.show_message = [this](const std::string& text) { ui::ShowMessage(text, this); };
  RunDeviceTestOn(station_, modem, view);
}

}  // namespace tavrel::console
