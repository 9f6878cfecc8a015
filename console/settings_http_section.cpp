#include "console/settings_http_section.h"

#include <QLineEdit>

#include "ui/gbk_text.h"

namespace tavrel::console {

HttpSettingsSection::HttpSettingsSection(QWidget* parent)
    : SettingsSection("HTTP 接口 (Quillon)", parent),
      HttpPort(AddEdit("HTTP 端口", "空：不开 HTTP")),
      Allow(AddEdit("允许地址", "空：所有地址；例 127.0.0.1, 10.0.0.0/8")),
      Hook(AddEdit("收信推送 URL", "空：不推送；例 http://host:8080/sms")) {}

void HttpSettingsSection::Load(const Station& station) {
  ui::SetText(HttpPort, ReadSetting(station, settings::kHttpPort));
  ui::SetText(Allow, ReadSetting(station, settings::kAllow));
  ui::SetText(Hook, ReadSetting(station, settings::kHook));
}

void HttpSettingsSection::Save(const Station& station) {
  SaveIfChanged(station, settings::kHttpPort, ui::GetText(HttpPort));
  SaveIfChanged(station, settings::kAllow, ui::GetText(Allow));
  SaveIfChanged(station, settings::kHook, ui::GetText(Hook));
}

}  // namespace tavrel::console
