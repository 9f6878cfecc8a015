// Merlon's window, offscreen: every run goes through Button1Click and the
// worker thread, and the list is read back from Memo1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>

#include "numgen/line_list_view.h"
#include "numgen/window.h"
#include "platform/codepage.h"
#include "ui/gbk_text.h"
#include "ui/message_box.h"
#include "ui/window_style.h"

namespace tavrel::numgen {
namespace {

void WaitForRun(TForm1& form) {
  if (!form.Running()) return;
  QEventLoop loop;
  QObject::connect(&form, &TForm1::RunFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_FALSE(form.Running()) << "the run did not finish in time";
}

std::string ListThrough(TForm1& form, std::string_view start, std::string_view end) {
  ui::SetText(form.Edit1, start);
  ui::SetText(form.Edit2, end);
  form.Button1Click();
  WaitForRun(form);
  return form.Memo1->Text();
}

TEST(MerlonWindow, IsBuiltAsDesigned) {
  TForm1 form;
  EXPECT_EQ(ui::GetText(&form), Gbk("Tavrelsms客户管理---手机号码自动生成"));
  EXPECT_EQ(form.size(), QSize(503, 371));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(ui::GetText(form.Label1), Gbk("启始号    "));
  EXPECT_EQ(ui::GetText(form.Label2), Gbk("终止号    "));
  EXPECT_EQ(form.Edit1->maxLength(), 11);
  EXPECT_EQ(form.Edit2->maxLength(), 11);
  EXPECT_TRUE(form.Edit1->text().isEmpty());
  EXPECT_EQ(ui::GetText(form.Button1), Gbk("确定"));
  EXPECT_TRUE(form.Button1->font().bold());
  EXPECT_TRUE(form.Memo1->font().bold());
  EXPECT_EQ(form.Memo1->palette().color(QPalette::Text), QColor(Qt::white));
  EXPECT_EQ(form.Memo1->palette().color(QPalette::Base), ui::DesktopColour());
  EXPECT_EQ(form.Memo1->Text(), "");
}

TEST(MerlonWindow, ListsEachCaseThroughTheButton) {
  struct Case {
    const char* what;
    const char* start;
    const char* end;
    const char* list;
  };
  const Case cases[] = {
      {"four lines", "13012312312", "13012312315",
       "13012312312\r\n13012312313\r\n13012312314\r\n13012312315\r\n"},
      {"start equal to end", "13012312312", "13012312312", "13012312312\r\n"},
      {"end below start", "13012312312", "13012312311", ""},
      {"carry into the second digit", "13999999999", "14000000000",
       "13999999999\r\n14000000000\r\n"},
      {"both empty", "", "", "0\r\n"},
      {"plain decimal", "100", "103", "100\r\n101\r\n102\r\n103\r\n"},
      {"one-character end", "13012312312", "9", ""},
      {"leading zeros kept", "10012345678", "10012345679", "10012345678\r\n10012345679\r\n"},
  };
  TForm1 form;
  for (const Case& c : cases) {
    // Each run starts from the previous list, which it must replace.
    EXPECT_EQ(ListThrough(form, c.start, c.end), c.list) << c.what;
    EXPECT_EQ(ui::GetText(form.Button1), Gbk("确定")) << c.what;
    EXPECT_TRUE(form.Button1->isEnabled()) << c.what;
  }
}

TEST(MerlonWindow, CarriesOverTheWholeSecondDigitWithoutAGap) {
  TForm1 form;
  const std::string list = ListThrough(form, "13999990000", "14000009999");
  ASSERT_EQ(form.Memo1->LineCount(), 20000u);
  for (std::size_t i = 0; i < form.Memo1->LineCount(); ++i) {
    const long long expected = 13999990000LL + static_cast<long long>(i);
    ASSERT_EQ(form.Memo1->Line(i), std::to_string(expected)) << "line " << i;
  }
  EXPECT_EQ(list.size(), 20000u * 13);
}

TEST(MerlonWindow, RefusesARangeAboveTheLimitAndListsNothing) {
  ui::MessageRecorder boxes;
  TForm1 form;
  ListThrough(form, "100", "101");
  ASSERT_EQ(form.Memo1->LineCount(), 2u);

  EXPECT_EQ(ListThrough(form, "10000000000", "10001000000"), "");  // one number too many
  EXPECT_FALSE(form.Running());
  EXPECT_EQ(ui::GetText(form.Button1), Gbk("确定"));
  EXPECT_TRUE(form.Button1->isEnabled());
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], TForm1::TooManyNumbersText(1'000'001));
  EXPECT_NE(boxes.Texts()[0].find("1000001"), std::string::npos);

  // A bound far past 32 bits must be refused too, not listed for days.
  EXPECT_EQ(ListThrough(form, "10000000000", "19999999999"), "");
  EXPECT_EQ(boxes.Texts().size(), 2u);

