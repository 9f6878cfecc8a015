// Customer protection on the console: the settings group's keys saved and
// reloaded through the settings tab, and the opted-out numbers on the
// customer page with their removal.
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "console/customer_tab.h"
#include "console/optout_panel.h"
#include "console/settings_protection_section.h"
#include "console/settings_tab.h"
#include "platform/codepage.h"
#include "store/optout.h"
#include "tests/console/console_fixture.h"
#include "ui/gbk_text.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

ProtectionSection* SectionOf(SettingsTab& tab) {
  for (QGroupBox* box : tab.findChildren<QGroupBox*>()) {
    if (auto* section = dynamic_cast<ProtectionSection*>(box)) return section;
  }
  return nullptr;
}

TEST_F(FormTest, ProtectionKeysRoundTripThroughTheSettingsTab) {
  SettingsTab& tab = *form_->TabSheet4;
  ProtectionSection* section = SectionOf(tab);
  ASSERT_NE(section, nullptr);
  // Untouched, the group writes nothing: an absent key keeps its meaning.
  tab.Button1Click();
  EXPECT_EQ(FileBytes("server.txt"), "[SET]\r\nCOM=COM1\r\nRATE=19200\r\nSMSCODE=88888888\r\n");

  const std::string words = Gbk("TD,退订");
  ui::SetText(section->OptOutEdit, words);
  ui::SetText(section->OptOutReplyEdit, Gbk("已退订"));
  ui::SetText(section->OptInEdit, Gbk("订阅"));
  ui::SetText(section->OwnEdit, "13800000000");
  ui::SetText(section->ReplyCapEdit, "3");
  ui::SetText(section->QuietEdit, "21:00-08:00");
  ui::SetText(section->HourCapEdit, "10");
  ui::SetText(section->DayCapEdit, "200");
  tab.Button1Click();
  EXPECT_EQ(FileBytes("server.txt"),
            "[SET]\r\nCOM=COM1\r\nRATE=19200\r\nSMSCODE=88888888\r\nOPTOUT=" + words +
                "\r\nOPTOUTREPLY=" + Gbk("已退订") + "\r\nOPTIN=" + Gbk("订阅") +
                "\r\nOWN=13800000000\r\nREPLYCAP=3\r\nQUIET=21:00-08:00\r\nHOURCAP=10\r\n"
                "DAYCAP=200\r\n");

  // Emptied, a key is removed again; a reload shows what the file holds.
  ui::SetText(section->QuietEdit, "");
  tab.Button1Click();
  ui::SetText(section->HourCapEdit, "99");
  QTest::mouseClick(tab.Edit1, Qt::LeftButton);
  EXPECT_EQ(ui::GetText(section->QuietEdit), "");
  EXPECT_EQ(ui::GetText(section->HourCapEdit), "10");
  EXPECT_EQ(ui::GetText(section->OptOutEdit), words);
  EXPECT_EQ(FileBytes("server.txt").find("QUIET"), std::string::npos);
}

TEST_F(ConsoleTest, TheCustomerPageListsOptedOutNumbersAndRemovesOne) {
  ASSERT_TRUE(AddOptOut(station_, "13012312312", "2026-12-7 09:05:03"));
  ASSERT_TRUE(AddOptOut(station_, "13800000000", "2026-12-7 22:10:00"));
  CustomerTab page(station_);
  ui::ReportView& list = *page.OptOuts->OptOutList;
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.SubItem(0, 0), "13012312312");
  EXPECT_EQ(list.SubItem(0, 1), "2026-12-7 09:05:03");

  page.OptOuts->RemoveButton->click();  // nothing selected: nothing removed
  EXPECT_EQ(list.Count(), 2);
  list.Select(0);
  page.OptOuts->RemoveButton->click();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.SubItem(0, 0), "13800000000");
  EXPECT_FALSE(IsOptedOut(station_, "13012312312"));
}

}  // namespace
}  // namespace tavrel::console
