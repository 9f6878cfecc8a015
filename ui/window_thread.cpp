#include "ui/window_thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>

#include "ui/application.h"
#include "ui/memo.h"
#include "ui/message_box.h"

namespace tavrel::ui {
namespace {

// A worker that appends faster than the window can insert waits once this
// much text is queued, so memory stays bounded.
constexpr std::size_t kMaxQueuedAppendBytes = 8u << 20;
// A single joined append is closed at this size so one insertion stays short.
constexpr std::size_t kMaxJoinedAppend = 1u << 20;
// The window thread works through the queue in slices of this length.
constexpr int kSliceMs = 25;

struct Update {
  std::function<void()> call;  // empty for an append
  QPointer<Memo> memo;
  Memo* memo_key = nullptr;
  std::string append;
};

class UpdateQueue {
 public:
  void Push(Update update) {
    std::unique_lock lock(mutex_);
    if (!update.call && !OnWindowThread()) {
      room_.wait(lock, [&] { return queued_append_bytes_ < kMaxQueuedAppendBytes; });
    }
    if (!update.call && !queue_.empty()) {
      Update& last = queue_.back();
      if (!last.call && last.memo_key == update.memo_key &&
          last.append.size() + update.append.size() <= kMaxJoinedAppend) {
        last.append += update.append;
        queued_append_bytes_ += update.append.size();
        return;
      }
    }
    queued_append_bytes_ += update.append.size();
    queue_.push_back(std::move(update));
    if (!drain_posted_) {
      drain_posted_ = true;
      lock.unlock();
      PostDrain();
    }
  }

  // Runs updates in order until the queue is empty or the slice is used up.
  void Drain(bool whole) {
    QElapsedTimer slice;
    slice.start();
    for (;;) {
      Update update;
      {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
          drain_posted_ = false;
          return;
        }
        if (!whole && slice.elapsed() > kSliceMs) {
          drain_posted_ = true;
          break;
        }
        update = std::move(queue_.front());
        queue_.pop_front();
        queued_append_bytes_ -= update.append.size();
        // An update may open a modal box whose own event loop must go on
        // carrying out later updates: let the next push post a fresh drain.
        drain_posted_ = false;
      }
      room_.notify_all();
      Run(update);
    }
    // Slice used up: let painting and input run, then go on.
    PostDrain();
  }

 private:
  // An update that throws is reported like any handler's exception, and the
  // updates behind it still run.
  static void Run(Update& update) {
    try {
      if (update.call) {
        update.call();
      } else if (update.memo) {
        update.memo->AppendText(update.append);
      }
    } catch (...) {
      ShowException(ExceptionText(std::current_exception()));
    }
  }

  void PostDrain() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(app, [this] { Drain(false); }, Qt::QueuedConnection);
  }

  std::mutex mutex_;
  std::condition_variable room_;
  std::deque<Update> queue_;
  std::size_t queued_append_bytes_ = 0;
  bool drain_posted_ = false;
};

UpdateQueue& Queue() {
  // Never destroyed: workers may still post while the process ends.
  static auto* queue = new UpdateQueue;
  return *queue;
}

}  // namespace

bool OnWindowThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void PostToWindow(std::function<void()> update) {
  if (!update) return;
  Queue().Push(Update{std::move(update), {}, nullptr, {}});
}

void PostAppend(Memo* memo, std::string_view gbk) {
  if (memo == nullptr || gbk.empty()) return;
  Queue().Push(Update{{}, QPointer<Memo>(memo), memo, std::string(gbk)});
}

void RunOnWindowAndWait(const std::function<void()>& call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  PostToWindow([&] {
    try {
      call();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

void ProcessPostedUpdates() {
  if (OnWindowThread()) Queue().Drain(true);
}

}  // namespace tavrel::ui
