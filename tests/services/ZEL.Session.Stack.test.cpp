// The session against the whole local stack (broker over TLS, backend and edge simulator):
// sign-in, sync, connection, subscriptions, and alerts raised at a site reaching the list.

#include "Core/ZEL.Edge.TestFakes.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.MQTT.TestSupport.h"
#include "ZEL.Session.h"
#include "ZEL.Stack.TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

class SessionStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Stack = new ZT::TStackRun();
    Error = Stack->Start("stack", ZT::QuickKeeper());
  }
  static void TearDownTestSuite() {
    delete Stack;
    Stack = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(Error.empty()) << Error;
    ASSERT_EQ(Control("POST", "/reset", ""), "200");
    ASSERT_TRUE(Login.SignIn());
    ASSERT_NE(Login.Auth->CRMUserRecord(), nullptr);
  }
  void TearDown() override {
    Session.reset();
    Login.Release();
  }

  static std::string Control(const std::string& AMethod, const std::string& APath, const std::string& AData) {
    return Stack->Control(AMethod, APath, AData);
  }
  static std::string ControlBody(const std::string& APath) { return Stack->ControlBody(APath); }

  // The requests with id ARequestID the simulator's edges received on ATopic (the log
  // outlives a reset).
  static std::vector<TJSON> RequestsOn(const std::string& ATopic, const std::string& ARequestID) {
    std::vector<TJSON> out;
    const TJSON log = TJSON::parse(ControlBody("/requests"), nullptr, false);
    if (!log.is_array()) return out;
    for (const auto& r : log)
      if (r.value("topic", "") == ATopic && r["payload"].is_object() &&
          r["payload"].value("RequestId", "") == ARequestID)
        out.push_back(r);
    return out;
  }

  void StartSession() {
    Session = std::make_unique<TZELSession>();
    Session->OnSynced = [this](std::int32_t) { Synced = true; };
    Session->OnConnected = [this](bool) { ++Connections; };
    Session->StartSync();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Synced && Connections > 0; }, 20s));
  }
  TZELMQTTService& MQTT() { return dynamic_cast<TZELMQTTService&>(*Session->MQTTService()); }

  static ZT::TStackRun* Stack;
  static std::string Error;
  ZT::TStackSignIn Login;
  std::unique_ptr<TZELSession> Session;
  bool Synced = false;
  int Connections = 0;
};

ZT::TStackRun* SessionStack::Stack = nullptr;
std::string SessionStack::Error;

TEST_F(SessionStack, AlertRaisedAtASiteReachesTheList) {
  StartSession();
  auto edges = Session->EdgeService();
  ASSERT_EQ(edges->EdgeCount(), 2);
  const std::string org = edges->MQTTOrgEventChannel();
  ASSERT_FALSE(org.empty());
  // The organisation topic and the three topics of each edge, accepted by the broker.
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  const auto accepted = MQTT().AcceptedTopics();
  EXPECT_NE(std::find(accepted.begin(), accepted.end(), org), accepted.end());
  EXPECT_NE(std::find(accepted.begin(), accepted.end(), edges->GetEdge(0)->MQTTServicesResponseChannel()),
            accepted.end());

  ZT::TMessageRecorder<TEventAddedMessage> added([](const TEventAddedMessage& M) { return M.Value()->ID(); });
  ASSERT_EQ(Control("POST", "/alerts", R"({"edge":"EDGE-NORTH-01","attachments":1})"), "200");
  ASSERT_TRUE(ZT::WaitUntil([&] { return !added.Received.empty(); }));
  const std::string id = added.Received[0].Text;
  TZELEventList& list = *Session->EventsService()->GetEventsList();
  TZELEvent* alert = list.FindEventByID(id);
  ASSERT_NE(alert, nullptr);
  // Its event item (type 2) follows on the edge's and the organisation's topics.
  ASSERT_TRUE(ZT::WaitUntil([&] { return alert->Items().Count() > 0; }));

  // A new item raised at the site changes the alert.
  const int items = alert->Items().Count();
  ASSERT_EQ(Control("POST", "/items", R"({"alertId":")" + id + R"(","itemType":5,"caption":"note"})"), "200");
  EXPECT_TRUE(ZT::WaitUntil([&] { return alert->Items().Count() > items; }));
  // The site publishes a new alert on the edge's topic and on the organisation's: it is
  // one alert, one row and one announcement.
  EXPECT_EQ(added.Received.size(), 1u);
  int rows = 0;
  for (TZELEvent* e : list) rows += e->ID() == id ? 1 : 0;
  EXPECT_EQ(rows, 1);
}

