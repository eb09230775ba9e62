// The local stack end to end, as the client will meet it: an account at the identity
// emulator, the backend's endpoints over verified TLS with that account's token, and the
// edges on the broker with the client's certificate. The CTest fixture starts the stack.

#include "PeersHttp.h"
#include "PeersMqtt.h"
#include "PeersStack.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <random>
#include <sstream>

namespace ZelPeers {
namespace {

using json = nlohmann::ordered_json;
using namespace std::chrono_literals;

constexpr auto cWait = 10s;

json Parse(const std::string& AText) { return json::parse(AText, nullptr, false); }

std::string Base64UrlDecode(const std::string& AText) {
  static const std::string cAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (const char ch : AText) {
    const auto pos = cAlphabet.find(ch);
    if (pos == std::string::npos) break;
    buffer = (buffer << 6) | static_cast<unsigned>(pos);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

std::string NewObjectId() {
  static std::mt19937_64 random{std::random_device{}()};
  static const char* const cHex = "0123456789abcdef";
  std::string id;
  for (int i = 0; i < 24; ++i) id.push_back(cHex[random() % 16]);
  return id;
}

class PeersIntegration : public testing::Test {
protected:
  static void SetUpTestSuite() {
    const std::string problem = Stack.Load();
    if (!problem.empty()) {
      SetUpError = problem;
      return;
    }
    std::ifstream seed(ZEL_PEERS_SEED);
    std::stringstream text;
    text << seed.rdbuf();
    Demo = Parse(text.str()).value("demo", json::object());

    // The edges listen before the fixture hands over; check it once more, as the client would wait.
    const THttpResponse health = Send({"GET", Stack.Get("ZEL_SIM_CONTROL_URL") + "/health", {}, {}, {}});
    if (health.Status != 200 || !Parse(health.Body).value("subscribed", false)) {
      SetUpError = "the simulator's edges are not on the broker: " + health.Body + health.Error;
      return;
    }

    // The seed's data, also when the program runs again against the same stack.
    const THttpResponse reset = Send({"POST", Stack.Get("ZEL_SIM_CONTROL_URL") + "/reset", {}, {}, {}});
    if (reset.Status != 200) {
      SetUpError = "the simulator did not reset: " + reset.Body + reset.Error;
      return;
    }

    // A fresh account with the demo user's e-mail, so that the backend knows who it is.
    const std::string emulator = "http://" + Stack.Get("FIREBASE_AUTH_EMULATOR_HOST");
    Send({"DELETE", emulator + "/emulator/v1/projects/zeldevstand/accounts", {}, {}, {}});
    const json credentials = {{"email", Demo.value("email", "")},
                              {"password", Demo.value("password", "")},
                              {"returnSecureToken", true}};
    SignUp = Send({"POST", emulator + "/identitytoolkit.googleapis.com/v1/accounts:signUp?key=any",
                   {"Content-Type: application/json"}, credentials.dump(), {}});
    const json answer = Parse(SignUp.Body);
    if (SignUp.Status != 200 || !answer.is_object() || !answer.contains("idToken")) {
      SetUpError = "sign-up at the emulator failed: " + SignUp.Body + SignUp.Error;
      return;
    }
    Token = answer["idToken"].get<std::string>();

    const THttpResponse sync = Rest("GET", "/sync", true);
    Edges = Parse(sync.Body).value("Sync", json::array());
    if (Edges.empty()) SetUpError = "no edges from /sync: " + sync.Body + sync.Error;
  }

  void SetUp() override {
    if (!SetUpError.empty()) FAIL() << SetUpError;
  }

  static THttpResponse Rest(const std::string& AMethod, const std::string& APathAndQuery, bool AWithToken,
                            const std::string& ACAFile = {}) {
    THttpRequest r;
    r.Method = AMethod;
    r.Url = Stack.Get("ZEL_BACKEND_URL") + APathAndQuery;
    if (AWithToken) r.Headers.push_back("AuthToken: " + Token);
    r.CAFile = ACAFile.empty() ? Stack.Get("ZEL_CA_FILE") : ACAFile;
    return Send(r);
  }

  static json Control(const std::string& APath, const json& ABody) {
    const THttpResponse r = Send({"POST", Stack.Get("ZEL_SIM_CONTROL_URL") + APath,
                                  {"Content-Type: application/json"}, ABody.dump(), {}});
    EXPECT_EQ(r.Status, 200) << APath << ": " << r.Body << r.Error;
    return Parse(r.Body);
  }

  // A client with the client's own certificate, connected.
  static std::unique_ptr<TMqttClient> ClientOnBroker() {
    auto client = std::make_unique<TMqttClient>();
    const auto outcome = client->Connect(Stack.Get("ZEL_MQTT_BROKER_HOST"), std::stoi(Stack.Get("ZEL_MQTT_BROKER_PORT")),
                                         {Stack.Get("ZEL_CA_FILE"), Stack.Pki("mobile_app.crt"),
                                          Stack.Pki("mobile_app.key")},
                                         cWait);
    EXPECT_EQ(outcome, TMqttClient::TOutcome::Connected) << client->Failure();
    return client;
  }

  static std::string Topic(const json& AEdge, const std::string& AMiddle, const std::string& ATail) {
    return AEdge.value("GUID", "") + "/" + AMiddle + "/" + ATail;
  }

  static inline TStack Stack;
  static inline std::string SetUpError;
  static inline json Demo;
  static inline THttpResponse SignUp;
  static inline std::string Token;
  static inline json Edges;
};

TEST_F(PeersIntegration, SignUpGivesAnUnsignedTokenForTheDemoUser) {
  const auto dot1 = Token.find('.');
  const auto dot2 = Token.find('.', dot1 + 1);
  ASSERT_NE(dot2, std::string::npos) << Token;
  const json header = Parse(Base64UrlDecode(Token.substr(0, dot1)));
  const json payload = Parse(Base64UrlDecode(Token.substr(dot1 + 1, dot2 - dot1 - 1)));
  EXPECT_EQ(header.value("alg", ""), "none");
  EXPECT_EQ(payload.value("aud", ""), "zeldevstand");
  EXPECT_EQ(payload.value("email", ""), Demo.value("email", "x"));
  EXPECT_FALSE(Parse(SignUp.Body).value("localId", "").empty());
}

TEST_F(PeersIntegration, EveryEndpointAnswersOverVerifiedTlsWithTheToken) {
  const std::string email = Demo.value("email", "");
  const json user = Parse(Rest("GET", "/authZelUser", true).Body);
  EXPECT_EQ(user.value("email", ""), email);
  EXPECT_EQ(user.value("_id", "").size(), 24u);

  const json invite = Parse(Rest("GET", "/verifyZelInvite?inviteCode=" + Escape(Demo.value("inviteCode", "")), false).Body);
  EXPECT_EQ(invite.value("email", ""), email);
  EXPECT_EQ(Parse(Rest("GET", "/verifyZelInvite?inviteCode=NO-SUCH-CODE", false).Body), json({{"result", false}}));
  EXPECT_EQ(Parse(Rest("GET", "/isValidToken", true).Body), json({{"result", true}}));

  // Alerts by period: newest first, the bounds inclusive.
  const json alerts =
      Parse(Rest("GET", "/eventAlerts?beginPeriod=2000-01-01T00:00:00.000Z&endPeriod=2100-01-01T00:00:00.000Z", true).Body)
          .value("EventAlerts", json::array());
  ASSERT_GE(alerts.size(), 2u);
  EXPECT_GE(alerts[0].value("DateTime", ""), alerts[1].value("DateTime", ""));
  const std::string newest = alerts[0].value("DateTime", "");
  const json onlyNewest =
      Parse(Rest("GET", "/eventAlerts?beginPeriod=" + Escape(newest) + "&endPeriod=" + Escape(newest), true).Body)
          .value("EventAlerts", json::array());
  ASSERT_FALSE(onlyNewest.empty());
  EXPECT_EQ(onlyNewest[0].value("DateTime", ""), newest);

  // By id, down to the attachments; the first available picture is fetched.
  std::string pictureId;
  std::string itemId;
  for (const auto& alert : alerts) {
    const std::string alertId = alert.value("ObjectId", "");
    const json byId = Parse(Rest("GET", "/eventAlerts?eventid=" + alertId, true).Body).value("EventAlerts", json::array());
    ASSERT_EQ(byId.size(), 1u);
    EXPECT_EQ(byId[0].value("ObjectId", ""), alertId);
    const json items = Parse(Rest("GET", "/eventAlertItems?alertId=" + alertId, true).Body).value("EventAlertItems", json::array());
    ASSERT_FALSE(items.empty()) << alertId;
    for (const auto& item : items) {
      const json extras = Parse(Rest("GET", "/eventAlertItemExtra?alertItemId=" + item.value("ObjectId", ""), true).Body)
                              .value("EventAlertItemExtra", json::array());
      for (const auto& x : extras)
        if (pictureId.empty() && x.value("State", -1) == 2 && x.value("DataType", -1) == 1) {
          pictureId = x.value("ObjectId", "");
          itemId = item.value("ObjectId", "");
        }
    }
  }
  ASSERT_FALSE(pictureId.empty()) << "no available picture in the seed";

  const THttpResponse head = Rest("HEAD", "/extra?objectid=" + pictureId, true);
  EXPECT_EQ(head.Status, 200);
  EXPECT_EQ(head.ContentType, "image/png");
  const THttpResponse get = Rest("GET", "/extra?objectid=" + pictureId, true);
  EXPECT_EQ(get.Status, 200);
  EXPECT_EQ(get.Body.substr(0, 4), "\x89PNG");
  EXPECT_EQ(head.ContentLength, static_cast<long long>(get.Body.size()));
  const THttpResponse inQuery = Rest("GET", "/extra?objectid=" + pictureId + "&AuthToken=" + Escape(Token), false);
  EXPECT_EQ(inQuery.Status, 200);
  EXPECT_EQ(inQuery.Body, get.Body);

  // Unknown ids.
  const std::string unknown = "000000000000000000000000";
  for (const std::string path : {"/eventAlerts?eventid=", "/eventAlertItems?alertId=", "/eventAlertItemExtra?alertItemId=",
                                 "/extra?objectid="})
    EXPECT_EQ(Rest("GET", path + unknown, true).Status, 404) << path;
}

TEST_F(PeersIntegration, EveryEndpointRefusesWithoutAToken) {
  const std::vector<std::pair<std::string, std::string>> calls = {
      {"GET", "/authZelUser"},
      {"GET", "/isValidToken"},
      {"GET", "/sync"},
      {"GET", "/eventAlerts?beginPeriod=2000-01-01T00:00:00.000Z&endPeriod=2100-01-01T00:00:00.000Z"},
      {"GET", "/eventAlerts?eventid=a1e700000000000000000005"},
      {"GET", "/eventAlertItems?alertId=a1e700000000000000000005"},
      {"GET", "/eventAlertItemExtra?alertItemId=17e400000000000000000004"},
      {"GET", "/extra?objectid=a77ac4000000000000000001"},
      {"HEAD", "/extra?objectid=a77ac4000000000000000001"},
  };
  for (const auto& [method, path] : calls) {
    EXPECT_EQ(Rest(method, path, false).Status, 401) << method << " " << path;
    THttpRequest forged{method, Stack.Get("ZEL_BACKEND_URL") + path, {"AuthToken: not.a.token"}, {}, Stack.Get("ZEL_CA_FILE")};
    EXPECT_EQ(Send(forged).Status, 401) << method << " " << path << " with a forged token";
  }
}

TEST_F(PeersIntegration, BackendIsNotTrustedWithAnotherCa) {
  const THttpResponse r = Rest("GET", "/isValidToken", true, Stack.Pki("other-ca.crt"));
  EXPECT_NE(r.CurlCode, 0);
  EXPECT_EQ(r.Status, 0) << r.Body;
}

TEST_F(PeersIntegration, AlertRaisedByTheControlPortArrivesOnTheEdgesEventTopic) {
  const json& edge = Edges[0];
  auto client = ClientOnBroker();
  ASSERT_TRUE(client->Subscribe(Topic(edge, edge.value("ID", ""), "Event"), cWait));

  const json raised = Control("/alerts", {{"edge", edge.value("ID", "")}, {"caption", "Integration test"}});
  const std::string alertId = raised["alert"].value("ObjectId", "");
  ASSERT_FALSE(alertId.empty()) << raised.dump();

  const auto alert = client->WaitFor([&](const TMqttMessage& m) {
    const json p = Parse(m.Payload);
    return p.value("Type", 0) == 1 && p.value("ObjectId", "") == alertId;
  }, cWait);
  ASSERT_TRUE(alert.has_value()) << "no alert " << alertId;
  EXPECT_EQ(Parse(alert->Payload).value("Caption", ""), "Integration test");
  const auto item = client->WaitFor([&](const TMqttMessage& m) {
    const json p = Parse(m.Payload);
    return p.value("Type", 0) == 2 && p.value("ParentObjectId", "") == alertId;
  }, cWait);
  EXPECT_TRUE(item.has_value()) << "no item of alert " << alertId;
}

TEST_F(PeersIntegration, ServiceRequestGetsItsResponseAndTheConditionUpdate) {
  // The first active condition of the first edge that offers a pause.
  json edge, condition;
  int pauseIndex = -1;
  for (const auto& e : Edges)
    for (const auto& c : e.value("Conditions", json::array()))
      for (const auto& s : c.value("Services", json::array()))
        if (pauseIndex < 0 && s.value("Type", -1) == 15 && c["State"]["Data"].value("State", -1) == 1) {
          edge = e;
          condition = c;
          pauseIndex = s.value("Index", -1);
        }
  ASSERT_GE(pauseIndex, 0) << "no active condition with a pause service";

  const std::string email = Demo.value("email", "");
  const std::string edgeId = edge.value("ID", "");
  auto client = ClientOnBroker();
  ASSERT_TRUE(client->Subscribe(Topic(edge, email, "Service/Response"), cWait));
  ASSERT_TRUE(client->Subscribe(Topic(edge, edgeId, "Update"), cWait));

  const std::string requestId = NewObjectId();
  const json request = {
      {"Source", {{"GUID", edge.value("GUID", "")}, {"Type", 200}, {"ID", email}, {"Name", "Demo Operator"}}},
      {"Type", 6},
      {"DateTime", "2025-03-03T10:15:30.123Z"},
      {"ObjectId", requestId},
      {"RequestId", requestId},
      {"ServiceProvider", {{"GUID", condition.value("GUID", "")}, {"ID", condition.value("ID", "")}}},
      {"ServiceIndex", pauseIndex},
      {"RequestData", {{"Params", {{"Interval", 600}}}}},
  };
  ASSERT_TRUE(client->Publish(Topic(edge, edgeId, "Service/Request"), request.dump(4)));

  const auto response = client->WaitFor([&](const TMqttMessage& m) {
    return m.Topic.ends_with("/Service/Response") && Parse(m.Payload).value("RequestId", "") == requestId;
  }, cWait);
  ASSERT_TRUE(response.has_value()) << "no response to " << requestId;
  const json answer = Parse(response->Payload);
  EXPECT_EQ(answer.value("Type", 0), 4);
  EXPECT_EQ(answer["Response"].value("Code", 0), 200) << answer.dump();
  EXPECT_EQ(answer["Originator"]["State"]["Data"].value("State", -1), 2) << answer.dump();

  const auto update = client->WaitFor([&](const TMqttMessage& m) {
    const json p = Parse(m.Payload);
    return m.Topic.ends_with("/Update") && p["Originator"].value("ID", "") == condition.value("ID", "");
  }, cWait);
  ASSERT_TRUE(update.has_value()) << "no update of " << condition.value("ID", "");
  const json changed = Parse(update->Payload);
  EXPECT_FALSE(changed.contains("RequestId"));
  EXPECT_EQ(changed["Originator"]["State"]["Data"].value("State", -1), 2);
  EXPECT_EQ(changed["Originator"]["State"]["Data"].value("PauseInterval", -1), 600);
}

TEST_F(PeersIntegration, BrokerRefusesClientsWithoutAValidCertificate) {
  struct TCase {
    const char* Name;
    std::string Cert, Key;
  };
  const std::vector<TCase> cases = {
      {"no certificate", "", ""},
      {"expired certificate", Stack.Pki("expired.crt"), Stack.Pki("expired.key")},
  };
  for (const auto& c : cases) {
    TMqttClient client;
    const auto outcome = client.Connect(Stack.Get("ZEL_MQTT_BROKER_HOST"), std::stoi(Stack.Get("ZEL_MQTT_BROKER_PORT")),
                                        {Stack.Get("ZEL_CA_FILE"), c.Cert, c.Key}, cWait);
    EXPECT_NE(outcome, TMqttClient::TOutcome::Connected) << c.Name;
    EXPECT_NE(outcome, TMqttClient::TOutcome::NoAnswer) << c.Name << ": neither accepted nor refused";
  }
}

}  // namespace
}  // namespace ZelPeers
