// The MQTT service under threads, against the test broker: a flood of publications from a
// bare libmosquitto publisher on its own thread while the UI thread subscribes,
// unsubscribes, publishes, disconnects and releases services; and the reconnect keeper's
// worker after the broker is killed, and released while it waits.

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.TestSupport.h"

namespace ZEL {
namespace {

using namespace std::chrono_literals;
namespace ZT = ZEL::Test;
using ZT::TMQTTListener;
using ZT::WaitUntil;

// Publishes 1 KB payloads to one topic, 5,000 a second (more than the service takes under
// ThreadSanitizer), on a thread of its own that runs the library's loop itself; reconnects
// when the broker goes away. Bounded in count and time; stopped by its destructor.
class TFloodPublisher {
public:
  TFloodPublisher(const ZT::TTestBroker& ABroker, std::string ATopic, long AMaxMessages = 600000)
      : FTopic(std::move(ATopic)) {
    mosquitto_lib_init();
    FMosq = mosquitto_new(nullptr, true, nullptr);
    mosquitto_tls_set(FMosq, (ABroker.Pki + "/ca.crt").c_str(), nullptr, (ABroker.Pki + "/edge.crt").c_str(),
                      (ABroker.Pki + "/edge.key").c_str(), nullptr);
    const int port = ABroker.Port;
    FThread = std::thread([this, AMaxMessages, port] { Run(AMaxMessages, port); });
  }
  ~TFloodPublisher() {
    FStop.store(true);
    FThread.join();
    mosquitto_destroy(FMosq);
  }
  TFloodPublisher(const TFloodPublisher&) = delete;
  TFloodPublisher& operator=(const TFloodPublisher&) = delete;

  long Sent() const { return FSent.load(); }

private:
  void Run(long AMaxMessages, int APort) {
    const std::string payload(1024, 'f');
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + 120s;
    long batches = 0;
    bool connected = false;
    while (!FStop.load() && FSent.load() < AMaxMessages && std::chrono::steady_clock::now() < end) {
      if (!connected) {
        connected = mosquitto_connect(FMosq, "127.0.0.1", APort, 30) == MOSQ_ERR_SUCCESS;
        if (!connected) {
          std::this_thread::sleep_for(50ms);
          continue;
        }
      }
      for (int i = 0; i < 50; ++i)
        if (mosquitto_publish(FMosq, nullptr, FTopic.c_str(), static_cast<int>(payload.size()), payload.data(), 0,
                              false) == MOSQ_ERR_SUCCESS)
          FSent.fetch_add(1);
      if (mosquitto_loop(FMosq, 1, 1) != MOSQ_ERR_SUCCESS) {
        mosquitto_disconnect(FMosq);
        connected = false;
      }
      // After a pause (a reconnect) the pace goes on from now rather than catching up.
      const auto next = start + ++batches * 10ms;
      if (next < std::chrono::steady_clock::now() - 100ms) batches = (std::chrono::steady_clock::now() - start) / 10ms;
      std::this_thread::sleep_until(next);
    }
    if (connected) {
      mosquitto_disconnect(FMosq);
      mosquitto_loop(FMosq, 0, 1);
    }
  }

  std::string FTopic;
  mosquitto* FMosq = nullptr;
  std::atomic<bool> FStop{false};
  std::atomic<long> FSent{0};
  std::thread FThread;
};

class MQTTConcurrent : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Broker = new ZT::TTestBroker();
    ASSERT_TRUE(Broker->Start()) << "the test broker did not start";
    ZT::UseTestBroker(Broker->Port, 5000);
    setenv("ZEL_MQTT_CERTS_DIR", ZT::CertsFolderOf(Broker->Pki, "mobile_app", "ca.crt").c_str(), 1);
  }
  static void TearDownTestSuite() {
    Broker->Stop();
    delete Broker;
    Broker = nullptr;
    ZT::ForgetBrokerSettings();
  }