  // The limit itself is listed in full.
  ListThrough(form, "10000000000", "10000999999");
  EXPECT_EQ(boxes.Texts().size(), 2u);
  ASSERT_EQ(form.Memo1->LineCount(), kMaxRangeNumbers);
  EXPECT_EQ(form.Memo1->Line(0), "10000000000");
  EXPECT_EQ(form.Memo1->Line(kMaxRangeNumbers - 1), "10000999999");
  EXPECT_EQ(form.Memo1->Text().size(), kMaxRangeNumbers * 13);
}

TEST(MerlonWindow, ASecondPressDuringARunIsRefused) {
  TForm1 form;
  ui::SetText(form.Edit1, "10000000000");
  ui::SetText(form.Edit2, "10000299999");
  form.Button1Click();
  ASSERT_TRUE(form.Running());
  EXPECT_EQ(ui::GetText(form.Button1), Gbk("运行中..."));
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_EQ(form.Memo1->Text(), "");  // cleared at once, filled by the worker

  ui::SetText(form.Edit2, "10000000001");
  form.Button1Click();
  WaitForRun(form);
  ASSERT_EQ(form.Memo1->LineCount(), 300000u);
  EXPECT_EQ(form.Memo1->Line(299999), "10000299999");
  EXPECT_EQ(ui::GetText(form.Button1), Gbk("确定"));
}

TEST(MerlonWindow, ClosingTheWindowEndsARunInProgress) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 3; ++i) {
    auto form = std::make_unique<TForm1>();
    ui::SetText(form->Edit1, "10000000000");
    ui::SetText(form->Edit2, "10000999999");
    form->Button1Click();
    for (int spin = 0; spin < i * 5; ++spin) QCoreApplication::processEvents();
    form.reset();
  }
  // Whatever the worker had posted for the gone window is dropped, not run.
  QCoreApplication::processEvents();
  EXPECT_LT(timer.elapsed(), 20000);
}

TEST(MerlonWindow, ListShowsSelectsAndCopiesGbkLines) {
  TForm1 form;
  form.show();
  ui::SetText(form.Edit1, Gbk("中0000000007"));
  ui::SetText(form.Edit2, Gbk("中0000000009"));
  form.Button1Click();
  WaitForRun(form);
  LineListView& list = *form.Memo1;
  ASSERT_EQ(list.LineCount(), 3u);
  EXPECT_EQ(list.Line(2), Gbk("中0000000009"));

  list.setFocus();
  QKeyEvent select_all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
  QApplication::sendEvent(&list, &select_all);
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(&list, &copy);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromUtf8("中0000000007\n中0000000008\n中0000000009\n"));

  // A click picks one line, a shift-click stretches the selection to another.
  const int row = list.fontMetrics().lineSpacing();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, row + 1), QPointF(5, row + 1),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &press);
  EXPECT_EQ(list.SelectedText(), QString::fromUtf8("中0000000008\n"));
  QMouseEvent stretch(QEvent::MouseButtonPress, QPointF(5, 1), QPointF(5, 1), Qt::LeftButton,
                      Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(list.viewport(), &stretch);
  EXPECT_EQ(list.SelectionFirst(), 0u);
  EXPECT_EQ(list.SelectionLast(), 1u);
  EXPECT_FALSE(list.grab().isNull());  // paints the GBK lines without a fault
}

TEST(LineListView, AppendsPiecesScrollsAndPagesThroughLongLists) {
  LineListView list;
  list.resize(200, 10 * list.fontMetrics().lineSpacing() + 4);
  list.show();
  list.AppendText("1\r\n2");
  EXPECT_EQ(list.LineCount(), 2u);  // a line still without its end is shown
  EXPECT_EQ(list.Line(1), "2");
  list.AppendText("3\r\n");
  EXPECT_EQ(list.LineCount(), 2u);
  EXPECT_EQ(list.Line(1), "23");
  EXPECT_EQ(list.Line(2), "");  // past the end

  std::string many;
  for (int i = 0; i < 1000; ++i) many += std::to_string(i) + "\r\n";
  list.AppendText(many);
  ASSERT_EQ(list.LineCount(), 1002u);
  EXPECT_EQ(list.TopLine(), 0);  // appending does not move the view

  list.ScrollToEnd();
  EXPECT_GE(static_cast<std::size_t>(list.TopLine() + list.VisibleLineCount()), list.LineCount());

  // Keys move one selected line; Shift stretches the selection.
  auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&list, &event);
  };
  press(Qt::Key_Home);
  EXPECT_EQ(list.TopLine(), 0);
  press(Qt::Key_Down);
  press(Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_EQ(list.SelectionFirst(), 1u);
  EXPECT_EQ(list.SelectionLast(), 1u + static_cast<std::size_t>(list.VisibleLineCount()));
  press(Qt::Key_End);
  EXPECT_EQ(list.SelectionFirst(), 1001u);
  EXPECT_EQ(list.SelectedText(), QString("999\n"));

  list.Clear();
  EXPECT_EQ(list.LineCount(), 0u);
  EXPECT_FALSE(list.HasSelection());
  EXPECT_EQ(list.SelectedText(), QString());
  press(Qt::Key_Down);  // nothing to move over
  EXPECT_FALSE(list.HasSelection());
}

}  // namespace
}  // namespace tavrel::numgen
