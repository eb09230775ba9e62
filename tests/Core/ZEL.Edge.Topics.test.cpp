#include "ZEL.Edge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEL.Edge.TestFakes.h"
#include "ZEL.Events.List.h"
#include "ZEL.LogsPipe.h"

using namespace ZEL;
using ZEL::LogsPipe::TCapturedEntry;
using ZEL::LogsPipe::TLogCapture;

namespace {

using TJSON = nlohmann::ordered_json;
constexpr const char* UpdateTag = "TZELEdgeObject.ProcessMQTTUpdate";
constexpr const char* ResponseTag = "TZELEdgeObject.ProcessServiceResponse[edge-north-01]";
constexpr const char* Alert = "64b000000000000000000001";
constexpr const char* FailedToast = "Last service request failed on server.";

std::vector<std::string> Texts(const std::vector<TCapturedEntry>& AEntries, TLogType AType) {
  std::vector<std::string> result;
  for (const auto& e : AEntries)
    if (e.Type == AType) result.push_back(e.Message);
  return result;
}

std::vector<std::string> Levels(const std::vector<TCapturedEntry>& AEntries) {
  std::vector<std::string> result;
  for (const auto& e : AEntries) result.emplace_back(LogTypeName(e.Type));
  return result;
}

// A type 4 payload answering ARequestID, from the node of AType with AID.
TJSON Response(const std::string& ARequestID, int AType, const std::string& AID) {
  return {{"Type", 4}, {"RequestId", ARequestID}, {"Originator", {{"ID", AID}, {"Type", AType}}}};
}

template <class TKind>
TKind* ServiceOf(TZELEdgeServingEntity& ANode, TEdgeServiceType AType) {
  TKind* service = nullptr;
  EXPECT_TRUE(ANode.HasService(AType, service));
  return service;
}

class EdgeTopics : public ::testing::Test {
protected:
  ZEL::Test::TEdgeServices Services;
  std::unique_ptr<TZELEdgeObject> Edge = TZELEdgeObject::Create(ZEL::Test::EdgeFixtureText());
  ZEL::Test::TMessageRecorder<TEventServiceActionPerformed> Performed{
      [](const TEventServiceActionPerformed& M) { return M.EventID() + (M.Success() ? " ok" : " failed"); }};
  ZEL::Test::TMessageRecorder<TEventRefreshMessage> Refreshed{[](const TEventRefreshMessage& M) { return M.Value(); }};
  ZEL::Test::TMessageRecorder<TConditionStateChangeMessage> ConditionChanged{
      [](const TConditionStateChangeMessage& M) { return M.State().dump(); }};
  ZEL::Test::TMessageRecorder<TShowToastMessageEvent> Toasts{[](const TShowToastMessageEvent& M) { return M.Value(); }};

  // Sends a dismiss request and gives its id.
  std::string SendDismiss() {
    ServiceOf<TZELEdgeDismissService>(*Edge, TEdgeServiceType::stDismiss)
        ->Dismiss(TEventAlertState::easInitiated, Alert, 1, "False alarm");
    return TJSON::parse(Services.MQTT->Published.back().Payload)["RequestId"];
  }
  std::string SendConditionPause(int ACondition) {
    ServiceOf<TZELEdgePauseService>(*Edge->Conditions()[ACondition], TEdgeServiceType::stPause)->Pause(600);
    return TJSON::parse(Services.MQTT->Published.back().Payload)["RequestId"];
  }
  bool NoMessages() const {
    return Performed.Received.empty() && Refreshed.Received.empty() && ConditionChanged.Received.empty() &&
           Toasts.Received.empty();
  }
};

TEST_F(EdgeTopics, TopicsAndSubscriptions) {
  const std::string base = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}/";
  EXPECT_EQ(Edge->MQTTEventChannel(), base + "edge-north-01/Event");
  EXPECT_EQ(Edge->MQTTUpdateChannel(), base + "edge-north-01/Update");
  EXPECT_EQ(Edge->MQTTServicesRequestChannel(), base + "edge-north-01/Service/Request");
  EXPECT_EQ(Edge->MQTTServicesResponseChannel(), base + "jane.doe@example.com/Service/Response");
  Edge->SubscribeToMQTT();
  Edge->UnsubscribeFromMQTT();
  const std::vector<std::string> three = {Edge->MQTTEventChannel(), Edge->MQTTUpdateChannel(),
                                          Edge->MQTTServicesResponseChannel()};
  EXPECT_EQ(Services.MQTT->Subscribed, three);
  EXPECT_EQ(Services.MQTT->Unsubscribed, three);

