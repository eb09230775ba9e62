#include "ZEL.Scheduler.h"

#include <utility>

#include "ZEL.ExceptionReporter.h"
#include "ZEL.Exceptions.h"

namespace ZEL {

namespace {
// The context that exception reports of handlers name.
constexpr std::string_view ReportContext = "TScheduledTasks worker";
}  // namespace

TScheduledTask::TScheduledTask(TScheduledTasks& AOwner, int AId, std::string AName, TExecuteProc AExecute)
    : FOwner(AOwner), FId(AId), FName(std::move(AName)), FExecute(std::move(AExecute)) {}

TScheduledTask& TScheduledTask::SetParameter(const std::string& AName, std::int64_t AValue) {
  std::lock_guard<std::mutex> guard(FLock);
  FParams[AName] = AValue;
  return *this;
}

std::int64_t TScheduledTask::GetParameter(const std::string& AName, std::int64_t ADefault) const {
  std::lock_guard<std::mutex> guard(FLock);
  auto it = FParams.find(AName);
  return it == FParams.end() ? ADefault : it->second;
}

TScheduledTask& TScheduledTask::WaitAndRetry(int ARetries, std::chrono::milliseconds AInterval) {
  std::lock_guard<std::mutex> guard(FLock);
  FMaxRetries = ARetries < 0 ? 0 : ARetries;
  FRetryInterval = AInterval;
  return *this;
}

TScheduledTask& TScheduledTask::OnRetry(TRetryProc AProc) {
  std::lock_guard<std::mutex> guard(FLock);
  FOnRetry = std::move(AProc);
  return *this;
}

TScheduledTask& TScheduledTask::OnException(TExceptionProc AProc) {
  std::lock_guard<std::mutex> guard(FLock);
  FOnException = std::move(AProc);
  return *this;
}

TScheduledTask& TScheduledTask::OnTerminated(TTaskProc AProc) {
  std::lock_guard<std::mutex> guard(FLock);
  FOnTerminated = std::move(AProc);
  return *this;
}

TScheduledTask& TScheduledTask::OnExpired(TTaskProc AProc) {
  std::lock_guard<std::mutex> guard(FLock);
  FOnExpired = std::move(AProc);
  return *this;
}

void TScheduledTask::RunOnce(std::chrono::steady_clock::time_point AAt) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FArmed = true;
    FRepeat = false;
    FNextRun = AAt;
    FCancelled = false;
    ++FArmCount;
  }
  FOwner.Wake();
}

void TScheduledTask::RepeatEvery(std::chrono::milliseconds AInterval,
                                 std::chrono::steady_clock::time_point AFirst) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FArmed = true;
    FRepeat = true;
    FInterval = AInterval;
    FNextRun = AFirst;
    FCancelled = false;
    ++FArmCount;
  }
  FOwner.Wake();
}

void TScheduledTask::Cancel() {
  std::lock_guard<std::mutex> guard(FLock);
  FCancelled = true;
}

int TScheduledTask::NumRetries() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRetries;
}

int TScheduledTask::MaxRetries() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FMaxRetries;
}

bool TScheduledTask::Failed() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FFailed;
}

bool TScheduledTask::IsCancelled() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FCancelled;
}

bool TScheduledTask::IsArmed() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FArmed && !FCancelled;
}

void TScheduledTask::SetResult(std::any AValue) {
  std::lock_guard<std::mutex> guard(FLock);
  FResult = std::move(AValue);
}

std::any TScheduledTask::Result() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FResult;
}

bool TScheduledTask::Wait(std::chrono::milliseconds ADuration) {
  return FOwner.WaitUntil(TClock::now() + ADuration);
}

