#include "ZEL.Edge.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ZEL.Edge.TestFakes.h"
#include "ZEL.LogsPipe.h"

using namespace ZEL;
using ZEL::LogsPipe::TCapturedEntry;
using ZEL::LogsPipe::TLogCapture;

namespace {

using TJSON = nlohmann::ordered_json;
constexpr const char* LoadTag = "TZELEdgeServingEntity.LoadFromJSON";
constexpr const char* EdgeGUID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
constexpr const char* RequestTopic = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}/edge-north-01/Service/Request";

std::vector<std::string> Texts(const std::vector<TCapturedEntry>& AEntries, TLogType AType) {
  std::vector<std::string> result;
  for (const auto& e : AEntries)
    if (e.Type == AType) result.push_back(e.Message);
  return result;
}

TJSON EdgeWithServices(const TJSON& AServices) {
  TJSON element = ZEL::Test::EdgeFixture();
  element["Services"] = AServices;
  return element;
}

template <class TKind>
TKind* ServiceOf(TZELEdgeServingEntity& ANode, TEdgeServiceType AType) {
  TKind* service = nullptr;
  EXPECT_TRUE(ANode.HasService(AType, service));
  return service;
}

std::string EventIDOf(const TEventServiceActionPerformed& AMessage) { return AMessage.EventID(); }

class EdgeServices : public ::testing::Test {
protected:
  ZEL::Test::TEdgeServices Services;
  std::unique_ptr<TZELEdgeObject> Edge = TZELEdgeObject::Create(ZEL::Test::EdgeFixtureText());

  TJSON LastPayload() const { return TJSON::parse(Services.MQTT->Published.back().Payload); }
};

TEST_F(EdgeServices, UnusableServicesAreDroppedWithTheirEntries) {
  {
    auto edge = TZELEdgeObject::CreateFromJSON(EdgeWithServices(TJSON::array()));
    EXPECT_TRUE(edge->Services().IsEmpty());
  }
  TLogCapture capture;
  auto edge = TZELEdgeObject::CreateFromJSON(
      EdgeWithServices(TJSON::parse(R"([{"Type": 7, "Index": 0, "Name": "n", "Description": "d"}])")));
  EXPECT_TRUE(edge->Services().IsEmpty());
  const auto entries = capture.WithTag(LoadTag);
  // The edge's own element comes first; its conditions' services follow.
  const auto fatals = Texts(entries, TLogType::Fatal);
  ASSERT_GE(fatals.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(fatals.begin(), fatals.begin() + 2),
            (std::vector<std::string>{"this is ccaled", "LServ.ServiceType = stUnknown"}));
  const auto warnings = Texts(entries, TLogType::Warning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("Service: TZELServiceObject is skipped. Valid = No JSON: {", 0), 0u) << warnings[0];
  EXPECT_EQ(Texts(capture.WithTag("TZELServiceObject.LoadFromJSON"), TLogType::Fatal),
            (std::vector<std::string>{"Type value (7) is out of known edge service IDs"}));
}

TEST_F(EdgeServices, DismissNeedsBothReasonTablesAndEscalateItsOwn) {
  struct TCase {
    const char* Name;
    const char* Service;
    std::vector<std::string> Errors;
  };
  const std::vector<TCase> cases = {
      {"escalated empty",
       R"({"Type": 1, "Index": 1, "Name": "D", "Description": "d",
           "Params": {"Reasons": {"easInitiated": [{"Code": 1, "Reason": "r"}], "easEscalated": []}}})",
       {}},
      {"initiated missing",
       R"({"Type": 1, "Index": 1, "Name": "D", "Description": "d", "Params": {"Reasons": {"easEscalated": 5}}})",
       {"LoadFromJSON: Required \"Params.Reasons.easInitiated\" property not found."}},
      {"escalate without reasons", R"({"Type": 2, "Index": 2, "Name": "E", "Description": "e", "Params": {}})",
       {"LoadFromJSON: Required \"Params.Reasons\" property not found."}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TLogCapture capture;
    auto edge = TZELEdgeObject::CreateFromJSON(EdgeWithServices(TJSON::array({TJSON::parse(c.Service)})));
    EXPECT_TRUE(edge->Services().IsEmpty());
    std::vector<std::string> errors;
    for (const char* tag : {"TZELEdgeDismissService", "TZELEdgeEscalateService"})
      for (const auto& text : Texts(capture.WithTag(tag), TLogType::Error)) errors.push_back(text);
    EXPECT_EQ(errors, c.Errors);
    EXPECT_EQ(Texts(capture.WithTag(LoadTag), TLogType::Warning).size(), 1u);
  }
}

