#pragma once
// Named tasks run by one worker thread: a single run or a repeat every interval, a
// wait-and-retry policy for runs that throw, and handlers for retry, exception,
// termination and expiry. Every wait of the worker is cancelled by Stop, so an owner that
// frees its scheduler never waits for a sleeping task.

#include <any>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ZEL {

class TScheduledTasks;

class TScheduledTask {
public:
  static constexpr std::string_view TypeName = "TScheduledTask";

  using TExecuteProc = std::function<void(TScheduledTask&)>;
  // AException is null when no exception is known; setting AStopRetries ends the retries.
  using TRetryProc = std::function<void(TScheduledTask&, const std::exception* AException, bool& AStopRetries)>;
  using TExceptionProc = std::function<void(TScheduledTask&, const std::exception& AException)>;
  using TTaskProc = std::function<void(TScheduledTask&)>;

  TScheduledTask(TScheduledTasks& AOwner, int AId, std::string AName, TExecuteProc AExecute);
  TScheduledTask(const TScheduledTask&) = delete;
  TScheduledTask& operator=(const TScheduledTask&) = delete;

  int IdTask() const { return FId; }
  const std::string& Name() const { return FName; }
  TScheduledTasks& Owner() const { return FOwner; }

  // Settings; give them before the task is armed.
  TScheduledTask& SetParameter(const std::string& AName, std::int64_t AValue);
  std::int64_t GetParameter(const std::string& AName, std::int64_t ADefault = 0) const;
  TScheduledTask& WaitAndRetry(int ARetries, std::chrono::milliseconds AInterval);
  TScheduledTask& OnRetry(TRetryProc AProc);
  TScheduledTask& OnException(TExceptionProc AProc);
  TScheduledTask& OnTerminated(TTaskProc AProc);
  TScheduledTask& OnExpired(TTaskProc AProc);

  // Arming: one run at AAt (now by default), or a first run at AAt and then one every
  // AInterval after the end of the last. Arming again restarts the timing and revives a
  // cancelled or failed task.
  void RunOnce(std::chrono::steady_clock::time_point AAt = std::chrono::steady_clock::now());
  void RepeatEvery(std::chrono::milliseconds AInterval,
                   std::chrono::steady_clock::time_point AFirst = std::chrono::steady_clock::now());
  // No further run is started (one that runs goes to its end).
  void Cancel();

  // Retries made in the current (or last) run, and the policy's maximum.
  int NumRetries() const;
  int MaxRetries() const;
  // The last run ended in an exception after its retries; Done is the opposite.
  bool Failed() const;
  bool Done() const { return !Failed(); }
  bool IsCancelled() const;
  bool IsArmed() const;

  // A value the execute step leaves for its handlers (and owner).
  void SetResult(std::any AValue);
  std::any Result() const;

  // For the execute step: sleeps, unless the scheduler is stopped meanwhile; false then.
  bool Wait(std::chrono::milliseconds ADuration);

private:
  friend class TScheduledTasks;
  using TClock = std::chrono::steady_clock;

  void Run();  // on the worker, one run with its retries and handlers

  TScheduledTasks& FOwner;
  const int FId;
  const std::string FName;
  const TExecuteProc FExecute;

  mutable std::mutex FLock;  // everything below
  std::map<std::string, std::int64_t> FParams;
  int FMaxRetries = 0;
  std::chrono::milliseconds FRetryInterval{0};
  TRetryProc FOnRetry;
  TExceptionProc FOnException;
  TTaskProc FOnTerminated;
  TTaskProc FOnExpired;
  bool FArmed = false;
  bool FRepeat = false;
  std::chrono::milliseconds FInterval{0};
  TClock::time_point FNextRun{};
  std::uint64_t FArmCount = 0;
  bool FCancelled = false;
  bool FFailed = false;
  int FRetries = 0;
  std::any FResult;
};

using IScheduledTask = std::shared_ptr<TScheduledTask>;

class TScheduledTasks {
public:
  static constexpr std::string_view TypeName = "TScheduledTasks";

  TScheduledTasks() = default;
  // Stops and waits for the worker (whose waits are cancelled). Must not run on the worker.
  ~TScheduledTasks();
  TScheduledTasks(const TScheduledTasks&) = delete;
  TScheduledTasks& operator=(const TScheduledTasks&) = delete;

  // Adds a task (not armed); names need not be unique, FindTask gives the first.
  IScheduledTask AddTask(const std::string& AName, TScheduledTask::TExecuteProc AExecute);
  IScheduledTask FindTask(const std::string& AName) const;

  // Starts the worker; nothing when it runs. Safe from the worker itself.
  void Start();
  // Asks the worker to end and returns at once; safe from the worker itself.
  void Stop();
  bool IsStarted() const;

private:
  friend class TScheduledTask;
  using TClock = std::chrono::steady_clock;

  void Worker();
  void Wake();
  // Sleeps until ADeadline or Stop; false when stopped.
  bool WaitUntil(TClock::time_point ADeadline);

  mutable std::mutex FLock;
  std::condition_variable FWake;
  std::vector<IScheduledTask> FTasks;
  int FNextId = 1;
  bool FRunning = false;
  bool FStopRequested = false;
  std::thread FThread;
};

}  // namespace ZEL
