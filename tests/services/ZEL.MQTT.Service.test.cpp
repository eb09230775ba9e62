// The MQTT service's reactions over a scripted client layer: statuses, acknowledgements,
// the manual-disconnect rules and the delegates.

#include <gtest/gtest.h>
#include <QString>

#include <memory>
#include <stdexcept>

#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.TestSupport.h"

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using S = TMQTTConnectionStatus;

// Does what it is told; the test raises the events itself, on the UI thread.
class TScriptedClient final : public IMQTTClient {
public:
  TEvents Events;
  bool Connected = false;
  int NextId = 1;
  std::vector<std::string> Subscribed, Unsubscribed, Published;
  int Connects = 0, Disconnects = 0;
  std::string LastError = "scripted";

  void SetEvents(TEvents AEvents) override { Events = std::move(AEvents); }
  void SetTimings(TMQTTClientTimings) override {}
  void SetLogLevel(HardConfig::TMQTTLogLevel) override {}
  void SetBrokerHost(const std::string& A) override { Host = A; }
  std::string BrokerHost() const override { return Host; }
  void SetBrokerPort(std::uint32_t A) override { Port = A; }
  std::uint32_t BrokerPort() const override { return Port; }
  void SetClientID(const std::string& A) override { Id = A; }
  std::string ClientID() const override { return Id; }
  void SetUserName(const std::string&) override {}
  std::string UserName() const override { return ""; }
  void SetPassword(const std::string&) override {}
  std::string Password() const override { return ""; }
  void Connect(bool) override { ++Connects; }
  void Disconnect() override { ++Disconnects; }
  bool IsConnected() const override { return Connected; }
  std::string LastConnectionError() const override { return LastError; }
  std::vector<std::string> SessionSubscriptions() const override { return Subscribed; }
  int Subscribe(const std::string& T) override {
    Subscribed.push_back(T);
    return NextId++;
  }
  int Unsubscribe(const std::string& T) override {
    Unsubscribed.push_back(T);
    return NextId++;
  }
  bool Publish(const std::string& T, const std::string&) override {
    Published.push_back(T);
    return true;
  }
  void Shutdown() override {}

  void Status(bool AConnected, S AStatus) {
    Connected = AConnected;
    Events.OnConnectedStatusChanged(AConnected, AStatus);
  }

private:
  std::string Host, Id;
  std::uint32_t Port = 0;
};

// A service over a scripted client, with a listener.
struct TRig {
  TRig() {
    auto client = std::make_unique<TScriptedClient>();
    Client = client.get();
    Service = std::make_unique<TZELMQTTService>(std::move(client));
    Listener = std::make_unique<ZT::TMQTTListener>(*Service);
  }
  // The keeper must not reach the scripted client during these tests.
  ZT::TScopedEnv Wait{"ZEL_MQTT_KEEPER_WAIT_MS", "600000"};
  TScriptedClient* Client = nullptr;
  std::unique_ptr<TZELMQTTService> Service;
  std::unique_ptr<ZT::TMQTTListener> Listener;
};

class MQTTService : public testing::Test, public TRig {};

// Which statuses ask for a reconnection, with and without the program's own disconnect.
TEST_F(MQTTService, StatusTable) {
  struct TCase {
    S Status;
    bool Manual;
    bool Requests;
  };
  const TCase cases[] = {
      {S::csNotConnected, false, false},
      {S::csConnectionRejected_InvalidProtocolVersion, false, true},
      {S::csConnectionRejected_ServerUnavailable, false, true},
      {S::csConnectionRejected_ClientNotAuthorized, false, true},
      {S::csConnectionRejected_UnspecifiedError, false, false},
      {S::csConnectionRejected_ConnectionRateExceeded, false, false},
      {S::csConnectionLost, false, true},
      {S::csConnectionLost, true, false},
      {S::csConnectionRejected_ServerUnavailable, true, false},
      {S::csDisconnecting, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(MQTT::Client::StatusName(c.Status)) + (c.Manual ? " manual" : ""));
    TRig fresh;
    fresh.Client->Status(true, S::csConnected);
    if (c.Manual) fresh.Service->Disconnect(false);
    fresh.Client->Status(false, c.Status);
    EXPECT_EQ(fresh.Service->GetReconnectAttempts(), c.Requests ? 2 : 1);
    EXPECT_EQ(fresh.Listener->Toasts().size(), c.Requests ? 1u : 0u);
  }
  for (int i = 0; i < MQTTConnectionStatusCount; ++i) EXPECT_FALSE(MQTT::Client::StatusName(static_cast<S>(i)).empty());
  EXPECT_EQ(MQTT::Client::StatusOfConnAck(0x87), S::csConnectionRejected_ClientNotAuthorized);
  EXPECT_EQ(MQTT::Client::StatusOfConnAck(0x9F), S::csConnectionRejected_ConnectionRateExceeded);
}

