#pragma once
// Runs the loads of one mailbox list on worker threads. A double click starts
// a load and returns at once; the rows reach the list on the window thread,
// in order, a batch at a time.
//
// A new load of a list replaces one still running: the older one stops at
// its next record, and whatever it posted that the window has not yet shown
// is dropped, so two loads never mix their rows in one list.
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "console/mailbox_loader.h"

class QLineEdit;

namespace tavrel::ui {
class ReportView;
}

namespace tavrel::console {

class ListLoader {
 public:
  // date_edit, when given, shows the day of the load once it lists a row.
  explicit ListLoader(ui::ReportView* list, QLineEdit* date_edit = nullptr);
  // A load still running stops at its next record and shows nothing more.
  ~ListLoader();
  ListLoader(const ListLoader&) = delete;
  ListLoader& operator=(const ListLoader&) = delete;

  using Load = std::function<void(ListSink&)>;
  // Window thread. Starts load on a new thread, which is not waited for.
  void Start(std::string day, Load load);

  // Blocks until no load of this list runs; what they posted may still wait
  // for the window thread (ui::ProcessPostedUpdates). For tests and benchmarks.
  void WaitForLoads();

  struct Shared;  // between the list and its loader threads

 private:
  std::shared_ptr<Shared> shared_;
  QPointer<ui::ReportView> list_;
  QPointer<QLineEdit> date_edit_;
};

}  // namespace tavrel::console
