// The pending, sent and received pages of the main window, offscreen, on
// store fixtures in a temporary working directory.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>

#include "console/list_loader.h"
#include "console/page_worker.h"
#include "console/unsent_dialog.h"
#include "platform/station.h"
#include "platform/textfile.h"
#include "store/journal.h"
#include "console/pending_tab.h"
#include "console/received_tab.h"
#include "console/sent_tab.h"
#include "platform/codepage.h"
#include "store/record_store.h"
#include "tests/console/views_fixture.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace tavrel::console {
namespace {

using Numbers_ = std::vector<long>;

std::vector<RowValues> Rows(const ui::ReportView* list) {
  std::vector<RowValues> rows;
  for (int i = 0; i < list->Count(); ++i) {
    EXPECT_EQ(list->Caption(i), "");
    rows.push_back(list->Item(i).sub_items);
  }
  return rows;
}

void Settle(ListLoader& loader) {
  loader.WaitForLoads();
  ui::ProcessPostedUpdates();
}

std::string Heading(const ui::ReportView* list, int column) {
  return ui::ToGbk(list->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
}

void Unlink(const std::string& path) { ASSERT_EQ(::unlink(path.c_str()), 0) << path; }

class ViewsWindowTest : public FormTest {
 protected:
  void LoadPending() {
    form_->TabSheet2->ListView2DblClick();
    Settle(form_->TabSheet2->Loader());
  }
  void LoadSent() {
    form_->TabSheet3->ListView3DblClick();
    Settle(form_->TabSheet3->Loader());
  }
  void LoadReceived() {
    form_->TabSheet6->ListView4DblClick();
    Settle(form_->TabSheet6->Loader());
  }

  const std::string today_ = Today();
  const std::string outbox_ = MailboxDir(station_, Today(), kNewBox);
};

TEST_F(ViewsWindowTest, TheSendCounterSplitsTodaysOutboxBetweenPendingAndSent) {
  PendingTab& pending = *form_->TabSheet2;
  SentTab& sent = *form_->TabSheet3;
  EXPECT_EQ(Heading(pending.ListView2, 2), Gbk("序号"));
  EXPECT_EQ(Heading(sent.ListView3, 5), Gbk("发送时间"));
  EXPECT_EQ(Heading(form_->TabSheet6->ListView4, 1), Gbk("信息内容"));
  EXPECT_EQ(pending.ListView2->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(sent.ListView3->selectionMode(), QAbstractItemView::SingleSelection);

  PutRecords(station_, today_, kNewBox, 5);
  PutCounter(station_, today_, kNewBox, "5");
  PutCounter(station_, today_, kSendBox, "3");

  // A real double click on the list starts the load.
  QTest::mouseDClick(pending.ListView2->viewport(), Qt::LeftButton);
  Settle(pending.Loader());
  const auto rows = Rows(pending.ListView2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (RowValues{"1", "4", "13800000004", "text 4", StampOf(today_, 4)}));
  EXPECT_EQ(rows[1], (RowValues{"2", "5", "13800000005", "text 5", StampOf(today_, 5)}));

  EXPECT_EQ(ui::GetText(sent.nian_Edit7), "");
  LoadSent();
  EXPECT_EQ(Numbers(Rows(sent.ListView3)), (Numbers_{1, 2, 3}));
  EXPECT_EQ(ui::GetText(sent.nian_Edit7), today_);  // filled once a row is listed

  // The engine has not run today: everything is pending, nothing sent.
  Unlink(CounterPath(MailboxDir(station_, today_, kSendBox)));
  form_->Button9Click();
  Settle(pending.Loader());
  EXPECT_EQ(Numbers(Rows(pending.ListView2)), (Numbers_{1, 2, 3, 4, 5}));
  LoadSent();
  EXPECT_EQ(sent.ListView3->Count(), 0);

  // No outbox counter at all: the pending list keeps what it showed.
  Unlink(CounterPath(outbox_));
  LoadPending();
  EXPECT_EQ(Numbers(Rows(pending.ListView2)), (Numbers_{1, 2, 3, 4, 5}));
}

TEST_F(ViewsWindowTest, ARecordWithoutTextIsSkippedOrEndsTheReceivedList) {
  for (std::string_view box : {kNewBox, kRecvBox}) {
    PutRecords(station_, today_, box, 3);
    Unlink(RecordPath(MailboxDir(station_, today_, box), "DA", 2));
    PutCounter(station_, today_, box, "3");
  }
  LoadPending();
  const auto pending = Rows(form_->TabSheet2->ListView2);
  EXPECT_EQ(Numbers(pending), (Numbers_{1, 3}));
  EXPECT_EQ(pending.at(1).at(0), "2");

  PutCounter(station_, today_, kSendBox, "3");
  LoadSent();
  EXPECT_EQ(Numbers(Rows(form_->TabSheet3->ListView3)), (Numbers_{1, 3}));
  LoadReceived();
  EXPECT_EQ(Numbers(Rows(form_->TabSheet6->ListView4)), (Numbers_{1}));
}

TEST_F(ViewsWindowTest, AForbiddenRecordIsMarkedAndModifyAndForbidRewriteIt) {
  PendingTab& tab = *form_->TabSheet2;
  PutRecords(station_, today_, kNewBox, 3);
  PutRecord(station_, today_, kNewBox, 2, "*13800000002\n13800000009", "text 2");
  PutCounter(station_, today_, kNewBox, "3");
  const std::string header = FileBytes(RecordPath(outbox_, "H", 2));
  LoadPending();
  ASSERT_EQ(tab.ListView2->Count(), 3);
  EXPECT_EQ(tab.ListView2->SubItem(1, 5), Gbk("禁发"));
  EXPECT_EQ(tab.ListView2->Item(0).sub_items.size(), 5u);

  tab.ListView2->Select(1);
  EXPECT_EQ(tab.SelectedRecord, 2);
  EXPECT_EQ(tab.Memo1->Text(), "*13800000002\r\n13800000009");
  EXPECT_EQ(tab.Memo2->Text(), "text 2");

  // Modify writes the boxes as they are: the line break of the box is CR LF,
  // which reaches the disk as CR CR LF.
  tab.Memo1->SetText("13900000000\r\n13900000001");
  tab.Memo2->SetText(Gbk("改过的内容"));
  tab.changge_dai_BitBtn1->click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 2)), "13900000000\r\r\n13900000001");
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "DA", 2)), Gbk("改过的内容"));

  tab.del_dai_BitBtn2->click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 2)), "*13900000000\r\r\n13900000001");
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "DA", 2)), Gbk("改过的内容"));
  // Selecting it again shows the mark; forbidding again doubles it.
  tab.ListView2->Select(0);
  tab.ListView2->Select(1);
  tab.del_dai_BitBtn2Click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 2)).substr(0, 3), "**1");

  EXPECT_EQ(FileBytes(RecordPath(outbox_, "H", 2)), header);
  EXPECT_EQ(FileBytes(CounterPath(outbox_)), "3");
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 1)), "13800000001");
  EXPECT_TRUE(boxes_->Texts().empty());
}

