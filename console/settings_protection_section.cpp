#include "console/settings_protection_section.h"

#include <QLineEdit>

#include "store/settings.h"
#include "ui/gbk_text.h"

namespace tavrel::console {

std::vector<ProtectionSection::KeyEdit> ProtectionSection::Keys() const {
  return {{settings::kOptOut, OptOutEdit},         {settings::kOptOutReply, OptOutReplyEdit},
          {settings::kOptIn, OptInEdit},           {settings::kOwnNumbers, OwnEdit},
          {settings::kReplyCap, ReplyCapEdit},     {settings::kQuiet, QuietEdit},
          {settings::kHourCap, HourCapEdit},       {settings::kDayCap, DayCapEdit}};
}

ProtectionSection::ProtectionSection(QWidget* parent) : SettingsSection("客户保护与发送限制", parent) {
  OptOutEdit = AddEdit("退订词：", "TD,T,退订,取消（空：不处理退订）");
  OptOutReplyEdit = AddEdit("退订回复：", "您已退订，将不再收到本号码的短信。");
  OptInEdit = AddEdit("重新订阅词：", "订阅");
  OwnEdit = AddEdit("本机号码：", "逗号分隔，不自动回复");
  ReplyCapEdit = AddEdit("每号每小时回复：", "5");
  QuietEdit = AddEdit("静默时段：", "21:00-08:00（空：无）");
  HourCapEdit = AddEdit("每卡每小时上限：", "空：不限");
  DayCapEdit = AddEdit("每卡每天上限：", "空：不限");
}

void ProtectionSection::Load(const Station& station) {
  for (const KeyEdit& key : Keys()) {
    ui::SetText(key.edit, ReadSetting(station, key.reader));
  }
}

void ProtectionSection::Save(const Station& station) {
  for (const KeyEdit& key : Keys()) {
    SaveIfChanged(station, key.reader, ui::GetText(key.edit));
  }
}

}  // namespace tavrel::console
