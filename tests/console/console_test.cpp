// The console window offscreen: its start, the compose and settings tabs,
// the companion buttons, and the engine's start and stop.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "console/compose_tab.h"
#include "console/monitor_tab.h"
#include "console/settings_messages_section.h"
#include "console/settings_tab.h"
#include "platform/codepage.h"
#include "tests/console/console_fixture.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

using system_test::ReadTraffic;

std::string Text(const QWidget* control) { return ui::GetText(control); }

int CountOf(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

TEST_F(ConsoleTest, OpensOnTheSettingsTabWithSavedOrDefaultSettings) {
  {
    TForm1 form(station_);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet4);
    EXPECT_EQ(Text(form.TabSheet4->Edit1), "COM1");
    EXPECT_EQ(Text(form.TabSheet4->Edit2), "19200");
    EXPECT_EQ(Text(form.TabSheet4->Edit3), "88888888");
    EXPECT_EQ(Text(&form), Gbk("Tavrelsms客户管理系统--企业服务器2.21版"));
    EXPECT_EQ(form.size(), QSize(756, 496));
    EXPECT_FALSE(form.Button9->isEnabled());

    const char* captions[] = {"新建sms", "待发送sms", "已发送sms", "已接收sms",
                              "点播信息维护", "客户信息维护", "系统设置", "信息监控"};
    ASSERT_EQ(form.PageControl1->count(), 8);
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(ui::ToGbk(form.PageControl1->tabText(i)), Gbk(captions[i])) << i;

    // The informational text, about ninety lines, and the starting texts.
    EXPECT_GE(form.TabSheet8->Memo7->blockCount(), 85);
    EXPECT_EQ(Text(form.TabSheet1->Label10), Gbk("已输入0个字符") + std::string(14, ' '));
    EXPECT_EQ(Text(form.TabSheet1->shoujihao), "");
    EXPECT_EQ(ui::ToGbk(form.TabSheet1->shoujihao->placeholderText()),
              Gbk(" 手机号每行一个或用'；'隔开。"));
    const std::string steps = Text(form.TabSheet4->Label24);
    EXPECT_EQ(steps.rfind(Gbk("    初次使用时的步骤(不要启动任何进程）:") + "\r\n\r\n", 0), 0u);
    EXPECT_NE(steps.find(Gbk("相连。") + std::string(18, ' ') + "\r\n"), std::string::npos);
    EXPECT_EQ(CountOf(steps, "\r\n"), 9);
    EXPECT_EQ(Text(form.TabSheet4->Label25),
              Gbk("8.等待弹出 ' 设备正常，设备参数保存正确，可以正常工作! '") +
                  std::string(32, ' ') + "\r\n" + Gbk("    的对话框。 ") + "\r\n");
  }
  dir_->WriteSettings({{"COM", "./modem"}, {"RATE", "9600"}, {"SMSCODE", "8613800000000"}});
  TForm1 form(station_);
  EXPECT_EQ(Text(form.TabSheet4->Edit1), "./modem");
  EXPECT_EQ(Text(form.TabSheet4->Edit2), "9600");
  EXPECT_EQ(Text(form.TabSheet4->Edit3), "8613800000000");
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(ConsoleTest, ComposeFilesARecordOrGivesItsMessagesInOrder) {
  TForm1 form(station_);
  ComposeTab& tab = *form.TabSheet1;
  const std::string box = In(Today() + "/new/");

  ui::SetText(tab.shoujihao, "13012312312");
  ui::SetText(tab.duanxin, Gbk("你好"));
  EXPECT_EQ(Text(tab.Label10), Gbk("已输入4个字符") + std::string(9, ' '));
  tab.fasdxClick();
  EXPECT_TRUE(boxes_->Texts().empty());
  EXPECT_EQ(FileBytes(box + "R1"), "13012312312");
  EXPECT_EQ(FileBytes(box + "DA1"), "\xC4\xE3\xBA\xC3");
  const std::string header = FileBytes(box + "H1");
  EXPECT_EQ(header.rfind("[HEAD]\r\ntime=" + Today() + " ", 0), 0u) << header;
  EXPECT_NE(header.find("\r\nsend= \r\ntype=" + Gbk("查询") + "\r\nstat=" + Gbk("未发") +
                        "\r\njrade=" + Gbk("紧急") + "\r\n"),
            std::string::npos);
  EXPECT_EQ(FileBytes(box + "acc"), "1");

  // The memos keep their text: a second press files the message again.
  tab.fasdxClick();
  EXPECT_EQ(FileBytes(box + "acc"), "2");

  // Two lines of the memo reach the disk as CR CR LF; ';' splits one line.
  ui::SetText(tab.shoujihao, "13012312312\r\n11111111111");
  tab.fasdxClick();
  EXPECT_EQ(FileBytes(box + "R3"), "13012312312\r\r\n11111111111");
  ui::SetText(tab.shoujihao, "13012312312;11111111111");
  tab.fasdxClick();
  EXPECT_EQ(FileBytes(box + "R4"), "13012312312\r\n11111111111");

  // Seventy Chinese characters fit; seventy-one, or 71 letters, do not.
  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += Gbk("短");
  ui::SetText(tab.duanxin, seventy);
  tab.fasdxClick();
  EXPECT_EQ(FileBytes(box + "acc"), "5");
  EXPECT_TRUE(boxes_->Texts().empty());

  struct Refusal {
    std::string recipients, text, message;
  };
  const Refusal refusals[] = {
      {"", "", "收信人不能为空！"},
      {"", Gbk("你好"), "收信人不能为空！"},
      {"13012312312", "", "收信内容不能为空！"},
      {"13012312312", seventy + Gbk("短"), "收信内容不能太多！"},
      {"13012312312", std::string(71, 'a'), "收信内容不能太多！"},
  };
  for (const Refusal& r : refusals) {
    boxes_->Clear();
    ui::SetText(tab.shoujihao, r.recipients);
    ui::SetText(tab.duanxin, r.text);
    tab.fasdxClick();
    EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{Gbk(r.message.c_str())}) << r.message;
  }
  EXPECT_EQ(FileBytes(box + "acc"), "5");
  EXPECT_EQ(FileBytes(box + "R6"), "");

  // A record the store cannot write is reported in the operator's words.
  std::filesystem::create_directory(box + "R6");
  boxes_->Clear();
  ui::SetText(tab.shoujihao, "13012312312");
  ui::SetText(tab.duanxin, Gbk("你好"));
  tab.fasdxClick();
  EXPECT_EQ(boxes_->Texts(),
            std::vector<std::string>{Gbk("短信没有保存，不会发送：\r\n无法写入文件：") + box +
                                     "R6" + Gbk("\r\n请检查工作目录是否可写，然后重新发送。")});
  EXPECT_EQ(FileBytes(box + "acc"), "5");

  // After all text is gone the counter shows 0 with the counter's nine blanks.
  ui::SetText(tab.duanxin, "");
  EXPECT_EQ(Text(tab.Label10), Gbk("已输入0个字符") + std::string(9, ' '));
  // The memo limits are counted in GBK bytes.
  EXPECT_EQ(tab.duanxin->ByteLimit(), 142u);
  EXPECT_EQ(tab.shoujihao->ByteLimit(), 1023u);
}

