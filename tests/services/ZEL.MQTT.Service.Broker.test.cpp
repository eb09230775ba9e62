// The MQTT service against the test broker (mosquitto over TLS with client certificates).

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.TestSupport.h"

namespace ZEL {
namespace {

using namespace std::chrono_literals;
namespace ZT = ZEL::Test;
using ZT::TMQTTListener;
using ZT::WaitUntil;

class MQTTBroker : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Broker = new ZT::TTestBroker();
    ASSERT_TRUE(Broker->Start()) << "the test broker did not start";
    ZT::UseTestBroker(Broker->Port, 3000);
    ClientCerts = ZT::CertsFolderOf(Broker->Pki, "mobile_app", "ca.crt");
  }
  static void TearDownTestSuite() {
    Broker->Stop();
    delete Broker;
    Broker = nullptr;
    ZT::ForgetBrokerSettings();
  }

  // A service over the given certificate folder, with a listener; connected when asked.
  struct TClient {
    std::unique_ptr<TZELMQTTService> Service;
    std::unique_ptr<TMQTTListener> Listener;
  };
  static TClient NewClient(const std::string& ACerts, bool AConnect) {
    ZT::TScopedEnv certs("ZEL_MQTT_CERTS_DIR", ACerts.c_str());
    TClient c;
    c.Service = std::make_unique<TZELMQTTService>();
    c.Listener = std::make_unique<TMQTTListener>(*c.Service);
    if (AConnect) {
      c.Service->Connect();
      EXPECT_TRUE(WaitUntil([&] { return c.Service->IsConnected() && c.Listener->SawConnected(); }, 10s));
    }
    return c;
  }

  static bool Logged(const LogsPipe::TLogCapture& ALog, std::string_view AText) {
    for (const auto& e : ALog.Entries())
      if (e.Message.find(AText) != std::string::npos) return true;
    return false;
  }
  static int CountLogged(const LogsPipe::TLogCapture& ALog, std::string_view AText) {
    int n = 0;
    for (const auto& e : ALog.Entries())
      if (e.Message.find(AText) != std::string::npos) ++n;
    return n;
  }

  static ZT::TTestBroker* Broker;
  static std::string ClientCerts;
};

ZT::TTestBroker* MQTTBroker::Broker = nullptr;
std::string MQTTBroker::ClientCerts;

TEST_F(MQTTBroker, ConnectsWithTheClientCertificate) {
  LogsPipe::TLogCapture log;
  auto c = NewClient(ClientCerts, true);
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 1);
  EXPECT_TRUE(Logged(log, "OnSSLIOHandlerConfiguration attached."));
  EXPECT_TRUE(Logged(log, "The broker's certificate is verified against \""));
  EXPECT_TRUE(Logged(log, "OnConnectStatusChange. Connected: True Status: \"csConnected\""));
  EXPECT_EQ(CountLogged(log, "Connected to broker."), 1);
}

// Without a certificate, with only one of the two files, or with an expired one the broker
// refuses at the TLS handshake: a refusal (3), never a crash, and a reconnect request.
TEST_F(MQTTBroker, RefusedWithoutAValidCertificate) {
  const std::string missing = ZT::CertsFolderOf(Broker->Pki, "", "ca.crt");
  const std::string keyOnly = ZT::CertsFolderOf(Broker->Pki, "", "ca.crt");
  ZT::CopyFile(Broker->Pki + "/mobile_app.key", keyOnly + "/mobile_app.key");
  const std::string expired = ZT::CertsFolderOf(Broker->Pki, "expired", "ca.crt");
  for (const std::string& folder : {missing, keyOnly, expired}) {
    SCOPED_TRACE(folder);
    LogsPipe::TLogCapture log;
    auto c = NewClient(folder, false);
    c.Service->Connect();
    ASSERT_TRUE(WaitUntil([&] { return Logged(log, "Status: \"csConnectionRejected_ServerUnavailable\""); }, 10s));
    EXPECT_FALSE(c.Service->IsConnected());
    EXPECT_EQ(c.Service->GetReconnectAttempts(), 2);
    EXPECT_FALSE(c.Service->LastErrorMessage().empty());
    if (folder != expired) {
      EXPECT_TRUE(Logged(log, "not exist!"));
    }
    // The broker refused, and the line says what happened: not this client refusing the
    // broker. (The broker's TLS alert gives the reason when it is read before the hang-up.)
    EXPECT_TRUE(Logged(log, "OnConnectStatusChange. MQTT Client connection failed: "));
    EXPECT_FALSE(Logged(log, "The client refused"));
    EXPECT_FALSE(Logged(log, "Connected to broker."));
    EXPECT_EQ(c.Listener->Toasts(), std::vector<std::string>{"MQTT reconnect attempt(2)..."});
  }
}