void TScheduledTask::Run() {
  std::uint64_t armCount = 0;
  TRetryProc onRetry;
  TExceptionProc onException;
  TTaskProc onTerminated, onExpired;
  {
    std::lock_guard<std::mutex> guard(FLock);
    FRetries = 0;
    FFailed = false;
    armCount = FArmCount;
    onRetry = FOnRetry;
    onException = FOnException;
    onTerminated = FOnTerminated;
    onExpired = FOnExpired;
  }

  // Gives true when the run is to be tried again.
  auto failure = [&](const std::exception& AError) -> bool {
    bool stop = false;
    bool canRetry = false;
    std::chrono::milliseconds interval{0};
    {
      std::lock_guard<std::mutex> guard(FLock);
      canRetry = FRetries < FMaxRetries;
      interval = FRetryInterval;
    }
    if (canRetry && onRetry)
      ExceptionReporter::Guarded(ReportContext, [&] { onRetry(*this, &AError, stop); });
    if (canRetry && !stop && Wait(interval)) {
      std::lock_guard<std::mutex> guard(FLock);
      ++FRetries;
      return true;
    }
    {
      std::lock_guard<std::mutex> guard(FLock);
      FFailed = true;
    }
    if (onException) ExceptionReporter::Guarded(ReportContext, [&] { onException(*this, AError); });
    return false;
  };

  for (;;) {
    bool again = false;
    try {
      FExecute(*this);
    } catch (const std::exception& e) {
      again = failure(e);
    } catch (...) {
      const EZELException unknown("Unknown exception");
      again = failure(unknown);
    }
    if (!again) break;
  }

  if (onTerminated) ExceptionReporter::Guarded(ReportContext, [&] { onTerminated(*this); });

  bool expired = false;
  {
    std::lock_guard<std::mutex> guard(FLock);
    // Arming during the run stands: it is the owner's newer wish.
    if (FArmCount == armCount) {
      if (!FRepeat) {
        FArmed = false;
        expired = true;
      } else if (FFailed) {
        FCancelled = true;
      } else {
        FNextRun = TClock::now() + FInterval;
      }
    }
  }
  if (expired && onExpired) ExceptionReporter::Guarded(ReportContext, [&] { onExpired(*this); });
}

TScheduledTasks::~TScheduledTasks() {
  Stop();
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id())
      FThread.detach();
    else
      FThread.join();
  }
}

IScheduledTask TScheduledTasks::AddTask(const std::string& AName, TScheduledTask::TExecuteProc AExecute) {
  std::lock_guard<std::mutex> guard(FLock);
  auto task = std::make_shared<TScheduledTask>(*this, FNextId++, AName, std::move(AExecute));
  FTasks.push_back(task);
  return task;
}

IScheduledTask TScheduledTasks::FindTask(const std::string& AName) const {
  std::lock_guard<std::mutex> guard(FLock);
  for (const auto& task : FTasks)
    if (task->Name() == AName) return task;
  return nullptr;
}

void TScheduledTasks::Start() {
  std::unique_lock<std::mutex> lock(FLock);
  if (FRunning) return;
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      // Restarted by its own task after a Stop: the loop simply goes on.
      FStopRequested = false;
      FRunning = true;
      return;
    }
    std::thread old = std::move(FThread);
    lock.unlock();
    old.join();
    lock.lock();
    if (FRunning) return;
  }
  FStopRequested = false;
  FRunning = true;
  FThread = std::thread([this] { Worker(); });
}

void TScheduledTasks::Stop() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStopRequested = true;
    FRunning = false;
  }
  FWake.notify_all();
}

bool TScheduledTasks::IsStarted() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRunning;
}

void TScheduledTasks::Wake() {
  { std::lock_guard<std::mutex> guard(FLock); }
  FWake.notify_all();
}

bool TScheduledTasks::WaitUntil(TClock::time_point ADeadline) {
  std::unique_lock<std::mutex> lock(FLock);
  return !FWake.wait_until(lock, ADeadline, [this] { return FStopRequested; });
}

void TScheduledTasks::Worker() {
  ExceptionReporter::Guarded(ReportContext, [this] {
    std::unique_lock<std::mutex> lock(FLock);
    while (!FStopRequested) {
      IScheduledTask due;
      auto earliest = TClock::time_point::max();
      const auto now = TClock::now();
      for (const auto& task : FTasks) {
        std::lock_guard<std::mutex> guard(task->FLock);
        if (!task->FArmed || task->FCancelled) continue;
        if (task->FNextRun <= now) {
          due = task;
          break;
        }
        if (task->FNextRun < earliest) earliest = task->FNextRun;
      }
      if (due) {
        lock.unlock();
        due->Run();
        lock.lock();
        continue;
      }
      // Arming wakes us; a spurious wake-up only rescans.
      if (earliest == TClock::time_point::max())
        FWake.wait(lock);
      else
        FWake.wait_until(lock, earliest);
    }
  });
}

}  // namespace ZEL
