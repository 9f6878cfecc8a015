#pragma once
// Merlon's window: a start number, an end number, and the list of every
// number between them, made on a worker thread of its own.
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "numgen/range_generator.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrel::numgen {

class LineListView;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QPushButton* Button1;
  LineListView* Memo1;

  void Button1Click();
  bool Running() const { return worker_.joinable(); }

  // The message shown when a range is refused (GBK).
  static std::string TooManyNumbersText(std::uint64_t count);

 signals:
  // A run has listed its last line and the button reads "确定" again.
  void RunFinished();

 private:
  int GenerateRange(NumberRange range);
  void HandOver(std::string batch);
  void FinishRun();

  std::thread worker_;
  std::atomic<bool> stop_{false};
  // Text made by the worker and not yet in the list; the worker waits while
  // too much is in flight, so a fast generator cannot outgrow the window.
  std::mutex flight_mutex_;
  std::condition_variable flight_room_;
  std::size_t in_flight_ = 0;
};

}  // namespace tavrel::numgen
