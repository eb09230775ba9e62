// The task scheduler: single and repeated runs, retries, handler order, cancellable waits.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Scheduler.h"

namespace ZEL {
namespace {

using namespace std::chrono_literals;
namespace ZT = ZEL::Test;

ZEL_DECLARE_EXCEPTION(ETestFailure, EZELException)

// Collects what the handlers saw, from the worker thread.
struct TTrace {
  std::mutex Lock;
  std::vector<std::string> Lines;
  void Add(std::string ALine) {
    std::lock_guard<std::mutex> guard(Lock);
    Lines.push_back(std::move(ALine));
  }
  std::vector<std::string> Get() {
    std::lock_guard<std::mutex> guard(Lock);
    return Lines;
  }
};

void Observe(TScheduledTask& ATask, TTrace& ATrace, bool AStopOnRetry) {
  ATask.OnRetry([&ATrace, AStopOnRetry](TScheduledTask& T, const std::exception* E, bool& AStop) {
    ATrace.Add("retry " + std::to_string(T.NumRetries()) + (E ? std::string(" ") + E->what() : ""));
    AStop = AStopOnRetry;
  });
  ATask.OnException([&ATrace](TScheduledTask&, const std::exception& E) {
    ATrace.Add(std::string("exception ") + Exceptions::ClassNameOf(E));
  });
  ATask.OnTerminated([&ATrace](TScheduledTask& T) { ATrace.Add(T.Done() ? "terminated done" : "terminated failed"); });
  ATask.OnExpired([&ATrace](TScheduledTask&) { ATrace.Add("expired"); });
}

TEST(Scheduler, SingleRunThenTerminationThenExpiry) {
  TTrace trace;
  TScheduledTasks tasks;
  auto task = tasks.AddTask("Keeper", [&](TScheduledTask& T) { trace.Add("run " + std::to_string(T.GetParameter("CurrentTry"))); });
  task->SetParameter("CurrentTry", 2);
  Observe(*task, trace, false);
  task->RunOnce();
  tasks.Start();
  ASSERT_TRUE(ZT::WaitUntil([&] { return trace.Get().size() == 3; }));
  EXPECT_EQ(trace.Get(), (std::vector<std::string>{"run 2", "terminated done", "expired"}));
  EXPECT_FALSE(task->IsArmed());
  EXPECT_EQ(tasks.FindTask("Keeper"), task);
  EXPECT_EQ(tasks.FindTask("Other"), nullptr);
}

// A run that throws is retried up to the maximum; then the exception handler, termination
// (failed) and expiry. A retry handler that sets the stop flag ends it at once.
TEST(Scheduler, RetriesThenReportsTheFailure) {
  struct TCase {
    bool StopOnRetry;
    std::vector<std::string> Expected;
    int Runs;
  };
  const TCase cases[] = {
      {false, {"retry 0 boom", "retry 1 boom", "exception ETestFailure", "terminated failed", "expired"}, 3},
      {true, {"retry 0 boom", "exception ETestFailure", "terminated failed", "expired"}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.StopOnRetry);
    TTrace trace;
    std::atomic<int> runs{0};
    TScheduledTasks tasks;
    auto task = tasks.AddTask("T", [&](TScheduledTask&) {
      ++runs;
      throw ETestFailure("boom");
    });
    task->WaitAndRetry(2, 10ms);
    Observe(*task, trace, c.StopOnRetry);
    task->RunOnce();
    tasks.Start();
    ASSERT_TRUE(ZT::WaitUntil([&] { return trace.Get().size() == c.Expected.size(); }));
    EXPECT_EQ(trace.Get(), c.Expected);
    EXPECT_EQ(runs.load(), c.Runs);
    EXPECT_TRUE(task->Failed());
  }
}

TEST(Scheduler, RepeatsUntilCancelled) {
  std::atomic<int> runs{0};
  TScheduledTasks tasks;
  auto task = tasks.AddTask("R", [&](TScheduledTask& T) {
    ++runs;
    T.SetResult(runs.load());
  });
  tasks.Start();
  task->RepeatEvery(5ms);
  ASSERT_TRUE(ZT::WaitUntil([&] { return runs.load() >= 3; }));
  task->Cancel();
  const int seen = runs.load();
  ZT::WaitUntil([] { return false; }, 50ms);
  EXPECT_LE(runs.load(), seen + 1);  // a run under way may still end
  EXPECT_GE(std::any_cast<int>(task->Result()), 3);
}

// Stopping (from the task itself, as the keeper does) never waits; freeing a scheduler whose
// task sleeps ends the sleep at once and starts nothing again.
TEST(Scheduler, StopCancelsWaitsAndFreeingDoesNotRunAgain) {
  std::atomic<int> runs{0};
  std::atomic<bool> waitCompleted{false};
  auto tasks = std::make_unique<TScheduledTasks>();
  auto task = tasks->AddTask("Sleeper", [&](TScheduledTask& T) {
    ++runs;
    waitCompleted = T.Wait(60s);
  });
  task->RunOnce();
  tasks->Start();
  ASSERT_TRUE(ZT::WaitUntil([&] { return runs.load() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  tasks.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(waitCompleted.load());
  EXPECT_EQ(runs.load(), 1);

  TScheduledTasks self;
  auto stopper = self.AddTask("Stopper", [](TScheduledTask& T) { T.Owner().Stop(); });
  stopper->RunOnce();
  self.Start();
  ASSERT_TRUE(ZT::WaitUntil([&] { return !self.IsStarted(); }));
  // Started again: a fresh worker, the task armed anew runs.
  std::atomic<bool> ran{false};
  auto again = self.AddTask("Again", [&](TScheduledTask&) { ran = true; });
  again->RunOnce();
  self.Start();
  EXPECT_TRUE(ZT::WaitUntil([&] { return ran.load(); }));
}

}  // namespace
}  // namespace ZEL
