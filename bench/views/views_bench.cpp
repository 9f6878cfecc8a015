// The sent list of one day of many records: the time until its last row is
// in the list, as a ratio against only reading the same files (three a
// record) in the same run, and the longest stall of the window's event loop
// while the list fills. Run offscreen: views_bench [records] [rounds]
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "console/list_loader.h"
#include "platform/station.h"
#include "console/sent_tab.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "store/record_store.h"
#include "ui/application.h"
#include "ui/gbk_text.h"
#include "ui/report_view.h"

namespace {

constexpr const char* kDay = "2003-5-12";

void FileDay(const tavrel::Station& station, long records) {
  tavrel::EnsureDayFolder(station, kDay);
  const std::string box = tavrel::MailboxDir(station, kDay, tavrel::kNewBox);
  const std::string text = tavrel::Gbk("明天上午九点在公司会议室开会，请准时参加。");
  for (long n = 1; n <= records; ++n) {
    tavrel::WriteTextFile(tavrel::RecordPath(box, "R", n), std::to_string(13800000000L + n));
    tavrel::WriteTextFile(tavrel::RecordPath(box, "H", n),
                          tavrel::OutboxHeader(std::string(kDay) + " 10:00:00"));
    tavrel::WriteTextFile(tavrel::RecordPath(box, "DA", n), text);
  }
  tavrel::WriteCounter(box, records);
  tavrel::WriteCounter(tavrel::MailboxDir(station, kDay, tavrel::kSendBox), records);
}

// The baseline: each of the day's files opened, read whole and closed.
double ReadFilesMs(const tavrel::Station& station, long records) {
  const std::string box = tavrel::MailboxDir(station, kDay, tavrel::kNewBox);
  QElapsedTimer timer;
  timer.start();
  char buffer[4096];
  std::size_t bytes = 0;
  for (long n = 1; n <= records; ++n) {
    for (const char* kind : {"DA", "R", "H"}) {
      const int fd = ::open(tavrel::RecordPath(box, kind, n).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) bytes += got;
      ::close(fd);
    }
  }
  if (bytes == 0) std::fprintf(stderr, "the baseline read nothing\n");
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Listing {
  double ms = 0;
  double longest_stall_ms = 0;
};

// Double-clicks the list and runs the event loop until the last row is in;
// a 5 ms ticker measures how long the loop went without turning (its own
// period included).
Listing ListSentDay(tavrel::console::SentTab& tab, long records) {
  tab.ListView3->Clear();
  tavrel::ui::SetText(tab.nian_Edit7, kDay);
  QEventLoop loop;
  QTimer ticker;
  ticker.setInterval(5);
  QElapsedTimer timer;
  qint64 last_tick = 0;
  Listing listing;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = timer.nsecsElapsed();
    listing.longest_stall_ms = std::max(listing.longest_stall_ms, (now - last_tick) / 1e6);
    last_tick = now;
  });
  QObject::connect(tab.ListView3->model(), &QAbstractItemModel::rowsInserted, [&] {
    if (tab.ListView3->Count() < records) return;
    listing.ms = timer.nsecsElapsed() / 1e6;
    loop.quit();
  });
  timer.start();
  ticker.start();
  tab.ListView3DblClick();
  loop.exec();
  tab.Loader().WaitForLoads();
  return listing;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const long records = argc > 1 ? std::max(1L, std::atol(argv[1])) : 10000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  char dir_template[] = "/tmp/views-bench-XXXXXX";
  if (::mkdtemp(dir_template) == nullptr) {
    std::perror("views_bench: temporary directory");
    return 1;
  }
  tavrel::ui::Application app(argc, argv);
  const tavrel::Station station(dir_template);
  FileDay(station, records);

  tavrel::console::SentTab tab(station);
  tab.resize(756, 430);
  tab.show();
  ReadFilesMs(station, records);  // into the page cache for both
  std::vector<double> ratios, listing_ms, baseline_ms;
  double longest_stall = 0;
  for (int round = 0; round < rounds; ++round) {
    const double baseline = ReadFilesMs(station, records);
    const Listing listing = ListSentDay(tab, records);
    if (tab.ListView3->Count() != records) std::fprintf(stderr, "the list lost rows\n");
    baseline_ms.push_back(baseline);
    listing_ms.push_back(listing.ms);
    ratios.push_back(listing.ms / baseline);
    longest_stall = std::max(longest_stall, listing.longest_stall_ms);
  }
  std::printf("sent list of %ld records, last row in the list   %9.1f ms (median of %d)\n",
              records, Median(listing_ms), rounds);
  std::printf("baseline: reading the same %ld files only       %9.1f ms\n", 3 * records,
              Median(baseline_ms));
  std::printf("ratio listing / reading                         x%.2f   (target at most 1.5)\n",
              Median(ratios));
  std::printf("longest stall of the event loop while listing   %9.1f ms (target under 100 ms)\n",
              longest_stall);

  std::filesystem::remove_all(dir_template);
  return 0;
}
