// The information-code page offscreen: adding, listing, changing, searching
// and removing codes as the operator does it, with the boxes it shows.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

#include "console/info_code_tab.h"
#include "platform/codepage.h"
#include "tests/console/console_fixture.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class InfoCodePageTest : public FormTest {
 protected:
  InfoCodeTab& Page() { return *form_->TabSheet5; }

  void Type(std::string_view code, std::string_view text) {
    ui::SetText(Page().Edit7, code);
    Page().Memo8->SetText(text);
  }

  // Double-clicks the list and waits until the load has shown its rows.
  void Reload() {
    const int before = Page().LoadsFinished();
    Page().ListView1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return Page().LoadsFinished() > before; }));
  }

  Rows Listed() {
    Rows rows;
    ui::ReportView* list = Page().ListView1;
    for (int i = 0; i < list->Count(); ++i) {
      EXPECT_EQ(list->Caption(i), "");
      rows.push_back(list->Item(i).sub_items);
    }
    return rows;
  }

};

TEST_F(InfoCodePageTest, AddListsAddAgainChangesNothingModifyStores) {
  Type("1234", Gbk("营业时间：九点到五点"));
  Page().add_dianbo->click();
  Reload();
  EXPECT_EQ(Listed(), (Rows{{"1", "1234", Gbk("营业时间：九点到五点")}}));
  EXPECT_EQ(FileBytes("query/acc"), "1");

  const std::string stored = FileBytes("query/query");
  Type("1234", Gbk("另一个内容"));
  Page().add_dianbo->click();
  EXPECT_EQ(FileBytes("query/query"), stored);
  EXPECT_EQ(FileBytes("query/acc"), "1");

  // A text typed on two lines is stored on one, blanks for the line break.
  Type("1234", Gbk("新的\r\n内容"));
  Page().change_diaobo->click();
  Type("5678", "second");
  Page().add_dianbo->click();
  Reload();
  EXPECT_EQ(Listed(), (Rows{{"1", "1234", Gbk("新的  内容")}, {"2", "5678", "second"}}));
  EXPECT_TRUE(boxes_->Texts().empty());

  // The list is a snapshot: a new code shows only after the next load.
  Type("9", "x");
  Page().add_dianbo->click();
  EXPECT_EQ(Page().ListView1->Count(), 2);
}

TEST_F(InfoCodePageTest, TooLongTextIsRefusedWithEachButtonsOwnMessage) {
  Type("1234", Gbk("短"));
  Page().add_dianbo->click();
  const std::string stored = FileBytes("query/query");

  std::string text;
  for (int i = 0; i < 65; ++i) text += Gbk("字");
  Type("1234", text);
  Page().change_diaobo->click();
  Type("4321", text);
  Page().add_dianbo->click();
  EXPECT_EQ(boxes_->Texts(), (std::vector<std::string>{Gbk("收信内容不能太多!!"),
                                                       Gbk("收信内容不能太多！")}));
  EXPECT_EQ(FileBytes("query/query"), stored);
  EXPECT_EQ(FileBytes("query/acc"), "1");

  // One character less fits.
  text.resize(text.size() - 2);
  Type("1234", text);
  Page().change_diaobo->click();
  EXPECT_EQ(boxes_->Texts().size(), 2u);
  EXPECT_NE(FileBytes("query/query").find("1234=" + text + "\r\n"), std::string::npos);
}

