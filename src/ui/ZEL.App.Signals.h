#pragma once
// Ctrl+C (SIGINT), TERM and HUP end the program the way closing its window does: the handler
// only writes to a pipe, and the UI thread, woken by it, does the ending.

#include <functional>

class QSocketNotifier;

namespace ZEL::App::Signals {

class TEndOnSignals {
public:
  // AOnSignal runs on the UI thread with the signal's number, once for each signal.
  explicit TEndOnSignals(std::function<void(int)> AOnSignal);
  // Puts the handlers back that were there before.
  ~TEndOnSignals();
  TEndOnSignals(const TEndOnSignals&) = delete;
  TEndOnSignals& operator=(const TEndOnSignals&) = delete;

  // Whether the handlers are in place (a pipe could be made).
  bool Installed() const { return FNotifier != nullptr; }

private:
  void Drain();

  std::function<void(int)> FOnSignal;
  int FPipe[2] = {-1, -1};
  QSocketNotifier* FNotifier = nullptr;
};

}  // namespace ZEL::App::Signals
