#pragma once
// Ravelin's main window: eight pages above the row of buttons that start and
// stop the engine and start the companion programs.
#include <QWidget>
#include <memory>

#include "console/window_monitor.h"
#include "engine/engines.h"
#include "platform/station.h"
#include "store/station_lock.h"

class QPushButton;
class QTabWidget;

namespace tavrel::console {

class ComposeTab;
class PendingTab;
class SentTab;
class ReceivedTab;
class InfoCodeTab;
class CustomerTab;
class SettingsTab;
class MonitorTab;
class ModemStrip;

class TForm1 : public QWidget {
 public:
  // The window of the station in station's folder (the working directory by
  // default).
  explicit TForm1(Station station = Station());
  ~TForm1() override;

  void FormCreate();
  void BitBtn3Click();  // start request
  void ddd();           // stop request
  void Button7Click();  // Quillon
  void Button8Click();  // help page
  void Button9Click();  // pending list (the button stays disabled)
  void Button10Click(); // Merlon
  void PageControl1Change() {}

  Engines& Engine() { return *engine_; }

  QTabWidget* PageControl1;
  ComposeTab* TabSheet1;
  PendingTab* TabSheet2;
  SentTab* TabSheet3;
  ReceivedTab* TabSheet6;
  InfoCodeTab* TabSheet5;
  CustomerTab* TabSheet7;
  SettingsTab* TabSheet4;
  MonitorTab* TabSheet8;
  QPushButton* BitBtn3;
  QPushButton* BitBtn5;
  QPushButton* Button7;
  QPushButton* Button8;
  QPushButton* Button10;
  QPushButton* Button9;

  // Starts local_command when that file exists, else the installed program
  // beside this one, and waits for neither. The buttons pass ./Quillon.exe
  // and ./Merlon.exe: the working directory's, as the operator placed them.
  void StartCompanion(const char* local_command, const char* installed_name);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildButtons();

  const Station station_;
  // Taken at the first start and kept for the life of the window: a stopped
  // engine still owns the station. Outlives the engine.
  StationLock station_lock_;

  // The monitor outlives the engine that reports to it.
  std::unique_ptr<WindowMonitor> monitor_;
  std::unique_ptr<Engines> engine_;
  ModemStrip* strip_;  // on the monitoring page, owned by it
};

}  // namespace tavrel::console
