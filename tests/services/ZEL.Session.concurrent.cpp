// A session freed while work it started runs on the pool: the work ends quietly.

#include "ZEL.Session.Fakes.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

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

TEST(SessionConcurrency, FreedWhileACatchUpRuns) {
  ZT::TSessionGlobals globals;
  globals.REST->Events = ZT::LoadFixture("alerts.json")["EventAlerts"];
  TGate gate;
  globals.REST->DuringGetEvents = [&gate] { gate.Enter(); };
  auto session = std::make_unique<TZELSession>(globals.Options());
  std::shared_ptr<TZELEventsService> events = session->EventsService();
  events->SetPeriodSource([] { return std::make_pair(std::string("B"), std::string("E")); });
  bool done = false;
  events->StartCatchUp([&done](int) { done = true; });
  std::weak_ptr<TZELEventsService> weak = events;
  events.reset();
  ASSERT_TRUE(ZT::WaitUntil([&] { return gate.Entered(); }));
  session.reset();
  EXPECT_TRUE(weak.expired());
  gate.Open();
  ASSERT_TRUE(ZT::WaitUntil(PoolIdle));
  ZT::WaitUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_FALSE(done);
}

// A pull and a catch-up at once on the pool while the broker brings alerts on the UI
// thread, before and after their answers (which cannot hold them): every alert ends in the
// list once.
TEST(SessionConcurrency, PullAndCatchUpOverlapWithLiveAlerts) {
  ZT::TSessionGlobals globals;
  const auto alerts = ZT::LoadFixture("alerts.json")["EventAlerts"];
  globals.REST->Events = alerts;
  TGate gate;
  globals.REST->DuringGetEvents = [&gate] { gate.Enter(); };
  const auto live = ZT::LoadFixture("alert-payloads.json")["Type1"];
  auto session = std::make_unique<TZELSession>(globals.Options());
  std::shared_ptr<TZELEventsService> events = session->EventsService();
  events->SetPeriodSource([] { return std::make_pair(std::string("B"), std::string("E")); });
  int ended = 0;
  TZELEventsService::StartPull(events, false, "B", "E", [&ended](bool) { ++ended; });
  events->StartCatchUp([&ended](int) { ++ended; });
  ASSERT_TRUE(ZT::WaitUntil([&] { return globals.REST->EventsCalls == 2; }));  // both requests out
  std::vector<std::string> brought;
  for (int i = 0; i < 30 && (i < 10 || ended < 2); ++i) {
    if (i == 5) gate.Open();
    auto payload = live;
    brought.push_back("64b0000000000000000001" + std::to_string(10 + i));
    payload["ObjectId"] = brought.back();
    events->LoadEventFromMQTT(payload.dump());
    ZT::WaitUntil([] { return false; }, std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(ZT::WaitUntil([&] { return ended == 2; }));
  ASSERT_TRUE(ZT::WaitUntil(PoolIdle));
  TZELEventList& list = *events->GetEventsList();
  for (const auto& a : alerts) EXPECT_NE(list.FindEventByID(a["ObjectId"].get<std::string>()), nullptr);
  for (const std::string& id : brought) EXPECT_NE(list.FindEventByID(id), nullptr) << id;
  std::set<std::string> ids;
  for (TZELEvent* e : list) EXPECT_TRUE(ids.insert(e->ID()).second) << "twice: " << e->ID();
}

}  // namespace
}  // namespace ZEL
