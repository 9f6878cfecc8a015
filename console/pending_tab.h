#pragma once
// The page "待发送sms": today's messages that the engine has not handled
// yet. The operator may rewrite one or forbid it before the engine gets to it.
#include <QWidget>
#include <memory>

#include "platform/station.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tavrel::ui {
class Memo;
class ReportView;
}  // namespace tavrel::ui

namespace tavrel::console {

class ListLoader;
class PageWorker;
class SendProgressReader;

class PendingTab : public QWidget {
 public:
  explicit PendingTab(Station station, QWidget* parent = nullptr);
  ~PendingTab() override;

  // Loads today's pending list on a loader thread.
  void ListView2DblClick();
  // A row of ListView2 changed; only a selected row is shown.
  void daifaListView(int index);
  // Rewrite R and DA of SelectedRecord in today's outbox from the boxes.
  void changge_dai_BitBtn1Click();
  // Mark SelectedRecord forbidden: '*' in front of the recipients box.
  void del_dai_BitBtn2Click();

  // Reads the progress of the record being sent on a worker thread; the
  // page does so by itself every few seconds while it is shown.
  void RefreshProgress();

  ListLoader& Loader() { return *loader_; }
  PageWorker& ProgressWorker() { return *progress_worker_; }

  // The record the modify and forbid buttons act on, for the whole window:
  // the pending and the sent list both set it.
  long SelectedRecord = 0;

  ui::ReportView* ListView2;
  QLabel* Label2;
  ui::Memo* Memo1;
  QLabel* Label3;
  ui::Memo* Memo2;
  QPushButton* changge_dai_BitBtn1;
  QPushButton* del_dai_BitBtn2;
  QProgressBar* SendProgressBar;
  QLabel* SendProgressLabel;

 private:
  const Station station_;
  void HoverOver(int index);

  std::unique_ptr<ListLoader> loader_;
  std::unique_ptr<PageWorker> progress_worker_;
  std::shared_ptr<SendProgressReader> progress_reader_;
  QTimer* progress_timer_;
  QTimer* hover_timer_;
  int hovered_row_ = -1;
};

}  // namespace tavrel::console
