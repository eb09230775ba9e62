#include <gtest/gtest.h>

#include <QThread>
#include <QThreadPool>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Messaging.h"
#include "ZEL.UIThread.h"

namespace {

using ZEL::EZELException;
ZEL_DECLARE_EXCEPTION(ETestWorkFailed, EZELException)

TEST(UIThreadTest, RunSyncOnTheUIThreadRunsAtOnce) {
  ASSERT_TRUE(ZEL::UIThread::IsUIThread());
  bool ran = false;
  ZEL::UIThread::RunSync([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(ZEL::UIThread::RunSync([] { throw ETestWorkFailed("direct"); }), ETestWorkFailed);
}

// Many workers hand work over while the UI thread pumps its events. The counter is a
// plain int touched only on the UI thread: a hand-over that ThreadSanitizer cannot see
// would show up as a race on it.
TEST(UIThreadTest, RunSyncFromManyWorkersRunsEachOnTheUIThread) {
  constexpr int Workers = 8;
  constexpr int PerWorker = 50;
  int counter = 0;
  std::atomic<int> offThread{0};
  std::atomic<int> finished{0};
  std::vector<int> results(Workers, 0);  // each written by its worker after its hand-overs

  std::vector<std::thread> threads;
  for (int w = 0; w < Workers; ++w) {
    threads.emplace_back([&, w] {
      ASSERT_FALSE(ZEL::UIThread::IsUIThread());
      int last = 0;
      for (int i = 0; i < PerWorker; ++i) {
        ZEL::UIThread::RunSync([&] {
          if (!ZEL::UIThread::IsUIThread()) ++offThread;
          last = ++counter;  // written on the UI thread, read by the worker below
        });
      }
      results[static_cast<std::size_t>(w)] = last;
      ++finished;
    });
  }
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return finished.load() == Workers; }));
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, Workers * PerWorker);
  EXPECT_EQ(offThread.load(), 0);
  for (int r : results) EXPECT_GT(r, 0);
}

TEST(UIThreadTest, AnExceptionOfTheWorkReachesTheWaitingWorker) {
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      ZEL::UIThread::RunSync([] { throw ETestWorkFailed("on the UI thread"); });
      caught = "nothing";
    } catch (const ZEL::EZELException& e) {
      caught = std::string(e.className()) + ": " + e.what();
    }
    done = true;
  });
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(caught, "ETestWorkFailed: on the UI thread");
}

TEST(UIThreadTest, RunAsyncRunsInOrderLaterAndReportsExceptions) {
  std::vector<int> order;  // UI thread only
  std::vector<std::string> reports;
  ZEL::TZELMessagerRef ref = ZEL::TZELMessager<ZEL::TExceptionReportMessage>::Subscribe(
      [&](ZEL::TSender, const ZEL::TExceptionReportMessage& m) { reports.push_back(m.Report()); });

  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) ZEL::UIThread::RunAsync([&order, i] { order.push_back(i); });
    ZEL::UIThread::RunAsync([] { throw ETestWorkFailed("async work"); });
  });
  worker.join();
  bool ranAtOnce = false;
  ZEL::UIThread::RunAsync([&] { ranAtOnce = true; });
  EXPECT_FALSE(ranAtOnce);  // queued, also from the UI thread

  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return ranAtOnce && !reports.empty(); }));
  ZEL::TZELMessager<ZEL::TExceptionReportMessage>::Unsubscribe(ref);
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("ETestWorkFailed"), std::string::npos) << reports[0];
  EXPECT_NE(reports[0].find("async work"), std::string::npos) << reports[0];
}

// A worker waits for the UI thread while the UI thread, not pumping events, cancels its
// owner's token (as a window going away that then waits for that worker): the wait ends,
// and the work, never started, is never run afterwards.
TEST(UIThreadTest, CancelledRunSyncReleasesTheWorkerAndDropsItsWork) {
  auto cancel = std::make_shared<ZEL::UIThread::TCancel>();
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = ZEL::UIThread::RunSync([&ran] { ran = true; }, cancel) ? 1 : 0; });
  // Give the worker time to queue its work; the UI thread does not drain meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  cancel->Cancel();
  worker.join();  // would hang without the cancel
  EXPECT_EQ(result.load(), 0);
  ZEL::Test::WaitUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_FALSE(ran.load());
  // Once cancelled, later hand-overs return at once without running.
  std::thread late([&] { result = ZEL::UIThread::RunSync([&ran] { ran = true; }, cancel) ? 1 : 0; });
  late.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(ran.load());
}

TEST(UIThreadTest, UncancelledRunSyncRunsAndPassesItsException) {
  auto cancel = std::make_shared<ZEL::UIThread::TCancel>();
  int counter = 0;  // UI thread only
  std::atomic<int> result{-1};
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = ZEL::UIThread::RunSync([&counter] { ++counter; }, cancel) ? 1 : 0;
    try {
      ZEL::UIThread::RunSync([] { throw ETestWorkFailed("cancellable"); }, cancel);
    } catch (const ZEL::EZELException& e) {
      caught = e.what();
    }
    done = true;
  });
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(caught, "cancellable");
  EXPECT_TRUE(ZEL::UIThread::RunSync([&counter] { ++counter; }, cancel));  // on the UI thread: at once
  EXPECT_EQ(counter, 2);
}

}  // namespace

namespace {

// Run by the test below in a child process: a pool task still waiting for the UI thread when
// the program ends. The application's destructor waits for the pool, so the waiting task
// must be released, or the program never ends.
TEST(UIThreadShutdown, DISABLED_WorkerStillWaitingAtTheEnd) {
  std::atomic<bool> handed{false};
  QThreadPool::globalInstance()->start([&handed] {
    handed = true;
    ZEL::UIThread::RunSync([] { ADD_FAILURE() << "work ran after the application had gone"; });
  });
  while (!handed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the task now waits
}

TEST(UIThreadShutdown, ProgramEndsWhileAWorkerWaitsForTheUIThread) {
  const std::string cmd = "timeout 30 /proc/" + std::to_string(getpid()) +
                          "/exe --gtest_filter=UIThreadShutdown.DISABLED_WorkerStillWaitingAtTheEnd"
                          " --gtest_also_run_disabled_tests > /dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
