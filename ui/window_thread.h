#pragma once
// Controls belong to the window thread. Worker threads (the engine, loaders,
// listeners, generators) hand their control updates over with these calls;
// the window thread carries them out in exactly the order they were posted,
// across all callers, in small time slices so that painting goes on.
#include <functional>
#include <string_view>

namespace tavrel::ui {

class Memo;

bool OnWindowThread();

// Queues update for the window thread. Safe from any thread; from the window
// thread it is queued too, behind what is already waiting.
void PostToWindow(std::function<void()> update);

// Appends text to memo on the window thread, in order with PostToWindow.
// Consecutive appends to one memo go in as one insertion, so a worker can
// append line by line at no per-line cost. A worker that runs far ahead of
// the window waits here until the window has caught up. memo must outlive
// the call; if it is gone by the time the update runs, the update is dropped.
void PostAppend(Memo* memo, std::string_view gbk);

// Runs call on the window thread after everything already posted and waits
// for it to return (e.g. a modal message box a worker must wait for). From
// the window thread it runs at once.
void RunOnWindowAndWait(const std::function<void()>& call);

// Carries out everything posted so far (window thread only); for tests and
// for handlers that must see their own posts done.
void ProcessPostedUpdates();

}  // namespace tavrel::ui
