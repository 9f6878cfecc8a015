// Quillon's window, offscreen: its design and settings, the save button,
// the start button and Esc, the status texts, and the help link.
#include "listener/window_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "listener_support.h"
#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/window_thread.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using test::FileBytes;
using test::TempStation;

// Lets posted updates run until done() holds; false after the bound.
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds bound = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents();
    ui::ProcessPostedUpdates();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(QuillonWindow, DesignAndSettingsAtCreation) {
  TempStation dir;
  {
    TForm1 form(dir.station());
    EXPECT_EQ(ui::GetText(&form), Gbk("数据服务进程"));
    EXPECT_EQ(form.width(), 639);
    EXPECT_EQ(form.height(), 308);
    EXPECT_EQ(ui::GetText(form.Edit1), "100.100.100.1");
    EXPECT_EQ(ui::GetText(form.Edit2), "9002");
    EXPECT_EQ(ui::GetText(form.Edit3), "account");
    EXPECT_EQ(ui::GetText(form.Button1), Gbk("服务启动"));
    EXPECT_EQ(ui::GetText(form.Button3), Gbk("参数保存"));
    EXPECT_EQ(form.Button1->parentWidget(), form.Panel1);
    EXPECT_EQ(form.Memo1->Text(), HelpText());
  }
  const std::string help = HelpText();
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 10);
  EXPECT_NE(help.find("\r\n" + Gbk("0000|13012312312;11111111111;22222222222;|你好吗？我的朋友。|") +
                      "\r\n"),
            std::string::npos);

  // Values longer than the window's fields are cut on reading.
  test::WriteFileBytes(dir.Path("server.txt"),
                       "[SET]\r\nSERVIP=123456789012345678901234\r\nPORT=12345678901\r\n");
  TForm1 form(dir.station());
  EXPECT_EQ(ui::GetText(form.Edit1), "1234567890123456789");
  EXPECT_EQ(ui::GetText(form.Edit2), "123456789");
}

TEST(QuillonWindow, SaveWritesAddressThenPort) {
  TempStation dir;
  TForm1 form(dir.station());
  ui::SetText(form.Edit1, "127.0.0.1");
  ui::SetText(form.Edit2, "");
  form.Button3->click();
  EXPECT_EQ(FileBytes(dir.Path("server.txt")), "[SET]\r\nSERVIP=127.0.0.1\r\nPORT=\r\n");

  test::WriteFileBytes(dir.Path("server.txt"),
                       "[SET]\r\nCOM=COM1\r\nRATE=19200\r\nSMSCODE=8613800000000\r\n");
  ui::SetText(form.Edit2, "9002");
  form.Button3->click();
  EXPECT_EQ(FileBytes(dir.Path("server.txt")),
            "[SET]\r\nCOM=COM1\r\nRATE=19200\r\nSMSCODE=8613800000000\r\nSERVIP=127.0.0.1\r\n"
            "PORT=9002\r\n");
}

TEST(QuillonWindow, EscStartsTheListenerOnceAndTheMemoFollowsIt) {
  TempStation dir;
  const std::uint16_t port = test::FreeLoopbackPort();
  TForm1 form(dir.station());
  ui::SetText(form.Edit1, "127.0.0.1");
  ui::SetText(form.Edit2, std::to_string(port));
  form.Button3Click();

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&form, &escape);
  EXPECT_EQ(ui::GetText(&form), Gbk("数据服务进程---runing..."));
  EXPECT_FALSE(form.Button1->isEnabled());
  const std::string started = "127.0.0.1\r\n" + std::to_string(port) +
                              "\r\nscoket over  bind.....\r\nover  listen..\r\n" +
                              Gbk("-------------系统启动成功....");
  ASSERT_TRUE(PumpUntil([&] { return form.Memo1->Text() == started; })) << form.Memo1->Text();

  // A second Esc finds the button disabled and starts nothing.
  QApplication::sendEvent(&form, &escape);
  EXPECT_EQ(form.Memo1->Text(), started);

  const test::Exchange exchange = test::SendRequest(port, Gbk("0000|13012312312;|你好|"));
  EXPECT_EQ(exchange.reply.substr(0, 5), "0000|");
  ASSERT_TRUE(PumpUntil([&] { return ui::GetText(form.Edit3) == "1"; }));
  EXPECT_EQ(form.Memo1->Text(), Gbk("你好"));
}

TEST(QuillonWindow, HelpLinkOpensTheAddressInTheDesktopBrowser) {
  TempStation dir;
  // A stand-in xdg-open that records what it was asked to open.
  const std::string opened = dir.path() + "/opened";
  const std::string script = dir.path() + "/xdg-open";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s' \"$*\" > " << opened << ".part && mv " << opened << ".part "
        << opened << "\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (dir.path() + ":" + path).c_str(), 1);

  TForm1 form(dir.station());
  QMouseEvent click(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(form.Label4, &click);
  const bool seen = PumpUntil([&] { return std::filesystem::exists(opened); });
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(seen);
  EXPECT_EQ(FileBytes(opened), kHelpAddress);
}

}  // namespace
}  // namespace tavrel
