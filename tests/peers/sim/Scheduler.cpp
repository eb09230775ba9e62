#include "Scheduler.h"

#include <cstdio>
#include <exception>

namespace ZelSim {

TScheduler::TScheduler() : FThread([this] { Run(); }) {}

TScheduler::~TScheduler() { Stop(); }

void TScheduler::At(TInstant AWhen, std::function<void()> AJob) {
  {
    std::lock_guard lock(FLock);
    if (FStopping) return;
    FJobs.emplace(AWhen, std::move(AJob));
  }
  FWake.notify_all();
}

void TScheduler::After(std::chrono::milliseconds ADelay, std::function<void()> AJob) {
  At(Now() + ADelay, std::move(AJob));
}

void TScheduler::CancelAll() {
  std::lock_guard lock(FLock);
  FJobs.clear();
}

void TScheduler::Stop() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
    FJobs.clear();
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TScheduler::Run() {
  std::unique_lock lock(FLock);
  while (!FStopping) {
    if (FJobs.empty()) {
      FWake.wait(lock);
      continue;
    }
    const auto due = FJobs.begin()->first;
    if (Now() < due) {
      FWake.wait_until(lock, due);
      continue;
    }
    auto job = std::move(FJobs.begin()->second);
    FJobs.erase(FJobs.begin());
    lock.unlock();
    try {
      job();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "[sim] scheduled job failed: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "[sim] scheduled job failed\n");
    }
    lock.lock();
  }
}

}  // namespace ZelSim
