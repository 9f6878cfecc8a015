#include "listener/window_main.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "listener/listener_thread.h"
#include "listener/listener_view.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "store/settings.h"
#include "ui/application.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/window_style.h"
#include "ui/window_thread.h"

namespace tavrel {
namespace {

// The listener thread's texts reach the controls on the window thread, in
// the order it wrote them; a control already gone takes nothing.
class WindowView : public ListenerView {
 public:
  WindowView(ui::Memo* memo, QLineEdit* account) : memo_(memo), account_(account) {}

  void ShowStatus(const std::string& text) override {
    ui::PostToWindow([memo = memo_, text] {
      if (memo) memo->SetText(text);
    });
  }
  void AppendStatus(const std::string& text) override {
    ui::PostToWindow([memo = memo_, text] {
      if (memo) memo->AppendText("\r\n" + text);
    });
  }
  void ShowAccount(const std::string& text) override {
    ui::PostToWindow([account = account_, text] {
      if (account) ui::SetText(account, text);
    });
  }

 private:
  QPointer<ui::Memo> memo_;
  QPointer<QLineEdit> account_;
};

template <typename Control>
Control* Place(QWidget* parent, int left, int top, int width, int height) {
  auto* control = new Control(parent);
  control->setGeometry(left, top, width, height);
  return control;
}

}  // namespace

std::string HelpText() {
  static const char* const kLines[] = {
      "---------------------------------------------------------------------------"
      "客户端数据说明--------------------------------",
      "客户端发送的数据格式应为：",
      "4位交易码|n个手机号|短信内容|",
      "说明：手机号可为多个，之间用’；’隔开，短信内容应简练为宜，不应超过当地服务商规定的长度。",
      "            数据总长度不能超过1024个字节。服务端返回的数据长度也不超过1024个字节。",
      "            客户端发送数据后等待返回数据，收到数据后断开连接，",
      "举例",
      "客户端发送的请求数据：",
      "0000|13012312312;11111111111;22222222222;|你好吗？我的朋友。|",
      "客户端收到的返回数据：",
      "0000|交易成功。|",
  };
  std::string text;
  for (const char* line : kLines) {
    if (!text.empty()) text += "\r\n";
    text += Gbk(line);
  }
  return text;
}

TForm1::TForm1(Station station) : station_(std::move(station)) {
  BuildDesign();
  view_ = std::make_unique<WindowView>(Memo1, Edit3);
  FormCreate();
}

// Closing the window ends the listener with it; its receive and accept wake
// at once, so the window never waits on a client.
TForm1::~TForm1() { listener_.reset(); }

void TForm1::BuildDesign() {
  ui::SetText(this, Gbk("数据服务进程"));
  ui::SetUpMainWindow(this, 639, 308);

  Panel1 = Place<QFrame>(this, 0, 0, 639, 41);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Label1 = Place<QLabel>(Panel1, 8, 12, 96, 17);
  ui::SetText(Label1, Gbk("服务器地址 ：   "));
  Edit1 = Place<QLineEdit>(Panel1, 104, 9, 137, 22);
  Label2 = Place<QLabel>(Panel1, 256, 12, 48, 17);
  ui::SetText(Label2, Gbk("端口 ："));
  Edit2 = Place<QLineEdit>(Panel1, 304, 9, 81, 22);
  Button3 = Place<QPushButton>(Panel1, 408, 7, 97, 27);
  ui::SetText(Button3, Gbk("参数保存"));
  Button1 = Place<QPushButton>(Panel1, 520, 7, 97, 27);
  ui::SetText(Button1, Gbk("服务启动"));

  Label3 = Place<QLabel>(this, 8, 52, 80, 17);
  ui::SetText(Label3, Gbk("系统信息：  "));
  ui::SetBold(Label3);
  Edit3 = Place<QLineEdit>(this, 88, 49, 121, 22);
  ui::SetText(Edit3, "account");
  Label4 = Place<QLabel>(this, 232, 52, 400, 17);
  ui::SetText(Label4, Gbk("欢迎访问我们的网站获得帮助：") + kHelpAddress);
  ui::SetBold(Label4);
  ui::SetTextColour(Label4, QColor(0, 128, 0));
  Label4->setCursor(Qt::PointingHandCursor);
  Label4->installEventFilter(this);

  Memo1 = Place<ui::Memo>(this, 0, 80, 639, 228);
  ui::SetBackgroundColour(Memo1, ui::DesktopColour());
  ui::SetTextColour(Memo1, Qt::white);
  Memo1->SetText(HelpText());

  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm1::FormCreate() {
  ui::SetText(Edit1, ReadSetting(station_, settings::kListenerWindowServIp));
  ui::SetText(Edit2, ReadSetting(station_, settings::kListenerWindowPort));
}

void TForm1::Button3Click() {
  WriteSetting(station_, settings::kListenerServIp.key, ui::GetText(Edit1));
  WriteSetting(station_, settings::kListenerPort.key, ui::GetText(Edit2));
}

void TForm1::Button1Click() {
  if (listener_) return;
  listener_ = std::make_unique<eee>(*view_, station_);
  ui::SetText(this, Gbk("数据服务进程---runing..."));
  Button1->setEnabled(false);
}

void TForm1::Label4Click() {
  // The desktop's own browser, whichever the operator has chosen.
  StartDetached("xdg-open", {kHelpAddress});
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (Button1->isEnabled()) Button1->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label4 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label4Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

int RunListenerWindow(int argc, char** argv, const Station& station) {
  return ui::RunApplication(argc, argv, [&station] { return std::make_unique<TForm1>(station); });
}

}  // namespace tavrel