// The log tells an attempt from a connection, and a failed attempt says what happened and
// who refused (the client's last error names the side), never only "rejected by broker".
TEST_F(MQTTService, ConnectLogLines) {
  const auto texts = [](const LogsPipe::TLogCapture& ALog) {
    std::vector<std::string> out;
    for (const auto& e : ALog.Entries())
      if (e.Tag == "MQTTService" && e.Type != TLogType::Debug && e.Message.find("OnConnectStatusChange. Connected:") != 0)
        out.push_back(std::string(LogTypeName(e.Type)) + " " + e.Message);
    return out;
  };
  Service->SetBrokerHost("broker.test");
  Service->SetBrokerPort(8883);
  {
    LogsPipe::TLogCapture log;
    Service->Connect();
    EXPECT_EQ(texts(log), (std::vector<std::string>{"INFO Attempt to connect....",
                                                    "INFO Connecting to broker broker.test:8883..."}));
  }
  const struct {
    std::string LastError;  // as the client words it
  } refusals[] = {
      {"The client refused the broker's certificate: certificate has expired (error 10 at depth 0) (A TLS error occurred.)"},
      {"The broker refused the client's certificate: TLS alert \"certificate required\" (A TLS error occurred.)"},
      {"The broker refused the connection: Not authorized"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.LastError);
    LogsPipe::TLogCapture log;
    Client->LastError = r.LastError;
    Client->Status(false, S::csConnectionRejected_ServerUnavailable);
    const auto lines = texts(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "ERROR OnConnectStatusChange. MQTT Client connection failed: " + r.LastError);
    for (const auto& l : lines) {
      EXPECT_EQ(l.find("rejected by broker"), std::string::npos) << l;
      EXPECT_EQ(l.find("Connected to broker."), std::string::npos) << l;
    }
  }
  LogsPipe::TLogCapture log;
  Client->Status(true, S::csConnected);
  const auto lines = texts(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "INFO Connected to broker.");
}

// Only acknowledgements with reason 0 enter the list, once; after a loss they are
// subscribed again after the connection handlers ran.
TEST_F(MQTTService, AcceptedTopicsAndRecovery) {
  Client->Status(true, S::csConnected);
  Client->Events.OnSubscriptionAcknowledged(1, {{"A", true, 0, 0}, {"B", true, 1, 1}, {"C", false, 0, 0x87}, {"A", true, 0, 0}});
  EXPECT_EQ(Service->AcceptedTopics(), std::vector<std::string>{"A"});

  Client->Status(false, S::csConnectionLost);
  Service->Unsubscribe("A");  // not connected: stays
  std::vector<std::string> seenByHandler;
  struct THandler {
    TScriptedClient* C;
    std::vector<std::string>* Seen;
    void On(bool) { *Seen = C->Subscribed; }
  } handler{Client, &seenByHandler};
  Service->GetOnConnectionStateChange()->AddHandler(TMQTTStatusChange::Of(&handler, &THandler::On));
  Client->Subscribed.clear();
  Client->Status(true, S::csConnected);
  EXPECT_TRUE(seenByHandler.empty());
  EXPECT_EQ(Client->Subscribed, std::vector<std::string>{"A"});
  EXPECT_EQ(Service->GetReconnectAttempts(), 1);
  Service->GetOnConnectionStateChange()->RemoveHandler(TMQTTStatusChange::Of(&handler, &THandler::On));
}

