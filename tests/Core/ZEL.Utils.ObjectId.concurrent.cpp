#include <gtest/gtest.h>

#include "ZEL.Utils.ObjectId.h"

#include <set>
#include <thread>
#include <vector>

TEST(ObjectIdConcurrent, UniqueAcrossThreads) {
  constexpr int Threads = 8;
  constexpr int PerThread = 5000;
  std::vector<std::vector<std::string>> made(Threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < Threads; ++t)
    workers.emplace_back([&made, t] {
      made[t].reserve(PerThread);
      for (int i = 0; i < PerThread; ++i) made[t].push_back(ZEL::Utils::ZELObjectId());
    });
  for (auto& w : workers) w.join();
  std::set<std::string> all;
  for (const auto& v : made) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(Threads * PerThread));
}