TEST_F(InfoCodePageTest, SearchShowsTextOrWhyNot) {
  Type("1234", Gbk("你好"));
  Page().add_dianbo->click();

  Type("", "typed");
  Page().ChaXun_DianBoBitBtn1->click();
  EXPECT_EQ(Page().Memo8->Text(), Gbk("无此信息"));
  Type("7", "typed");
  Page().ChaXun_DianBoBitBtn1->click();
  EXPECT_EQ(Page().Memo8->Text(), Gbk("无此信息"));
  Type("9999", "typed");
  Page().ChaXun_DianBoBitBtn1->click();
  EXPECT_EQ(Page().Memo8->Text(), Gbk("无此信息!"));
  Type("1234", "typed");
  Page().ChaXun_DianBoBitBtn1->click();
  EXPECT_EQ(Page().Memo8->Text(), Gbk("你好"));

  // The empty search wrote nothing but the placeholder entry.
  EXPECT_EQ(FileBytes("query/query"), "[query]\r\n000000=222222\r\n1234=" + Gbk("你好") + "\r\n");
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(InfoCodePageTest, SelectingARowFillsCodeAndTextFromTheRow) {
  Type("1111", "first");
  Page().add_dianbo->click();
  Type("2222", Gbk("第二条"));
  Page().add_dianbo->click();
  Reload();
  ASSERT_EQ(Page().ListView1->Count(), 2);

  Type("typed", "typed");
  Page().ListView1->Select(1);
  EXPECT_EQ(ui::GetText(Page().Edit7), "2222");
  EXPECT_EQ(Page().Memo8->Text(), Gbk("第二条"));
  Page().ListView1->Select(0);
  EXPECT_EQ(ui::GetText(Page().Edit7), "1111");
  EXPECT_EQ(Page().Memo8->Text(), "first");

  // Deselection leaves the fields alone.
  Type("kept", "kept");
  Page().ListView1->clearSelection();
  EXPECT_EQ(ui::GetText(Page().Edit7), "kept");

  // The pointer resting on a row selects it.
  form_->PageControl1->setCurrentWidget(&Page());
  form_->show();
  ui::ReportView* list = Page().ListView1;
  const QRect second = list->visualRect(list->model()->index(1, 2));
  // From outside the list, wherever an earlier test left the pointer.
  QTest::mouseMove(Page().Label23, QPoint(2, 2));
  QTest::mouseMove(list->viewport(), second.center());
  EXPECT_TRUE(WaitUntil([&] { return list->IsSelected(1); }));
  EXPECT_EQ(ui::GetText(Page().Edit7), "2222");
}

TEST_F(InfoCodePageTest, TwoLoadsAtOnceDoNotMixTheirRows) {
  for (const char* code : {"1001", "1002", "1003"}) {
    Type(code, "text");
    Page().add_dianbo->click();
  }
  Page().ListView1DblClick();
  Page().ListView1DblClick();
  ASSERT_TRUE(WaitUntil([&] { return Page().LoadsFinished() == 2; }));
  EXPECT_EQ(Listed().size(), 3u);

  // A missing catalogue lists nothing.
  std::remove(In("query/query").c_str());
  Reload();
  EXPECT_EQ(Page().ListView1->Count(), 0);
}

TEST_F(InfoCodePageTest, OnlyPressingDeleteRemovesTheCode) {
  Type("1234", "text");
  Page().add_dianbo->click();
  form_->PageControl1->setCurrentWidget(&Page());
  form_->show();
  QApplication::setActiveWindow(form_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));

  // Focus order: list, text, add, modify, delete, code, search.
  InfoCodeTab& page = Page();
  const std::vector<QWidget*> order = {page.ListView1,   page.Memo8, page.add_dianbo,
                                       page.change_diaobo, page.del_dianbao, page.Edit7,
                                       page.ChaXun_DianBoBitBtn1};
  order[0]->setFocus(Qt::OtherFocusReason);
  for (std::size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
  }
  EXPECT_NE(FileBytes("query/query").find("1234=text"), std::string::npos);
  EXPECT_EQ(FileBytes("query/acc"), "1");

  // Pressed with the space bar while it has the focus, then with the mouse.
  page.del_dianbao->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(page.del_dianbao, Qt::Key_Space);
  EXPECT_EQ(FileBytes("query/query").find("1234="), std::string::npos);
  EXPECT_EQ(FileBytes("query/acc"), "0");
  Type("1234", "text");
  page.add_dianbo->click();
  QTest::mouseClick(page.del_dianbao, Qt::LeftButton);
  EXPECT_EQ(FileBytes("query/query").find("1234="), std::string::npos);
  EXPECT_TRUE(boxes_->Texts().empty());
}

}  // namespace
}  // namespace tavrel::console
