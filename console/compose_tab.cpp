#include "console/compose_tab.h"

#include <QLabel>
#include <QPushButton>

#include "platform/clock.h"
#include "engine/codec/long_message.h"
#include "platform/codepage.h"
#include "store/message_settings.h"
#include "store/record_store.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/message_box.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

std::size_t MessageByteLimit(int parts) {
  return parts <= 1 ? kMessageByteLimit : kMessageBytesPerPart * static_cast<std::size_t>(parts);
}

}  // namespace

ComposeTab::ComposeTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  Label1 = new QLabel(this);
  ui::SetText(Label1, Gbk("收信人"));
  Label1->setGeometry(16, 8, 200, 18);

  shoujihao = new ui::Memo(this);
  shoujihao->setGeometry(16, 28, 300, 360);
  shoujihao->SetByteLimit(kRecipientsByteLimit);
  shoujihao->SetWantTabs(true);
  shoujihao->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The instruction is a placeholder, never text: typed after, it would
  // become part of the first recipient, and that recipient reach nobody.
  shoujihao->setPlaceholderText(ui::FromGbk(Gbk(" 手机号每行一个或用'；'隔开。")));

  StaticText1 = new QLabel(this);
  ui::SetText(StaticText1, Gbk("短信内容"));
  StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StaticText1->setGeometry(336, 8, 80, 18);

  duanxin = new ui::Memo(this);
  duanxin->setGeometry(336, 28, 240, 200);
  duanxin->SetByteLimit(MessageByteLimit(PartsSetting(station_)));

  Label10 = new QLabel(this);
  ui::SetText(Label10, Gbk("已输入0个字符              "));
  Label10->setGeometry(336, 234, 240, 18);

  fasdx = new QPushButton(this);
  ui::SetText(fasdx, Gbk("发送短信"));
  fasdx->setGeometry(336, 264, 120, 30);
  fasdx->setDefault(true);

  tongxb = new QPushButton(this);
  ui::SetText(tongxb, Gbk("通讯簿："));
  tongxb->setGeometry(600, 4, 140, 24);

  ListView7 = new ui::ReportView(this);
  ListView7->setGeometry(600, 32, 140, 356);

  connect(duanxin, &QPlainTextEdit::textChanged, this, [this] { MemoTextChangeView(); });
  connect(fasdx, &QPushButton::clicked, this, [this] { fasdxClick(); });
}

// PARTS is read anew as the operator types, so a change saved on the
// settings tab holds from the next keystroke.
void ComposeTab::MemoTextChangeView() {
  const int parts = PartsSetting(station_);
  duanxin->SetByteLimit(MessageByteLimit(parts));
  if (parts <= 1) {
    const std::size_t bytes = duanxin->GbkSize();
    ui::SetText(Label10, Gbk("已输入") + std::to_string(bytes) + Gbk("个字符         "));
    return;
  }
  const MessageMeasure measure = MeasureMessage(duanxin->Text(), parts);
  ui::SetText(Label10, Gbk("已输入") + std::to_string(measure.characters) + Gbk("个字符，共") +
                           std::to_string(measure.parts) + Gbk("条短信"));
}

void ComposeTab::fasdxClick() {
  // The day's folder is made before any check, even when a check refuses.
  EnsureDayFolder(station_, station_.Today());
  const std::string recipients = shoujihao->Text();
  const std::string text = duanxin->Text();
  if (recipients.empty()) return ui::ShowMessage(Gbk("收信人不能为空！"), this);
  if (text.empty()) return ui::ShowMessage(Gbk("收信内容不能为空！"), this);
  if (!MeasureMessage(text, PartsSetting(station_)).fits)
    return ui::ShowMessage(Gbk("收信内容不能太多！"), this);
  const OutboxResult filed = WriteOutboxRecord(station_, recipients, text, CounterRule::RestartBelowOne);
  if (!filed) {
    // Nothing was counted, so nothing will be sent: the operator must know.
    ui::ShowMessage(Gbk("短信没有保存，不会发送：\r\n") + filed.error().text +
                        Gbk("\r\n请检查工作目录是否可写，然后重新发送。"),
                    this);
  }
}

}  // namespace tavrel::console