TEST_F(ViewsWindowTest, TheSentSelectionPicksTheRecordThatModifyRewritesInToday) {
  // Before any selection the buttons act on record 0, which no reader lists.
  PutCounter(station_, today_, kNewBox, "0");
  form_->TabSheet2->Memo1->SetText("13700000000");
  form_->TabSheet2->changge_dai_BitBtn1Click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 0)), "13700000000");

  const std::string other = "2003-5-12";
  PutRecords(station_, other, kNewBox, 3);
  PutRecord(station_, other, kNewBox, 3, "13611111111", Gbk("旧日的短信"));
  PutCounter(station_, other, kNewBox, "3");
  PutCounter(station_, other, kSendBox, "3");
  PutRecords(station_, today_, kNewBox, 3);

  SentTab& sent = *form_->TabSheet3;
  ui::SetText(sent.nian_Edit7, other);
  LoadSent();
  ASSERT_EQ(sent.ListView3->Count(), 3);
  sent.ListView3->Select(2);
  EXPECT_EQ(sent.Memo3->Text(), "13611111111");
  EXPECT_EQ(sent.Memo4->Text(), Gbk("旧日的短信"));
  EXPECT_EQ(form_->TabSheet2->SelectedRecord, 3);

  // A sent record whose files went missing leaves the boxes as they were.
  Unlink(RecordPath(MailboxDir(station_, other, kNewBox), "DA", 1));
  sent.ListView3->Select(0);
  EXPECT_EQ(sent.Memo3->Text(), "13800000001");
  EXPECT_EQ(sent.Memo4->Text(), Gbk("旧日的短信"));
  Unlink(RecordPath(MailboxDir(station_, other, kNewBox), "R", 2));
  sent.ListView3->Select(1);
  EXPECT_EQ(sent.Memo3->Text(), "13800000001");
  EXPECT_EQ(form_->TabSheet2->SelectedRecord, 2);
  sent.ListView3->Select(2);

  form_->TabSheet2->Memo1->SetText("13500000000");
  form_->TabSheet2->Memo2->SetText("for today");
  form_->TabSheet2->changge_dai_BitBtn1Click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 3)), "13500000000");
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "DA", 3)), "for today");
  EXPECT_EQ(FileBytes(RecordPath(MailboxDir(station_, other, kNewBox), "R", 3)), "13611111111");
}

