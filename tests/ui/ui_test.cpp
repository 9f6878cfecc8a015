#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "ui/application.h"
#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/message_box.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace tavrel::ui {
namespace {

TEST(GbkText, ControlsGiveAndTakeGbkWithCrLfBetweenMemoLines) {
  const std::string hello = Gbk("你好");
  ASSERT_EQ(hello, "\xC4\xE3\xBA\xC3");

  QLabel label;
  SetText(&label, hello + "\r\nab");
  EXPECT_EQ(label.text(), QString::fromUtf8("你好\nab"));
  EXPECT_EQ(GetText(&label), hello + "\r\nab");

  QPushButton button;
  SetText(&button, Gbk("发送短信"));
  EXPECT_EQ(button.text(), QString::fromUtf8("发送短信"));

  QLineEdit edit;
  SetText(&edit, "COM1");
  EXPECT_EQ(GetText(&edit), "COM1");

  Memo memo;
  SetText(&memo, "1301\r\n" + hello);
  EXPECT_EQ(memo.blockCount(), 2);
  EXPECT_EQ(GetText(&memo), "1301\r\n" + hello);

  QWidget window;
  SetText(&window, Gbk("系统设置"));
  EXPECT_EQ(GetText(&window), Gbk("系统设置"));

  // A line break is two bytes, a Chinese character two, ASCII one; a
  // character GBK lacks becomes one '?'.
  EXPECT_EQ(GbkByteCount(QString::fromUtf8("你好\nab")), 8u);
  EXPECT_EQ(GbkByteCount(QString::fromUtf8("a😀b")), 3u);
}

// Types text into the widget as an operator would, key by key.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::KeyAction::Click, widget, Qt::Key_unknown, QString(c), {});
}

TEST(GbkText, ByteLimitsStopTypingAndPastingAtWholeCharacters) {
  Memo memo;
  memo.SetByteLimit(5);
  Type(&memo, QString::fromUtf8("ab你好"));  // 2 + 2 fit, the second Chinese would make 6
  EXPECT_EQ(memo.toPlainText(), QString::fromUtf8("ab你"));
  Type(&memo, QStringLiteral("c"));
  EXPECT_EQ(memo.Text(), "ab" + Gbk("你") + "c");
  Type(&memo, QStringLiteral("d"));
  EXPECT_EQ(memo.GbkSize(), 5u);

  // A paste keeps as much of its beginning as fits; a line break costs two.
  memo.SetText("");
  memo.insertPlainText(QString::fromUtf8("x\ny你好"));
  EXPECT_EQ(memo.toPlainText(), QString::fromUtf8("x\ny"));
  // The program itself may set a longer text.
  memo.SetText("0123456789");
  EXPECT_EQ(memo.GbkSize(), 10u);

  QLineEdit edit;
  SetByteLimit(&edit, 4);
  Type(&edit, QString::fromUtf8("你好吗"));
  EXPECT_EQ(edit.text(), QString::fromUtf8("你好"));
}

TEST(Memo, AppendsPrependsAndSizeChecks) {
  Memo memo;
  memo.SetText("b\r\n");
  memo.PrependText("a\r\n");
  memo.AppendText("c\r\n");
  EXPECT_EQ(memo.Text(), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(memo.GbkSize(), 9u);
  EXPECT_FALSE(memo.GbkSizeExceeds(9));
  EXPECT_TRUE(memo.GbkSizeExceeds(8));
  memo.SetText(Gbk("你好你好"));  // 4 characters, 8 bytes
  EXPECT_TRUE(memo.GbkSizeExceeds(7));
  EXPECT_FALSE(memo.GbkSizeExceeds(8));
  EXPECT_TRUE(memo.GbkSizeExceeds(3));
}

TEST(WindowThread, WorkerUpdatesArriveInOrderAndAppendsAreJoined) {
  Memo memo;
  QLabel label;
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) PostAppend(&memo, std::to_string(i) + "\r\n");
    PostToWindow([&] {
      order.push_back(1);
      label.setText(QString::number(memo.blockCount()));
    });
    PostAppend(&memo, "end");
    PostToWindow([&] { order.push_back(2); });
  });
  while (order.size() < 2) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  // The label was set after all 20000 lines were in, before "end".
  EXPECT_EQ(label.text(), QStringLiteral("20001"));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  std::string text = memo.Text();
  EXPECT_EQ(text.substr(0, 8), "0\r\n1\r\n2\r");
  EXPECT_EQ(text.substr(text.size() - 10), "19999\r\nend");

  // An update for a memo that is gone by then is dropped.
  auto* gone = new Memo;
  PostAppend(gone, "x");
  delete gone;
  ProcessPostedUpdates();
}