  // Nobody signed in (or a refresh running that hides the account): no response topic.
  Services.Auth->Email.clear();
  Services.MQTT->Subscribed.clear();
  EXPECT_EQ(Edge->MQTTServicesResponseChannel(), "");
  Edge->SubscribeToMQTT();
  EXPECT_EQ(Services.MQTT->Subscribed, (std::vector<std::string>{three[0], three[1]}));
}

TEST_F(EdgeTopics, UpdatePayloadsByType) {
  const std::string id = SendDismiss();
  struct TCase {
    std::string Payload;
    std::vector<std::string> Levels;
  };
  const std::vector<TCase> cases = {
      {"[]", {"FATAL", "WARNING"}},
      {"abc", {"WARNING"}},
      {"", {"WARNING"}},
      {R"({"Type": "4"})", {"WARNING"}},
      {R"({"Type": 1e400})", {"WARNING"}},
      {R"({"Type": 1})", {"INFO"}},
      {R"({"Type": 9})", {"INFO", "WARNING"}},
      {R"({"Type": -1})", {"INFO", "WARNING"}},
      {R"({"Type": 18446744073709551615})", {"WARNING"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Payload);
    TLogCapture capture;
    EXPECT_NO_THROW(Edge->ProcessMQTTUpdate(c.Payload));
    EXPECT_EQ(Levels(capture.WithTag(UpdateTag)), c.Levels);
    EXPECT_TRUE(capture.WithTag(ResponseTag).empty());
  }
  TLogCapture capture;
  Edge->ProcessMQTTUpdate("[]");
  Edge->ProcessMQTTUpdate(R"({"Type": 9})");
  const auto entries = capture.WithTag(UpdateTag);
  EXPECT_EQ(entries[0].Message,
            "Unable to parse MQTT payload. E.ClassName: EInvalidCast E.Message: Invalid class typecast Payload: []");
  EXPECT_EQ(entries[1].Message, "MQTT payload is untyped. Skipping. Payload: []");
  EXPECT_EQ(entries[3].Message, "Type (9) MQTT payload is out of known bounds[0..6]. Payload: {\"Type\": 9}");

  // Type 4 is a service response.
  Edge->ProcessMQTTUpdate(Response(id, 10, "edge-north-01").dump());
  EXPECT_TRUE(Edge->ServiceRequests().empty());
  EXPECT_EQ(Performed.Received.size(), 1u);
}

TEST_F(EdgeTopics, FailureCodeToastsAndKeepsTheRequestUntilASuccess) {
  const std::string id = SendDismiss();
  TJSON failed = Response(id, 10, "edge-north-01");
  failed["Response"] = {{"Code", 500}};
  Edge->ProcessServiceResponse(failed.dump());
  ASSERT_EQ(Toasts.Received.size(), 1u);
  EXPECT_EQ(Toasts.Received[0].Text, FailedToast);
  EXPECT_EQ(Edge->ServiceRequests().count(id), 1u);
  EXPECT_TRUE(Performed.Received.empty());

  TJSON ok = Response(id, 10, "edge-north-01");
  ok["Response"] = {{"Code", 200}};
  Edge->ProcessServiceResponse(ok.dump());
  EXPECT_TRUE(Edge->ServiceRequests().empty());
  EXPECT_EQ(Toasts.Received.size(), 1u);
  EXPECT_EQ(Performed.Received.size(), 1u);
}

TEST_F(EdgeTopics, EdgeAnswerToAnAlertRequestAnnouncesItAndRefreshesAHeldAlert) {
  TZELEventList list;
  list.Add(std::make_unique<TZELEvent>(std::string(R"({"ObjectId": "64b000000000000000000001", "State": "easInitiated",
      "Active": true, "Viewed": false, "DateTime": "2025-03-03T10:00:00.000Z", "Caption": "Motion at gate",
      "Text": "Gate camera saw motion", "Originator": {"ID": "cond-motion-gate",
      "GUID": "{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}", "Name": "Motion at gate", "Description": "d", "Type": 20}})")));
  ASSERT_TRUE(list.EventExists(Alert));
  Services.Events->List = &list;

  const std::string id = SendDismiss();
  Performed.OnMessage = [&](TSender ASender, const TEventServiceActionPerformed& M) {
    EXPECT_EQ(ASender, Edge.get());
    EXPECT_FALSE(M.OwnContainer());
    ASSERT_NE(M.Container(), nullptr);
    EXPECT_EQ(M.Container()->Request()->RequestId(), id);  // still registered during delivery
  };
  Edge->ProcessServiceResponse(Response(id, 10, "EDGE-NORTH-01").dump());
  ASSERT_EQ(Performed.Received.size(), 1u);
  EXPECT_EQ(Performed.Received[0].Text, std::string(Alert) + " ok");
  ASSERT_EQ(Refreshed.Received.size(), 1u);
  EXPECT_EQ(Refreshed.Received[0].Text, Alert);
  EXPECT_EQ(Refreshed.Received[0].Sender, list[0]);
  EXPECT_TRUE(Edge->ServiceRequests().empty());

  // Not held: announced all the same, with the Warning instead of the refresh.
  Performed.OnMessage = nullptr;
  Services.Events->List = nullptr;
  const std::string second = SendDismiss();
  TLogCapture capture;
  Edge->ProcessServiceResponse(Response(second, 10, "edge-north-01").dump());
  EXPECT_EQ(Performed.Received.size(), 2u);
  EXPECT_EQ(Refreshed.Received.size(), 1u);
  EXPECT_EQ(Texts(capture.WithTag(ResponseTag), TLogType::Warning),
            (std::vector<std::string>{"ProcessServiceResponse. Event ID \"64b000000000000000000001\" not found in "
                                      "local cache, it is model will be loaded ok on request."}));
}

TEST_F(EdgeTopics, EdgeAnswerToARequestWithoutAlertOnlyWarns) {
  ServiceOf<TZELEdgePauseService>(*Edge, TEdgeServiceType::stPause)->Pause(60);
  const std::string id = TJSON::parse(Services.MQTT->Published.back().Payload)["RequestId"];
  TLogCapture capture;
  Edge->ProcessServiceResponse(Response(id, 10, "edge-north-01").dump());
  EXPECT_TRUE(NoMessages());
  EXPECT_TRUE(Edge->ServiceRequests().empty());
  EXPECT_EQ(Texts(capture.WithTag(ResponseTag), TLogType::Warning),
            (std::vector<std::string>{"ProcessServiceResponse. IncidentId not listed in params."}));
}

TEST_F(EdgeTopics, ConditionAnswerReplacesItsStateAndAnnouncesIt) {
  const std::string id = SendConditionPause(0);
  TZELConditionObject* condition = Edge->Conditions()[0];
  const TJSON status = condition->JSONObject()->at("Status");
  TJSON payload = Response(id, 20, "COND-motion-GATE");
  payload["Originator"]["State"] = {{"Data", {{"State", 2}, {"PauseInterval", 600}, {"PausedAt", "2025-03-03T10:00:00Z"}}}};
  ConditionChanged.OnMessage = [&](TSender ASender, const TConditionStateChangeMessage& M) {
    EXPECT_EQ(ASender, Edge.get());
    EXPECT_EQ(M.Value(), condition);
  };
  Edge->ProcessServiceResponse(payload.dump());
  EXPECT_EQ(condition->State(), TEdgeConditionState::ecsPaused);
  EXPECT_EQ(condition->UnpauseDateTime(), Time::ParseISO8601("2025-03-03T10:10:00Z"));
  EXPECT_EQ(condition->JSONObject()->at("Status"), status);
  ASSERT_EQ(ConditionChanged.Received.size(), 1u);
  EXPECT_EQ(ConditionChanged.Received[0].Text, payload["Originator"].dump());
  EXPECT_TRUE(Performed.Received.empty());
  EXPECT_TRUE(Edge->ServiceRequests().empty());
}

// An answer with a value of the wrong type or out of range is refused whole, before any of
// it is applied: the condition keeps its status and state, nothing is announced, one Error
// line says why. The request is answered all the same.
TEST_F(EdgeTopics, MalformedConditionAnswerChangesNothing) {
  const TJSON goodStatus = {{"Enabled", true}};
  const TJSON goodState = {{"Data", {{"State", 2}, {"PauseInterval", 600}, {"PausedAt", "2025-03-03T10:00:00Z"}}},
                           {"LastState", "2025-03-03T10:00:00Z"}};
  const struct {
    const char* Name;
    const char* Path;  // the member that is changed from the good answer
    TJSON Value;
    const char* Fault;  // in the Error line
  } cases[] = {
      {"state out of range", "/State/Data/State", 77, "State.Data.State value (77) must be in range[0..2]"},
      {"state a text", "/State/Data/State", "1", "\"State.Data.State\" value \"1\" is not a whole number"},
      {"state a fraction", "/State/Data/State", 1.5, "is not a whole number"},
      {"enabled a text", "/Status/Enabled", "maybe", "\"Status.Enabled\" value \"maybe\" is not true or false"},
      {"last state no date", "/State/LastState", "yesterday", "\"State.LastState\" value \"yesterday\" is not an ISO 8601 date"},
      {"paused at a number", "/State/Data/PausedAt", 5, "\"State.Data.PausedAt\" value 5 is not an ISO 8601 date"},
      {"negative interval", "/State/Data/PauseInterval", -5, "State.Data.PauseInterval value (-5) must be in range"},
      {"data no object", "/State/Data", TJSON::array({2}), "\"State.Data\" is not an object"},
      {"status no object", "/Status", "enabled", "\"Status\" is not an object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string id = SendConditionPause(0);
    TZELConditionObject* condition = Edge->Conditions()[0];
    ASSERT_EQ(condition->State(), TEdgeConditionState::ecsActive);
    const TJSON before = *condition->JSONObject();
    TJSON payload = Response(id, 20, "cond-motion-gate");
    payload["Originator"]["Status"] = goodStatus;
    payload["Originator"]["State"] = goodState;
    payload["Originator"][TJSON::json_pointer(c.Path)] = c.Value;
    TLogCapture capture;
    Edge->ProcessServiceResponse(payload.dump());
    EXPECT_EQ(*condition->JSONObject(), before);
    EXPECT_EQ(condition->State(), TEdgeConditionState::ecsActive);
    EXPECT_TRUE(ConditionChanged.Received.empty());
    EXPECT_TRUE(Edge->ServiceRequests().empty());
    std::vector<TCapturedEntry> errors;
    for (const auto& e : capture.Entries())
      if (e.Type == TLogType::Error || e.Type == TLogType::Fatal) errors.push_back(e);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Type, TLogType::Error);
    EXPECT_EQ(errors[0].Tag, "TZELConditionObject.UpdateStatusAndState");
    EXPECT_EQ(errors[0].Message.rfind("Update of condition \"cond-motion-gate\" refused, nothing changed: ", 0), 0u)
        << errors[0].Message;
    EXPECT_NE(errors[0].Message.find(c.Fault), std::string::npos) << errors[0].Message;
  }
  // The good answer itself goes through.
  TJSON payload = Response(SendConditionPause(0), 20, "cond-motion-gate");
  payload["Originator"]["Status"] = goodStatus;
  payload["Originator"]["State"] = goodState;
  Edge->ProcessServiceResponse(payload.dump());
  EXPECT_EQ(Edge->Conditions()[0]->State(), TEdgeConditionState::ecsPaused);
  EXPECT_EQ(ConditionChanged.Received.size(), 1u);
}

TEST_F(EdgeTopics, AnswersWithoutRequestIdOrWithFallbacks) {
  TZELConditionObject* door = Edge->Conditions()[2];
  {
    // From a condition: updates it all the same.
    TJSON payload = {{"Type", 4}, {"Originator", {{"ID", "cond-door-service"}, {"Type", 20}, {"State", {{"Data", {{"State", 1}}}}}}}};
    TLogCapture capture;
    Edge->ProcessServiceResponse(payload.dump());
    EXPECT_TRUE(door->IsActive());
    EXPECT_EQ(ConditionChanged.Received.size(), 1u);
    EXPECT_EQ(Texts(capture.WithTag(ResponseTag), TLogType::Warning),
              (std::vector<std::string>{"ProcessServiceResponse. Expected \"RequestId\" not found."}));
  }
  {
    // From the edge: only the Warning.
    TLogCapture capture;
    Edge->ProcessServiceResponse(R"({"Type": 4, "Originator": {"ID": "edge-north-01", "Type": 10}})");
    EXPECT_EQ(Performed.Received.size(), 0u);
    EXPECT_EQ(Levels(capture.WithTag(ResponseTag)), (std::vector<std::string>{"DEBUG", "WARNING"}));
  }
  {
    // The originator's ID and type from "Response"."Originator", after the entries for the first.
    const std::string id = SendConditionPause(1);
    const std::string payload = R"({"Type": 4, "RequestId": ")" + id +
                                R"(", "Originator": {"State": {"Data": {"State": 1}}},
                                     "Response": {"Originator": {"ID": "cond-fence-east", "Type": 20}}})";
    TLogCapture capture;
    Edge->ProcessServiceResponse(payload);
    EXPECT_TRUE(Edge->Conditions()[1]->IsActive());
    EXPECT_TRUE(Edge->ServiceRequests().empty());
    const auto entries = capture.WithTag(ResponseTag);
    EXPECT_EQ(Levels(entries), (std::vector<std::string>{"DEBUG", "FATAL", "WARNING"}));
    EXPECT_EQ(entries[1].Message, "Unable to get \"Originator.ID\". JSON: \"" + payload + "\"");
  }
}

