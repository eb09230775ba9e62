// A session freed while work it started runs on the pool: the work ends quietly.

#include "ZEL.Session.Fakes.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;

// Holds the REST call until the test lets it go.
class TGate {
public:
  void Enter() {
    std::unique_lock lock(FLock);
    FEntered = true;
    FCond.wait(lock, [this] { return FOpen; });
  }
  bool Entered() {
    std::lock_guard lock(FLock);
    return FEntered;
  }
  void Open() {
    std::lock_guard lock(FLock);
    FOpen = true;
    FCond.notify_all();
  }

private:
  std::mutex FLock;
  std::condition_variable FCond;
  bool FEntered = false, FOpen = false;
};

bool PoolIdle() { return QThreadPool::globalInstance()->activeThreadCount() == 0; }

TEST(SessionConcurrency, FreedWhileAPullRuns) {
  ZT::TSessionGlobals globals;
  globals.REST->Events = ZT::LoadFixture("alerts.json")["EventAlerts"];
  TGate gate;
  globals.REST->DuringGetEvents = [&gate] { gate.Enter(); };
  auto session = std::make_unique<TZELSession>(globals.Options());
  std::weak_ptr<TZELEventsService> events = session->EventsService();
  ASSERT_FALSE(events.expired());
  bool done = false;
  TZELEventsService::StartPull(events, true, "", "", [&done](bool) { done = true; });
  ASSERT_TRUE(ZT::WaitUntil([&] { return gate.Entered(); }));

  session.reset();  // on the UI thread, while the pull waits in the backend call
  EXPECT_TRUE(events.expired());
  gate.Open();
  ASSERT_TRUE(ZT::WaitUntil(PoolIdle));
  ZT::WaitUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_FALSE(done);  // nobody is told: the service is gone
  EXPECT_TRUE(globals.MQTT->IsAlive());
  EXPECT_TRUE(globals.MQTT->Subscribed.empty());
}

TEST(SessionConcurrency, FreedWhileTheSyncRuns) {
  ZT::TSessionGlobals globals;
  globals.REST->Edges = nlohmann::ordered_json::array(
      {ZT::MakeEdge("EDGE-1", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", "a", {1, 2})});
  auto session = std::make_unique<TZELSession>(globals.Options());
  std::atomic<bool> synced{false};
  session->OnSynced = [&synced](std::int32_t) { synced = true; };
  session->StartSync();
  session.reset();
  ASSERT_TRUE(ZT::WaitUntil(PoolIdle));
  ZT::WaitUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_FALSE(synced);
  EXPECT_EQ(globals.MQTT->Connects, 0);
}

}  // namespace
}  // namespace ZEL
