#include "ZEL.SettingsFile.INIFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace ZEL {
namespace {

using namespace std::chrono_literals;

class SettingsFileIniThreads : public testing::Test {
protected:
  std::string FFolder = ZEL::Test::NewTempFolder("settings-mt");
  std::string FPath = FFolder + "/ZELSettings.mem";
};

TEST_F(SettingsFileIniThreads, AnotherThreadIsRefusedAtOnceWhileTheBarrierIsHeld) {
  TZELSettingsFileIni settings(FPath);
  settings.BarrierLock();
  auto refused = std::async(std::launch::async, [&] {
    try {
      settings.WriteString("Token", "RefreshToken", "other");
      return std::string("accepted");
    } catch (const ELockException& E) {
      return std::string(E.what());
    }
  });
  // It must not wait for the holder: the holder lets go only after the answer came.
  ASSERT_EQ(refused.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(refused.get(), "Object (TZELSettingsFileIni) is locked already.");

  // Another thread's unlock neither frees the holder's barrier nor writes beside it.
  auto stray = std::async(std::launch::async, [&] { settings.BarrierUnlock(); });
  EXPECT_EQ(stray.wait_for(50ms), std::future_status::timeout);
  EXPECT_TRUE(settings.BarrierIsLocked());
  settings.BarrierUnlock();
  stray.get();
  EXPECT_FALSE(settings.BarrierIsLocked());
  EXPECT_EQ(settings.ReadString("Token", "RefreshToken", "none"), "none");
}

TEST_F(SettingsFileIniThreads, ConcurrentWritersThatRetryLoseNothing) {
  constexpr int cThreads = 4;
  constexpr int cWrites = 40;
  TZELSettingsFileIni settings(FPath);
  std::atomic<int> refusals{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < cThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < cWrites; ++i) {
        for (;;) {
          try {
            settings.WriteInteger("T" + std::to_string(t), "k" + std::to_string(i), i);
            break;
          } catch (const ELockException&) {
            refusals.fetch_add(1);
            std::this_thread::yield();
          }
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_FALSE(settings.BarrierIsLocked());

  TZELSettingsFileIni reread(FPath);
  for (int t = 0; t < cThreads; ++t)
    for (int i = 0; i < cWrites; ++i)
      ASSERT_EQ(reread.ReadInteger("T" + std::to_string(t), "k" + std::to_string(i), -1), i);
}

}  // namespace
}  // namespace ZEL
