#include "console/monitor_tab.h"

#include <QLabel>

#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/window_style.h"

namespace tavrel::console {

MonitorTab::MonitorTab(QWidget* parent) : QWidget(parent) {
  Memo7 = new ui::Memo(this);
  Memo7->setGeometry(4, 4, 740, 360);
  Memo7->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo7->SetByteLimit(kMonitorTextLimit);
  ui::SetBackgroundColour(Memo7, ui::DesktopColour());
  ui::SetTextColour(Memo7, Qt::white);
  ui::SetBold(Memo7);
  Memo7->SetText(MonitorWelcomeText());

  const QColor green(0x00, 0x80, 0x00);
  Label21 = new QLabel(this);
  ui::SetText(Label21, Gbk("谢谢使用Tavrel软件"));
  QFont lishu = ui::FontOf({QStringLiteral("隶书"), QStringLiteral("LiSu"),
                            QStringLiteral("WenQuanYi Micro Hei")},
                           35);
  lishu.setBold(true);
  lishu.setItalic(true);
  Label21->setFont(lishu);
  ui::SetTextColour(Label21, green);
  Label21->setGeometry(8, 370, 440, 50);

  Label22 = new QLabel(this);
  ui::SetText(Label22, "SMS CENTER:  +86 13800100500");
  ui::SetTextColour(Label22, green);
  Label22->setGeometry(480, 386, 260, 20);
}

}  // namespace tavrel::console
