#include "console/settings_messages_section.h"

#include <QLineEdit>

#include "ui/gbk_text.h"

namespace tavrel::console {

MessagesSection::MessagesSection(QWidget* parent)
    : SettingsSection("长短信与送达报告", parent),
      PartsEdit(AddEdit("每条最多短信数(1-10)：", "1")),
      ReportEdit(AddEdit("送达报告(1=要)：", "0")) {}

void MessagesSection::Load(const Station& station) {
  ui::SetText(PartsEdit, ReadSetting(station, settings::kParts));
  ui::SetText(ReportEdit, ReadSetting(station, settings::kReport));
}

void MessagesSection::Save(const Station& station) {
  SaveIfChanged(station, settings::kParts, ui::GetText(PartsEdit));
  SaveIfChanged(station, settings::kReport, ui::GetText(ReportEdit));
}

}  // namespace tavrel::console
