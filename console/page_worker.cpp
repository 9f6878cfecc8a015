#include "console/page_worker.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/window_thread.h"

namespace tavrel::console {

struct PageWorker::State {
  std::mutex mutex;
  std::condition_variable idle;
  bool running = false;
};

PageWorker::PageWorker() : state_(std::make_shared<State>()) {}

PageWorker::~PageWorker() = default;

bool PageWorker::Start(std::function<void()> work) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->running) return false;
    state_->running = true;
  }
  std::thread([state = state_, work = std::move(work)] {
    try {
      work();
    } catch (...) {
      ui::PostToWindow([text = ui::ExceptionText(std::current_exception())] {
        ui::ShowException(text);
      });
    }
    std::lock_guard lock(state->mutex);
    state->running = false;
    state->idle.notify_all();
  }).detach();
  return true;
}

void PageWorker::WaitIdle() {
  std::unique_lock lock(state_->mutex);
  state_->idle.wait(lock, [&] { return !state_->running; });
}

}  // namespace tavrel::console
