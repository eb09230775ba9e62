#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "ZEL.Messaging.h"
#include "ZEL.UIThread.h"

namespace {

using namespace ZEL;

class TCountMessage : public TMessage<int> {
public:
  using TMessage<int>::TMessage;
};

class THandOverMessage : public TMessage<int> {
public:
  using TMessage<int>::TMessage;
};

// Pool threads and plain threads send while the UI thread sends and while subscriptions
// come and go on yet another thread.
TEST(MessagingConcurrencyTest, SendersOnManyThreadsReachTheSteadySubscriber) {
  constexpr int PoolTasks = 4;
  constexpr int Threads = 3;
  constexpr int PerSender = 200;
  std::atomic<int> received{0};
  std::atomic<long> sum{0};
  TZELMessagerRef steady = TZELMessager<TCountMessage>::Subscribe([&](TSender, const TCountMessage& m) {
    ++received;
    sum += m.Value();
  });

  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      TZELMessagerRef ref = TZELMessager<TCountMessage>::Subscribe([](TSender, const TCountMessage&) {});
      TZELMessager<TCountMessage>::Unsubscribe(ref);
    }
  });

  auto sendMany = [] {
    for (int i = 0; i < PerSender; ++i)
      TZELMessager<TCountMessage>::Send([] { return std::make_unique<TCountMessage>(1); });
  };
  std::atomic<int> poolDone{0};
  for (int i = 0; i < PoolTasks; ++i)
    QThreadPool::globalInstance()->start([&] {
      sendMany();
      ++poolDone;
    });
  std::vector<std::thread> threads;
  for (int i = 0; i < Threads; ++i) threads.emplace_back(sendMany);
  sendMany();  // the UI thread too

  for (auto& t : threads) t.join();
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return poolDone.load() == PoolTasks; }));
  stop = true;
  churn.join();
  TZELMessager<TCountMessage>::Unsubscribe(steady);

  constexpr int Expected = (PoolTasks + Threads + 1) * PerSender;
  EXPECT_EQ(received.load(), Expected);
  EXPECT_EQ(sum.load(), Expected);
}

// A handler on a worker hands work to the UI thread and waits, while the UI thread sends
// messages of its own: delivery must not hold the manager's lock during handlers.
TEST(MessagingConcurrencyTest, HandlerWaitingForTheUIThreadDoesNotBlockUISenders) {
  int uiSide = 0;  // UI thread only
  std::atomic<int> handled{0};
  TZELMessagerRef ref = TZELMessager<THandOverMessage>::Subscribe([&](TSender, const THandOverMessage&) {
    if (UIThread::IsUIThread()) return;
    UIThread::RunSync([&] { ++uiSide; });
    ++handled;
  });

  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i)
      TZELMessager<THandOverMessage>::Send([] { return std::make_unique<THandOverMessage>(0); });
    workerDone = true;
  });
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] {
    TZELMessager<THandOverMessage>::Send([] { return std::make_unique<THandOverMessage>(0); });
    return workerDone.load();
  }));
  worker.join();
  TZELMessager<THandOverMessage>::Unsubscribe(ref);
  EXPECT_EQ(handled.load(), 50);
  EXPECT_EQ(uiSide, 50);
}

}  // namespace
