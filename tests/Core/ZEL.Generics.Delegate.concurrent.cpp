#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZEL.Generics.Collections.h"
#include "ZEL.Generics.Delegate.h"

namespace {

using THandler = ZEL::TMethod<void(int)>;

class TFiringDelegate : public ZEL::TEventDelegate<THandler> {
public:
  void Fire(int AValue) {
    Emit([&](const THandler& AHandler) {
      AHandler(AValue);
      return true;
    });
  }
};

struct TCountingListener {
  std::atomic<int> Calls{0};
  void OnEvent(int) { ++Calls; }
};

// The UI thread emits while other threads keep adding and removing their handlers; each
// thread ends with its handler added, so the last emission reaches each exactly once.
TEST(DelegateConcurrencyTest, HandlersChangeOnOtherThreadsWhileTheUIThreadEmits) {
  constexpr int Threads = 6;
  TFiringDelegate delegate;
  std::vector<std::unique_ptr<TCountingListener>> listeners;
  for (int i = 0; i < Threads; ++i) listeners.push_back(std::make_unique<TCountingListener>());

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      const THandler handler = THandler::Of(listeners[static_cast<std::size_t>(t)].get(), &TCountingListener::OnEvent);
      while (!stop.load()) {
        delegate.AddHandler(handler);
        delegate.RemoveHandler(handler);
      }
      delegate.AddHandler(handler);
    });
  }
  for (int i = 0; i < 2000; ++i) delegate.Fire(i);
  stop = true;
  for (auto& t : threads) t.join();

  for (auto& l : listeners) l->Calls = 0;
  delegate.Fire(0);
  for (auto& l : listeners) EXPECT_EQ(l->Calls.load(), 1);
}

struct TItem {
  static constexpr std::string_view TypeName = "TConcurrentItem";
  int Value;
};

struct TListSubscriber {
  std::atomic<int> Added{0};
  void OnNotify(const void*, TItem* const&, ZEL::TCollectionNotification AAction) {
    if (AAction == ZEL::TCollectionNotification::cnAdded) ++Added;
  }
};

TEST(DelegateConcurrencyTest, ListSubscribersComeAndGoWhileTheListChanges) {
  ZEL::TDelegatedObjectList<TItem> list;
  TListSubscriber steady;
  TListSubscriber coming;
  list.OnNotify().AddHandler(ZEL::TCollectionNotifyEvent<TItem>::Of(&steady, &TListSubscriber::OnNotify));

  std::atomic<bool> stop{false};
  std::thread churn([&] {
    const auto handler = ZEL::TCollectionNotifyEvent<TItem>::Of(&coming, &TListSubscriber::OnNotify);
    while (!stop.load()) {
      list.OnNotify().AddHandler(handler);
      list.OnNotify().RemoveHandler(handler);
    }
  });
  for (int i = 0; i < 300; ++i) list.Add(std::make_unique<TItem>(TItem{i}));
  stop = true;
  churn.join();
  list.Clear(false);
  EXPECT_EQ(steady.Added.load(), 300);
  EXPECT_LE(coming.Added.load(), 300);
}

}  // namespace

namespace {

struct TSlowListener {
  std::atomic<bool> Entered{false};
  std::atomic<bool> Left{false};
  std::atomic<int> Calls{0};
  void OnEvent(int) {
    ++Calls;
    Entered = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Left = true;
  }
};

// A handler removed on another thread while an emission runs it: the removal returns only
// once that call has ended (the listener may then go), and no later emission calls it.
TEST(DelegateConcurrencyTest, RemovalWaitsForACallInProgressOnAnotherThread) {
  TFiringDelegate delegate;
  auto listener = std::make_unique<TSlowListener>();
  const THandler handler = THandler::Of(listener.get(), &TSlowListener::OnEvent);
  delegate.AddHandler(handler);

  std::thread emitter([&] { delegate.Fire(1); });
  while (!listener->Entered.load()) std::this_thread::yield();
  delegate.RemoveHandler(handler);
  EXPECT_TRUE(listener->Left.load()) << "the removal returned while the handler still ran";
  emitter.join();
  delegate.Fire(2);
  EXPECT_EQ(listener->Calls.load(), 1);
}

// A handler that removes itself from inside its call, on the emitting thread, does not wait
// for itself.
struct TSelfRemover {
  TFiringDelegate* Delegate = nullptr;
  int Calls = 0;
  void OnEvent(int) {
    ++Calls;
    Delegate->RemoveHandler(THandler::Of(this, &TSelfRemover::OnEvent));
  }
};

TEST(DelegateConcurrencyTest, HandlerRemovingItselfDoesNotWaitForItself) {
  TFiringDelegate delegate;
  TSelfRemover remover{&delegate};
  delegate.AddHandler(THandler::Of(&remover, &TSelfRemover::OnEvent));
  delegate.Fire(1);
  delegate.Fire(2);
  EXPECT_EQ(remover.Calls, 1);
}

}  // namespace
