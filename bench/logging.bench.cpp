// What one log entry costs its caller, beside a bare spdlog asynchronous logger on a
// null sink. Entries are made in bursts that fit the queue and only the burst is timed:
// the writer thread drains between bursts, so the figures are the caller's enqueue cost,
// not the speed of the disk.

#include <benchmark/benchmark.h>

#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/sinks/null_sink.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "ZEL.LogsPipe.h"

namespace {

constexpr int cBurst = 512;

struct TBare {
  std::shared_ptr<spdlog::details::thread_pool> Pool =
      std::make_shared<spdlog::details::thread_pool>(8192, 1);
  std::shared_ptr<spdlog::async_logger> Logger = std::make_shared<spdlog::async_logger>(
      "bare", std::make_shared<spdlog::sinks::null_sink_mt>(), Pool, spdlog::async_overflow_policy::block);

  void Drain() {
    while (Pool->queue_size() != 0) std::this_thread::yield();
  }
};

TBare& Bare() {
  static TBare bare;
  return bare;
}

template <class F>
void RunBursts(benchmark::State& AState, F&& ALogOne, void (*ADrain)()) {
  for (auto _ : AState) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cBurst; ++i) ALogOne(i);
    const auto end = std::chrono::steady_clock::now();
    AState.SetIterationTime(std::chrono::duration<double>(end - start).count());
    ADrain();
  }
  AState.SetItemsProcessed(AState.iterations() * cBurst);
}

void BareDrain() { Bare().Drain(); }
void ZELDrain() { ZEL::LogsPipe::Flush(); }

void BM_Bare_Plain(benchmark::State& AState) {
  auto& logger = *Bare().Logger;
  RunBursts(AState, [&](int) { logger.info("Service request(6b1f2c) sent to the edge."); }, BareDrain);
}

void BM_ZEL_Plain(benchmark::State& AState) {
  RunBursts(AState, [](int) {
    ZEL::LogsPipe::ZELLog().Info("TZELEdgeObject.SendRequest", "Service request(6b1f2c) sent to the edge.");
  }, ZELDrain);
}

void BM_Bare_Fmt(benchmark::State& AState) {
  auto& logger = *Bare().Logger;
  RunBursts(AState, [&](int i) { logger.info("Recognized type = {} for {}", i, "6b1f2c"); }, BareDrain);
}

void BM_ZEL_Fmt(benchmark::State& AState) {
  RunBursts(AState, [](int i) {
    ZEL::LogsPipe::ZELLog().InfoFmt("MQTTService", "Recognized type = {} for {}", i, "6b1f2c");
  }, ZELDrain);
}

BENCHMARK(BM_Bare_Plain)->UseManualTime();
BENCHMARK(BM_ZEL_Plain)->UseManualTime();
BENCHMARK(BM_Bare_Fmt)->UseManualTime();
BENCHMARK(BM_ZEL_Fmt)->UseManualTime();

// Prints as usual and keeps each benchmark's time for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& ARuns) override {
    ConsoleReporter::ReportRuns(ARuns);
    for (const auto& run : ARuns)
      if (run.run_type == Run::RT_Iteration) Times[run.run_name.function_name] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  // The process writer logs into a folder of its own, removed afterwards.
  std::string folder = (std::filesystem::temp_directory_path() / "zel_bench_logs.XXXXXX").string();
  if (!mkdtemp(folder.data())) return 2;
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (const char* kind : {"Plain", "Fmt"}) {
    const double bare = reporter.Times[std::string("BM_Bare_") + kind];
    const double ours = reporter.Times[std::string("BM_ZEL_") + kind];
    if (bare > 0 && ours > 0)
      std::printf("caller cost ratio (%s): ZELLog / bare spdlog async = %.2f  (%.1f ns vs %.1f ns per entry)\n",
                  kind, ours / bare, ours / cBurst, bare / cBurst);
  }
  ZEL::LogsPipe::Shutdown();
  std::filesystem::remove_all(folder);
  return 0;
}
