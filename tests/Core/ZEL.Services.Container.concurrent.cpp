// Lookups on pool threads racing the UI thread's release of the ZEL container.

#include "ZEL.Services.Container.h"
#include "ZEL.Services.Fakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace ZEL;
using namespace ZEL::Services::Container;

namespace {

TEST(TServicesContainerConcurrent, LookupRacingFreeGivesNoneOrALiveService) {
  FreeZELServicesContainer();
  std::atomic<bool> LStop{false};
  std::atomic<int> LFound{0}, LNone{0}, LDead{0};

  std::vector<std::thread> LThreads;
  for (int T = 0; T < 4; ++T) {
    LThreads.emplace_back([&] {
      while (!LStop.load()) {
        auto LEdge = ZELServiceLocator()->GetService<IZELEdgeService>();
        if (!LEdge) {
          ++LNone;
          continue;
        }
        std::this_thread::yield();  // let the UI thread free the container meanwhile
        if (dynamic_cast<ZEL::Test::TFakeEdgeService&>(*LEdge).IsAlive()) {
          ++LFound;
        } else {
          ++LDead;
        }
      }
    });
  }

  // Enough rounds that the lookups saw both the service and its absence.
  for (int I = 0; I < 300 || ((LFound.load() == 0 || LNone.load() == 0) && I < 100000); ++I) {
    CreateZELServicesContainer();
    auto LContainer = ZELServicesContainer();
    LContainer->RegisterType<IZELEdgeService>([] { return std::make_shared<ZEL::Test::TFakeEdgeService>(); });
    LContainer->Build();
    LContainer.reset();
    std::this_thread::yield();
    FreeZELServicesContainer();
  }
  LStop = true;
  for (auto& T : LThreads) T.join();

  EXPECT_EQ(LDead.load(), 0);
  EXPECT_GT(LFound.load(), 0);
  EXPECT_GT(LNone.load(), 0);
}

}  // namespace
