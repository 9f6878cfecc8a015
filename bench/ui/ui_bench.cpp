// Costs of the window layer's bulk paths, each as a ratio against the plain
// Qt way measured in the same run: a worker listing many lines into a memo,
// a list filled with thousands of rows, the monitor box taking lines in
// front. Run offscreen: ui_bench [lines]
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "ui/gbk_text.h"
#include "ui/memo.h"
#include "ui/report_view.h"
#include "ui/window_thread.h"

namespace {

long RssKb() {
  std::ifstream status("/proc/self/statm");
  long pages = 0, resident = 0;
  status >> pages >> resident;
  return resident * 4;
}

struct Cost {
  double ms;
  long kb;
};

template <typename F>
Cost Measure(F&& run) {
  const long before = RssKb();
  QElapsedTimer timer;
  timer.start();
  run();
  return {static_cast<double>(timer.nsecsElapsed()) / 1e6, RssKb() - before};
}

void Report(const char* what, const char* baseline, Cost ours, Cost base) {
  std::printf("%-34s %9.1f ms %8ld KB | %-28s %9.1f ms %8ld KB | time x%.3f\n", what, ours.ms,
              ours.kb, baseline, base.ms, base.kb, ours.ms / base.ms);
}

std::string Number(long i) { return std::to_string(13000000000L + i) + "\r\n"; }

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const long lines = argc > 1 ? std::atol(argv[1]) : 100000;

  // A worker lists numbers into a memo the window shows.
  {
    QPlainTextEdit plain;
    plain.resize(400, 300);
    plain.show();
    Cost base = Measure([&] {
      for (long i = 0; i < lines; ++i) {
        plain.appendPlainText(QString::fromStdString(Number(i)).trimmed());
        if (i % 1000 == 0) QApplication::processEvents();
      }
      QApplication::processEvents();
    });
    tavrel::ui::Memo memo;
    memo.resize(400, 300);
    memo.show();
    Cost ours = Measure([&] {
      std::atomic<bool> done{false};
      std::thread worker([&] {
        for (long i = 0; i < lines; ++i) tavrel::ui::PostAppend(&memo, Number(i));
        tavrel::ui::PostToWindow([&] { done = true; });
      });
      while (!done) QApplication::processEvents(QEventLoop::AllEvents, 20);
      worker.join();
    });
    if (memo.blockCount() != lines + 1) std::fprintf(stderr, "memo lost lines\n");
    Report("memo: PostAppend from a worker", "appendPlainText per line", ours, base);
  }

  // A loader fills a list of 10,000 rows of four columns.
  {
    const int rows = 10000;
    QTreeWidget tree;
    tree.setColumnCount(4);
    tree.resize(600, 300);
    tree.show();
    Cost base = Measure([&] {
      for (int i = 0; i < rows; ++i) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::number(i));
        item->setText(1, QStringLiteral("13012312312"));
        item->setText(2, QStringLiteral("2003-5-12 10:00:00"));
        item->setText(3, QString::fromUtf8("你好你好你好"));
        tree.addTopLevelItem(item);
      }
      QApplication::processEvents();
    });
    tavrel::ui::ReportView view;
    view.SetColumns({{"n", 40}, {"to", 100}, {"time", 140}, {"text", 200}});
    view.resize(600, 300);
    view.show();
    const std::string text = tavrel::ui::ToGbk(QString::fromUtf8("你好你好你好"));
    Cost ours = Measure([&] {
      std::vector<tavrel::ui::ReportRow> batch;
      for (int i = 0; i < rows; ++i) {
        batch.push_back({std::to_string(i), {"13012312312", "2003-5-12 10:00:00", text}, 0});
        if (batch.size() == 500) view.AppendRows(std::move(batch)), batch.clear();
      }
      view.AppendRows(std::move(batch));
      QApplication::processEvents();
    });
    Report("list: ReportView, batches of 500", "QTreeWidget item by item", ours, base);
  }

  // The monitor box takes 2,000 lines in front of a text near its limit.
  {
    const int count = 2000;
    const std::string line = tavrel::ui::ToGbk(QString::fromUtf8("13012312312 发送成功 第1次\r\n"));
    QPlainTextEdit plain;
    tavrel::ui::Memo memo;
    std::string start;
    while (start.size() < 19000) start += line;
    plain.setPlainText(tavrel::ui::FromGbkLines(start));
    memo.SetText(start);
    Cost base = Measure([&] {
      for (int i = 0; i < count; ++i) {
        std::string text = tavrel::ui::ToGbkLines(plain.toPlainText());
        if (text.size() > 20480) text = "\r\n";
        plain.setPlainText(tavrel::ui::FromGbkLines(line + text));
      }
    });
    Cost ours = Measure([&] {
      for (int i = 0; i < count; ++i) {
        if (memo.GbkSizeExceeds(20480)) memo.SetText("\r\n");
        memo.PrependText(line);
      }
    });
    Report("monitor: Memo::PrependText", "read, prepend, write back", ours, base);
  }
  return 0;
}