TEST_F(EdgeTopics, AnswerToAnotherClientsRequestChangesNothing) {
  const std::string mine = SendDismiss();
  TJSON payload = Response("65f1000000000000000000ff", 20, "cond-motion-gate");
  payload["Originator"]["State"] = {{"Data", {{"State", 0}}}};
  TLogCapture capture;
  Edge->ProcessServiceResponse(payload.dump());
  EXPECT_TRUE(Edge->Conditions()[0]->IsActive());
  EXPECT_EQ(Edge->ServiceRequests().count(mine), 1u);
  EXPECT_TRUE(NoMessages());
  EXPECT_EQ(Texts(capture.WithTag(ResponseTag), TLogType::Error),
            (std::vector<std::string>{"ProcessServiceResponse. RequestId \"65f1000000000000000000ff\" not found(request "
                                      "was not sent by us). Paylod: " + payload.dump()}));
}

// Whatever arrives, nothing raises into the UI thread and nothing held changes.
TEST_F(EdgeTopics, BadResponsesAreLoggedAndDropped) {
  const std::string id = SendDismiss();
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  // Valid objects with a member nested 70,000 levels deep: refused before anything walks them.
  const std::string nested = std::string(70000, '[') + std::string(70000, ']');
  const std::string deepUpdate = R"({"Type": 1, "Deep": )" + nested + "}";
  const std::string deepAnswer = R"({"Type": 4, "Originator": {"ID": "cond-motion-gate", "Type": 20}, "Deep": )" + nested + "}";
  const std::vector<std::string> payloads = {
      "", "abc", "[1]", "\"text\"", "42", "null", "{", deep, deepUpdate, deepAnswer, "{\"Originator\": \"\xff\xfe\"}",
      R"({"Type": 4, "RequestId": 7, "Originator": {"ID": "cond-motion-gate", "Type": 1e400}})",
      R"({"Type": 4, "RequestId": "x", "Originator": {"ID": 5, "Type": 99999999999999999999999}})",
      R"({"Originator": {"ID": "cond-motion-gate", "Type": 20}})",
      R"({"Originator": {"ID": "cond-motion-gate", "Type": 20, "State": [1, 2], "Status": 3}})",
      // Last: a code that is no number counts as success and finishes the request.
      R"({"RequestId": ")" + id + R"(", "Originator": {"ID": "", "Type": 10}, "Response": {"Code": "500"}})",
  };
  const TJSON conditionBefore = *Edge->Conditions()[0]->JSONObject();
  for (const std::string& payload : payloads) {
    SCOPED_TRACE(payload.substr(0, 80));
    EXPECT_NO_THROW(Edge->ProcessServiceResponse(payload));
    EXPECT_NO_THROW(Edge->ProcessMQTTUpdate(payload));
    if (Edge->ServiceRequests().count(id) == 0) {
      // Only the one payload that names the request may finish it.
      EXPECT_NE(payload.find(id), std::string::npos);
      break;
    }
  }
  EXPECT_EQ(*Edge->Conditions()[0]->JSONObject(), conditionBefore);
  EXPECT_TRUE(ConditionChanged.Received.empty());
  EXPECT_TRUE(Refreshed.Received.empty());

  TLogCapture capture;
  Edge->ProcessServiceResponse("[1]");
  EXPECT_EQ(Texts(capture.WithTag(ResponseTag), TLogType::Fatal),
            (std::vector<std::string>{"Error: \"Invalid class typecast\" Invalid JSON: \"[1]\""}));
}

}  // namespace