// A refused connection is reported at once with its reason, not after the connect time-out:
// nothing listening on the port, and a TLS handshake the broker turns down.
TEST_F(MQTTBroker, RefusalIsReportedAtOnceWithItsReason) {
  int free = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(free, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(getsockname(free, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  close(free);  // nothing listens there now
  ZT::TScopedEnv timeout("ZEL_MQTT_CONNECT_TIMEOUT_MS", "10000");
  struct TCase {
    std::string Name, Certs;
    int Port;
    std::string Reason;  // a part of the reason reported
  } const cases[] = {
      {"nothing listening", ClientCerts, ntohs(addr.sin_port), "refused"},
      {"no client certificate", ZT::CertsFolderOf(Broker->Pki, ""), Broker->Port, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    LogsPipe::TLogCapture log;
    auto client = NewClient(c.Certs, false);
    client.Service->SetBrokerPort(static_cast<std::uint32_t>(c.Port));
    QElapsedTimer clock;
    clock.start();
    client.Service->Connect();
    ASSERT_TRUE(WaitUntil([&] { return Logged(log, "Status: \"csConnectionRejected_ServerUnavailable\""); }, 12s));
    EXPECT_LT(clock.elapsed(), 1000);
    const std::string reason = client.Service->LastErrorMessage();
    EXPECT_EQ(reason.find("time-out"), std::string::npos) << reason;
    EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
  }
}

TEST_F(MQTTBroker, SubscribesRemembersOnceAndReceivesRetainedAndLive) {
  ASSERT_EQ(Broker->PublishAsEdge("ZEL/t1/Event", "retained-1", true), 0);
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/t1/Event");
  c.Service->Subscribe("ZEL/t1/Event");
  c.Service->Subscribe("");
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->Got("ZEL/t1/Event", "retained-1"); }));
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }));
  ASSERT_EQ(Broker->PublishAsEdge("ZEL/t1/Event", "live-1", false), 0);
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->Got("ZEL/t1/Event", "live-1"); }));
  EXPECT_EQ(c.Service->AcceptedTopics(), std::vector<std::string>{"ZEL/t1/Event"});
  // Cleared for the other tests.
  Broker->PublishAsEdge("ZEL/t1/Event", "", true);
}

TEST_F(MQTTBroker, WildcardTopicsAreRefused) {
  LogsPipe::TLogCapture log;
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/+/Event");
  c.Service->Subscribe("ZEL/#");
  EXPECT_FALSE(c.Service->Publish("ZEL/#", "x"));
  EXPECT_EQ(CountLogged(log, "holds a wildcard and is refused."), 2);
  EXPECT_TRUE(c.Service->AcceptedTopics().empty());
}

TEST_F(MQTTBroker, PublishesToASecondClientAndPassesBytesUnchanged) {
  auto receiver = NewClient(ClientCerts, true);
  auto sender = NewClient(ClientCerts, true);
  receiver.Service->Subscribe("ZEL/req");
  ASSERT_TRUE(WaitUntil([&] { return receiver.Service->AcceptedTopics().size() == 1; }));

  const std::string binary("\x00\xff\xfe\xc3\x28 bytes", 11);
  const std::string huge(4 * 1024 * 1024, 'x');  // below the maximum packet size
  for (const std::string& payload : {std::string("{\"Type\":6}"), std::string(), binary, huge})
    EXPECT_TRUE(sender.Service->Publish("ZEL/req", payload));
  ASSERT_TRUE(WaitUntil([&] { return receiver.Listener->Messages().size() == 4; }, 20s));
  const auto got = receiver.Listener->Messages();
  EXPECT_EQ(got[0].Payload, "{\"Type\":6}");
  EXPECT_EQ(got[1].Payload, "");
  EXPECT_EQ(got[2].Payload, binary);
  EXPECT_EQ(got[3].Payload.size(), huge.size());
}

