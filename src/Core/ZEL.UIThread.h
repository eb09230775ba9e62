#pragma once
// Handing work to the UI thread (the thread of the QCoreApplication). These two are the
// only ways our code waits for or queues onto the UI thread.

#include <functional>

namespace ZEL::UIThread {

// True on the application's thread, and when there is no application at all.
bool IsUIThread();

// Runs AWork on the UI thread and returns once it has run. On the UI thread, or without an
// application, it runs at once. An exception from AWork is rethrown here, on the caller's
// thread. Once the application is being destroyed, work from other threads is dropped and
// this returns without running it (callers check, in AWork, what it was to set).
void RunSync(std::function<void()> AWork);

// Queues AWork to run later on the UI thread and returns at once (also when called on the
// UI thread). Without an application it runs at once. An exception from AWork is reported
// through the exception reporter. Work queued as the application is destroyed is dropped.
void RunAsync(std::function<void()> AWork);

}  // namespace ZEL::UIThread