TEST_F(ConsoleTest, EnterPressesSendOnlyWhileTheComposeTabShows) {
  TForm1 form(station_);
  form.show();
  ui::SetText(form.TabSheet1->shoujihao, "13012312312");
  ui::SetText(form.TabSheet1->duanxin, "hi");
  QTest::keyClick(form.TabSheet4->Edit2, Qt::Key_Return);  // settings tab showing
  EXPECT_EQ(FileBytes(Today() + "/new/acc"), "");
  form.PageControl1->setCurrentWidget(form.TabSheet1);
  QTest::keyClick(form.TabSheet1->tongxb, Qt::Key_Return);
  EXPECT_EQ(FileBytes(Today() + "/new/acc"), "1");
  QTest::keyClick(form.TabSheet1->duanxin, Qt::Key_Return);  // a memo takes Enter itself
  EXPECT_EQ(FileBytes(Today() + "/new/acc"), "1");
}

// With PARTS the counter shows characters and SMS as the operator types and
// the refusal comes past the station's parts; the settings group saves both
// keys once changed.
TEST_F(ConsoleTest, ComposeCountsPartsAndRefusesATextPastTheStationsParts) {
  dir_->WriteSettings({{"PARTS", "2"}});
  TForm1 form(station_);
  ComposeTab& tab = *form.TabSheet1;
  ui::SetText(tab.shoujihao, "13012312312");
  ui::SetText(tab.duanxin, std::string(200, 'a') + "\r\n{");
  EXPECT_EQ(Text(tab.Label10), Gbk("已输入202个字符，共2条短信"));
  EXPECT_EQ(tab.duanxin->ByteLimit(), 640u);
  tab.fasdxClick();
  EXPECT_TRUE(boxes_->Texts().empty());
  EXPECT_EQ(FileBytes(In(Today() + "/new/acc")), "1");

  std::string chinese;
  for (int i = 0; i < 135; ++i) chinese += Gbk("短");
  ui::SetText(tab.duanxin, chinese);
  EXPECT_EQ(Text(tab.Label10), Gbk("已输入135个字符，共3条短信"));
  tab.fasdxClick();
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{Gbk("收信内容不能太多！")});
  EXPECT_EQ(FileBytes(In(Today() + "/new/acc")), "1");

  MessagesSection* section = nullptr;
  for (QGroupBox* group : form.TabSheet4->findChildren<QGroupBox*>()) {
    if (auto* found = dynamic_cast<MessagesSection*>(group)) section = found;
  }
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(Text(section->PartsEdit), "2");
  ui::SetText(section->ReportEdit, "1");
  form.TabSheet4->Button1Click();
  const std::string saved = FileBytes("server.txt");
  EXPECT_EQ(saved.rfind("[SET]\r\nPARTS=2\r\nCOM=", 0), 0u) << saved;
  EXPECT_TRUE(saved.ends_with("\r\nREPORT=1\r\n")) << saved;
}

