#include "ZEL.Edge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEL.Edge.TestFakes.h"
#include "ZEL.LogsPipe.h"

using namespace ZEL;
using ZEL::LogsPipe::TCapturedEntry;
using ZEL::LogsPipe::TLogCapture;
using std::chrono::minutes;
using std::chrono::seconds;

namespace {

using TJSON = nlohmann::ordered_json;

std::vector<TCapturedEntry> OfType(const std::vector<TCapturedEntry>& AEntries, TLogType AType) {
  std::vector<TCapturedEntry> result;
  for (const auto& e : AEntries)
    if (e.Type == AType) result.push_back(e);
  return result;
}

std::unique_ptr<TZELConditionObject> Condition(const TJSON& AState) {
  TJSON element = {{"Type", 20}, {"Name", "c"}, {"Description", "d"}, {"ID", "c1"}, {"GUID", "{}"}, {"Parent", ""}};
  element["State"] = AState;
  return TZELConditionObject::CreateFromJSON(element);
}

class EdgeTree : public ::testing::Test {
protected:
  void TearDown() override { Time::SetClock(nullptr); }
};

TEST_F(EdgeTree, FixtureBuildsTheWholeTree) {
  auto edge = TZELEdgeObject::Create(ZEL::Test::EdgeFixtureText());
  EXPECT_EQ(edge->EntityType(), TEdgeAgentType::atEdge);
  EXPECT_EQ(edge->ID(), "edge-north-01");
  EXPECT_EQ(edge->GUID(), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_EQ(edge->Name(), "North Gate Edge");
  EXPECT_EQ(edge->ParentGUID(), "{5A0C7E21-3B44-4F6A-9E10-2C7D8B9A1F00}");
  EXPECT_EQ(edge->Edge(), edge.get());

  std::vector<std::string> kinds;
  for (TZELServiceObject* s : edge->Services()) {
    kinds.emplace_back(s->ClassName());
    EXPECT_EQ(s->Parent(), edge.get());
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"TZELEdgeViewService", "TZELEdgeDismissService",
                                             "TZELEdgeEscalateService", "TZELEdgeSwitchService",
                                             "TZELEdgePauseService"}));
  TZELEdgeDismissService* dismiss = nullptr;
  ASSERT_TRUE(edge->HasService(TEdgeServiceType::stDismiss, dismiss));
  EXPECT_EQ(dismiss->SericeIndex(), 1);
  EXPECT_EQ(dismiss->InitReasons().Count(), 3);
  ASSERT_NE(dismiss->EscalatedReasons().Find(11), nullptr);
  EXPECT_EQ(*dismiss->EscalatedReasons().Find(11), "Police attended");

  ASSERT_EQ(edge->Conditions().Count(), 3);
  ASSERT_EQ(edge->Providers().Count(), 2);
  for (TZELConditionObject* c : edge->Conditions()) EXPECT_EQ(c->Edge(), edge.get());
  for (TZELProviderObject* p : edge->Providers()) EXPECT_EQ(p->Edge(), edge.get());
  EXPECT_EQ(edge->Conditions()[0]->Services().Count(), 2);
  EXPECT_EQ(edge->Providers()[0]->Devices().Count(), 2);
  TZELDeviceObject* device = edge->Providers()[0]->Devices()[1];
  EXPECT_EQ(device->EntityType(), TEdgeAgentType::atDevice);
  EXPECT_EQ(device->Edge(), nullptr);
  EXPECT_TRUE(device->IsEnabled());
  EXPECT_FALSE(device->IsOnline());
  EXPECT_EQ(device->LastSeen(), Time::ParseISO8601("2025-03-02T22:01:00Z"));
}

TEST_F(EdgeTree, ChildListsEmptyOrMissing) {
  TJSON element = ZEL::Test::EdgeFixture();
  element["Conditions"] = TJSON::array();
  element["Providers"] = TJSON::array();
  {
    TLogCapture capture;
    auto edge = TZELEdgeObject::CreateFromJSON(element);
    EXPECT_TRUE(edge->Conditions().IsEmpty());
    EXPECT_TRUE(capture.WithTag("TZELEdgeObject").empty());
  }
  element.erase("Conditions");
  element.erase("Providers");
  TLogCapture capture;
  auto edge = TZELEdgeObject::CreateFromJSON(element);
  const auto entries = capture.WithTag("TZELEdgeObject");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Type, TLogType::Error);
  EXPECT_EQ(entries[0].Message, "LoadFromJSON: Required \"Conditions\" property not found.");
  EXPECT_EQ(entries[1].Message, "LoadFromJSON: Required \"Providers\" property not found.");
}

