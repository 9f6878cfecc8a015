#pragma once
// Work of a page that may read a whole journal or recipient list, kept off
// the window thread: one piece at a time, on a thread of its own that is not
// waited for. The work hands its result to the window with ui::PostToWindow.
#include <functional>
#include <memory>

namespace tavrel::console {

class PageWorker {
 public:
  PageWorker();
  ~PageWorker();
  PageWorker(const PageWorker&) = delete;
  PageWorker& operator=(const PageWorker&) = delete;

  // Window thread. False, and nothing started, while the last work runs.
  bool Start(std::function<void()> work);
  // Blocks until no work runs; what it posted may still wait for the window
  // thread (ui::ProcessPostedUpdates). For tests.
  void WaitIdle();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tavrel::console