TEST_F(ConsoleTest, SettingsAreSavedInOrderAndReloadedByAClickOnThePortEdit) {
  TForm1 form(station_);
  form.show();
  SettingsTab& tab = *form.TabSheet4;
  ui::SetText(tab.Edit1, "./modem");
  ui::SetText(tab.Edit2, "9600");
  ui::SetText(tab.Edit3, "8613800000000");
  tab.Button1Click();
  EXPECT_EQ(FileBytes("server.txt"), "[SET]\r\nCOM=./modem\r\nRATE=9600\r\nSMSCODE=8613800000000\r\n");
  EXPECT_TRUE(boxes_->Texts().empty());

  ui::SetText(tab.Edit2, "4800");
  ui::SetText(tab.Edit3, "1");
  QTest::mouseClick(tab.Edit1, Qt::LeftButton);
  EXPECT_EQ(Text(tab.Edit2), "9600");
  EXPECT_EQ(Text(tab.Edit3), "8613800000000");
  ui::SetText(tab.Edit1, "COM9");
  QTest::mouseClick(tab.Label18, Qt::LeftButton);
  EXPECT_EQ(Text(tab.Edit1), "./modem");

  // The pace is written once chosen, and shown as saved.
  tab.PaceBox->setCurrentIndex(1);
  tab.Button1Click();
  EXPECT_EQ(FileBytes("server.txt"),
            "[SET]\r\nCOM=./modem\r\nRATE=9600\r\nSMSCODE=8613800000000\r\nPACE=prompt\r\n");
  tab.PaceBox->setCurrentIndex(0);
  QTest::mouseClick(tab.Edit1, Qt::LeftButton);
  EXPECT_EQ(tab.PaceBox->currentIndex(), 1);
}

