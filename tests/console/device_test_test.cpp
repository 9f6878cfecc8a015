// The device test of the settings tab against a modem on a pseudo-terminal.
#include <QLineEdit>
#include <QPushButton>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "console/settings_modems_section.h"
#include "console/settings_tab.h"
#include "platform/codepage.h"
#include "tests/console/console_fixture.h"
#include "ui/gbk_text.h"

namespace tavrel::console {
namespace {

const std::string kIdleCaption = "设备测试并保存设备参数";

std::string SentToModem(const std::string& traffic_log) {
  std::string in;
  for (const auto& t : system_test::ReadTraffic(traffic_log))
    if (t.in) in += t.data;
  return in;
}

TEST_F(ConsoleTest, DeviceTestStoresTheCentreNumberAndSwitchesToPduMode) {
  const std::string log = dir_->root() + "/traffic.log";
  auto modem = system_test::StartModemsim(*dir_, {"--traffic-log", log});
  ASSERT_TRUE(modem);
  dir_->WriteSettings({{"COM", "./modem"}, {"RATE", "19200"}, {"SMSCODE", "8613800000000"}});
  TForm1 form(station_);
  form.show();
  // The test reads what was saved, not what the edits show.
  ui::SetText(form.TabSheet4->Edit1, "./elsewhere");
  ui::SetText(form.TabSheet4->Edit3, "999");

  std::string caption_at_box;
  boxes_->OnShow([&](const std::string&) { caption_at_box = ui::GetText(form.TabSheet4->Button2); });
  form.TabSheet4->Button2Click();

  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{Gbk("设备正常，设备参数保存正确，可以正常工作!")});
  EXPECT_EQ(caption_at_box, Gbk("编码方式设置过程中...."));
  EXPECT_EQ(ui::GetText(form.TabSheet4->Button2), Gbk(kIdleCaption.c_str()));
  EXPECT_EQ(SentToModem(log), "AT+CSCA=8613800000000\r\nAT+CMGF=0\r\n");
  EXPECT_EQ(FileBytes("server.txt"),
            "[SET]\r\nCOM=./modem\r\nRATE=19200\r\nSMSCODE=8613800000000\r\n");

  // The port was closed: the test runs again, and the engine could open it.
  boxes_->Clear();
  form.TabSheet4->Button2Click();
  EXPECT_EQ(boxes_->Texts().size(), 1u);
  EXPECT_EQ(boxes_->Texts()[0], Gbk("设备正常，设备参数保存正确，可以正常工作!"));
}

// A modem that answers every command line with ERROR.
class ErrorModem {
 public:
  explicit ErrorModem(const std::string& link) {
    int slave = -1;
    char name[256];
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    slave_ = slave;  // kept open so that the device stays up between opens
    link_ = link;
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) return;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ErrorModem() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(master_);
    ::close(slave_);
    ::unlink(link_.c_str());
  }
  std::string Heard() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      char buffer[256];
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      for (ssize_t i = 0; i < n; ++i) {
        heard_ += buffer[i];
        if (buffer[i] == '\r' && ::write(master_, "\r\nERROR\r\n", 9) != 9) return;
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string link_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::string heard_;
  std::thread thread_;
};

TEST_F(ConsoleTest, DeviceTestFailuresGiveTheirBoxesAndAlwaysRestoreTheCaption) {
  TForm1 form(station_);
  SettingsTab& tab = *form.TabSheet4;
  const std::string failure = Gbk("!!! 数据线没有准备好，或COM口忙,或设置错误!");
  const std::string open_failure = Gbk("!!! 设置错误!");

  // A modem that says ERROR to the mode command. (COM is read into a
  // 10-byte field here, so the name stays short.)
  {
    ErrorModem modem(dir_->station() + "/errm");
    dir_->WriteSettings({{"COM", "./errm"}});  // no centre number saved: the test's default
    tab.Button2Click();
    EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{failure});
    EXPECT_EQ(modem.Heard(), "AT+CSCA=0000000000\r\nAT+CMGF=0\r\n");
  }
  // No such device: the open fails and nothing else happens.
  boxes_->Clear();
  dir_->WriteSettings({{"COM", "./nothing"}});
  tab.Button2Click();
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{open_failure});

  // A speed without digits is refused before anything is sent.
  boxes_->Clear();
  {
    ErrorModem modem(dir_->station() + "/errm");
    dir_->WriteSettings({{"COM", "./errm"}, {"RATE", "fast"}});
    tab.Button2Click();
    EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{failure});
    EXPECT_EQ(modem.Heard(), "");
  }
  EXPECT_EQ(ui::GetText(tab.Button2), Gbk(kIdleCaption.c_str()));
}

// A pool: the test runs on every modem and one box names each outcome; the
// settings section lists, adds, removes and saves the numbered modems.
TEST_F(ConsoleTest, DeviceTestOfAPoolNamesEachModemAndTheSectionKeepsTheList) {
  auto modem = system_test::StartModemsim(*dir_);
  ASSERT_TRUE(modem);
  ErrorModem refusing(dir_->station() + "/errm");
  dir_->WriteSettings({{"COM", "./modem"}, {"COM3", "./errm"}, {"COM5", "./nothing"}});
  TForm1 form(station_);
  form.TabSheet4->Button2Click();
  EXPECT_EQ(boxes_->Texts(),
            std::vector<std::string>{"COM (./modem): " + Gbk("设备正常，设备参数保存正确，可以正常工作!") +
                                     "\r\nCOM3 (./errm): " +
                                     Gbk("!!! 数据线没有准备好，或COM口忙,或设置错误!") +
                                     "\r\nCOM5 (./nothing): " + Gbk("!!! 设置错误!") + "\r\n"});

  ModemsSection section(station_, nullptr);
  section.Load(station_);
  ASSERT_EQ(section.rows().size(), 2u);
  EXPECT_EQ(section.rows()[0].n, 3);
  section.RemoveModem(5);
  ASSERT_TRUE(section.AddModem());  // the first free number
  ui::SetText(section.rows()[0].com, "./m2");
  ui::SetText(section.rows()[0].rate, "9600");
  section.Save(station_);
  EXPECT_EQ(FileBytes("server.txt"),
            "[SET]\r\nCOM=./modem\r\nCOM3=./errm\r\nCOM2=./m2\r\nRATE2=9600\r\n");
}

}  // namespace
}  // namespace tavrel::console
