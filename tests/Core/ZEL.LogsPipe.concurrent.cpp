#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "ZEL.LogsPipe.TestFiles.h"
#include "ZEL.LogsPipe.h"

namespace {

constexpr int cThreads = 8;
constexpr int cPerThread = 300;

// Every line of every file, oldest file first.
std::vector<std::string> AllLines(const std::string& AFolder, int AMaxFiles) {
  std::vector<std::string> out;
  for (int n = AMaxFiles - 1; n >= 0; --n) {
    const std::string name = fmt::format("{}/Mod.{:02}..txt", AFolder, n);
    if (!std::filesystem::exists(name)) continue;
    const std::string bytes = ZEL::Test::ReadFileBytes(name);
    EXPECT_EQ(bytes.rfind("\xFF\xFE", 0), 0u) << name;
    EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos) << name;
    for (auto& l : ZEL::Test::LogFileLines(name)) out.push_back(std::move(l));
  }
  return out;
}

}  // namespace

TEST(LogsPipeConcurrent, ManyThreadsAcrossRotationsLoseAndTearNoLine) {
  const std::string folder = ZEL::Test::NewTempFolder("conclogs");
  constexpr int maxFiles = 500;  // enough that no file is dropped
  std::vector<pid_t> tids(cThreads);
  {
    ZEL::TLogWriter writer(folder, "Mod", 16 * 1024, maxFiles);
    ZEL::LogsPipe::TLogCapture capture;  // recorded on the callers' threads at the same time
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < cThreads; ++t) {
      threads.emplace_back([&, t] {
        tids[t] = gettid();
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < cPerThread; ++i) {
          writer.InfoFmt(fmt::format("Worker{}", t), "entry {} of {}", i, t);
          if (i % 100 == 50) writer.Flush();
        }
      });
    }
    go = true;
    for (auto& th : threads) th.join();
    writer.Flush();
    EXPECT_EQ(capture.Entries().size(), static_cast<std::size_t>(cThreads * cPerThread));
  }
  const std::regex entry(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d) \[TID (\d+)\] \[INFO\] \[Worker(\d+)\] entry (\d+) of (\d+))");
  const std::regex marker(R"(#\[(ROTATE|START) LOG [0-9 :-]+\])");
  std::vector<int> next(cThreads, 0);
  int rotations = 0;
  for (const auto& line : AllLines(folder, maxFiles)) {
    std::smatch m;
    if (std::regex_match(line, marker)) {
      rotations += line[2] == 'R';
      continue;
    }
    ASSERT_TRUE(std::regex_match(line, m, entry)) << "torn line: " << line;
    const int t = std::stoi(m[3]);
    ASSERT_EQ(std::stoi(m[5]), t);
    EXPECT_EQ(std::stol(m[2]), tids[t]) << "the caller's thread id";
    EXPECT_EQ(std::stoi(m[4]), next[t]) << "each thread's entries in order, none lost";
    next[t] = std::stoi(m[4]) + 1;
  }
  for (int t = 0; t < cThreads; ++t) EXPECT_EQ(next[t], cPerThread) << t;
  EXPECT_GT(rotations, 5);
}

TEST(LogsPipeConcurrent, ShutdownWhileThreadsLogLosesNothing) {
  const std::string folder = ZEL::Test::NewTempFolder("concstop");
  std::string err;
  {
    ZEL::TLogWriter writer(folder, "Mod", 4000 * 1024, 30);
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    testing::internal::CaptureStderr();
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        started.fetch_add(1);
        for (int i = 0; i < 500; ++i) writer.InfoFmt("Stop", "{}-{}", t, i);
      });
    }
    while (started.load() < 4) std::this_thread::yield();
    writer.Shutdown();
    for (auto& th : threads) th.join();
    err = testing::internal::GetCapturedStderr();
  }
  std::size_t inFile = ZEL::Test::LogFileLines(folder + "/Mod.00..txt").size();
  std::size_t onStderr = 0;
  for (std::size_t at = 0; (at = err.find("[INFO] [Stop] ", at)) != std::string::npos; ++at) ++onStderr;
  EXPECT_EQ(inFile + onStderr, 2000u) << "every line is in the file or on standard error";
}

// Threads log in bursts with pauses between them, so the writer keeps falling asleep and
// being woken, and in bursts larger than the queue, by entries and by bytes, so callers wait
// for room; plain and formatted entries mixed, with flushes from other threads meanwhile.
TEST(LogsPipeConcurrent, BurstsLargerThanTheQueueLoseNothingAndKeepEachThreadsOrder) {
  const std::string folder = ZEL::Test::NewTempFolder("concburst");
  constexpr int cBurstThreads = 4;
  const struct {
    int Bursts, PerBurst;
    std::size_t Padding;  // message bytes beyond the counter
  } cases[] = {{30, 40, 0}, {2, 5000, 0}, {1, 160, 16 * 1024}};
  int expectedPerThread = 0;
  for (const auto& c : cases) expectedPerThread += c.Bursts * c.PerBurst;
  {
    ZEL::TLogWriter writer(folder, "Mod", std::int64_t{1} << 40, 30);  // one file for all
    std::atomic<bool> go{false};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < cBurstThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        int n = 0;
        for (const auto& c : cases) {
          const std::string padding(c.Padding, 'p');
          for (int b = 0; b < c.Bursts; ++b) {
            for (int i = 0; i < c.PerBurst; ++i, ++n) {
              if (n % 2 == 0)
                writer.InfoFmt("Burst", "{} {}{}", t, n, padding);
              else
                writer.Info("Burst", fmt::format("{} {}{}", t, n, padding));
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        }
        done.fetch_add(1);
      });
    }
    std::thread flusher([&] {
      while (done.load() < cBurstThreads) writer.Flush();
    });
    go = true;
    for (auto& th : threads) th.join();
    flusher.join();
    writer.Flush();
    // Flush alone leaves every line in the file.
    std::vector<int> next(cBurstThreads, 0);
    for (const auto& line : ZEL::Test::LogFileLines(folder + "/Mod.00..txt")) {
      const auto at = line.find("[INFO] [Burst] ");
      ASSERT_NE(at, std::string::npos) << line.substr(0, 200);
      int t = -1, n = -1;
      ASSERT_EQ(std::sscanf(line.c_str() + at + 15, "%d %d", &t, &n), 2) << line.substr(0, 200);
      ASSERT_TRUE(t >= 0 && t < cBurstThreads) << line.substr(0, 200);
      ASSERT_EQ(n, next[t]) << "thread " << t << ": each thread's entries in order, none lost";
      ++next[t];
    }
    for (int t = 0; t < cBurstThreads; ++t) EXPECT_EQ(next[t], expectedPerThread) << t;
  }
}
