#include "ZEL.UIThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "ZEL.ExceptionReporter.h"

namespace ZEL::UIThread {

namespace {

// Work travels through our own queue so that ThreadSanitizer sees the hand-over; Qt's
// queued call is only the wake-up, since Qt itself is not instrumented.
struct TJob {
  std::function<void()> Work;
  bool Waited = false;
  std::mutex Lock;
  std::condition_variable DoneCV;
  bool Done = false;
  std::exception_ptr Error;
};

using TJobPtr = std::shared_ptr<TJob>;

std::mutex QueueLock;
std::deque<TJobPtr> Queue;

void RunJob(const TJobPtr& AJob) {
  std::exception_ptr error;
  try {
    AJob->Work();
  } catch (...) {
    if (AJob->Waited)
      error = std::current_exception();
    else
      ExceptionReporter::ReportCurrentException("UI thread");
  }
  if (!AJob->Waited) return;
  {
    std::lock_guard<std::mutex> guard(AJob->Lock);
    AJob->Error = error;
    AJob->Done = true;
  }
  AJob->DoneCV.notify_all();
}

// Runs on the UI thread. One wake-up is posted per job, but each drains what is there, so
// a job that spins a nested event loop does not hold up the ones queued after it.
void Drain() {
  for (;;) {
    TJobPtr job;
    {
      std::lock_guard<std::mutex> guard(QueueLock);
      if (Queue.empty()) return;
      job = std::move(Queue.front());
      Queue.pop_front();
    }
    RunJob(job);
  }
}

void Post(QCoreApplication* AApp, TJobPtr AJob) {
  {
    std::lock_guard<std::mutex> guard(QueueLock);
    Queue.push_back(std::move(AJob));
  }
  QMetaObject::invokeMethod(AApp, [] { Drain(); }, Qt::QueuedConnection);
}

}  // namespace

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
  Post(app, job);
  std::unique_lock<std::mutex> lock(job->Lock);
  job->DoneCV.wait(lock, [&] { return job->Done; });
  if (job->Error) std::rethrow_exception(job->Error);
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