TEST_F(EdgeServices, BadReasonIsPassedOverAndARepeatedCodeKeepsTheFirst) {
  const TJSON service = TJSON::parse(R"({"Type": 2, "Index": 2, "Name": "E", "Description": "e",
      "Params": {"Reasons": [{"Code": 3}, {"Code": 4, "Reason": "first"}, {"Reason": "no code"},
                             {"Code": 4, "Reason": "second"}, {"Code": 5, "Reason": "five"}]}})");
  TLogCapture capture;
  // The edge survives: dropping it would leave its alerts unsubscribed.
  auto edge = TZELEdgeObject::CreateFromJSON(EdgeWithServices(TJSON::array({service})));
  auto* escalate = ServiceOf<TZELEdgeEscalateService>(*edge, TEdgeServiceType::stEscalate);
  ASSERT_NE(escalate, nullptr);
  std::vector<TZELReasonTable::TEntry> reasons(escalate->Reasons().begin(), escalate->Reasons().end());
  EXPECT_EQ(reasons, (std::vector<TZELReasonTable::TEntry>{{4, "first"}, {5, "five"}}));
  EXPECT_EQ(Texts(capture.WithTag("TZELEdgeEscalateService"), TLogType::Error),
            (std::vector<std::string>{
                R"(LoadFromJSON: Required "Reason" property not found. Context: {"Code":3})",
                R"(LoadFromJSON: Required "Code" property not found. Context: {"Reason":"no code"})",
                R"(LoadFromJSON: Reason code 4 is listed twice, the first is kept. Context: {"Code":4,"Reason":"second"})"}));
}