TEST_F(ViewsWindowTest, ModifyWithoutTodaysFolderWritesNothing) {
  form_->TabSheet2->SelectedRecord = 1;
  form_->TabSheet2->Memo1->SetText("13500000000");
  form_->TabSheet2->changge_dai_BitBtn1Click();
  form_->TabSheet2->del_dai_BitBtn2Click();
  EXPECT_FALSE(system_test::Exists(today_));
}

TEST_F(ViewsWindowTest, TheReceivedBoxesShowTheFirstLineOfTheRow) {
  PutRecord(station_, today_, kRecvBox, 1, "8613800000001", Gbk("第一行") + "\nsecond line");
  PutCounter(station_, today_, kRecvBox, "1");
  form_->TabSheet2->SelectedRecord = 7;
  ReceivedTab& tab = *form_->TabSheet6;
  LoadReceived();
  ASSERT_EQ(tab.ListView4->Count(), 1);
  EXPECT_EQ(tab.ListView4->SubItem(0, 3), Gbk("第一行") + "\nsecond line");
  tab.ListView4->Select(0);
  EXPECT_EQ(tab.Memo5->Text(), "8613800000001");
  EXPECT_EQ(tab.Memo6->Text(), Gbk("第一行"));
  EXPECT_EQ(form_->TabSheet2->SelectedRecord, 7);
  EXPECT_EQ(ui::GetText(tab.Edit4), today_);
}

TEST_F(ViewsWindowTest, ADateEditThatIsNoDayFolderNameLoadsToday) {
  PutRecords(station_, today_, kRecvBox, 2);
  PutCounter(station_, today_, kRecvBox, "2");
  // A folder outside the store that a crafted date could otherwise reach.
  ASSERT_EQ(::mkdir(In("outside").c_str(), 0755), 0);
  PutRecords(station_, "outside/2003-5-12", kRecvBox, 1);
  PutCounter(station_, "outside/2003-5-12", kRecvBox, "1");
  PutRecords(station_, "2003-5-12", kRecvBox, 1);
  PutCounter(station_, "2003-5-12", kRecvBox, "1");
  ReceivedTab& tab = *form_->TabSheet6;
  for (const char* text : {"x", "../outside/2003-5-12", "outside/2003-5-12", "2003-5-12/../.."}) {
    ui::SetText(tab.Edit4, text);
    LoadReceived();
    EXPECT_EQ(tab.ListView4->Count(), 2) << text;
    EXPECT_EQ(ui::GetText(tab.Edit4), today_) << text;
  }
  ui::SetText(tab.Edit4, "2003-5-12");
  LoadReceived();
  EXPECT_EQ(tab.ListView4->Count(), 1);
  EXPECT_EQ(tab.ListView4->SubItem(0, 4), StampOf("2003-5-12", 1));
}

