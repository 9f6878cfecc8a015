#include "console/settings_tab.h"

#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <thread>

#include "console/settings_protection_section.h"
#include "console/settings_modems_section.h"
#include "console/settings_messages_section.h"
#include "console/settings_http_section.h"
#include "console/settings_section.h"
#include "engine/device_test.h"
#include "engine/exchange.h"
#include "platform/codepage.h"
#include "store/settings.h"
#include "ui/gbk_text.h"
#include "ui/message_box.h"
#include "ui/window_style.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* utf8, int x, int y, int w, int h) {
  auto* label = new QLabel(parent);
  ui::SetText(label, Gbk(utf8));
  label->setGeometry(x, y, w, h);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, int x, int y) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(x, y, 160, 22);
  return edit;
}

}  // namespace

SettingsTab::SettingsTab(Station station, QWidget* parent)
    : QWidget(parent), station_(std::move(station)) {
  Label18 = MakeLabel(this, "串口  COM  ：", 24, 40, 90, 22);
  Edit1 = MakeEdit(this, 120, 40);
  ui::SetText(Edit1, "COM1");
  Label19 = MakeLabel(this, "波特率 ：", 24, 80, 90, 22);
  Edit2 = MakeEdit(this, 120, 80);
  ui::SetText(Edit2, "19200");
  Label20 = MakeLabel(this, "短信中心 ：", 24, 120, 90, 22);
  Edit3 = MakeEdit(this, 120, 120);
  Label21 = MakeLabel(this, "长短信等待(小时)：", 8, 160, 110, 22);
  Edit4 = MakeEdit(this, 120, 160);
  ui::SetText(Edit4, std::string(settings::kPartWait.default_value));

  Button1 = new QPushButton(this);
  ui::SetText(Button1, Gbk("确      定"));
  Button1->setGeometry(120, 250, 160, 28);

  PaceLabel = MakeLabel(this, "收发节奏 ：", 24, 200, 90, 22);
  PaceBox = new QComboBox(this);
  PaceBox->setGeometry(120, 200, 200, 22);
  PaceBox->addItem(QString::fromUtf8("固定间隔"), QStringLiteral("fixed"));
  PaceBox->addItem(QString::fromUtf8("等待调制解调器应答"), QStringLiteral("prompt"));

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(372, 8, 368, 412);
  Label24 = MakeLabel(GroupBox1, "", 12, 16, 350, 230);
  Label24->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ui::SetTextColour(Label24, QColor(0x00, 0x80, 0x80));
  Label25 = MakeLabel(GroupBox1, "", 12, 252, 350, 60);
  Label25->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ui::SetTextColour(Label25, Qt::red);

  Button2 = new QPushButton(GroupBox1);
  ui::SetText(Button2, Gbk("设备测试并保存设备参数"));
  Button2->setGeometry(44, 340, 280, 34);

  MoreSettings = new QScrollArea(this);
  MoreSettings->setGeometry(8, 290, 356, 130);
  MoreSettings->setWidgetResizable(true);
  MoreSettings->setFrameShape(QFrame::NoFrame);
  auto* sections = new QWidget(MoreSettings);
  sections_layout_ = new QVBoxLayout(sections);
  sections_layout_->setContentsMargins(0, 0, 0, 0);
  MoreSettings->setWidget(sections);
  MoreSettings->setVisible(false);
  AddSection(new MessagesSection(this));
  AddSection(new HttpSettingsSection(this));

  Label18->installEventFilter(this);
  Edit1->installEventFilter(this);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  AddSection(new ProtectionSection(this));
  AddSection(new ModemsSection(station_, this));
}

void SettingsTab::AddSection(SettingsSection* section) {
  sections_layout_->addWidget(section);
  sections_.push_back(section);
  MoreSettings->setVisible(true);
}

bool SettingsTab::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && (watched == Label18 || watched == Edit1)) {
    SheZhi_enter();
  }
  return QWidget::eventFilter(watched, event);
}

void SettingsTab::SetInstructions() {
  const char* const steps[] = {
      "    初次使用时的步骤(不要启动任何进程）:",
      "",
      "1.用数据线把计算机和GSM modem(或手机）相连。",
      "2. 设置 COM 串口。",
      "3. 设置 波特率。",
      "4. 设置 短信中心号码。",
      "5. 确认 所有的设置项都不空。",
      "6. 点击 确定。",
      "7. 点击 设备测试并保存参数。",
  };
  std::string text;
  for (const char* line : steps) {
    text += Gbk(line);
    if (line == steps[2]) text += std::string(18, ' ');
    text += "\r\n";
  }
  ui::SetText(Label24, text);
  ui::SetText(Label25, Gbk("8.等待弹出 ' 设备正常，设备参数保存正确，可以正常工作! '") +
                           std::string(32, ' ') + "\r\n" + Gbk("    的对话框。 ") + "\r\n");
}

void SettingsTab::Button1Click() {
  WriteSetting(station_, "COM", ui::GetText(Edit1));
  WriteSetting(station_, "RATE", ui::GetText(Edit2));
  WriteSetting(station_, "SMSCODE", ui::GetText(Edit3));
  // Keys a station has never set are written only once they are chosen or
  // changed, so that a file without them keeps meaning the defaults.
  const std::string part_wait = ui::GetText(Edit4);
  if (part_wait != ReadSetting(station_, settings::kPartWait)) {
    WriteSetting(station_, "PARTWAIT", part_wait);
  }
  const std::string pace = PaceBox->currentData().toString().toStdString();
  if (pace == "prompt" || !ReadSetting(station_, settings::kConsolePace).empty()) {
    WriteSetting(station_, "PACE", pace);
  }
  for (SettingsSection* section : sections_) section->Save(station_);
}

void SettingsTab::SheZhi_enter() {
  ui::SetText(Edit1, ReadSetting(station_, settings::kConsoleCom));
  ui::SetText(Edit2, ReadSetting(station_, settings::kConsoleRate));
  ui::SetText(Edit3, ReadSetting(station_, settings::kConsoleSmsCode));
  ui::SetText(Edit4, ReadSetting(station_, settings::kPartWait));
  const bool prompt = PaceFromSetting(ReadSetting(station_, settings::kConsolePace)) == Pace::kPrompt;
  PaceBox->setCurrentIndex(prompt ? 1 : 0);
  for (SettingsSection* section : sections_) section->Load(station_);
}

// The test's pauses and reads run on a worker so that the window keeps
// painting its progress captions; until the test ends the window takes no
// input (what the operator types or clicks meanwhile comes afterwards), and
// the boxes are shown by the window and waited for.
void SettingsTab::Button2Click() {
  if (testing_) return;
  testing_ = true;
  QPointer<QPushButton> button = Button2;
  DeviceTestView view;
  view.set_caption = [button](const std::string& text) {
    ui::PostToWindow([button, text] {
      if (button) ui::SetText(button, text);
    });
  };
  view.show_message = [this](const std::string& text) { ui::ShowMessage(text, this); };

  QEventLoop loop;
  std::thread worker([&] {
    RunDeviceTest(station_, view);
    ui::PostToWindow([&loop] { loop.quit(); });
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  testing_ = false;
}

}  // namespace tavrel::console
