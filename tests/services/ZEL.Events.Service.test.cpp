// The events service over stand-ins: pulls, one alert for the detail views, broker intake.

#include "ZEL.Events.Service.Fakes.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Session.TestSupport.h"

#include "ZEL.UIThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;

class EventsService : public ::testing::Test {
protected:
  void SetUp() override {
    Alerts = ZT::LoadFixture("alerts.json")["EventAlerts"];
    Payloads = ZT::LoadFixture("alert-payloads.json");
    F.Edges->InitEdge(ZT::MakeEdge("EDGE-1", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", "a"));
  }
  int Count(TLogType AType, const std::string& AText) const {
    int n = 0;
    for (const auto& e : Log.Entries())
      if (e.Type == AType && e.Message.find(AText) != std::string::npos) ++n;
    return n;
  }
  TZELEventList& List() { return *F.Events->GetEventsList(); }
  // A pull on a thread of its own, as the view's pull runs, while this (UI) thread serves
  // what the pull hands over; true when it ended and succeeded.
  bool PullOnAThread() {
    std::atomic<bool> done{false}, result{false};
    std::thread pull([&] {
      result = F.Events->PupulateEventsFromREST(false, "b", "e");
      done = true;
    });
    const bool ended = ZT::WaitUntil([&] { return done.load(); });
    pull.join();
    return ended && result;
  }

  ZT::TEventsServiceFixture F;
  nlohmann::ordered_json Alerts, Payloads;
  LogsPipe::TLogCapture Log;
};

TEST_F(EventsService, FirstSuccessfulPullSubscribesOnce) {
  F.REST->EventsResult = false;
  EXPECT_FALSE(F.Events->PupulateEventsFromREST(true, "", ""));
  EXPECT_EQ(Count(TLogType::Error, "Unable to get events!"), 1);
  EXPECT_FALSE(F.Events->Subscribed());
  EXPECT_TRUE(F.MQTT->Subscribed.empty());

  F.REST->EventsResult = true;
  F.REST->Events = Alerts;
  EXPECT_TRUE(F.Events->PupulateEventsFromREST(true, "", ""));
  EXPECT_EQ(List().Count(), 3);
  EXPECT_TRUE(F.Events->Subscribed());
  const auto once = F.MQTT->Subscribed;
  EXPECT_EQ(once.size(), 3u);  // the edge's three topics
  EXPECT_TRUE(F.Events->PupulateEventsFromREST(true, "", ""));
  EXPECT_EQ(F.MQTT->Subscribed, once);
}

TEST_F(EventsService, PullThatFailsMidwayLeavesTheListAsItWas) {
  F.REST->Events = Alerts;
  ASSERT_TRUE(F.Events->PupulateEventsFromREST(false, "", ""));
  auto broken = Alerts;
  broken.push_back(nlohmann::ordered_json::array());  // an element that is no alert
  F.REST->Events = broken;
  EXPECT_ANY_THROW(F.Events->PupulateEventsFromREST(false, "", ""));
  EXPECT_EQ(List().Count(), 3);
  // And a pull from a pool thread: the failure stays in the task.
  bool done = false, result = true;
  TZELEventsService::StartPull(F.Events, false, "", "", [&](bool AResult) {
    done = true;
    result = AResult;
  });
  ASSERT_TRUE(ZT::WaitUntil([&] { return done; }));
  EXPECT_FALSE(result);
  EXPECT_EQ(List().Count(), 3);
}

TEST_F(EventsService, DetailedEventIsLoadedOnceFromTheBackend) {
  F.Events->SetDetailedEvent("64b000000000000000000099");
  EXPECT_EQ(F.Events->GetDetailedEvent(), nullptr);
  EXPECT_EQ(Count(TLogType::Error, "Unable to get event with ID \"64b000000000000000000099\"!"), 1);

  F.REST->OneEventResult = true;
  F.REST->OneEvent = nlohmann::ordered_json::array({Alerts[1]});
  F.Events->SetDetailedEvent("64b000000000000000000002");
  TZELEvent* event = F.Events->GetDetailedEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(F.Events->GetDetailedEvent(), event);
  EXPECT_EQ(F.REST->OneEventCalls, 2);
  EXPECT_EQ(List().Count(), 1);
  F.Events->SetDetailedEventItem("no-such-item");
  EXPECT_EQ(F.Events->GetDetailedEventItem(), nullptr);
}

TEST_F(EventsService, IntakeSkipsBadPayloads) {
  struct TCase {
    std::string Payload;
    int Fatal, Untyped, OutOfBounds;
  };
  for (const TCase& c : {TCase{"[1,2]", 1, 1, 0}, TCase{"not json", 0, 1, 0}, TCase{R"({"Type":"1"})", 0, 1, 0},
                         TCase{R"({"Type":8})", 0, 0, 1}, TCase{R"({"Type":-1})", 0, 0, 1},
                         TCase{R"({"Type":3})", 0, 0, 0}, TCase{"", 0, 1, 0}}) {
    Log.Clear();
    F.Events->LoadEventFromMQTT(c.Payload);
    EXPECT_EQ(Count(TLogType::Fatal, "Unable to parse MQTT payload. E.ClassName: "), c.Fatal) << c.Payload;
    EXPECT_EQ(Count(TLogType::Warning, "MQTT payload is untyped. Skipping. Payload: " + c.Payload), c.Untyped)
        << c.Payload;
    EXPECT_EQ(Count(TLogType::Warning, "MQTT payload is out of known bounds[0..7]. Payload: "), c.OutOfBounds)
        << c.Payload;
  }
  EXPECT_EQ(List().Count(), 0);
}

// A new alert with a member nested 70,000 levels deep: refused at the intake with one Error
// line, no alert, no crash; an untyped long payload is logged by its first few KiB only.
TEST_F(EventsService, IntakeRefusesDeeplyNestedAndShortensLongPayloads) {
  std::string deep = Payloads["Type1"].dump();
  deep.pop_back();
  deep += R"(,"Deep":)" + std::string(70000, '[') + std::string(70000, ']') + "}";
  F.Events->LoadEventFromMQTT(deep);
  EXPECT_EQ(Count(TLogType::Error, "nests deeper than 64 levels and is refused."), 1);
  EXPECT_EQ(List().Count(), 0);

  Log.Clear();
  F.Events->LoadEventFromMQTT(R"({"Text":")" + std::string(100000, 'x') + R"("})");
  EXPECT_EQ(Count(TLogType::Warning, "MQTT payload is untyped. Skipping."), 1);
  for (const auto& e : Log.Entries()) EXPECT_LT(e.Message.size(), 2 * LogsPipe::MaxLoggedBytes);
}

TEST_F(EventsService, NewAlertIsAnnouncedOnceAndChangedByItsPayloads) {
  ZT::TMessageRecorder<TEventAddedMessage> added([](const TEventAddedMessage& M) { return M.Value()->ID(); });
  F.Events->LoadEventFromMQTT(Payloads["Type1"].dump());
  ASSERT_EQ(added.Received.size(), 1u);
  EXPECT_EQ(added.Received[0].Text, "64b000000000000000000010");
  EXPECT_EQ(added.Received[0].Sender, static_cast<IZELEventsService*>(F.Events.get()));
  TZELEvent* event = List().FindEventByID("64b000000000000000000010");
  ASSERT_NE(event, nullptr);

  F.Events->LoadEventFromMQTT(Payloads["Type2Event"].dump());
  EXPECT_NE(event->FindItem("64b100000000000000000011"), nullptr);
  ZT::TMessageRecorder<TEventItemExtraRefreshMessage> extra;
  F.Events->LoadEventFromMQTT(Payloads["Type5"].dump());
  EXPECT_EQ(extra.Received.size(), 1u);

  // A type 1 that cannot be built announces nothing.
  auto bad = Payloads["Type1"];
  bad["ObjectId"] = "64b000000000000000000011";
  bad.erase("Originator");
  EXPECT_ANY_THROW(F.Events->LoadEventFromMQTT(bad.dump()));
  EXPECT_EQ(added.Received.size(), 1u);
}

// A new alert without an object id is refused at the intake with one Error line, also when
// it comes while a pull runs (it is not applied again to the pulled list), and nothing is
// announced or added: no row that a decision could be sent for.
TEST_F(EventsService, NewAlertWithoutAnObjectIdIsRefusedOnce) {
  ZT::TMessageRecorder<TEventAddedMessage> added([](const TEventAddedMessage& M) { return M.Value()->ID(); });
  auto noID = Payloads["Type1"];
  noID.erase("ObjectId");
  F.REST->Events = Alerts;
  F.REST->DuringGetEvents = [&] { UIThread::RunSync([&] { F.Events->LoadEventFromMQTT(noID.dump()); }); };
  ASSERT_TRUE(PullOnAThread());
  EXPECT_EQ(List().Count(), 3);
  EXPECT_TRUE(added.Received.empty());
  EXPECT_EQ(Count(TLogType::Error, "Alert refused: it has no \"ObjectId\"."), 1);
  EXPECT_EQ(Count(TLogType::Warning, "could not be applied again"), 0);
}

// What the broker brings while a pull runs goes into the list that the pull then replaces:
// it is applied again to the pulled list, once.
TEST_F(EventsService, PayloadsDuringAPullSurviveTheSwap) {
  F.REST->Events = Alerts;
  ZT::TMessageRecorder<TEventAddedMessage> added([](const TEventAddedMessage& M) { return M.Value()->ID(); });
  F.REST->DuringGetEvents = [&] {
    UIThread::RunSync([&] {
      F.Events->LoadEventFromMQTT(Payloads["Type1"].dump());
      F.Events->LoadEventFromMQTT(Payloads["Type2View"].dump());
      // A history entry for an alert the pull brings along: dismissed meanwhile.
      auto dismiss = Payloads["Type2View"];
      dismiss["ObjectId"] = "64b100000000000000000099";
      dismiss["ParentObjectId"] = "64b000000000000000000001";
      dismiss["ItemType"] = 2;
      // Its alert is not in the list yet but comes with the pull: applied there.
      F.Events->LoadEventFromMQTT(dismiss.dump());
    });
  };
  ASSERT_TRUE(PullOnAThread());
  ASSERT_EQ(List().Count(), 4);
  TZELEvent* live = List().FindEventByID("64b000000000000000000010");
  ASSERT_NE(live, nullptr);
  EXPECT_TRUE(live->Viewed());  // its history entry came along
  EXPECT_EQ(List().FindEventByID("64b000000000000000000001")->State(), TEventAlertState::easDismissed);
  EXPECT_EQ(added.Received.size(), 1u);  // announced when it came, not again
  EXPECT_EQ(Count(TLogType::Info, "received during the pull kept in the pulled list"), 1);

  // The journal is empty once no pull runs: the next pull replaces as before.
  F.REST->DuringGetEvents = nullptr;
  ASSERT_TRUE(F.Events->PupulateEventsFromREST(false, "b", "e"));
  EXPECT_EQ(List().Count(), 3);
}

// After a reconnection the period is pulled again and merged: only missing alerts are added,
// announced to the list's handlers (which stay), newest last; held ones take the backend's state.
TEST_F(EventsService, CatchUpMergesMissingAlertsById) {
  F.REST->Events = nlohmann::ordered_json::array({Alerts[1], Alerts[2]});
  ASSERT_TRUE(F.Events->PupulateEventsFromREST(false, "b", "e"));
  std::vector<std::string> announced;
  struct TProbe {
    std::vector<std::string>* Ids;
    void Changed(const void*, TZELEvent* const& AItem, TCollectionNotification AAction) {
      if (AAction == TCollectionNotification::cnAdded) Ids->push_back(AItem->ID());
    }
  } probe{&announced};
  List().OnNotify().AddHandler(TCollectionNotifyEvent<TZELEvent>::Of(&probe, &TProbe::Changed));

  auto changed = Alerts[2];
  changed["State"] = "easDismissed";
  changed["Active"] = false;
  F.REST->Events = nlohmann::ordered_json::array({Alerts[0], Alerts[1], changed});
  F.Events->SetPeriodSource([] { return std::make_pair(std::string("B"), std::string("E")); });
  ZT::TMessageRecorder<TEventRefreshMessage> refreshed;
  int result = -2;
  F.Events->StartCatchUp([&](int AAdded) { result = AAdded; });
  ASSERT_TRUE(ZT::WaitUntil([&] { return result != -2; }));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(announced, (std::vector<std::string>{"64b000000000000000000001"}));
  EXPECT_EQ(List().Count(), 3);
  EXPECT_EQ(List().FindEventByID("64b000000000000000000003")->State(), TEventAlertState::easDismissed);
  EXPECT_EQ(refreshed.Received.size(), 1u);
  EXPECT_EQ(Count(TLogType::Info, "Catch-up ran: 1 alert(s) added."), 1);
  EXPECT_EQ(Count(TLogType::Info, "Catch-up after a reconnection: pulling B .. E"), 1);

  // A failed pull changes nothing and says so.
  F.REST->EventsResult = false;
  result = -2;
  F.Events->StartCatchUp([&](int AAdded) { result = AAdded; });
  ASSERT_TRUE(ZT::WaitUntil([&] { return result != -2; }));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(List().Count(), 3);
  EXPECT_EQ(Count(TLogType::Error, "Catch-up failed"), 1);
  List().OnNotify().RemoveHandler(TCollectionNotifyEvent<TZELEvent>::Of(&probe, &TProbe::Changed));
}

}  // namespace
}  // namespace ZEL
