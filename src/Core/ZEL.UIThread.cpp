#include "ZEL.UIThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "ZEL.ExceptionReporter.h"

namespace ZEL::UIThread {

namespace {

// Work travels through our own queue, and workers wake the UI thread through an eventfd
// that a socket notifier on the UI thread watches. No worker touches Qt's event queue, whose
// locking ThreadSanitizer cannot see (Qt is not instrumented).
struct TJob {
  std::function<void()> Work;
  bool Waited = false;
  std::mutex Lock;
  std::condition_variable DoneCV;
  bool Done = false;
  bool Ran = false;
  std::exception_ptr Error;
  std::function<bool()> Skip;  // true: the job's owner is gone, its work is not run
};

using TJobPtr = std::shared_ptr<TJob>;

std::mutex QueueLock;
std::deque<TJobPtr> Queue;
// Set once the application is going: its destructor waits for the pool's tasks, so a task
// waiting for the UI thread then would wait for ever. From then on work is dropped.
bool Closed = false;

void RunJob(const TJobPtr& AJob) {
  std::exception_ptr error;
  bool ran = false;
  try {
    if (!AJob->Skip || !AJob->Skip()) {
      AJob->Work();
      ran = true;
    }
  } catch (...) {
    if (AJob->Waited)
      error = std::current_exception();
    else
      ExceptionReporter::ReportCurrentException("UI thread");
  }
  if (!AJob->Waited) return;
  {
    // Moved, not copied: the waiting thread then holds the only reference and frees the
    // exception itself, after it has read it.
    std::lock_guard<std::mutex> guard(AJob->Lock);
    AJob->Error = std::move(error);
    AJob->Ran = ran;
    AJob->Done = true;
  }
  AJob->DoneCV.notify_all();
}

std::atomic<int> WakeFd{-1};

void Wake(QCoreApplication* AApp);
void CloseQueue();

// Runs on the UI thread. One wake-up is posted per job, but each drains what is there, so
// a job that spins a nested event loop does not hold up the ones queued after it. It runs
// at most the jobs queued when it started: workers that keep queueing (a flood of broker
// messages) must not keep the UI thread from its other events; the rest waits one turn.
void Drain() {
  std::size_t budget = 0;
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    budget = Queue.size();
  }
  for (; budget > 0; --budget) {
    TJobPtr job;
    {
      std::lock_guard<std::mutex> guard(QueueLock);
      if (Queue.empty()) return;
      job = std::move(Queue.front());
      Queue.pop_front();
    }
    RunJob(job);
  }
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    if (Queue.empty()) return;
  }
  if (QCoreApplication* app = QCoreApplication::instance()) Wake(app);
}

// Runs inside every QCoreApplication's constructor, on the UI thread.
void InstallWaker() {
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    Closed = false;
  }
  qAddPostRoutine(CloseQueue);
  const int old = WakeFd.exchange(-1);
  if (old >= 0) close(old);
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return;  // the queued-call wake-up below still works
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fd] {
    eventfd_t count = 0;
    eventfd_read(fd, &count);
    Drain();
  });
  WakeFd.store(fd);
}

// False when the application is going and the job was dropped.
bool Post(QCoreApplication* AApp, TJobPtr AJob) {
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    if (Closed) return false;
    Queue.push_back(std::move(AJob));
  }
  Wake(AApp);
  return true;
}

// Runs in the application's destructor, before it waits for the pool: releases every
// waiting worker without running its work.
void CloseQueue() {
  std::deque<TJobPtr> dropped;
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    Closed = true;
    dropped.swap(Queue);
  }
  for (const TJobPtr& job : dropped) {
    if (!job->Waited) continue;
    {
      std::lock_guard<std::mutex> guard(job->Lock);
      job->Done = true;
    }
    job->DoneCV.notify_all();
  }
}

void Wake(QCoreApplication* AApp) {
  const int fd = WakeFd.load();
  if (fd >= 0 && eventfd_write(fd, 1) == 0) return;
  QMetaObject::invokeMethod(AApp, [] { Drain(); }, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallWaker)

bool IsUIThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

void RunSync(std::function<void()> AWork) {
  if (!AWork) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    AWork();
    return;
  }
  auto job = std::make_shared<TJob>();
  job->Work = std::move(AWork);
  job->Waited = true;
  if (!Post(app, job)) return;
  std::unique_lock<std::mutex> lock(job->Lock);
  job->DoneCV.wait(lock, [&] { return job->Done; });
  if (std::exception_ptr error = std::exchange(job->Error, nullptr)) std::rethrow_exception(error);
}

struct TCancel::TState {
  std::mutex Lock;
  bool Cancelled = false;
  std::vector<std::weak_ptr<TJob>> Waiting;
};

TCancel::TCancel() : FState(std::make_shared<TState>()) {}

TCancel::~TCancel() = default;

void TCancel::Cancel() {
  std::vector<std::weak_ptr<TJob>> waiting;
  {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Cancelled = true;
    waiting.swap(FState->Waiting);
  }
  for (const std::weak_ptr<TJob>& weak : waiting) {
    TJobPtr job = weak.lock();
    if (!job) continue;
    {
      std::lock_guard<std::mutex> guard(job->Lock);
      job->Done = true;
    }
    job->DoneCV.notify_all();
  }
}

bool TCancel::Cancelled() const {
  std::lock_guard<std::mutex> guard(FState->Lock);
  return FState->Cancelled;
}

bool RunSync(std::function<void()> AWork, const std::shared_ptr<TCancel>& ACancel) {
  if (!AWork) return false;
  if (!ACancel) {
    bool ran = false;
    RunSync([&] {
      AWork();
      ran = true;
    });
    return ran;
  }
  if (ACancel->Cancelled()) return false;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    AWork();
    return true;
  }
  auto job = std::make_shared<TJob>();
  job->Work = std::move(AWork);
  job->Waited = true;
  const std::shared_ptr<TCancel::TState> state = ACancel->FState;
  job->Skip = [state] {
    std::lock_guard<std::mutex> guard(state->Lock);
    return state->Cancelled;
  };
  {
    std::lock_guard<std::mutex> guard(state->Lock);
    if (state->Cancelled) return false;
    state->Waiting.push_back(job);
  }
  if (!Post(app, job)) return false;
  std::unique_lock<std::mutex> lock(job->Lock);
  job->DoneCV.wait(lock, [&] { return job->Done; });
  const bool ran = job->Ran;
  std::exception_ptr error = std::exchange(job->Error, nullptr);
  lock.unlock();
  {
    // Forget the finished job, so a long-lived token does not collect them.
    std::lock_guard<std::mutex> guard(state->Lock);
    std::erase_if(state->Waiting, [&](const std::weak_ptr<TJob>& AWeak) { return AWeak.expired() || AWeak.lock() == job; });
  }
  if (error) std::rethrow_exception(error);
  return ran;
}

void RunAsync(std::function<void()> AWork) {
  if (!AWork) return;
  auto job = std::make_shared<TJob>();
  job->Work = std::move(AWork);
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    RunJob(job);
    return;
  }
  Post(app, std::move(job));
}

}  // namespace ZEL::UIThread