TEST_F(EdgeTree, IdentityLoadStopsAsTheKeysSay) {
  constexpr const char* Tag = "TZELBaseEdgeEntity.LoadFromJSON";
  {
    TLogCapture capture;
    auto node = TZELEdgeObject::Create(
        R"({"Type": 30, "Name": "n", "Description": "d", "ID": "i", "GUID": "g", "Parent": "p"})");
    EXPECT_EQ(node->EntityType(), TEdgeAgentType::atProvider);
    EXPECT_EQ(node->ParentGUID(), "p");
    EXPECT_TRUE(capture.WithTag(Tag).empty());
  }
  {
    TLogCapture capture;
    auto node = TZELEdgeObject::Create(R"({"Type": 15, "Name": "n", "ID": "i"})");
    EXPECT_EQ(node->EntityType(), TEdgeAgentType::atUnknown);
    EXPECT_EQ(node->Name(), "");
    EXPECT_EQ(node->ID(), "");
    const auto entries = capture.WithTag(Tag);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Type, TLogType::Fatal);
    EXPECT_EQ(entries[0].Message, "Required \"Type\" value (15) is unknown edge entity type to us.");
  }
  {
    // A number where a text belongs counts as missing; the fields after it stay empty.
    TLogCapture capture;
    auto node = TZELEdgeObject::Create(
        R"({"Type": 10, "Name": "n", "Description": "d", "ID": 42, "GUID": "g", "Parent": "p"})");
    EXPECT_EQ(node->Name(), "n");
    EXPECT_EQ(node->Description(), "d");
    EXPECT_EQ(node->ID(), "");
    EXPECT_EQ(node->GUID(), "");
    EXPECT_EQ(node->ParentGUID(), "");
    const auto entries = capture.WithTag(Tag);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Type, TLogType::Error);
    EXPECT_EQ(entries[0].Message, "Required \"ID\" property is not found.");
  }
  {
    // No "Type" at all: logged, and the rest still loads; huge numbers are just unknown.
    TLogCapture capture;
    auto node = TZELEdgeObject::Create(R"({"Name": "n", "Description": "d", "ID": "i", "GUID": "g", "Parent": "p"})");
    EXPECT_EQ(node->ID(), "i");
    auto huge = TZELEdgeObject::Create(R"({"Type": 1e300, "ID": "i"})");
    EXPECT_EQ(huge->EntityType(), TEdgeAgentType::atUnknown);
    const auto fatals = OfType(capture.WithTag(Tag), TLogType::Fatal);
    ASSERT_EQ(fatals.size(), 2u);
    EXPECT_EQ(fatals[0].Message, "Required \"Type\" property is not found.");
  }
}

TEST_F(EdgeTree, NotJSONGivesAnEmptyNodeAndAChildThatIsNoObjectRaises) {
  auto node = TZELEdgeObject::Create("not json at all");
  EXPECT_EQ(node->JSONObject(), nullptr);
  EXPECT_EQ(node->ID(), "");
  EXPECT_THROW(TZELEdgeObject::Create("[1, 2]"), EInvalidCast);
  TJSON element = ZEL::Test::EdgeFixture();
  element["Conditions"].push_back(7);
  EXPECT_THROW(TZELEdgeObject::CreateFromJSON(element), EInvalidCast);
}