// Raises an alert at EDGE-NORTH-01 and gives it once it is in the list.
TZELEvent* RaiseAlert(TZELEventList& AList, const std::function<std::string(const std::string&, const std::string&,
                                                                            const std::string&)>& AControl) {
  ZT::TMessageRecorder<TEventAddedMessage> added([](const TEventAddedMessage& M) { return M.Value()->ID(); });
  if (AControl("POST", "/alerts", R"({"edge":"EDGE-NORTH-01"})") != "200") return nullptr;
  if (!ZT::WaitUntil([&] { return !added.Received.empty(); })) return nullptr;
  return AList.FindEventByID(added.Received[0].Text);
}

TEST_F(SessionStack, DismissWithAReasonIsPublishedAndAnswered) {
  StartSession();
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  TZELEvent* alert = RaiseAlert(*Session->EventsService()->GetEventsList(), Control);
  ASSERT_NE(alert, nullptr);
  const std::string id = alert->ID();
  TZELEdgeObject* edge = Session->EdgeService()->GetEdgeFromOriginator(alert->OriginatorPtr());
  ASSERT_NE(edge, nullptr);
  TZELEdgeDismissService* dismiss = nullptr;
  ASSERT_TRUE(edge->HasService(TEdgeServiceType::stDismiss, dismiss));
  ASSERT_FALSE(dismiss->InitReasons().IsEmpty());
  // The second reason of the table, so that a code taken from the wrong row shows.
  const auto [code, reason] = *std::next(dismiss->InitReasons().begin(), dismiss->InitReasons().Count() > 1 ? 1 : 0);

  ZT::TMessageRecorder<TEventServiceActionPerformed> performed([](const TEventServiceActionPerformed& M) {
    return M.EventID() + (M.Success() ? "|ok|" : "|failed|") +
           (M.Container() && M.Container()->Request() ? M.Container()->Request()->RequestId() : std::string());
  });
  dismiss->Dismiss(TEventAlertState::easInitiated, id, code, reason);
  // Registered until the edge answers; its text is what went out.
  ASSERT_EQ(edge->ServiceRequests().size(), 1u);
  const std::string requestId = edge->ServiceRequests().begin()->first;
  const TJSON sent = TJSON::parse(edge->ServiceRequests().begin()->second->Request()->ToJSON());

  ASSERT_TRUE(ZT::WaitUntil([&] { return !performed.Received.empty(); }));
  ASSERT_EQ(performed.Received.size(), 1u);
  EXPECT_EQ(performed.Received[0].Text, id + "|ok|" + requestId);
  EXPECT_TRUE(edge->ServiceRequests().empty());

  const std::vector<TJSON> got = RequestsOn(edge->MQTTServicesRequestChannel(), requestId);
  ASSERT_EQ(got.size(), 1u);
  const TJSON& payload = got[0]["payload"];
  EXPECT_EQ(got[0]["outcome"], "answered 200: OK");
  EXPECT_EQ(payload, sent);
  EXPECT_EQ(payload["Type"], 6);
  EXPECT_EQ(payload["RequestId"], requestId);
  EXPECT_EQ(payload["ObjectId"], requestId);
  EXPECT_TRUE(std::regex_match(requestId, std::regex("[0-9a-f]{24}"))) << requestId;
  EXPECT_TRUE(std::regex_match(payload["DateTime"].get<std::string>(),
                               std::regex(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)")));
  EXPECT_EQ(payload["Source"]["GUID"], edge->GUID());
  EXPECT_EQ(payload["Source"]["Type"], 200);
  EXPECT_EQ(payload["Source"]["ID"], "demo@zel.test");
  EXPECT_EQ(payload["ServiceProvider"], (TJSON{{"GUID", edge->GUID()}, {"ID", edge->ID()}}));
  EXPECT_EQ(payload["ServiceIndex"], dismiss->SericeIndex());
  EXPECT_EQ(payload["RequestData"]["Params"], (TJSON{{"IncidentId", id}, {"Reason", reason}, {"ReasonCode", code}}));
}

TEST_F(SessionStack, PausedConditionComesBackPaused) {
  StartSession();
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  TZELEdgeObject* edge = Session->EdgeService()->GetEdge(0);
  ASSERT_NE(edge, nullptr);
  TZELConditionObject* condition = nullptr;
  TZELEdgePauseService* pause = nullptr;
  for (TZELConditionObject* c : edge->Conditions())
    if (!condition && c->IsActive() && c->HasService(TEdgeServiceType::stPause, pause)) condition = c;
  ASSERT_NE(condition, nullptr) << "the seed's first edge has no active condition that pauses";
  ASSERT_TRUE(condition->HasService(TEdgeServiceType::stPause, pause));

  ZT::TMessageRecorder<TConditionStateChangeMessage> changed(
      [](const TConditionStateChangeMessage& M) { return M.Value()->ID(); });
  pause->Pause(600);
  ASSERT_EQ(edge->ServiceRequests().size(), 1u);
  const std::string requestId = edge->ServiceRequests().begin()->first;
  ASSERT_TRUE(ZT::WaitUntil([&] {
    return std::any_of(changed.Received.begin(), changed.Received.end(),
                       [&](const auto& R) { return R.Text == condition->ID(); });
  }));
  std::int32_t interval = 0;
  EXPECT_TRUE(condition->IsPaused(interval));
  EXPECT_EQ(interval, 600);
  EXPECT_FALSE(condition->IsActive());
  EXPECT_TRUE(ZT::WaitUntil([&] { return edge->ServiceRequests().empty(); }));
  const std::vector<TJSON> got = RequestsOn(edge->MQTTServicesRequestChannel(), requestId);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0]["outcome"], "answered 200: OK");
  EXPECT_EQ(got[0]["payload"]["ServiceProvider"]["ID"], condition->ID());
  EXPECT_EQ(got[0]["payload"]["RequestData"]["Params"], (TJSON{{"Interval", 600}}));
}