TEST_F(MQTTBroker, PublishWhileDisconnectedFailsWithTheError) {
  LogsPipe::TLogCapture log;
  auto c = NewClient(ClientCerts, false);
  EXPECT_FALSE(c.Service->Publish("ZEL/req", "x"));
  EXPECT_TRUE(Logged(log, "Publish. MQTT is not connected!"));
}

TEST_F(MQTTBroker, OwnDisconnectDoesNotReconnectSimulatedLossDoes) {
  LogsPipe::TLogCapture log;
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/keep");
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }));

  c.Service->Disconnect(false);
  ASSERT_TRUE(WaitUntil([&] { return Logged(log, "Reconnect request aborted."); }));
  ZT::WaitUntil([] { return false; }, 800ms);  // longer than the keeper's wait
  EXPECT_FALSE(c.Service->IsConnected());
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 1);
  EXPECT_TRUE(c.Listener->Toasts().empty());

  log.Clear();
  c.Service->Connect();
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->SawConnected(); }));
  // After the program's own disconnect the topics are not taken up again.
  EXPECT_TRUE(Logged(log, "MQTT Client is connected to broker."));
  EXPECT_FALSE(Logged(log, "Topics to recover subscription"));

  log.Clear();
  c.Service->Disconnect(true);
  ASSERT_TRUE(WaitUntil([&] { return Logged(log, "Reconnect is requested."); }));
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->SawConnected(); }, 10s));
  EXPECT_TRUE(WaitUntil([&] { return Logged(log, "Topics to recover subscription: 1"); }));
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 1);
  EXPECT_EQ(c.Listener->Toasts(), std::vector<std::string>{"MQTT reconnect attempt(2)..."});
}

// Kill the broker and start it again on the same port: the keeper counts, shows its toasts,
// waits, connects again; every accepted topic is subscribed again and a publication made
// after the restart arrives.
TEST_F(MQTTBroker, ComesBackAfterTheBrokerRestarts) {
  LogsPipe::TLogCapture log;
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "1500");
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/a");
  c.Service->Subscribe("ZEL/b");
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 2; }));

  Broker->Kill();
  ASSERT_TRUE(WaitUntil([&] { return c.Service->GetReconnectAttempts() == 2; }, 10s));
  EXPECT_FALSE(c.Service->IsConnected());
  EXPECT_TRUE(c.Service->KeeperRunning());
  ASSERT_TRUE(Broker->Restart());

  ASSERT_TRUE(WaitUntil([&] { return c.Listener->SawConnected(); }, 15s));
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 1);
  ASSERT_TRUE(WaitUntil([&] { return Logged(log, "Topics to recover subscription: 2"); }));
  ASSERT_TRUE(WaitUntil([&] { return CountLogged(log, "Subscribed to topic(s).") >= 4; }));
  EXPECT_EQ(c.Service->AcceptedTopics(), (std::vector<std::string>{"ZEL/a", "ZEL/b"}));
  ASSERT_EQ(Broker->PublishAsEdge("ZEL/b", "after-restart", false), 0);
  EXPECT_TRUE(WaitUntil([&] { return c.Listener->Got("ZEL/b", "after-restart"); }));

  const auto toasts = c.Listener->Toasts();
  ASSERT_FALSE(toasts.empty());
  EXPECT_EQ(toasts.front(), "MQTT reconnect attempt(2)...");
  EXPECT_TRUE(Logged(log, "[ID: 1][Retries: 0/3] Start."));
  EXPECT_TRUE(Logged(log, "[ID: 1][Retries: 0/3] Finished."));
  EXPECT_TRUE(Logged(log, "[ID: 1][Retries: 0/3] Stopping sheduler..."));
  EXPECT_TRUE(Logged(log, "[ID: 1][Retries: 0/3] Expiried."));
}

