#pragma once
// Handing work to the UI thread (the thread of the QCoreApplication). These two are the
// only ways our code waits for or queues onto the UI thread.

#include <functional>
#include <memory>

namespace ZEL::UIThread {

// True on the application's thread, and when there is no application at all.
bool IsUIThread();

// Runs AWork on the UI thread and returns once it has run. On the UI thread, or without an
// application, it runs at once. An exception from AWork is rethrown here, on the caller's
// thread. Once the application is being destroyed, work from other threads is dropped and
// this returns without running it (callers check, in AWork, what it was to set).
void RunSync(std::function<void()> AWork);

// Ends the waits of workers whose owner goes away (see the RunSync below). Cancel from any
// thread; once cancelled, it stays so.
class TCancel {
public:
  TCancel();
  ~TCancel();
  void Cancel();
  bool Cancelled() const;

private:
  friend bool RunSync(std::function<void()>, const std::shared_ptr<TCancel>&);
  struct TState;
  std::shared_ptr<TState> FState;
};

// RunSync whose wait also ends when ACancel is cancelled: work not started by then never
// runs. For a worker that waits for the UI thread while the UI thread may wait for the
// worker's owner to go. Since the wait can end while AWork still runs or has yet to run,
// AWork must own everything it captures. True when AWork ran to its end (its exception is
// rethrown here, as above); false when it was cancelled or dropped.
bool RunSync(std::function<void()> AWork, const std::shared_ptr<TCancel>& ACancel);

// Queues AWork to run later on the UI thread and returns at once (also when called on the
// UI thread). Without an application it runs at once. An exception from AWork is reported
// through the exception reporter. Work queued as the application is destroyed is dropped.
void RunAsync(std::function<void()> AWork);

}  // namespace ZEL::UIThread
