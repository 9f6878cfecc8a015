// The customer page and the address book offscreen: customers added,
// listed, searched, changed and removed, and names picked into the
// recipients box.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

#include "console/address_book.h"
#include "console/compose_tab.h"
#include "console/customer_tab.h"
#include "platform/codepage.h"
#include "tests/console/console_fixture.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"

namespace tavrel::console {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class CustomerPageTest : public FormTest {
 protected:
  CustomerTab& Page() { return *form_->TabSheet7; }

  void Type(std::string_view name, std::string_view number, std::string_view information) {
    ui::SetText(Page().Edit5, name);
    ui::SetText(Page().Edit6, number);
    Page().Memo13->SetText(information);
  }

  void Add(std::string_view name, std::string_view number, std::string_view information) {
    Type(name, number, information);
    Page().add_kehu_button->click();
  }

  // Double-clicks the list and waits until the load has ended.
  void Reload() {
    const int before = Page().LoadsFinished();
    Page().ListView5DblClick();
    ASSERT_TRUE(WaitUntil([&] { return Page().LoadsFinished() > before; }));
  }

  Rows Listed() {
    Rows rows;
    for (int i = 0; i < Page().ListView5->Count(); ++i)
      rows.push_back(Page().ListView5->Item(i).sub_items);
    return rows;
  }

};

const std::string kZhang = Gbk("张三");
const std::string kTwoLines = Gbk("老客户") + "\r\n" + Gbk("每月订购");

TEST_F(CustomerPageTest, AddListAddAgainAndModify) {
  Add(kZhang, "13012312312", kTwoLines);
  Reload();
  EXPECT_EQ(Listed(), (Rows{{"1", kZhang, "13012312312", kTwoLines}}));
  EXPECT_EQ(FileBytes("cust/" + kZhang), Gbk("老客户") + "\r\r\n" + Gbk("每月订购"));

  const std::string catalogue = FileBytes("cust/cust");
  Add(kZhang, "13900000000", "other");
  EXPECT_EQ(FileBytes("cust/cust"), catalogue);
  EXPECT_EQ(FileBytes("cust/" + kZhang), Gbk("老客户") + "\r\r\n" + Gbk("每月订购"));

  Type(kZhang, "13900000000", "changed");
  Page().change_kehu_BitBtn2->click();
  Reload();
  EXPECT_EQ(Listed(), (Rows{{"1", kZhang, "13900000000", "changed"}}));
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(CustomerPageTest, ShortNameOrNumberStoresNothingAndSaysNothing) {
  Add("a", "13012312312", "info");
  Add(kZhang, "1", "info");
  Type("b", "13012312312", "info");
  Page().change_kehu_BitBtn2->click();
  EXPECT_EQ(FileBytes("cust/cust"), "[cust]\r\n000000=222222\r\n");
  EXPECT_FALSE(system_test::Exists("cust/" + kZhang));
  EXPECT_FALSE(system_test::Exists("cust/a"));
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(CustomerPageTest, SearchDeleteAndSearchAgain) {
  Add(kZhang, "13012312312", kTwoLines);

  Type(kZhang, "", "");
  Page().ChaXun_BitBtn1->click();
  EXPECT_EQ(ui::GetText(Page().Edit6), "13012312312");
  EXPECT_EQ(Page().Memo13->Text(), kTwoLines);

  Type(Gbk("李四"), "kept", "");
  Page().ChaXun_BitBtn1->click();
  EXPECT_EQ(Page().Memo13->Text(), Gbk("无此客户!"));
  EXPECT_EQ(ui::GetText(Page().Edit6), "kept");
  Type("", "kept", "");
  Page().ChaXun_BitBtn1->click();
  EXPECT_EQ(Page().Memo13->Text(), Gbk("无此客户"));

  // Known, but its information file is gone.
  std::rename(In("cust/" + kZhang).c_str(), In("cust/aside").c_str());
  Type(kZhang, "kept", "");
  Page().ChaXun_BitBtn1->click();
  EXPECT_EQ(Page().Memo13->Text(), Gbk("无此客户"));
  EXPECT_EQ(ui::GetText(Page().Edit6), "kept");
  std::rename(In("cust/aside").c_str(), In("cust/" + kZhang).c_str());

  Type(kZhang, "", "");
  Page().del_keHU_BitBtn4->click();
  EXPECT_FALSE(system_test::Exists("cust/" + kZhang));
  Page().ChaXun_BitBtn1->click();
  EXPECT_EQ(Page().Memo13->Text(), Gbk("无此客户!"));
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(CustomerPageTest, SelectingARowFillsTheFieldsOrNamesTheMissingFile) {
  Add("Wang", "13800000001", "first");
  Add(kZhang, "13012312312", kTwoLines);
  Reload();
  ASSERT_EQ(Page().ListView5->Count(), 2);

  Page().ListView5->Select(1);
  EXPECT_EQ(ui::GetText(Page().Edit5), kZhang);
  EXPECT_EQ(ui::GetText(Page().Edit6), "13012312312");
  // Each stored line break shows as one, so modifying the selected customer
  // leaves its information file as it was.
  EXPECT_EQ(Page().Memo13->Text(), kTwoLines);
  const std::string stored = FileBytes("cust/" + kZhang);
  Page().change_kehu_BitBtn2->click();
  EXPECT_EQ(FileBytes("cust/" + kZhang), stored);

  std::remove(In("cust/Wang").c_str());
  Page().ListView5->Select(0);
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{"./cust/Wang"});
  EXPECT_EQ(ui::GetText(Page().Edit5), "Wang");
  EXPECT_EQ(ui::GetText(Page().Edit6), "13800000001");
  EXPECT_EQ(Page().Memo13->Text(), "");
}

TEST_F(CustomerPageTest, ListingStopsAtACustomerWithoutInformationFile) {
  Add(Gbk("李四"), "13800000001", "one");
  Add(kZhang, "13012312312", "two");
  Add(Gbk("王五"), "13800000003", "three");
  std::remove(In("cust/" + kZhang).c_str());

  // Each box is up while the load waits for it; the rows before are shown.
  std::vector<int> rows_at_box;
  boxes_->OnShow([&](const std::string&) { rows_at_box.push_back(Page().ListView5->Count()); });
  Reload();
  EXPECT_EQ(Listed(), (Rows{{"1", Gbk("李四"), "13800000001", "one"}}));
  EXPECT_EQ(boxes_->Texts(), (std::vector<std::string>{kZhang, "4"}));
  EXPECT_EQ(rows_at_box, (std::vector<int>{1, 1}));

  std::remove(In("cust/cust").c_str());
  boxes_->Clear();
  Reload();
  EXPECT_EQ(Page().ListView5->Count(), 0);
  EXPECT_TRUE(boxes_->Texts().empty());
}

class AddressBookTest : public CustomerPageTest {
 protected:
  AddressBook& Book() { return *form_->TabSheet1->findChild<AddressBook*>(); }
  ui::ReportView* List() { return form_->TabSheet1->ListView7; }
  ui::Memo* Recipients() { return form_->TabSheet1->shoujihao; }

  void Load() {
    const int before = Book().LoadsFinished();
    form_->TabSheet1->tongxb->click();
    ASSERT_TRUE(WaitUntil([&] { return Book().LoadsFinished() > before; }));
  }
};

TEST_F(AddressBookTest, PickedNamesAreAppendedUntilTheBoxIsFull) {
  ASSERT_NE(form_->TabSheet1->findChild<AddressBook*>(), nullptr);
  Add(kZhang, "13012312312", "");
  Add(Gbk("李四"), "13800000001", "");
  Load();
  ASSERT_EQ(List()->Count(), 2);
  EXPECT_EQ(List()->Caption(0), kZhang);
  EXPECT_EQ(List()->Caption(1), Gbk("李四"));

  Recipients()->SetText("13800000000;");
  List()->Select(0);
  EXPECT_EQ(Recipients()->Text(), "13800000000;" + kZhang + ";");
  // A row added to the selection appends its name; nothing is deduplicated.
  List()->selectionModel()->select(List()->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(Recipients()->Text(), "13800000000;" + kZhang + ";" + Gbk("李四") + ";");
  List()->clearSelection();
  List()->Select(0);
  EXPECT_EQ(Recipients()->Text(),
            "13800000000;" + kZhang + ";" + Gbk("李四") + ";" + kZhang + ";");

  // 1010 bytes still take one more name; 1011 take none.
  Recipients()->SetText(std::string(1010, '1'));
  List()->clearSelection();
  List()->Select(0);
  EXPECT_EQ(Recipients()->Text(), std::string(1010, '1') + kZhang + ";");
  Recipients()->SetText(std::string(1011, '1'));
  List()->clearSelection();
  List()->Select(0);
  EXPECT_EQ(Recipients()->Text(), std::string(1011, '1'));

  // An unreadable catalogue keeps the names shown; a readable one replaces them.
  std::rename(In("cust/cust").c_str(), In("cust/aside").c_str());
  Load();
  EXPECT_EQ(List()->Count(), 2);
  std::rename(In("cust/aside").c_str(), In("cust/cust").c_str());
  Type(kZhang, "", "");
  Page().del_keHU_BitBtn4->click();
  Load();
  ASSERT_EQ(List()->Count(), 1);
  EXPECT_EQ(List()->Caption(0), Gbk("李四"));
  EXPECT_TRUE(boxes_->Texts().empty());
}

}  // namespace
}  // namespace tavrel::console