TEST(WindowThread, WorkerWaitsForAModalBoxAndLaterUpdatesStillRun) {
  MessageRecorder recorder;
  std::atomic<bool> updated{false};
  // While the box is "open" another worker's update must still get through.
  recorder.OnShow([&](const std::string&) {
    std::thread other([] { PostToWindow([] {}); });
    other.join();
    PostToWindow([&] { updated = true; });
    while (!updated) QApplication::processEvents(QEventLoop::AllEvents, 10);
  });
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    ShowMessage(Gbk("设备正常"));
    returned = true;
  });
  while (!returned) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(recorder.Texts(), std::vector<std::string>{Gbk("设备正常")});
}

// A control whose handler fails on every event of one kind.
class Failing : public QObject {
 public:
  int handled = 0;
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++handled;
    throw std::runtime_error("disk full");
  }
};

TEST(Application, ExceptionInAHandlerIsShownAndTheLoopGoesOn) {
  MessageRecorder recorder;
  Failing control;
  QCoreApplication::postEvent(&control, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&control, new QEvent(QEvent::User));
  QApplication::processEvents();
  EXPECT_EQ(control.handled, 2);
  ASSERT_EQ(recorder.Texts(), (std::vector<std::string>{"disk full", "disk full"}));
  EXPECT_EQ(recorder.Kinds(), (std::vector<MessageKind>{MessageKind::Exception, MessageKind::Exception}));

  // So is one thrown by an update a worker handed over; later updates run.
  bool later = false;
  std::thread worker([&] {
    PostToWindow([] { throw std::runtime_error("bad update"); });
    PostToWindow([&] { later = true; });
  });
  worker.join();
  ProcessPostedUpdates();
  EXPECT_TRUE(later);
  EXPECT_EQ(recorder.Texts().back(), "bad update");
}

TEST(ReportView, BatchesSelectionAndEvents) {
  ReportView view;
  view.SetColumns({{Gbk("时间"), 120}, {Gbk("号码"), 100}});
  std::vector<ReportRow> batch;
  for (int i = 0; i < 3; ++i) batch.push_back({std::to_string(i), {"s" + std::to_string(i)}, 0});
  view.AppendRows(std::move(batch));
  int added = view.AddItem(Gbk("禁发"));
  view.AddSubItem(added, "x");
  ASSERT_EQ(view.Count(), 4);
  EXPECT_EQ(view.Caption(3), Gbk("禁发"));
  EXPECT_EQ(view.SubItem(3, 0), "x");
  EXPECT_EQ(view.SubItem(3, 5), "");
  EXPECT_EQ(view.model()->data(view.model()->index(3, 0)).toString(), QString::fromUtf8("禁发"));
  EXPECT_EQ(view.model()->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("号码"));

  std::vector<std::pair<int, bool>> changes;
  QObject::connect(&view, &ReportView::ItemChanged,
                   [&](int i) { changes.emplace_back(i, view.IsSelected(i)); });
  QSignalSpy double_clicks(&view, &ReportView::DoubleClicked);
  EXPECT_EQ(view.SelectedIndex(), -1);
  view.Select(1);
  view.Select(2);
  EXPECT_EQ(view.SelectedIndex(), 2);
  EXPECT_EQ(changes, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}, {2, true}}));

  view.resize(300, 200);
  view.show();
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(view.model()->index(0, 0)).center());
  EXPECT_EQ(double_clicks.count(), 1);
  EXPECT_EQ(view.SelectedIndex(), 0);
  view.Clear();
  EXPECT_EQ(view.Count(), 0);
}

}  // namespace
}  // namespace tavrel::ui
