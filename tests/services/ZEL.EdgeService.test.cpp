// The edge service over recording stand-ins of the MQTT and authentication services.

#include "ZEL.EdgeService.h"
#include "ZEL.Events.Originator.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Session.TestSupport.h"
#include "ZEL.Utils.ObjectId.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using TJSONValue = nlohmann::ordered_json;

constexpr const char* cGuidA = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";
constexpr const char* cGuidB = "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}";

class EdgeService : public ::testing::Test {
protected:
  void SetUp() override {
    GlobalContainer().RegisterType<IAuthService>([a = Auth] { return a; });
    GlobalContainer().Build();
  }
  bool Logged(TLogType AType, const std::string& AText) const {
    for (const auto& e : Log.Entries())
      if (e.Type == AType && e.Message.find(AText) != std::string::npos) return true;
    return false;
  }

  ZT::TEdgeServices Services;
  std::shared_ptr<ZT::TRecordAuthService> Auth = std::make_shared<ZT::TRecordAuthService>();
  TZELEdgeService Edges;
  LogsPipe::TLogCapture Log;
};

TEST_F(EdgeService, SyncElementsAreAddedUpdatedOrDropped) {
  EXPECT_TRUE(Edges.InitEdge(ZT::MakeEdge("EDGE-1", cGuidA, "first", {1})));
  // Same ID and GUID: one edge, the second element's name, the first element's children.
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", cGuidA, "renamed", {0, 2}));
  // GUID differing in case only: another edge.
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", "{3f2504e0-4f89-11d3-9a0c-0305e82c3301}", "lower"));
  // Invalid elements.
  TJSONValue noID = ZT::MakeEdge("", cGuidB, "no id");
  noID.erase("ID");
  Edges.InitEdge(noID);
  Edges.InitEdge(ZT::MakeEdge("EDGE-2", "", "no guid"));
  EXPECT_FALSE(Edges.InitEdge(TJSONValue::array({1, 2})));

  ASSERT_EQ(Edges.EdgeCount(), 2);
  EXPECT_EQ(Edges.GetEdge(0)->Name(), "renamed");
  EXPECT_EQ(Edges.GetEdge(0)->Conditions().Count(), 1);
  EXPECT_EQ(Edges.GetEdge(1)->Name(), "lower");
  EXPECT_THROW(Edges.GetEdge(2), std::exception);
  EXPECT_TRUE(Logged(TLogType::Warning, "An existing edge[EDGE-1] is already here. Free That."));
  EXPECT_TRUE(Logged(TLogType::Fatal, "An invalid Edge object is passed: "));
  EXPECT_TRUE(Logged(TLogType::Debug, "Edge EDGE-1  valid = Yes guid = "));
  bool arrayFatal = false;
  for (const auto& e : Log.Entries())
    arrayFatal |= e.Type == TLogType::Fatal && e.Message.find(" \r\n[1,2]") != std::string::npos;
  EXPECT_TRUE(arrayFatal);
}

TEST_F(EdgeService, NonAsciiJSONIsLoggedEscaped) {
  Edges.InitEdge(ZT::MakeEdge("EDGE-\xC3\xA9", cGuidA, "caf\xC3\xA9\n"));
  EXPECT_TRUE(Logged(TLogType::Debug, "caf\\u00e9\\n"));
}

TEST_F(EdgeService, TopicTestsCompareUpperCasedAndTakeTheFirstEdge) {
  Edges.InitEdge(ZT::MakeEdge("Edge-1", cGuidA, "a"));
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", "{3f2504e0-4f89-11d3-9a0c-0305e82c3301}", "b"));
  TZELEdgeObject* edge = nullptr;
  const std::string update = std::string(cGuidA) + "/EDGE-1/update";
  ASSERT_TRUE(Edges.IsKnownAndAvailableUpdateChannel(update, edge));
  EXPECT_EQ(edge->Name(), "a");
  EXPECT_FALSE(Edges.IsKnownAndAvailableEventsChannel(update, edge));
  EXPECT_EQ(edge, nullptr);
  EXPECT_TRUE(Edges.IsKnownAndAvailableEventsChannel(std::string(cGuidA) + "/edge-1/EVENT"));
  EXPECT_TRUE(Edges.IsKnownAndAvailableSvcResponseChannel(std::string(cGuidA) + "/JANE.DOE@example.com/Service/Response"));
  EXPECT_FALSE(Edges.IsKnownAndAvailableSvcResponseChannel(std::string(cGuidA) + "/other@example.com/Service/Response"));
  EXPECT_FALSE(Edges.IsKnownAndAvailableUpdateChannel("nothing"));
}