// A stand-in companion that notes each start in a file of its own name.
void WriteCompanion(const std::string& path, const std::string& note) {
  const std::string script = "#!/bin/sh\necho \"$@\" >> " + note + "\n";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(script.c_str(), f);
  std::fclose(f);
  ::chmod(path.c_str(), 0755);
}

int Lines(const std::string& path) { return CountOf(console::FileBytes(path), "\n"); }

TEST_F(ConsoleTest, EachPressStartsOneMoreCompanionAndNothingIsWaitedFor) {
  TForm1 form(station_);
  // Without ./Quillon.exe the installed one is tried; none is here, and
  // that is not reported.
  form.Button7Click();
  // The buttons look for ./Quillon.exe in the working directory, which the
  // test leaves alone: the same choice is made on stand-ins in the station.
  const std::string quillon = In("Quillon.exe"), merlon = In("Merlon.exe");
  const std::string quillon_starts = In("quillon.starts"), merlon_starts = In("merlon.starts");
  WriteCompanion(quillon, quillon_starts);
  WriteCompanion(merlon, merlon_starts);
  form.StartCompanion(quillon.c_str(), "Quillon");
  form.StartCompanion(quillon.c_str(), "Quillon");
  form.StartCompanion(merlon.c_str(), "Merlon");
  EXPECT_TRUE(WaitUntil([&] { return Lines(quillon_starts) == 2 && Lines(merlon_starts) == 1; }));
  EXPECT_EQ(FileBytes("quillon.starts"), "\n\n");  // no arguments

  // The help page goes to the desktop's browser opener.
  const std::string bin = dir_->root() + "/bin";
  ::mkdir(bin.c_str(), 0755);
  WriteCompanion(bin + "/xdg-open", dir_->station() + "/browser.starts");
  const std::string old_path = std::getenv("PATH");
  setenv("PATH", (bin + ":" + old_path).c_str(), 1);
  form.Button8Click();
  setenv("PATH", old_path.c_str(), 1);
  EXPECT_TRUE(WaitUntil([&] { return Lines(In("browser.starts")) == 1; }));
  EXPECT_EQ(FileBytes("browser.starts").rfind("http", 0), 0u);
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(ConsoleTest, DoubleClickOnTheWindowSurfaceIsTheStopRequest) {
  TForm1 form(station_);
  form.show();
  const std::string stopped = Gbk("Tavrelsms客户管理系统  ：   收发进程已经停止！");
  QTest::mouseDClick(form.TabSheet1, Qt::LeftButton);  // inside a page: not the surface
  EXPECT_EQ(Text(&form), Gbk("Tavrelsms客户管理系统--企业服务器2.21版"));
  QTest::mouseDClick(&form, Qt::LeftButton, {}, QPoint(753, 478));
  EXPECT_EQ(Text(&form), stopped);
  EXPECT_EQ(Text(form.TabSheet8->Memo7), Gbk("-------------收发进程已经停止！"));
}

std::string Sent(const std::string& traffic_log) {
  std::string in;
  for (const auto& t : ReadTraffic(traffic_log))
    if (t.in) in += t.data;
  return in;
}

TEST_F(ConsoleTest, StartAndStopDriveTheEngineAndTheMonitorBox) {
  auto modem = system_test::StartModemsim(*dir_, {"--traffic-log", dir_->root() + "/traffic.log"});
  ASSERT_TRUE(modem);
  dir_->WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  TForm1 form(station_);
  ui::Memo* memo = form.TabSheet8->Memo7;
  const std::string log = dir_->root() + "/traffic.log";

  form.BitBtn3Click();
  EXPECT_EQ(Text(&form), Gbk("Tavrelsms客户管理系统  ：   收发进程已启动"));
  EXPECT_EQ(Text(memo), Gbk("-------------收发进程已经启动！"));
  // Then the engine's own start-up text, and its cycles on the modem.
  EXPECT_TRUE(WaitUntil([&] { return Text(memo).find(Gbk("系统已准备好")) != std::string::npos; }));
  EXPECT_TRUE(WaitUntil([&] { return CountOf(Sent(log), "at+cmgl=4") >= 2; }));

  // With the engine holding the port the device test fails at once.
  form.TabSheet4->Button2Click();
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{Gbk("!!! 设置错误!")});
  EXPECT_EQ(Text(form.TabSheet4->Button2), Gbk("设备测试并保存设备参数"));

  // A second window on the station cannot start a second engine; the
  // first one's trace goes on where it was.
  boxes_->Clear();
  const std::string trace = FileBytes("sms.log");
  {
    TForm1 second(station_);
    second.BitBtn3Click();
    EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{
                                   Gbk("本站已有收发进程在运行（进程号 ") + std::to_string(getpid()) +
                                   Gbk("），同一个站点文件夹只能有一个收发进程。")});
    EXPECT_EQ(Text(&second), Gbk("Tavrelsms客户管理系统--企业服务器2.21版"));
  }
  EXPECT_EQ(FileBytes("sms.log").rfind(trace, 0), 0u);

  form.ddd();
  EXPECT_EQ(Text(&form), Gbk("Tavrelsms客户管理系统  ：   收发进程已经停止！"));
  EXPECT_EQ(Text(memo).rfind(Gbk("-------------收发进程已经停止！"), 0), 0u);
  ASSERT_TRUE(form.Engine().WaitSuspended(std::chrono::seconds(20)));
  // Paused: a few idle cycles' worth of time passes without modem traffic.
  const std::size_t before = Sent(log).size();
  WaitUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(Sent(log).size(), before);

  // A second stop and then one start: running again where it paused.
  form.ddd();
  form.BitBtn3Click();
  EXPECT_TRUE(WaitUntil([&] { return Sent(log).size() > before; }));
  EXPECT_FALSE(form.Engine().Ended());
}

