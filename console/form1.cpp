#include "console/form1.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

#include "console/address_book.h"
#include "console/compose_tab.h"
#include "console/customer_tab.h"
#include "console/modem_strip.h"
#include "console/info_code_tab.h"
#include "console/monitor_tab.h"
#include "console/pending_tab.h"
#include "console/received_tab.h"
#include "console/sent_tab.h"
#include "console/settings_tab.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/textfile.h"
#include "store/settings.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/message_box.h"
#include "ui/window_style.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

constexpr int kClientWidth = 756;
constexpr int kClientHeight = 496;
constexpr int kButtonRowTop = 462;
constexpr const char* kHelpAddress = "http://www.tavrel.example/help/";

QPushButton* MakeButton(QWidget* parent, const char* utf8, int x, int width) {
  auto* button = new QPushButton(parent);
  ui::SetText(button, Gbk(utf8));
  button->setGeometry(x, kButtonRowTop, width, 28);
  return button;
}

}  // namespace

TForm1::TForm1(Station station) : station_(std::move(station)) {
  ui::SetText(this, Gbk("Tavrelsms客户管理系统--企业服务器2.21版"));
  ui::SetUpMainWindow(this, kClientWidth, kClientHeight);

  PageControl1 = new QTabWidget(this);
  PageControl1->setGeometry(0, 0, kClientWidth, kButtonRowTop - 4);
  // Narrow tabs, so that all eight captions and the corner button fit.
  PageControl1->setStyleSheet(QStringLiteral(
      "QTabBar::tab { padding: 3px 5px; border: 1px solid #a0a0a0; border-bottom: none;"
      " border-top-left-radius: 3px; border-top-right-radius: 3px; background: #e4e4e4; }"
      "QTabBar::tab:selected { background: #f6f6f6; margin-top: -2px; }"));
  PageControl1->setUsesScrollButtons(false);
  TabSheet1 = new ComposeTab(station_);
  TabSheet2 = new PendingTab(station_);
  TabSheet3 = new SentTab(station_);
  TabSheet6 = new ReceivedTab(station_);
  TabSheet5 = new InfoCodeTab(station_);
  TabSheet7 = new CustomerTab(station_);
  TabSheet4 = new SettingsTab(station_);
  TabSheet8 = new MonitorTab;
  TabSheet3->ShareSelectedRecord(&TabSheet2->SelectedRecord);
  new AddressBook(TabSheet1);  // owned by the compose page
  const std::pair<QWidget*, const char*> pages[] = {
      {TabSheet1, "新建sms"},      {TabSheet2, "待发送sms"},    {TabSheet3, "已发送sms"},
      {TabSheet6, "已接收sms"},    {TabSheet5, "点播信息维护"}, {TabSheet7, "客户信息维护"},
      {TabSheet4, "系统设置"},     {TabSheet8, "信息监控"},
  };
  for (const auto& [page, caption] : pages) PageControl1->addTab(page, ui::FromGbk(Gbk(caption)));
  PageControl1->setCurrentWidget(TabSheet4);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });

  BuildButtons();

  TabSheet4->SheZhi_enter();  // the saved settings, or the window's defaults
  monitor_ = std::make_unique<WindowMonitor>(TabSheet8->Memo7, this);
  engine_ = std::make_unique<Engines>(*monitor_, station_);
  strip_ = new ModemStrip(station_, TabSheet8);
  FormCreate();
}

// Closing the window ends the program (see RunConsoleWindow); a window that
// is destroyed inside a running program, as in tests, stops its engine.
TForm1::~TForm1() = default;

void TForm1::BuildButtons() {
  BitBtn3 = MakeButton(this, "启动短信收发进程", 6, 150);
  ui::SetTextColour(BitBtn3, QColor(0x00, 0x80, 0x00));
  ui::SetBold(BitBtn3);
  BitBtn5 = MakeButton(this, "停止短信收发进程", 160, 150);
  ui::SetTextColour(BitBtn5, Qt::red);
  Button7 = MakeButton(this, "启动系统数据侦听服务进程", 314, 186);
  Button8 = MakeButton(this, "访问Tavrel网站获取帮助", 504, 140);
  Button10 = MakeButton(this, "号码自动生成", 648, 102);
  ui::SetBold(Button10);

  Button9 = new QPushButton;
  ui::SetText(Button9, "***super power***TavrelSMSserver");
  ui::SetTextColour(Button9, Qt::blue);
  QFont small = Button9->font();
  small.setPixelSize(9);
  Button9->setFont(small);
  Button9->setEnabled(false);
  PageControl1->setCornerWidget(Button9, Qt::TopRightCorner);

  connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { ddd(); });
  connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
  connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
  connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
  connect(Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
}

void TForm1::FormCreate() { TabSheet4->SetInstructions(); }

void TForm1::BitBtn3Click() {
  if (!station_lock_.Held()) {
    Result<StationLock> lock = TakeStationLock(station_, "engine");
    if (!lock) {
      ui::ShowMessage(lock.error().text, this);
      return;
    }
    station_lock_ = std::move(lock.value());
  }
  // What the engine reported before this request shows before the start text.
  ui::ProcessPostedUpdates();
  engine_->Resume();
  ui::SetText(TabSheet8->Memo7, Gbk("-------------收发进程已经启动！"));
  strip_->SetPaused(false);
  ui::SetText(this, Gbk("Tavrelsms客户管理系统  ：   收发进程已启动"));
}

void TForm1::ddd() {
  ui::ProcessPostedUpdates();
  ui::SetText(this, Gbk("Tavrelsms客户管理系统  ：   收发进程已经停止！"));
  engine_->Suspend();
  ui::SetText(TabSheet8->Memo7, Gbk("-------------收发进程已经停止！"));
  strip_->SetPaused(true);
}

// The companion beside the working directory's data wins, as on the desk
// where the programs were first installed together; otherwise the one
// installed with Ravelin.
void TForm1::StartCompanion(const char* local_command, const char* installed_name) {
  if (FileExists(local_command)) {
    StartDetached(local_command);
  } else {
    StartDetached(OwnExecutableDir() + "/" + installed_name);
  }
}

void TForm1::Button7Click() { StartCompanion("./Quillon.exe", "Quillon"); }
void TForm1::Button10Click() { StartCompanion("./Merlon.exe", "Merlon"); }

void TForm1::Button8Click() { StartDetached("xdg-open", {kHelpAddress}); }

void TForm1::Button9Click() { TabSheet2->ListView2DblClick(); }

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
  // Only the window's own surface: double clicks that controls pass on to
  // their parents are not the operator's stop request.
  if (childAt(event->position().toPoint()) == nullptr) ddd();
  QWidget::mouseDoubleClickEvent(event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::NoModifier && TabSheet1->fasdx->isVisible()) {
    TabSheet1->fasdx->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace tavrel::console