TEST_F(EdgeServices, EachOperationPublishesAndRegistersItsRequest) {
  const std::string alert = "64b000000000000000000001";
  struct TCase {
    const char* Name;
    std::function<bool(TZELEdgeObject&)> Run;  // whether the operation says it went out
    std::int32_t Index;
    TJSON Params;
    const char* Tag;
  };
  const std::vector<TCase> cases = {
      {"view", [&](TZELEdgeObject& e) { return ServiceOf<TZELEdgeViewService>(e, TEdgeServiceType::stView)->MarkAsSeen(alert); },
       0, {{"IncidentId", alert}}, "TZELEdgeViewService"},
      {"dismiss", [&](TZELEdgeObject& e) {
         return ServiceOf<TZELEdgeDismissService>(e, TEdgeServiceType::stDismiss)
             ->Dismiss(TEventAlertState::easEscalated, alert, 10, "Resolved on site");
       },
       1, {{"IncidentId", alert}, {"Reason", "Resolved on site"}, {"ReasonCode", 10}}, "TZELEdgeDismissService"},
      {"escalate", [&](TZELEdgeObject& e) {
         return ServiceOf<TZELEdgeEscalateService>(e, TEdgeServiceType::stEscalate)->Escalate(alert, 21, "Fire or smoke");
       },
       2, {{"IncidentId", alert}, {"Reason", "Fire or smoke"}, {"ReasonCode", 21}}, "TZELEdgeEscalateService"},
      {"switch", [](TZELEdgeObject& e) { return ServiceOf<TZELEdgeSwitchService>(e, TEdgeServiceType::stSwitch)->TurnOnOff(false); },
       3, {{"State", 0}}, "TZELEdgeSwitchService"},
      {"pause", [](TZELEdgeObject& e) { return ServiceOf<TZELEdgePauseService>(e, TEdgeServiceType::stPause)->Pause(3600); },
       4, {{"Interval", 3600}}, "TZELEdgePauseService"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Services.MQTT->Published.clear();
    TLogCapture capture;
    EXPECT_TRUE(c.Run(*Edge));
    ASSERT_EQ(Services.MQTT->Published.size(), 1u);
    EXPECT_EQ(Services.MQTT->Published[0].Topic, RequestTopic);
    const TJSON request = LastPayload();
    const std::string id = request["RequestId"];
    EXPECT_EQ(request["Type"], 6);
    EXPECT_EQ(request["ObjectId"], id);
    EXPECT_EQ(id.size(), 24u);
    EXPECT_EQ(request["ServiceIndex"], c.Index);
    EXPECT_EQ(request["Source"], TJSON({{"GUID", EdgeGUID}, {"Type", 200}, {"ID", "jane.doe@example.com"}, {"Name", "Jane Doe"}}));
    EXPECT_EQ(request["ServiceProvider"], TJSON({{"GUID", EdgeGUID}, {"ID", "edge-north-01"}}));
    EXPECT_EQ(request["RequestData"]["Params"], c.Params);
    EXPECT_EQ(request["RequestData"]["Params"].dump(), c.Params.dump());  // member order too

    TServiceRequestContainer* container = nullptr;
    ASSERT_TRUE(Edge->FindRequestContainer(id, container));
    EXPECT_EQ(container->Request()->ToJSON(), Services.MQTT->Published[0].Payload);
    EXPECT_EQ(container->EventID(), c.Params.contains("IncidentId") ? alert : "");
    EXPECT_EQ(Texts(capture.WithTag(c.Tag), TLogType::Info),
              (std::vector<std::string>{"Service request(" + id + ") sent."}));
  }
  EXPECT_EQ(Edge->ServiceRequests().size(), 5u);

  // The broker does not take them: each operation says so, and nothing more is pending.
  Services.MQTT->PublishResult = false;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + ", not taken");
    EXPECT_FALSE(c.Run(*Edge));
  }
  EXPECT_EQ(Edge->ServiceRequests().size(), 5u);
}

TEST_F(EdgeServices, UnmetConditionsSendNothing) {
  auto* dismiss = ServiceOf<TZELEdgeDismissService>(*Edge, TEdgeServiceType::stDismiss);
  auto* escalate = ServiceOf<TZELEdgeEscalateService>(*Edge, TEdgeServiceType::stEscalate);
  auto* view = ServiceOf<TZELEdgeViewService>(*Edge, TEdgeServiceType::stView);
  auto* pause = ServiceOf<TZELEdgePauseService>(*Edge, TEdgeServiceType::stPause);
  TLogCapture capture;
  EXPECT_FALSE(dismiss->Dismiss(TEventAlertState::easDismissed, "a", 1, "r"));
  EXPECT_FALSE(dismiss->Dismiss(TEventAlertState::easInitiated, "a", 10, "only in the escalated table"));
  EXPECT_FALSE(dismiss->Dismiss(TEventAlertState::easInitiated, "", 1, "r"));
  EXPECT_FALSE(escalate->Escalate("a", 1, "not a reason of escalate"));
  EXPECT_FALSE(view->MarkAsSeen(""));
  EXPECT_FALSE(pause->Pause(0));
  EXPECT_FALSE(pause->Pause(-5));
  EXPECT_TRUE(Services.MQTT->Published.empty());
  EXPECT_TRUE(Edge->ServiceRequests().empty());
  EXPECT_TRUE(capture.Entries().empty());
}

TEST_F(EdgeServices, TwoRequestsInARowHaveDifferentIds) {
  auto* pause = ServiceOf<TZELEdgePauseService>(*Edge, TEdgeServiceType::stPause);
  pause->Pause(60);
  pause->Pause(60);
  ASSERT_EQ(Services.MQTT->Published.size(), 2u);
  EXPECT_NE(TJSON::parse(Services.MQTT->Published[0].Payload)["RequestId"],
            TJSON::parse(Services.MQTT->Published[1].Payload)["RequestId"]);
  EXPECT_EQ(Edge->ServiceRequests().size(), 2u);
}

