#pragma once
// Small helpers shared by the benchmark programs.

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ZEL::Bench {

using TClock = std::chrono::steady_clock;

inline double Seconds(TClock::time_point AStart) {
  return std::chrono::duration<double>(TClock::now() - AStart).count();
}

// The best of ARepeats runs of ARun, each after its own untimed ASetup; in seconds.
inline double Best(const std::function<void()>& ASetup, const std::function<void()>& ARun, int ARepeats = 3) {
  double best = 1e100;
  for (int i = 0; i < ARepeats; ++i) {
    ASetup();
    const auto start = TClock::now();
    ARun();
    best = std::min(best, Seconds(start));
  }
  return best;
}

// The value at fraction AP (0..1) of the sorted values; 0 for none.
inline double Percentile(std::vector<double> AValues, double AP) {
  if (AValues.empty()) return 0;
  std::sort(AValues.begin(), AValues.end());
  const auto i = static_cast<std::size_t>(AP * static_cast<double>(AValues.size() - 1) + 0.5);
  return AValues[std::min(i, AValues.size() - 1)];
}

inline int Shell(const std::string& ACommand) { return std::system(ACommand.c_str()); }

// The folder of the test peers' scripts.
inline std::string PeersDir() { return std::string(ZEL_SOURCE_DIR) + "/tests/peers"; }

// Runs ADrive on a thread of its own while the UI thread runs the event loop (the services
// hand work to it); ends the loop when ADrive returns. An exception fails the run. Programs
// with windows pass QApplication as TApp.
template <class TApp = QCoreApplication>
int RunDriven(int& argc, char** argv, const std::function<int()>& ADrive) {
  TApp app(argc, argv);
  int rc = 1;
  std::thread driver([&] {
    try {
      rc = ADrive();
    } catch (const std::exception& E) {
      std::fprintf(stderr, "%s: %s\n", argv[0], E.what());
      rc = 1;
    }
    QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  app.exec();
  driver.join();
  return rc;
}

}  // namespace ZEL::Bench
