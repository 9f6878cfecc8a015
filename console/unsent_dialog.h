#pragma once
// The failed and skipped recipients of one sent record, with the reason the
// journal gives for each, and the button that files them again as a new
// record of today's outbox (after the SIM was topped up or a customer's
// number fixed).
#include <QDialog>
#include <memory>
#include <string>

#include "platform/station.h"

class QLabel;
class QPushButton;

namespace tavrel::ui {
class ReportView;
}

namespace tavrel::console {

class ListLoader;
class PageWorker;

class UnsentDialog : public QDialog {
 public:
  UnsentDialog(Station station, QWidget* parent);
  ~UnsentDialog() override;

  // Lists record n of day on a loader thread.
  void ShowRecord(const std::string& day, long n);
  // Files the listed recipients again, on a worker thread; the label says
  // what was filed.
  void RetryButtonClick();

  ListLoader& Loader() { return *loader_; }
  PageWorker& Worker() { return *worker_; }

  QLabel* RecordLabel;
  ui::ReportView* UnsentList;
  QPushButton* RetryButton;
  QLabel* RetryLabel;

 private:
  const Station station_;
  std::string day_;
  long record_ = 0;
  std::unique_ptr<ListLoader> loader_;
  std::unique_ptr<PageWorker> worker_;
};

}  // namespace tavrel::console