TEST_F(EdgeServices, AConditionsRequestGoesThroughItsEdge) {
  TZELConditionObject* condition = Edge->Conditions()[1];
  ServiceOf<TZELEdgeSwitchService>(*condition, TEdgeServiceType::stSwitch)->TurnOnOff(true);
  ASSERT_EQ(Services.MQTT->Published.size(), 1u);
  EXPECT_EQ(Services.MQTT->Published[0].Topic, RequestTopic);
  const TJSON request = LastPayload();
  EXPECT_EQ(request["ServiceProvider"], TJSON({{"GUID", "{1C2D3E4F-5061-7283-94A5-B6C7D8E9F001}"}, {"ID", "cond-fence-east"}}));
  EXPECT_EQ(request["Source"]["GUID"], EdgeGUID);
  EXPECT_EQ(request["RequestData"]["Params"], TJSON({{"State", 1}}));
  EXPECT_EQ(Edge->ServiceRequests().count(request["RequestId"]), 1u);
  EXPECT_TRUE(condition->ServiceRequests().empty());
}

// Sending while the broker is offline is a failure: the request is not left registered
// (nobody would ever answer it) and the timeline hears of it.
TEST_F(EdgeServices, AnUnsentRequestIsRemovedLoggedAndAnnounced) {
  auto* dismiss = ServiceOf<TZELEdgeDismissService>(*Edge, TEdgeServiceType::stDismiss);
  for (bool registered : {true, false}) {
    SCOPED_TRACE(registered ? "broker offline" : "no MQTT service");
    ZEL::Test::TMessageRecorder<TEventServiceActionPerformed> failures(EventIDOf);
    failures.OnMessage = [](TSender, const TEventServiceActionPerformed& AMessage) {
      EXPECT_FALSE(AMessage.Success());
      EXPECT_TRUE(AMessage.OwnContainer());
      ASSERT_NE(AMessage.Container(), nullptr);
      EXPECT_EQ(AMessage.Container()->Request()->RequestData().Params()["ReasonCode"], 2);
    };
    Services.MQTT->PublishResult = false;
    if (!registered) Services::Container::ZELServicesContainer()->Unregister<IZELMQTTService>();
    TLogCapture capture;
    dismiss->Dismiss(TEventAlertState::easInitiated, "64b000000000000000000001", 2, "Test by staff");
    EXPECT_TRUE(Edge->ServiceRequests().empty());
    ASSERT_EQ(failures.Received.size(), 1u);
    EXPECT_EQ(failures.Received[0].Sender, Edge.get());
    EXPECT_EQ(failures.Received[0].Text, "64b000000000000000000001");
    const auto sendErrors = Texts(capture.WithTag("TZELEdgeServingEntity.SendRequest"), TLogType::Error);
    ASSERT_EQ(sendErrors.size(), 1u);
    EXPECT_NE(sendErrors[0].find("was not published"), std::string::npos);
    const auto opErrors = Texts(capture.WithTag("TZELEdgeDismissService"), TLogType::Error);
    ASSERT_EQ(opErrors.size(), 1u);
    EXPECT_EQ(opErrors[0].find("Service request("), 0u);
    EXPECT_NE(opErrors[0].find(")  was not send. Payload: {"), std::string::npos);
  }
}

