// What one log entry costs its caller, and how many lines the writer thread puts in the file,
// beside a bare spdlog asynchronous logger whose sink does the same file work.
//
// Both sides write the same line text ("<time> [TID n] [LEVEL] [tag] message") as UTF-16
// into a file of their own, gathered into 64 KiB writes. The bare side is a stock
// spdlog::async_logger (its thread pool, 8,192 entries, blocking when full) over a sink of
// this program; ours is the process writer. Our writer also writes whenever its queue runs
// dry, so it makes more write() calls than the bare side: the bare side is never the
// costlier one on file work.
//
// Bursts: 512 entries timed, then the writer drains untimed (the caller's enqueue cost,
// with the writer busy or asleep as it happens). Sustained: 100,000 entries back to back
// from one thread, and from four, so the queue fills and the callers wait for the writer;
// "caller" is the time until the last entry was queued, "written" until it is in the file
// (the writer's throughput). The sides take turns, so a loaded machine slows both alike;
// each figure is the median of its repetitions.

#include <fcntl.h>
#include <unistd.h>

#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZEL.App.HardConfig.h"
#include "ZEL.LogsPipe.FileSink.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.PlatformLog.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int cBurst = 512;
constexpr int cBurstRounds = 400;
constexpr int cSustained = 100'000;
constexpr int cSustainedRounds = 5;
constexpr std::size_t cGather = 64 * 1024;

const char* const cPlainTag = "TZELEdgeObject.SendRequest";
const char* const cPlainMessage = "Service request(6b1f2c) sent to the edge.";
const char* const cFmtTag = "MQTTService";

ZEL::TLogType TypeOf(spdlog::level::level_enum ALevel) {
  switch (ALevel) {
    case spdlog::level::trace:
    case spdlog::level::debug: return ZEL::TLogType::Debug;
    case spdlog::level::info: return ZEL::TLogType::Info;
    case spdlog::level::warn: return ZEL::TLogType::Warning;
    case spdlog::level::err: return ZEL::TLogType::Error;
    default: return ZEL::TLogType::Fatal;
  }
}

// The bare side's file work: the same line, the same UTF-16 bytes and UTF-8 copy as ours,
// written 64 KiB at a time and on flush; the file starts again when it reaches the size at
// which ours rotates.
class TBareFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
  explicit TBareFileSink(const std::string& AFile)
      : FFile(::open(AFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600)) {
    FBytes.reserve(cGather + 4096);
  }
  ~TBareFileSink() override {
    Write();
    if (FFile >= 0) ::close(FFile);
  }

  // Waits until the writer has carried out flush number ATarget.
  void WaitForFlush(std::uint64_t ATarget) {
    std::unique_lock lock(FFlushLock);
    FFlushCond.wait(lock, [&] { return FFlushes >= ATarget; });
  }

protected:
  void sink_it_(const spdlog::details::log_msg& AMsg) override {
    ZEL::TLogItem item;
    item.LogType = TypeOf(AMsg.level);
    item.Tag = std::string_view(AMsg.logger_name.data(), AMsg.logger_name.size());
    item.Message = std::string_view(AMsg.payload.data(), AMsg.payload.size());
    item.TimeStamp = AMsg.time;
    item.ThreadID = AMsg.thread_id;
    FLine.clear();
    ZEL::TPlatformLog::AppendLogItem(FLine, item);
    ZEL::LogsPipe::AppendUtf16LE(FBytes, FLine);
    FBytes.append("\r\0\n\0", 4);
    FText.append(FLine);
    FText += '\n';
    if (FBytes.size() >= cGather) Write();
  }
  void flush_() override {
    Write();
    {
      std::lock_guard lock(FFlushLock);
      ++FFlushes;
    }
    FFlushCond.notify_all();
  }