TEST_F(EdgeService, OrganisationTopic) {
  const std::string topic = Edges.MQTTOrgEventChannel();
  EXPECT_EQ(topic, Utils::ObjectIdToGUID(std::string_view("65f1c0de4a1b2c3d4e5f6071")).ToString() +
                       "/65f1c0de4a1b2c3d4e5f6071/Event");
  EXPECT_EQ(topic.substr(0, 10), "{65F1C0DE-");
  EXPECT_TRUE(Edges.IsKnownAndAvailableOrgEventsChannel(topic.substr(0, topic.size() - 5) + "EVENT"));

  struct TCase {
    const char* Name;
    bool HasRecord;
    std::string OrgID;
    bool ErrorLogged;
  };
  for (const TCase& c : {TCase{"no record", false, "65f1c0de4a1b2c3d4e5f6071", false},
                         TCase{"24 zeros", true, std::string(24, '0'), false},
                         TCase{"empty id", true, "", true},
                         TCase{"short id", true, "65f1c0de", true}}) {
    Log.Clear();
    Auth->HasRecord = c.HasRecord;
    Auth->Record->organization().ID = c.OrgID;
    std::string got = "unset";
    EXPECT_NO_THROW(got = Edges.MQTTOrgEventChannel()) << c.Name;
    EXPECT_EQ(got, "") << c.Name;
    EXPECT_TRUE(Edges.IsKnownAndAvailableOrgEventsChannel("")) << c.Name;
    EXPECT_FALSE(Edges.IsKnownAndAvailableOrgEventsChannel(topic)) << c.Name;
    EXPECT_EQ(Logged(TLogType::Error, "is not usable"), c.ErrorLogged) << c.Name;
  }
}

TEST_F(EdgeService, EdgeOfAnOriginator) {
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", cGuidA, "a", {1}));
  Edges.InitEdge(ZT::MakeEdge("EDGE-2", cGuidB, "b", {1, 0}));
  struct TCase {
    std::string JSON;
    const char* Expected;  // name, or "" for none
  };
  for (const TCase& c : {TCase{R"({"Type":10,"ID":"EDGE-2","GUID":")" + std::string(cGuidB) + R"("})", "b"},
                         TCase{R"({"Type":10,"ID":"edge-2","GUID":")" + std::string(cGuidB) + R"("})", ""},
                         TCase{R"({"Type":20,"ID":"edge-2-cond-2"})", "b"},
                         TCase{R"({"Type":20,"ID":"EDGE-1-COND-1"})", "a"},
                         TCase{R"({"Type":40,"ID":"EDGE-1-COND-1"})", ""},
                         TCase{R"({"Type":30,"ID":"none"})", ""}}) {
    TZELOriginatorDevice from(c.JSON);
    TZELEdgeObject* edge = Edges.GetEdgeFromOriginator(&from);
    EXPECT_EQ(edge ? edge->Name() : "", c.Expected) << c.JSON;
  }
}

TEST_F(EdgeService, SubscribesEveryEdgeAndCountsInactiveConditions) {
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", cGuidA, "a", {1, 2, 0}));
  Edges.InitEdge(ZT::MakeEdge("EDGE-2", cGuidB, "b", {2}));
  EXPECT_EQ(Edges.InactiveConditionsCount(), 3);
  Edges.SubscribeEdges();
  EXPECT_EQ(Services.MQTT->Subscribed,
            (std::vector<std::string>{std::string(cGuidA) + "/EDGE-1/Event", std::string(cGuidA) + "/EDGE-1/Update",
                                      std::string(cGuidA) + "/jane.doe@example.com/Service/Response",
                                      std::string(cGuidB) + "/EDGE-2/Event", std::string(cGuidB) + "/EDGE-2/Update",
                                      std::string(cGuidB) + "/jane.doe@example.com/Service/Response"}));
  Edges.UnsubscribeEdges();
  EXPECT_EQ(Services.MQTT->Unsubscribed, Services.MQTT->Subscribed);
}

TEST_F(EdgeService, SelectionIsClearedWithTheEdges) {
  Edges.InitEdge(ZT::MakeEdge("EDGE-1", cGuidA, "a"));
  Edges.SetSelectedEdge(Edges.GetEdge(0));
  Edges.SetSelectedProvider("P1");
  Edges.SetSelectedDevice("D1");
  Edges.SetSelectedProvider("P1");
  EXPECT_EQ(Edges.GetSelectedDevice(), "D1");
  Edges.SetSelectedProvider("p1");
  EXPECT_EQ(Edges.GetSelectedDevice(), "");
  Edges.ClearEdges();
  EXPECT_EQ(Edges.GetSelectedEdge(), nullptr);
  EXPECT_EQ(Edges.EdgeCount(), 0);
}

}  // namespace
}  // namespace ZEL