TEST_F(EdgeServices, ARepeatedRequestIdIsRefusedAndAnnounced) {
  auto* view = ServiceOf<TZELEdgeViewService>(*Edge, TEdgeServiceType::stView);
  auto make = [] {
    auto request = std::make_unique<TZELServiceRequestDTO>();
    request->SetRequestId("65f1c0ffee0123456789abcd");
    return request;
  };
  ASSERT_TRUE(Edge->SendRequest(view, make()));
  ZEL::Test::TMessageRecorder<TEventServiceActionPerformed> failures;
  TLogCapture capture;
  EXPECT_FALSE(Edge->SendRequest(view, make()));
  EXPECT_EQ(Texts(capture.WithTag("TZELEdgeServingEntity.SendRequest"), TLogType::Warning),
            (std::vector<std::string>{"A Service request \"65f1c0ffee0123456789abcd\" already listed in ServiceRequests"}));
  EXPECT_EQ(failures.Received.size(), 1u);
  EXPECT_EQ(Edge->ServiceRequests().size(), 1u);
  EXPECT_EQ(Services.MQTT->Published.size(), 1u);
  // No request or no id: nothing at all happens.
  EXPECT_FALSE(Edge->SendRequest(view, nullptr));
  EXPECT_FALSE(Edge->SendRequest(view, std::make_unique<TZELServiceRequestDTO>()));
  EXPECT_EQ(failures.Received.size(), 1u);
}

TEST_F(EdgeServices, ARequestThatCannotBeBuiltIsLoggedAndNotSent) {
  TJSON element = ZEL::Test::EdgeFixture();
  element["GUID"] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";  // no braces
  auto edge = TZELEdgeObject::CreateFromJSON(element);
  TLogCapture capture;
  ServiceOf<TZELEdgePauseService>(*edge, TEdgeServiceType::stPause)->Pause(60);
  EXPECT_TRUE(Services.MQTT->Published.empty());
  EXPECT_TRUE(edge->ServiceRequests().empty());
  EXPECT_EQ(Texts(capture.WithTag("TZELEdgePauseService"), TLogType::Error),
            (std::vector<std::string>{"Service request could not be built; nothing was sent."}));

  // A device has no edge: its services reach no registry and build nothing.
  auto device = TZELDeviceObject::Create(
      R"({"Type": 40, "ID": "d", "GUID": "{4F506172-8394-A5B6-C7D8-E9F001122334}",
          "Services": [{"Type": 15, "Index": 0, "Name": "P", "Description": "p"}]})");
  ServiceOf<TZELEdgePauseService>(*device, TEdgeServiceType::stPause)->Pause(60);
  EXPECT_TRUE(Services.MQTT->Published.empty());
  EXPECT_EQ(device->GetWorkingServicesRequestList(), nullptr);
  EXPECT_EQ(Texts(capture.WithTag("TZELEdgeServingEntity[TZELDeviceObject]"), TLogType::Fatal),
            (std::vector<std::string>{"GetWorkingServicesRequestList. Edge is not linked!!"}));
}

// An edge object is the holder of its registry whatever its "Type" says; looking the
// registry up must not ask itself again.
TEST_F(EdgeServices, AnEdgeOfAnotherTypeUsesItsOwnRegistry) {
  for (const TJSON& type : {TJSON(30), TJSON(15), TJSON()}) {
    SCOPED_TRACE(type.dump());
    TJSON element = ZEL::Test::EdgeFixture();
    if (type.is_null())
      element.erase("Type");
    else
      element["Type"] = type;
    auto edge = TZELEdgeObject::CreateFromJSON(element);
    EXPECT_EQ(edge->GetWorkingServicesRequestList(), &edge->ServiceRequests());
    // An unknown type ends the identity load before the GUID, so nothing could be built.
    if (type == 15) continue;
    ServiceOf<TZELEdgeSwitchService>(*edge->Conditions()[0], TEdgeServiceType::stSwitch)->TurnOnOff(true);
    EXPECT_EQ(edge->ServiceRequests().size(), 1u);
  }
}

TEST_F(EdgeServices, WithoutASignedInAccountTheSourceIsEmpty) {
  Services.Auth->Email.clear();
  Services.Auth->Name.clear();
  ServiceOf<TZELEdgeSwitchService>(*Edge, TEdgeServiceType::stSwitch)->TurnOnOff(true);
  const TJSON source = LastPayload()["Source"];
  EXPECT_EQ(source["ID"], "");
  EXPECT_EQ(source["Name"], "");
  EXPECT_EQ(source["Type"], 200);
}

}  // namespace
