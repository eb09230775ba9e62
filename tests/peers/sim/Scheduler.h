#pragma once
// One thread that runs jobs at their time: delayed answers, attachment progress, the end of
// a pause, automatic alerts. Reset cancels everything that is still waiting.

#include "SimTime.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace ZelSim {

class TScheduler {
 public:
  TScheduler();
  ~TScheduler();
  TScheduler(const TScheduler&) = delete;
  TScheduler& operator=(const TScheduler&) = delete;

  void At(TInstant AWhen, std::function<void()> AJob);
  void After(std::chrono::milliseconds ADelay, std::function<void()> AJob);
  void CancelAll();
  void Stop();

 private:
  void Run();

  std::mutex FLock;
  std::condition_variable FWake;
  std::multimap<TInstant, std::function<void()>> FJobs;
  bool FStopping = false;
  std::thread FThread;
};

}  // namespace ZelSim