// A broker that stops answering: one ping time-out, reported as such and not also as a loss.
TEST_F(MQTTBroker, PingTimeoutIsCountedOnce) {
  LogsPipe::TLogCapture log;
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "60000");
  auto c = NewClient(ClientCerts, true);
  const int pid = Broker->Pid();
  ASSERT_GT(pid, 0);
  ::kill(pid, SIGSTOP);
  const bool timedOut = WaitUntil([&] { return Logged(log, "OnPingTimeout. MQTT Ping timeout happened."); }, 20s);
  ::kill(pid, SIGCONT);
  ASSERT_TRUE(timedOut);
  ASSERT_TRUE(WaitUntil([&] { return Logged(log, "MQTT Client disconnected."); }));
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 2);
  EXPECT_EQ(CountLogged(log, "OnPingTimeout. MQTT Ping timeout happened."), 1);
  EXPECT_FALSE(Logged(log, "connection with the broker is lost"));
  EXPECT_EQ(c.Listener->Toasts(), std::vector<std::string>{"MQTT reconnect attempt(2)..."});
}

// A flood of publications while the receiving service is released on the UI thread.
TEST_F(MQTTBroker, ReleasedDuringAFloodWithoutDeadlock) {
  auto sender = NewClient(ClientCerts, true);
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/flood");
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }));
  const std::string payload(1024, 'p');
  for (int i = 0; i < 10000; ++i) sender.Service->Publish("ZEL/flood", payload);
  ASSERT_TRUE(WaitUntil([&] { return !c.Listener->Messages().empty(); }));
  c.Service.reset();  // must return while messages still pour in
  const std::size_t delivered = c.Listener->Messages().size();
  WaitUntil([] { return false; }, 300ms);
  EXPECT_EQ(c.Listener->Messages().size(), delivered);  // queued events are dropped, not delivered
  EXPECT_TRUE(sender.Service->IsConnected());
}

// Received messages reach the UI thread in batches. A handler that spins an event loop of
// its own (a modal dialog) must not hold up the messages of its batch that come after it:
// they are handled inside that loop, each once and in order.
TEST_F(MQTTBroker, HandlerWithAnEventLoopOfItsOwnLetsTheNextMessagesThrough) {
  auto sender = NewClient(ClientCerts, true);
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/nested");
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }));
  struct THandler {
    std::vector<std::string> Got;
    std::size_t SeenInsideLoop = 0;
    void On(IZELMQTTService*, const std::string&, const std::string& AData) {
      Got.push_back(AData);
      if (AData != "0") return;
      WaitUntil([this] { return Got.size() >= 200; }, 5s);
      SeenInsideLoop = Got.size();
    }
  } handler;
  c.Service->GetOnMessageDelegate()->AddHandler(TMQTTMessageReceived::Of(&handler, &THandler::On));
  // All of them queue up behind the first before the UI thread looks again (it sleeps
  // here), so that they are one batch.
  for (int i = 0; i < 200; ++i) sender.Service->Publish("ZEL/nested", std::to_string(i));
  std::this_thread::sleep_for(700ms);
  ASSERT_TRUE(WaitUntil([&] { return handler.Got.size() >= 200; }, 20s));
  WaitUntil([] { return false; }, 100ms);
  EXPECT_EQ(handler.SeenInsideLoop, 200u);
  ASSERT_EQ(handler.Got.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(handler.Got[static_cast<std::size_t>(i)], std::to_string(i));
  c.Service->GetOnMessageDelegate()->RemoveHandler(TMQTTMessageReceived::Of(&handler, &THandler::On));
}

class MQTTBrokerVerified : public MQTTBroker {};