  struct TClient {
    std::unique_ptr<TZELMQTTService> Service;
    std::unique_ptr<TMQTTListener> Listener;
  };
  static TClient NewClient() {
    TClient c;
    c.Service = std::make_unique<TZELMQTTService>();
    c.Listener = std::make_unique<TMQTTListener>(*c.Service);
    return c;
  }
  static bool Connect(TClient& AClient) {
    AClient.Service->Connect();
    return WaitUntil([&] { return AClient.Service->IsConnected() && AClient.Listener->SawConnected(); }, 20s);
  }
  // The listener goes after the service: the delegates it is registered on die with it.
  static void Release(TClient& AClient) {
    AClient.Service.reset();
    AClient.Listener.reset();
  }

  static ZT::TTestBroker* Broker;
};

ZT::TTestBroker* MQTTConcurrent::Broker = nullptr;

// Each round ends another way while the flood pours in: released while connected,
// after the program's own disconnect, after a simulated loss (the keeper is then at work),
// and in the middle of a connection attempt.
TEST_F(MQTTConcurrent, FloodWhileTheUIThreadSubscribesDisconnectsAndReleases) {
  TFloodPublisher flood(*Broker, "ZEL/flood");
  ASSERT_TRUE(WaitUntil([&] { return flood.Sent() > 0; }, 10s));
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    TClient c = NewClient();
    if (round % 4 == 3) {
      c.Service->Connect();
      WaitUntil([] { return false; }, std::chrono::milliseconds(5 * round));
      Release(c);
      continue;
    }
    ASSERT_TRUE(Connect(c));
    c.Service->Subscribe("ZEL/flood");
    c.Service->Subscribe("ZEL/other");
    // Enough that the hand-over queue to the UI thread is full when the round ends.
    ASSERT_TRUE(WaitUntil([&] { return c.Listener->Messages().size() > 500; }, 30s));
    c.Service->Unsubscribe("ZEL/flood");
    EXPECT_TRUE(c.Service->Publish("ZEL/other", "from the UI thread"));
    c.Service->Subscribe("ZEL/flood");
    for (int i = 0; i < 50; ++i) c.Service->Publish("ZEL/other", std::string(512, 'u'));
    // The flood must not hold the UI thread inside one hand-over: its event loop comes
    // round (here: the wait's time-out) while messages still pour in.
    const auto waitStart = std::chrono::steady_clock::now();
    WaitUntil([] { return false; }, 50ms);
    EXPECT_LT(std::chrono::steady_clock::now() - waitStart, 3s);
    switch (round % 4) {
      case 0: break;
      case 1: c.Service->Disconnect(false); break;
      case 2: c.Service->Disconnect(true); break;
    }
    WaitUntil([] { return false; }, std::chrono::milliseconds(10 * round));
    Release(c);
  }
  EXPECT_GT(flood.Sent(), 0);
}

// The keeper's worker connects again after the broker was killed and restarted, while the
// flood goes on; a second service is released while its keeper waits for the broker.
TEST_F(MQTTConcurrent, KeeperReconnectsAfterTheBrokerIsKilledDuringAFlood) {
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "500");
  TFloodPublisher flood(*Broker, "ZEL/flood");
  TClient c = NewClient();
  TClient waiting = NewClient();
  ASSERT_TRUE(Connect(c));
  ASSERT_TRUE(Connect(waiting));
  c.Service->Subscribe("ZEL/flood");
  ASSERT_TRUE(WaitUntil([&] { return c.Listener->Messages().size() > 20; }, 20s));

  Broker->Kill();
  ASSERT_TRUE(WaitUntil([&] { return c.Service->GetReconnectAttempts() >= 2 && waiting.Service->KeeperRunning(); }, 20s));
  Release(waiting);
  ASSERT_TRUE(Broker->Restart());

  ASSERT_TRUE(WaitUntil([&] { return c.Service->IsConnected() && c.Listener->SawConnected(); }, 30s));
  ASSERT_TRUE(WaitUntil([&] { return c.Service->AcceptedTopics().size() == 1; }, 10s));
  const std::size_t before = c.Listener->Messages().size();
  EXPECT_TRUE(WaitUntil([&] { return c.Listener->Messages().size() > before + 20; }, 30s));
  EXPECT_EQ(c.Service->GetReconnectAttempts(), 1);
  Release(c);
}

}  // namespace
}  // namespace ZEL
