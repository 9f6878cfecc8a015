#include "platform/suspendable_thread.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Pauses here are nominal times on the pacing clock, scaled by 1/100.
const bool kScaled = [] { return ::setenv("TAVREL_TIME_SCALE", "0.01", 0) == 0; }();

// Counts its rounds; each round passes a checkpoint and a short pause.
class Counter : public SuspendableThread {
 public:
  ~Counter() override { StopAndJoin(); }
  std::atomic<int> rounds{0};

 protected:
  void Execute() override {
    for (;;) {
      Checkpoint();
      ++rounds;
      Pause(100ms);
    }
  }
};

// One long pause, timed from the inside.
class Sleeper : public SuspendableThread {
 public:
  explicit Sleeper(std::chrono::milliseconds nominal) : nominal_(nominal) {}
  ~Sleeper() override { StopAndJoin(); }
  std::atomic<bool> pausing{false};
  Clock::time_point began, ended;

 protected:
  void Execute() override {
    began = Clock::now();
    pausing = true;
    Pause(nominal_);
    ended = Clock::now();
  }

 private:
  std::chrono::milliseconds nominal_;
};

template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = Clock::now() + 10s;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(SuspendableThread, RunsNothingUntilTheFirstResume) {
  Counter counter;
  counter.Suspend();  // a stop before the first start leaves it created
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(counter.rounds, 0);
  EXPECT_TRUE(counter.WaitSuspended(0ms));
  counter.Resume();
  EXPECT_TRUE(Eventually([&] { return counter.rounds > 2; }));
}

TEST(SuspendableThread, HoldsAtACheckpointUntilResumed) {
  Counter counter;
  counter.Resume();
  ASSERT_TRUE(Eventually([&] { return counter.rounds > 0; }));

  counter.Suspend();
  counter.Suspend();
  ASSERT_TRUE(counter.WaitSuspended(10s));
  const int held_at = counter.rounds;
  std::this_thread::sleep_for(50ms);  // many rounds' worth
  EXPECT_EQ(counter.rounds, held_at);
  EXPECT_FALSE(counter.Finished());

  // One start undoes any number of stops.
  counter.Resume();
  EXPECT_FALSE(counter.WaitSuspended(0ms));
  EXPECT_TRUE(Eventually([&] { return counter.rounds > held_at + 2; }));
}

TEST(SuspendableThread, AnInterruptedPauseWaitsOnlyItsRestAfterResume) {
  Sleeper sleeper(100000ms);  // 1000 ms scaled
  sleeper.Resume();
  ASSERT_TRUE(Eventually([&] { return sleeper.pausing.load(); }));
  std::this_thread::sleep_for(400ms);
  sleeper.Suspend();
  const auto suspended = Clock::now();
  ASSERT_TRUE(sleeper.WaitSuspended(10s));
  std::this_thread::sleep_for(1500ms);  // longer than the whole pause
  EXPECT_FALSE(sleeper.Finished());
  const auto resumed = Clock::now();
  sleeper.Resume();
  sleeper.WaitFinished();

  // Time spent pausing, not counting the time held: the whole pause once,
  // neither cut short nor started over.
  const auto paused = (suspended - sleeper.began) + (sleeper.ended - resumed);
  EXPECT_GE(paused, 990ms);
  EXPECT_LT(paused, 1400ms);
  EXPECT_GE(sleeper.ended, resumed);
}

TEST(SuspendableThread, TearDownLeavesAHeldOrPausingWorkerAtOnce) {
  const auto start = Clock::now();
  {
    Sleeper pausing(10000000ms);  // 100000 s scaled
    pausing.Resume();
    ASSERT_TRUE(Eventually([&] { return pausing.pausing.load(); }));
  }
  {
    Counter held;
    held.Resume();
    held.Suspend();
    ASSERT_TRUE(held.WaitSuspended(10s));
  }
  { Counter never_started; }
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST(SuspendableThread, FinishesWhenExecuteReturns) {
  Sleeper quick(1ms);
  EXPECT_FALSE(quick.Finished());
  quick.Resume();
  quick.WaitFinished();
  EXPECT_TRUE(quick.Finished());
  EXPECT_TRUE(quick.WaitSuspended(0ms));
  quick.Resume();  // harmless once finished
  quick.Suspend();
}

}  // namespace
}  // namespace tavrel