TEST_F(ViewsWindowTest, ASecondLoadReplacesOneStillRunning) {
  const std::string big = "2003-5-12";
  PutRecords(station_, big, kNewBox, 800);
  PutCounter(station_, big, kSendBox, "800");
  PutRecords(station_, today_, kNewBox, 3);
  PutCounter(station_, today_, kSendBox, "3");
  SentTab& tab = *form_->TabSheet3;
  for (int round = 0; round < 3; ++round) {
    ui::SetText(tab.nian_Edit7, big);
    tab.ListView3DblClick();
    if (round > 0) {  // let the first load post some rows before it is replaced
      ASSERT_TRUE(WaitUntil([&] { return tab.ListView3->Count() > 0; }));
    }
    ui::SetText(tab.nian_Edit7, today_);
    tab.ListView3DblClick();
    Settle(tab.Loader());
    const auto rows = Rows(tab.ListView3);
    ASSERT_EQ(Numbers(rows), (Numbers_{1, 2, 3})) << round;
    EXPECT_EQ(rows[2][0], "3");
    EXPECT_EQ(ui::GetText(tab.nian_Edit7), today_);
  }
}

TEST_F(ViewsWindowTest, RestingThePointerOnAPendingRowSelectsIt) {
  PutRecords(station_, today_, kNewBox, 3);
  PutCounter(station_, today_, kNewBox, "3");
  PendingTab& tab = *form_->TabSheet2;
  LoadPending();
  const QModelIndex row = tab.ListView2->model()->index(2, 1);
  emit tab.ListView2->entered(row);
  ASSERT_TRUE(WaitUntil([&] { return tab.ListView2->IsSelected(2); }));
  EXPECT_EQ(tab.SelectedRecord, 3);
  EXPECT_EQ(tab.Memo1->Text(), "13800000003");
  // The pointer moved off the rows before resting: nothing changes.
  emit tab.ListView2->entered(tab.ListView2->model()->index(0, 1));
  emit tab.ListView2->viewportEntered();
  QTest::qWait(50);
  ui::ProcessPostedUpdates();
  EXPECT_FALSE(tab.ListView2->IsSelected(0));
}

TEST_F(ViewsWindowTest, TheSentListShowsTheWholeTimeAndTheOutcomeAndRefilesTheUnsent) {
  SentTab& sent = *form_->TabSheet3;
  EXPECT_EQ(Heading(sent.ListView3, 6), Gbk("发送结果"));
  const std::string widest = Gbk("2026-12-17 09:05:03");
  EXPECT_GE(sent.ListView3->columnWidth(5),
            sent.ListView3->fontMetrics().horizontalAdvance(ui::FromGbk(widest)) + 8);

  const std::string day = "2003-5-12";
  PutRecord(station_, day, kNewBox, 1, "13800000001\nclient7;vip", Gbk("旧日的短信"));
  PutCounter(station_, day, kNewBox, "1");
  PutCounter(station_, day, kSendBox, "1");
  ASSERT_TRUE(ReplaceFile(JournalPath(station_, day, 1),
                          "1|13800000001|sent|2003-5-12 10:00:00|9\r\n"
                          "2|13900000007|failed|2003-5-12 10:00:02|+CMS ERROR: 21\r\n"));
  ui::SetText(sent.nian_Edit7, day);
  LoadSent();
  ASSERT_EQ(sent.ListView3->Count(), 1);
  EXPECT_EQ(sent.ListView3->SubItem(0, 5), Gbk("1/2 已发，1 失败"));

  sent.UnsentButtonClick();  // no row selected: nothing
  EXPECT_EQ(sent.Unsent(), nullptr);
  sent.ListView3->Select(0);
  sent.UnsentButton->click();
  UnsentDialog& unsent = *sent.Unsent();
  Settle(unsent.Loader());
  ASSERT_EQ(unsent.UnsentList->Count(), 1);
  EXPECT_EQ(unsent.UnsentList->Item(0).sub_items,
            (RowValues{"2", "13900000007", Gbk("失败"), "+CMS ERROR: 21"}));

  unsent.RetryButton->click();
  unsent.Worker().WaitIdle();
  ui::ProcessPostedUpdates();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 1)), "client7\r\n");
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "DA", 1)), Gbk("旧日的短信"));
  EXPECT_EQ(ui::GetText(unsent.RetryLabel),
            Gbk("已重新建立 ") + today_ + Gbk(" 第 1 条短信，1 个号码。"));
}