// The broker is always verified: against the CA file beside the certificate, or without one
// against the system's trust store, which does not hold the test CA. A broker from another
// CA, for another name or with an expired certificate is refused either way, with the reason
// in the log; the test broker passes with the CA file and is refused without it.
TEST_F(MQTTBrokerVerified, RefusesABrokerItCannotVerifyWithAndWithoutTheCAFile) {
  struct TCase {
    const char* Options;
    const char* Reason;  // in the refusal's log line
  };
  const TCase cases[] = {
      {"--untrusted", "unable to get local issuer certificate"},
      {"--wrong-host", "IP address mismatch"},
      {"--expired", "certificate has expired"},
  };
  for (const TCase& c : cases) {
    ZT::TTestBroker bad;
    ASSERT_TRUE(bad.Start(std::string(c.Options))) << c.Options;
    ZT::TScopedEnv port("ZEL_MQTT_BROKER_PORT", std::to_string(bad.Port).c_str());
    // The client's certificate and CA come from the bad broker's own PKI, so that only the
    // broker's certificate is at fault.
    for (const bool withCA : {true, false}) {
      SCOPED_TRACE(std::string(c.Options) + (withCA ? " with the CA file" : " without the CA file"));
      LogsPipe::TLogCapture log;
      auto client = NewClient(ZT::CertsFolderOf(bad.Pki, "mobile_app", withCA ? "ca.crt" : ""), false);
      client.Service->Connect();
      EXPECT_TRUE(WaitUntil([&] { return Logged(log, "Status: \"csConnectionRejected_ServerUnavailable\""); }, 10s));
      EXPECT_FALSE(client.Service->IsConnected());
      EXPECT_FALSE(client.Listener->SawConnected());
      // Without the CA file the chain itself fails (the broker may send the test CA along).
      const std::string expected = withCA ? c.Reason : "";
      EXPECT_TRUE(Logged(log, "OnConnectStatusChange. MQTT Client connection failed: The client refused the broker's certificate: " + expected)) << expected;
      if (!withCA) {
        EXPECT_TRUE(Logged(log, "verified against the system's trust store"));
      }
    }
    bad.Stop();
  }
  LogsPipe::TLogCapture log;
  auto open = NewClient(ZT::CertsFolderOf(Broker->Pki, "mobile_app"), false);
  open.Service->Connect();
  EXPECT_TRUE(WaitUntil([&] { return Logged(log, "The client refused the broker's certificate: "); }, 10s));
  EXPECT_FALSE(open.Service->IsConnected());
}

// A broker that offers TLS 1.3 alone is taken (verified, with the CA file).
TEST_F(MQTTBrokerVerified, TakesABrokerThatOffersOnlyTLS13) {
  ZT::TTestBroker tls13;
  ASSERT_TRUE(tls13.Start(std::string("--tls13-only")));
  ZT::TScopedEnv port("ZEL_MQTT_BROKER_PORT", std::to_string(tls13.Port).c_str());
  auto c = NewClient(ZT::CertsFolderOf(tls13.Pki, "mobile_app", "ca.crt"), true);
  EXPECT_TRUE(c.Service->IsConnected());
  c.Service.reset();
  tls13.Stop();
}

// The client asks for a maximum packet size at connect: the broker drops a larger
// publication for it instead of sending it, and the connection and later payloads go on.
TEST_F(MQTTBroker, BrokerSendsNothingAboveTheMaximumPacketSize) {
  auto c = NewClient(ClientCerts, true);
  c.Service->Subscribe("ZEL/big");
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }));
  const std::string file = ZT::NewTempFolder("big") + "/payload";
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(MQTT::Client::MaxIncomingPacketSize + 1, 'x');
  }
  const std::string pub = "mosquitto_pub -h 127.0.0.1 -p " + std::to_string(Broker->Port) + " --cafile " + Broker->Pki +
                          "/ca.crt --cert " + Broker->Pki + "/edge.crt --key " + Broker->Pki + "/edge.key -t ZEL/big -q 0";
  ASSERT_EQ(ZT::Shell(pub + " -f " + file), 0);
  ASSERT_EQ(Broker->PublishAsEdge("ZEL/big", "small", false), 0);
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->Got("ZEL/big", "small"); }));
  for (const auto& m : c.Listener->Messages()) EXPECT_LE(m.Payload.size(), MQTT::Client::MaxIncomingPacketSize);
  EXPECT_EQ(c.Listener->Messages().size(), 1u);
  EXPECT_TRUE(c.Service->IsConnected());
}

}  // namespace
}  // namespace ZEL
