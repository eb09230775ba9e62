// The session against the whole local stack (broker over TLS, backend and edge simulator):
// sign-in, sync, connection, subscriptions, and alerts raised at a site reaching the list.

#include "Core/ZEL.Edge.TestFakes.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.MQTT.TestSupport.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <unistd.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

class SessionStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Run = new std::string(ZT::NewTempFolder("stack"));
    const std::string cmd = ZT::PeersDir() + "/stack.sh start '" + *Run + "' --sim '" + ZEL_BACKEND_SIM +
                            "' --owner " + std::to_string(getpid()) + " > '" + *Run + ".log' 2>&1";
    if (ZT::Shell(cmd) != 0) return;
    Env = new std::vector<std::unique_ptr<ZT::TScopedEnv>>();
    std::ifstream in(*Run + "/stack.env");
    for (std::string line; std::getline(in, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      Values[line.substr(0, eq)] = line.substr(eq + 1);
      Env->push_back(std::make_unique<ZT::TScopedEnv>(line.substr(0, eq), line.substr(eq + 1).c_str()));
    }
    for (auto [name, value] : {std::pair{"ZEL_MQTT_CONNECT_TIMEOUT_MS", "3000"}, {"ZEL_MQTT_KEEPER_WAIT_MS", "300"},
                               {"ZEL_MQTT_KEEPER_RETRY_MS", "100"}})
      Env->push_back(std::make_unique<ZT::TScopedEnv>(name, value));
    Env->push_back(std::make_unique<ZT::TScopedEnv>(
        "ZEL_MQTT_CERTS_DIR", ZT::CertsFolderOf(Values["ZEL_PKI_DIR"], "mobile_app").c_str()));
  }
  static void TearDownTestSuite() {
    if (Run) ZT::Shell(ZT::PeersDir() + "/stack.sh stop '" + *Run + "' > /dev/null 2>&1");
    delete Env;
    Env = nullptr;
    delete Run;
    Run = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(Env, nullptr) << "the stack did not start, see " << *Run << ".log";
    ASSERT_EQ(Control("POST", "/reset", ""), "200");
    Firebase->SetNextIdToken(ZT::MakeIdToken(Time::Now() + std::chrono::hours(1)));
    Rest = std::make_shared<TZELRESTService>();
    Auth = std::make_shared<TAuthService>(Firebase);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
    GlobalContainer().RegisterInstance<IAuthService>("", Auth);
    Auth->OnLoginSuccess = [this](IAuthService*) { SignedIn = true; };
    Auth->LoginUser("demo@zel.test", "zel-demo-pass");
    ASSERT_TRUE(ZT::WaitUntil([this] { return SignedIn; }, 20s));
    ASSERT_NE(Auth->CRMUserRecord(), nullptr);
  }
  void TearDown() override {
    Session.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
    Auth.reset();
  }

  // A control-port call; its status, and the body in ABody when asked.
  static std::string Control(const std::string& AMethod, const std::string& APath, const std::string& AData) {
    const std::string out = *Run + "/control.out";
    ZT::Shell("curl -s -o /dev/null -w '%{http_code}' -X " + AMethod + " -H 'Content-Type: application/json' -d '" +
              AData + "' '" + Values["ZEL_SIM_CONTROL_URL"] + APath + "' > '" + out + "'");
    return ZT::ReadFileBytes(out);
  }

  void StartSession() {
    Session = std::make_unique<TZELSession>();
    Session->OnSynced = [this](std::int32_t) { Synced = true; };
    Session->OnConnected = [this](bool) { ++Connections; };
    Session->StartSync();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Synced && Connections > 0; }, 20s));
  }
  TZELMQTTService& MQTT() { return dynamic_cast<TZELMQTTService&>(*Session->MQTTService()); }

  static std::string* Run;
  static std::vector<std::unique_ptr<ZT::TScopedEnv>>* Env;
  static std::map<std::string, std::string> Values;
  std::shared_ptr<ZT::TInstantFirebase> Firebase = std::make_shared<ZT::TInstantFirebase>();
  std::shared_ptr<TZELRESTService> Rest;
  std::shared_ptr<TAuthService> Auth;
  std::unique_ptr<TZELSession> Session;
  bool SignedIn = false, Synced = false;
  int Connections = 0;
};

std::string* SessionStack::Run = nullptr;
std::vector<std::unique_ptr<ZT::TScopedEnv>>* SessionStack::Env = nullptr;
std::map<std::string, std::string> SessionStack::Values;

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

}  // namespace
}  // namespace ZEL