// Handlers run in order; one that throws ends that broadcast only and is logged at Fatal.
TEST_F(MQTTService, DelegatesOrderAndThrowingHandler) {
  std::vector<std::string> calls;
  struct THandler {
    std::vector<std::string>* Calls;
    std::string Name;
    bool Throw = false;
    void On(IZELMQTTService*, const std::string& ATopic, const std::string&) {
      Calls->push_back(Name + ":" + ATopic);
      if (Throw) throw std::runtime_error("handler failed");
    }
  };
  THandler first{&calls, "first"}, second{&calls, "second"};
  auto* d = Service->GetOnMessageDelegate();
  d->AddHandler(TMQTTMessageReceived::Of(&first, &THandler::On));
  d->AddHandler(TMQTTMessageReceived::Of(&second, &THandler::On));
  d->AddHandler(TMQTTMessageReceived::Of(&first, &THandler::On));
  Client->Events.OnPublishReceived(1, "t1", "x");
  first.Throw = true;
  LogsPipe::TLogCapture log;
  Client->Events.OnPublishReceived(2, "t2", "\xff\xfe");
  first.Throw = false;
  Client->Events.OnPublishReceived(3, "t3", "");
  EXPECT_EQ(calls, (std::vector<std::string>{"first:t1", "second:t1", "first:t2", "first:t3", "second:t3"}));
  bool fatal = false;
  for (const auto& e : log.Entries()) fatal |= e.Type == TLogType::Fatal && e.Message.find("handler failed") != std::string::npos;
  EXPECT_TRUE(fatal);
  d->RemoveHandler(TMQTTMessageReceived::Of(&first, &THandler::On));
  d->RemoveHandler(TMQTTMessageReceived::Of(&second, &THandler::On));
}

// The received-publication line shows the payload as text: well-formed UTF-8 as it is,
// anything else with replacement characters; the handlers always get the bytes unchanged.
TEST_F(MQTTService, ReceivedPayloadIsLoggedAsValidText) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct TCase {
    const char* Name;
    std::string Payload;
    bool Valid;
  };
  const std::vector<TCase> cases = {
      {"ascii", R"({"Type":1,"Caption":"Motion"})", true},
      {"two, three and four bytes", "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x93\xB7", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"stray continuation byte", "a\x80" "b", false},
      {"cut multi-byte sequence at the end", "cam \xE2\x82", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"latin-1 byte", "caf\xE9!", false},
  };
  struct THandler {
    std::string Last;
    void On(IZELMQTTService*, const std::string&, const std::string& AData) { Last = AData; }
  } handler;
  Service->GetOnMessageDelegate()->AddHandler(TMQTTMessageReceived::Of(&handler, &THandler::On));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    LogsPipe::TLogCapture log;
    Client->Events.OnPublishReceived(7, "edge/Event", c.Payload);
    EXPECT_EQ(handler.Last, c.Payload);
    std::string logged;
    for (const auto& e : log.Entries())
      if (e.Type == TLogType::Debug && e.Message.rfind("ClientOnPublishReceived. PackedId: 7 Topic: \"edge/Event\"  Payload: ", 0) == 0)
        logged = e.Message.substr(e.Message.find("Payload: ") + 9);
    if (c.Valid) {
      EXPECT_EQ(logged, c.Payload);
    } else {
      EXPECT_NE(logged.find(replacement), std::string::npos) << logged;
      EXPECT_EQ(QString::fromUtf8(logged.data(), static_cast<qsizetype>(logged.size())).toUtf8().toStdString(), logged);
    }
  }
  Service->GetOnMessageDelegate()->RemoveHandler(TMQTTMessageReceived::Of(&handler, &THandler::On));
}

// A second request while the task waits counts and toasts but starts no second attempt.
TEST_F(MQTTService, KeeperCountsWhileATaskWaits) {
  LogsPipe::TLogCapture log;
  Client->Status(true, S::csConnected);
  Client->Status(false, S::csConnectionLost);
  Client->Status(false, S::csConnectionLost);
  EXPECT_EQ(Service->GetReconnectAttempts(), 3);
  EXPECT_TRUE(Service->KeeperRunning());
  EXPECT_EQ(Listener->Toasts(), (std::vector<std::string>{"MQTT reconnect attempt(2)...", "MQTT reconnect attempt(3)..."}));
  bool already = false;
  for (const auto& e : log.Entries()) already |= e.Message == "RequestReconnect. Sheduler already is running.";
  EXPECT_TRUE(already);
  EXPECT_EQ(Client->Connects, 0);
  // Released while the task sleeps: returns at once, the task never connects.
  const auto start = std::chrono::steady_clock::now();
  Service.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace ZEL
