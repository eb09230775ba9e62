// The user record of the authentication service, read on a worker while the UI thread
// replaces it (an invitation code checked again).

#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace ZEL {
namespace {

TEST(AuthServiceConcurrency, WorkerReadsTheUserRecordWhileTheUIThreadReplacesIt) {
  auto firebase = std::make_shared<ZEL::Test::TInstantFirebase>();
  auto rest = std::make_shared<ZEL::Test::TCannedREST>();
  auto service = std::make_shared<TAuthService>(firebase, TAuthService::TOptions{});
  GlobalContainer().RegisterInstance<IZELRESTService>("", rest);
  ASSERT_TRUE(service->ValidateInviteCode("ZEL-1"));

  std::atomic<bool> stop{false};
  std::atomic<long> reads{0};
  std::thread worker([&] {
    // As the registration view's check does on the pool: the record it holds stays whole.
    while (!stop.load()) {
      if (const auto record = service->CRMUserRecord()) {
        const std::string email = record->email;
        const std::string org = record->organization().ID;
        EXPECT_EQ(email, "demo@zel.test");
        EXPECT_EQ(org, "o1");
        ++reads;
      }
    }
  });
  for (int i = 0; i < 2000 || reads.load() < 100; ++i) service->ValidateInviteCode("ZEL-1");
  stop = true;
  worker.join();
  EXPECT_GT(reads.load(), 0);

  service.reset();
  GlobalContainer().Unregister<IZELRESTService>();
}

}  // namespace
}  // namespace ZEL