// The same broker back on the same port, where the session and the edges find it again.
TEST_F(SessionStack, AlertsStillArriveAfterTheBrokerRestarts) {
  StartSession();
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  ASSERT_TRUE(Stack->StopBroker());
  ASSERT_TRUE(ZT::WaitUntil([this] { return !MQTT().IsConnected(); }));
  ASSERT_TRUE(Stack->RestartBroker()) << ZT::ReadFileBytes(Stack->BrokerFolder() + "/broker.log");
  // The session reconnects by itself; the edges are back once they listen for requests.
  ASSERT_TRUE(ZT::WaitUntil([this] { return Connections > 1 && MQTT().IsConnected(); }, 20s));
  ASSERT_TRUE(ZT::WaitUntil(
      [] { return TJSON::parse(ControlBody("/health"), nullptr, false).value("subscribed", false); }, 20s))
      << ControlBody("/health");

  TZELEvent* alert = RaiseAlert(*Session->EventsService()->GetEventsList(), Control);
  ASSERT_NE(alert, nullptr);
  EXPECT_TRUE(ZT::WaitUntil([&] { return alert->Items().Count() > 0; }));
}

// A broker restart shorter than two keeper waits: the first attempt fails, the second finds
// the broker back. The session lives on (the forced sign-out counts failed attempts only).
TEST_F(SessionStack, BrokerBackBeforeTheSecondAttemptKeepsTheSession) {
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "3000");
  std::vector<std::string> signOuts;
  Login.Auth->OnLoginFailure = [&](IAuthService*, TAuthServiceState, const std::string& AReason) {
    signOuts.push_back(AReason);
  };
  LogsPipe::TLogCapture log;
  StartSession();
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  ASSERT_TRUE(Stack->StopBroker());
  ASSERT_TRUE(ZT::WaitUntil([this] { return !MQTT().IsConnected(); }));
  ZT::WaitUntil([] { return false; }, 4000ms);
  ASSERT_TRUE(Stack->RestartBroker()) << ZT::ReadFileBytes(Stack->BrokerFolder() + "/broker.log");
  ASSERT_TRUE(ZT::WaitUntil([this] { return Connections > 1 && MQTT().IsConnected(); }, 20s));
  EXPECT_TRUE(signOuts.empty()) << signOuts.front();
  // The second attempt started with the count at 3, where the session used to end.
  int atThree = 0;
  for (const auto& e : log.Entries()) atThree += e.Message == "MQTT not connected. Attempt: 3" ? 1 : 0;
  EXPECT_GE(atThree, 1);
  Login.Auth->OnLoginFailure = nullptr;
}

// Closing the session unsubscribes every topic and says goodbye: the broker logs a normal
// disconnect of our client and no protocol error.
TEST_F(SessionStack, CleanCloseIsANormalDisconnectAtTheBroker) {
  StartSession();
  ASSERT_TRUE(ZT::WaitUntil([this] { return MQTT().AcceptedTopics().size() >= 7u; }));
  const std::string id = MQTT().GetClientID();
  const std::string logFile = Stack->BrokerFolder() + "/broker.log";
  const std::size_t from = ZT::ReadFileBytes(logFile).size();
  Session->FreeServices();
  const auto since = [&] { return ZT::ReadFileBytes(logFile).substr(from); };
  ASSERT_TRUE(ZT::WaitUntil([&] { return since().find("Client " + id + " ") != std::string::npos; }, 10s))
      << since();
  ZT::WaitUntil([] { return false; }, 300ms);
  const std::string lines = since();
  EXPECT_NE(lines.find("Client " + id + " disconnected.\n"), std::string::npos) << lines;
  EXPECT_EQ(lines.find("rror"), std::string::npos) << lines;
}

}  // namespace
}  // namespace ZEL