private:
  void Write() {
    std::size_t done = 0;
    while (FFile >= 0 && done < FBytes.size()) {
      const ssize_t n = ::write(FFile, FBytes.data() + done, FBytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    FSize += static_cast<std::int64_t>(done);
    if (FSize > ZEL::HardConfig::LOGGING_MAX_FILE_SIZE * 1024 && FFile >= 0) {
      if (::ftruncate(FFile, 0) == 0) FSize = 0;
    }
    FBytes.clear();
    FText.clear();
  }

  int FFile;
  std::int64_t FSize = 0;
  std::string FLine, FBytes, FText;
  std::mutex FFlushLock;
  std::condition_variable FFlushCond;
  std::uint64_t FFlushes = 0;
};

// The bare side: one spdlog thread pool and sink, one logger per tag (the logger's name is
// the line's tag, as ours carries its tag).
struct TBare {
  std::shared_ptr<TBareFileSink> Sink;
  std::shared_ptr<spdlog::details::thread_pool> Pool;
  std::shared_ptr<spdlog::async_logger> Plain, Fmt;
  std::uint64_t Flushes = 0;

  explicit TBare(const std::string& AFolder)
      : Sink(std::make_shared<TBareFileSink>(AFolder + "/bare.txt")),
        Pool(std::make_shared<spdlog::details::thread_pool>(8192, 1)),
        Plain(Make(cPlainTag)),
        Fmt(Make(cFmtTag)) {}

  std::shared_ptr<spdlog::async_logger> Make(const char* ATag) {
    auto logger = std::make_shared<spdlog::async_logger>(ATag, Sink, Pool, spdlog::async_overflow_policy::block);
    logger->set_level(spdlog::level::debug);
    return logger;
  }
  // Until every entry so far is in the file.
  void Drain() {
    Plain->flush();
    Sink->WaitForFlush(++Flushes);
  }
};

TBare* GBare = nullptr;

// One way of logging an entry, on one side.
struct TKind {
  const char* Name;
  std::function<void(int)> Ours, Bare;
};

const std::string cEdgeId = "6b1f2c-0d2e-4f5a-9b8c";  // a runtime string: ours must copy it

std::vector<TKind> Kinds() {
  return {
      {"plain", [](int) { ZEL::LogsPipe::ZELLog().Info(cPlainTag, cPlainMessage); },
       [](int) { GBare->Plain->info(cPlainMessage); }},
      {"fmt", [](int i) { ZEL::LogsPipe::ZELLog().InfoFmt(cFmtTag, "Recognized type = {} for {}", i, cEdgeId); },
       [](int i) { GBare->Fmt->info("Recognized type = {} for {}", i, cEdgeId); }},
  };
}

void OursDrain() { ZEL::LogsPipe::Flush(); }
void BareDrain() { GBare->Drain(); }

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

double Since(TClock::time_point AStart) { return std::chrono::duration<double>(TClock::now() - AStart).count(); }

// Seconds for one burst.
double Burst(const std::function<void(int)>& ALog, void (*ADrain)()) {
  const auto start = TClock::now();
  for (int i = 0; i < cBurst; ++i) ALog(i);
  const double s = Since(start);
  ADrain();
  return s;
}

struct TSustained {
  double Caller = 0;   // until the last entry was queued
  double Written = 0;  // until every entry was in the file
};

TSustained Sustained(const std::function<void(int)>& ALog, void (*ADrain)(), int AThreads) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  const int each = cSustained / AThreads;
  for (int t = 0; t < AThreads; ++t)
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < each; ++i) ALog(i);
    });
  const auto start = TClock::now();
  go = true;
  for (auto& th : threads) th.join();
  TSustained out;
  out.Caller = Since(start);
  ADrain();
  out.Written = Since(start);
  return out;
}

void Report(const char* AWhat, double AOurs, double ABare, const char* AUnit, double AScale, const char* ATarget) {
  std::printf("%-36s ours %8.1f %s   bare spdlog async %8.1f %s   ratio %.2f   (target %s)\n", AWhat,
              AOurs * AScale, AUnit, ABare * AScale, AUnit, AOurs / ABare, ATarget);
}

}  // namespace

int main() {
  // Both sides log into a folder of their own, removed afterwards.
  std::string folder = (std::filesystem::temp_directory_path() / "zel_bench_logs.XXXXXX").string();
  if (!mkdtemp(folder.data())) return 2;
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);
  TBare bare(folder);
  GBare = &bare;
  ZEL::LogsPipe::ZELLog().Info("Bench", "start");
  OursDrain();

  std::printf("log caller cost and writer throughput, ours (ZELLog) against a bare spdlog async logger\n"
              "over a sink doing the same file work; medians, sides taking turns\n");
  for (const TKind& kind : Kinds()) {
    std::vector<double> ours, bareTimes;
    for (int r = 0; r < cBurstRounds; ++r) {
      // Alternate who goes first, so neither always follows the other's file writes.
      if (r % 2 == 0) {
        ours.push_back(Burst(kind.Ours, OursDrain));
        bareTimes.push_back(Burst(kind.Bare, BareDrain));
      } else {
        bareTimes.push_back(Burst(kind.Bare, BareDrain));
        ours.push_back(Burst(kind.Ours, OursDrain));
      }
    }
    Report((std::string("burst of 512, ") + kind.Name + ", caller per line").c_str(), Median(ours) / cBurst,
           Median(bareTimes) / cBurst, "ns", 1e9, "<= 1.0");

    for (int threads : {1, 4}) {
      std::vector<double> oursCaller, oursWritten, bareCaller, bareWritten;
      for (int r = 0; r < cSustainedRounds; ++r) {
        const TSustained o = Sustained(kind.Ours, OursDrain, threads);
        const TSustained b = Sustained(kind.Bare, BareDrain, threads);
        oursCaller.push_back(o.Caller), oursWritten.push_back(o.Written);
        bareCaller.push_back(b.Caller), bareWritten.push_back(b.Written);
      }
      const std::string head = "sustained, " + std::to_string(threads) + (threads == 1 ? " thread, " : " threads, ") + kind.Name;
      Report((head + ", caller per line").c_str(), Median(oursCaller) / cSustained,
             Median(bareCaller) / cSustained, "ns", 1e9, "<= 1.0");
      // Lines per second: the larger the better, so the ratio is bare time / ours.
      const double oursRate = cSustained / Median(oursWritten), bareRate = cSustained / Median(bareWritten);
      std::printf("%-36s ours %8.0f lines/s   bare spdlog async %8.0f lines/s   ratio %.2f   (target >= 1.0)\n",
                  (head + ", written").c_str(), oursRate, bareRate, oursRate / bareRate);
    }
  }
  std::fflush(stdout);
  ZEL::LogsPipe::Shutdown();
  GBare = nullptr;
  std::filesystem::remove_all(folder);
  return 0;
}