TEST_F(ConsoleTest, EngineReportsReachTheMonitorBoxInOrderAndTheBoxIsResetWhenFull) {
  TForm1 form(station_);
  ui::Memo* memo = form.TabSheet8->Memo7;
  WindowMonitor monitor(memo, &form);
  std::thread engine([&] {
    monitor.ReplaceText("start\r\n");
    for (int i = 0; i < 100; ++i) monitor.PrependText(std::to_string(i) + "\r\n");
    monitor.SetCaption("caption");
  });
  engine.join();
  ui::ProcessPostedUpdates();
  EXPECT_EQ(Text(memo).substr(0, 10), "99\r\n98\r\n97");
  EXPECT_EQ(Text(memo).substr(Text(memo).size() - 10), "0\r\nstart\r\n");
  EXPECT_EQ(Text(&form), "caption");

  // Past the limit the box starts again from one empty line.
  monitor.PrependText("new\r\n", 50);
  ui::ProcessPostedUpdates();
  EXPECT_EQ(Text(memo), "new\r\n\r\n");
  monitor.PrependText("more\r\n", 50);
  ui::ProcessPostedUpdates();
  EXPECT_EQ(Text(memo), "more\r\nnew\r\n\r\n");

  // A send to thousands of numbers never clears the box: it keeps the
  // newest lines and lets the oldest go.
  for (int i = 0; i < 6000; ++i) monitor.PrependText(std::to_string(i) + "\r\n");
  ui::ProcessPostedUpdates();
  EXPECT_EQ(memo->blockCount(), 5000);
  EXPECT_EQ(Text(memo).substr(0, 12), "5999\r\n5998\r\n");
}

}  // namespace
}  // namespace tavrel::console