TEST_F(ViewsWindowTest, ThePendingPageShowsTheProgressOfTheRecordBeingSent) {
  PendingTab& tab = *form_->TabSheet2;
  PutRecord(station_, today_, kNewBox, 1, "13800000001\n13800000002\n13800000003\n13800000004", "x");
  PutCounter(station_, today_, kNewBox, "1");
  auto refresh = [&] {
    tab.RefreshProgress();
    tab.ProgressWorker().WaitIdle();
    ui::ProcessPostedUpdates();
  };
  refresh();
  EXPECT_TRUE(tab.SendProgressBar->isHidden());
  EXPECT_EQ(ui::GetText(tab.SendProgressLabel), "");

  ASSERT_TRUE(ReplaceFile(JournalPath(station_, today_, 1),
                          "1|13800000001|sent|" + today_ + " 10:00:00|1\r\n"));
  refresh();
  EXPECT_FALSE(tab.SendProgressBar->isHidden());
  EXPECT_EQ(tab.SendProgressBar->maximum(), 4);
  EXPECT_EQ(tab.SendProgressBar->value(), 1);
  EXPECT_EQ(ui::GetText(tab.SendProgressLabel), Gbk("正在发送第 1 条：1/4\r\n已发 1，失败 0，跳过 0"));
}

// The box holds only the start of a big list; forbidding the record while it
// is sent keeps the whole list, so its journal can still account for every
// recipient.
TEST_F(ViewsWindowTest, ForbiddingABigRecordKeepsItsWholeListBehindTheMark) {
  PendingTab& tab = *form_->TabSheet2;
  std::string big;
  for (int i = 0; i < 2000; ++i) big += std::to_string(13000000000LL + i) + "\n";
  PutRecord(station_, today_, kNewBox, 1, big, "x");
  PutCounter(station_, today_, kNewBox, "1");
  LoadPending();
  tab.ListView2->Select(0);
  EXPECT_LT(tab.Memo1->Text().size(), big.size());
  tab.del_dai_BitBtn2->click();
  EXPECT_EQ(FileBytes(RecordPath(outbox_, "R", 1)), ToTextMode("*" + big));
}

TEST_F(ViewsWindowTest, TheDayButtonsStepTheirOwnEdit) {
  SentTab& sent = *form_->TabSheet3;
  ReceivedTab& received = *form_->TabSheet6;
  sent.Button5->click();
  EXPECT_EQ(ui::GetText(sent.nian_Edit7), today_);
  ui::SetText(sent.nian_Edit7, "2003-2-28");
  sent.Button6->click();
  EXPECT_EQ(ui::GetText(sent.nian_Edit7), "2003-2-29");
  ui::SetText(received.Edit4, "2004-1-1");
  received.Button3->click();
  EXPECT_EQ(ui::GetText(received.Edit4), "2003-12-31");
  received.Button4->click();
  received.Button4->click();
  EXPECT_EQ(ui::GetText(received.Edit4), "2004-1-2");
  EXPECT_EQ(ui::GetText(sent.nian_Edit7), "2003-2-29");
}

}  // namespace
}  // namespace tavrel::console