TEST_F(EdgeTree, LookupsCompareIdsUpperCasedAndTakeTheFirst) {
  TJSON element = ZEL::Test::EdgeFixture();
  TJSON twin = element["Conditions"][1];
  twin["ID"] = "COND-MOTION-GATE";
  element["Conditions"].push_back(twin);
  auto edge = TZELEdgeObject::CreateFromJSON(element);

  TZELConditionObject* condition = nullptr;
  ASSERT_TRUE(edge->HasCondition("Cond-Motion-Gate", condition));
  EXPECT_EQ(condition, edge->Conditions()[0]);
  EXPECT_FALSE(edge->HasCondition("cond-motion", condition));
  EXPECT_EQ(condition, nullptr);

  TZELProviderObject* provider = nullptr;
  ASSERT_TRUE(edge->HasProvider("PROV-IO", provider));
  EXPECT_EQ(provider, edge->Providers()[1]);

  TZELDeviceObject* device = nullptr;
  ASSERT_TRUE(edge->HasDevice("DOOR-contact-1", device));
  EXPECT_EQ(device, edge->Providers()[1]->Devices()[0]);
  int index = 7;
  EXPECT_TRUE(edge->Providers()[0]->HasDevice("CAM-8", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(edge->Providers()[0]->HasDevice("door-contact-1", index));
  EXPECT_EQ(index, -1);
  EXPECT_FALSE(edge->HasDevice("cam-9", device));
  EXPECT_EQ(device, nullptr);
}

TEST_F(EdgeTree, ConditionStateTable) {
  const Time::TInstant now = Time::ParseISO8601("2025-03-03T10:10:00Z");
  Time::SetClock([now] { return now; });
  const Time::TInstant tenMinutesAgo = now - minutes(10);
  const std::string pausedAt = Time::FormatISO8601UTC(tenMinutesAgo);

  struct TCase {
    const char* Name;
    TJSON State;
    TEdgeConditionState Expected;
    bool Paused;
    std::int32_t Interval;
    Time::TInstant Inactive;
    Time::TInstant Unpause;
  };
  const std::vector<TCase> cases = {
      {"active", {{"Data", {{"State", 1}}}}, TEdgeConditionState::ecsActive, false, 0, Time::MissingDate, now},
      {"disabled", {{"Data", {{"State", 0}}}, {"LastState", "2025-03-02T18:30:00Z"}},
       TEdgeConditionState::ecsDisabled, true, -1, Time::ParseISO8601("2025-03-02T18:30:00Z"), now},
      {"paused 1s", {{"Data", {{"State", 2}, {"PauseInterval", 1}, {"PausedAt", pausedAt}}}},
       TEdgeConditionState::ecsPaused, true, 1, tenMinutesAgo, now},
      {"paused 600s", {{"Data", {{"State", 2}, {"PauseInterval", 600}, {"PausedAt", pausedAt}}}},
       TEdgeConditionState::ecsPaused, true, 600, tenMinutesAgo, now},
      {"paused 3600s", {{"Data", {{"State", 2}, {"PauseInterval", 3600}, {"PausedAt", pausedAt}}}},
       TEdgeConditionState::ecsPaused, true, 3600, tenMinutesAgo, now + minutes(50)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto condition = Condition(c.State);
    EXPECT_EQ(condition->State(), c.Expected);
    EXPECT_EQ(condition->IsActive(), c.Expected == TEdgeConditionState::ecsActive);
    std::int32_t interval = 99;
    EXPECT_EQ(condition->IsPaused(interval), c.Paused);
    EXPECT_EQ(interval, c.Interval);
    EXPECT_EQ(condition->InactiveDateTime(), c.Inactive);
    EXPECT_EQ(condition->UnpauseDateTime(), c.Unpause);
  }
}

TEST_F(EdgeTree, ConditionStateOutOfRangeReadsAsDisabledAndLogsEachRead) {
  for (const TJSON& state : {TJSON(3), TJSON(-1), TJSON(1e300), TJSON("1")}) {
    SCOPED_TRACE(state.dump());
    auto condition = Condition({{"Data", {{"State", state}}}});
    TLogCapture capture;
    EXPECT_EQ(condition->State(), TEdgeConditionState::ecsDisabled);
    std::int32_t interval = 0;
    EXPECT_TRUE(condition->IsPaused(interval));
    EXPECT_EQ(interval, -1);
    const auto fatals = OfType(capture.WithTag("TZELConditionObject.State"), TLogType::Fatal);
    EXPECT_EQ(fatals.size(), 2u);
  }
  auto condition = Condition({{"Data", {{"State", 3}}}});
  TLogCapture capture;
  condition->State();
  EXPECT_EQ(capture.WithTag("TZELConditionObject.State").at(0).Message,
            "State.Data.State value (3) must be in range[0..2]");
}

// Read for every row of the devices and details views: never raise.
TEST_F(EdgeTree, UnreadableDeviceStatusAndConditionDatesGiveDefaultsAndFatal) {
  auto device = TZELDeviceObject::Create(
      R"({"Type": 40, "ID": "d", "Status": {"Enabled": "yes", "LastSeen": "yesterday"}})");
  TLogCapture capture;
  EXPECT_FALSE(device->IsEnabled());
  EXPECT_FALSE(device->IsOnline());
  EXPECT_EQ(device->LastSeen(), Time::MissingDate);
  const auto entries = capture.Entries();
  std::vector<std::string> fatals;
  for (const auto& e : OfType(entries, TLogType::Fatal)) fatals.push_back(e.Tag + ": " + e.Message);
  EXPECT_EQ(fatals, (std::vector<std::string>{
                        "TZELDeviceObject.IsEnabled: Required \"Status.Enabled\" property is not found.",
                        "TZELDeviceObject.IsOnline: Required \"Status.Online\" property is not found.",
                        "TZELDeviceObject.LastSeen: Required \"Status.LastSeen\" property is not found."}));

  capture.Clear();
  auto paused = Condition({{"Data", {{"State", 2}, {"PauseInterval", 3600}, {"PausedAt", "10 o'clock"}}}});
  EXPECT_EQ(paused->InactiveDateTime(), Time::MissingDate);
  EXPECT_EQ(paused->UnpauseDateTime(), Time::MissingDate);
  auto disabled = Condition({{"Data", {{"State", 0}}}, {"LastState", 17}});
  EXPECT_EQ(disabled->InactiveDateTime(), Time::MissingDate);
  auto noInterval = Condition({{"Data", {{"State", 2}, {"PauseInterval", 1e20}}}});
  std::int32_t interval = 0;
  EXPECT_TRUE(noInterval->IsPaused(interval));
  EXPECT_EQ(interval, -1);
  const auto dateEntries = capture.WithTag("TZELConditionObject.InactiveDateTime");
  ASSERT_EQ(dateEntries.size(), 3u);
  EXPECT_EQ(dateEntries[0].Message, "Required \"State.Data.PausedAt\" property is not found.");
  EXPECT_EQ(dateEntries[2].Message, "Required \"State.LastState\" property is not found.");
  EXPECT_EQ(capture.WithTag("TZELConditionObject.IsPaused").size(), 1u);
}

TEST_F(EdgeTree, UpdateStatusAndStateReplacesOnlyWhatIsGiven) {
  auto edge = TZELEdgeObject::Create(ZEL::Test::EdgeFixtureText());
  TZELConditionObject* condition = edge->Conditions()[0];
  const TJSON status = condition->JSONObject()->at("Status");

  const TJSON onlyState = {{"ID", "cond-motion-gate"}, {"State", {{"Data", {{"State", 0}}}, {"LastState", "2025-03-03T11:00:00Z"}}}};
  EXPECT_TRUE(condition->UpdateStatusAndState(&onlyState));
  EXPECT_EQ(condition->State(), TEdgeConditionState::ecsDisabled);
  EXPECT_EQ(condition->InactiveDateTime(), Time::ParseISO8601("2025-03-03T11:00:00Z"));
  EXPECT_EQ(condition->JSONObject()->at("Status"), status);

  const TJSON neither = {{"ID", "x"}, {"Status", "enabled"}};
  const TJSON before = *condition->JSONObject();
  EXPECT_FALSE(condition->UpdateStatusAndState(&neither));
  EXPECT_FALSE(condition->UpdateStatusAndState(nullptr));
  EXPECT_EQ(*condition->JSONObject(), before);
}

TEST_F(EdgeTree, SecondLoadRebuildsChildrenFromTheFirstJSON) {
  TJSON first = ZEL::Test::EdgeFixture();
  first["Conditions"].erase(2);
  auto edge = TZELEdgeObject::CreateFromJSON(first);
  const TZELConditionObject* oldFirst = edge->Conditions()[0];
  // A registered request keeps a pointer to the service that sent it.
  auto request = std::make_unique<TZELServiceRequestDTO>();
  request->SetRequestId("65f1c0ffee0123456789abcd");
  edge->ServiceRequests().emplace("65f1c0ffee0123456789abcd",
                                  std::make_unique<TServiceRequestContainer>(edge->Services()[0], std::move(request)));

  TJSON second = ZEL::Test::EdgeFixture();
  second["Name"] = "Renamed";
  edge->LoadFromJSON(second);
  EXPECT_EQ(edge->Name(), "Renamed");
  EXPECT_EQ(edge->Conditions().Count(), 2);
  EXPECT_NE(edge->Conditions()[0], oldFirst);
  ASSERT_EQ(edge->ServiceRequests().size(), 1u);
  // The old services are gone; the container must not point at them.
  EXPECT_EQ(edge->ServiceRequests().begin()->second->Service(), nullptr);
}

}  // namespace
