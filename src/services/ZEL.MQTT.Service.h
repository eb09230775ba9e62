#pragma once
// The client's one connection to the message broker: TLS with the client certificate, the
// topics the broker accepted (subscribed again after a loss), publishing, the message and
// connection delegates, and the reconnect keeper.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ZEL.MQTT.Client.h"
#include "ZEL.MQTT.Service.Delegate.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Scheduler.h"

namespace ZEL::MQTT::Service {

// The service's broker; $ZEL_MQTT_BROKER_HOST / $ZEL_MQTT_BROKER_PORT override them.
inline constexpr const char* MQTT_BROKER_HOST = "127.0.0.1";
inline constexpr std::uint32_t MQTT_BROKER_PORT = 8883;
// Beside the client certificate: when present, the broker's chain and name are verified.
inline constexpr const char* MQTT_SSL_CAFILE = "mobile_app_ca.crt";

// Timings; each has a ZEL_* override (see the README).
inline constexpr std::chrono::milliseconds MQTT_CONNECT_TIMEOUT{10000};   // ZEL_MQTT_CONNECT_TIMEOUT_MS
inline constexpr int MQTT_KEEPALIVE_SECONDS = 60;                         // ZEL_MQTT_KEEPALIVE_S (>= 5)
inline constexpr std::chrono::milliseconds MQTT_KEEPER_WAIT{10000};       // ZEL_MQTT_KEEPER_WAIT_MS
inline constexpr std::chrono::milliseconds MQTT_KEEPER_RETRY_WAIT{30000}; // ZEL_MQTT_KEEPER_RETRY_MS
inline constexpr int MQTT_KEEPER_RETRIES = 3;

std::string BrokerHost();
std::uint32_t BrokerPort();
// Folder of the key, certificate and CA files, with a trailing '/'; $ZEL_MQTT_CERTS_DIR
// overrides the executable's folder.
std::string CertsFolder();
// $ZEL_MQTT_CA_FILE, else MQTT_SSL_CAFILE in CertsFolder().
std::string CAFile();
std::chrono::milliseconds ConnectTimeout();
int KeepAliveSeconds();
std::chrono::milliseconds KeeperWait();
std::chrono::milliseconds KeeperRetryWait();

}  // namespace ZEL::MQTT::Service

namespace ZEL {

class TZELMQTTService final : public IZELMQTTService {
public:
  static constexpr std::string_view TypeName = "TZELMQTTService";
  static constexpr std::string_view LogTag = "MQTTService";
  static constexpr std::string_view KeeperLogTag = "MQTTService_KeeperTask";
  static constexpr const char* KeeperTaskName = "Keeper";

  // The libmosquitto client.
  TZELMQTTService();
  // Over another client layer (tests script one).
  explicit TZELMQTTService(std::unique_ptr<IMQTTClient> AClient);
  // On the UI thread: no event and no keeper task reaches the service after it.
  ~TZELMQTTService() override;
  TZELMQTTService(const TZELMQTTService&) = delete;
  TZELMQTTService& operator=(const TZELMQTTService&) = delete;

  void SetBrokerHost(const std::string& host) override;
  std::string GetBrokerHost() override;
  void SetBrokerPort(std::uint32_t port) override;
  std::uint32_t GetBrokerPort() override;
  void SetUserName(const std::string& Value) override;
  std::string GetUserName() override;
  void Setpassword(const std::string& Value) override;
  std::string GetPassword() override;
  void SetClientID(const std::string& Value) override;
  std::string GetClientID() override;
  IMQTTMessageDelegate* GetOnMessageDelegate() override;
  IMQTTConnectedDelegate* GetOnConnectionStateChange() override;
  std::int32_t GetReconnectAttempts() override;
  void Connect() override;
  bool IsConnected() override;
  bool IsConnecting() override { return FConnecting.load(); }
  void Disconnect(bool ASimulateConnectionLost) override;
  std::string LastErrorMessage() override;
  void Subscribe(const std::string& ATopic) override;
  void Unsubscribe(const std::string& ATopic) override;
  bool Publish(const std::string& ATopic, const std::string& AMessage) override;

  // Counts the request, shows the toast and starts one attempt on the keeper's scheduler.
  // On the UI thread.
  void RequestReconnect();

  // For tests: the topics the broker accepted, and the keeper's state.
  std::vector<std::string> AcceptedTopics() const;
  bool KeeperRunning() const;
  IMQTTClient& Client() { return *FClient; }

private:
  void ClientOnConnectStatusChange(bool AConnected, TMQTTConnectionStatus AStatus);
  void ClientOnPublishReceived(int APacketID, const std::string& ATopic, const std::string& APayload);
  void ClientOnTopicSubscribed(int APacketID, const std::vector<TMQTTSubscriptionAck>& AAcks);
  void ClientOnTopicUnsubscribed(int APacketID, const std::vector<int>& AReasonCodes);
  void OnPingTimeout();
  void ClientOnSSLIOHandlerConfiguration(TMQTTTLSOptions& AOptions);
  void OnMQTTLog(HardConfig::TMQTTLogLevel ALevel, const std::string& AMessage);

  // The keeper task's steps (Keeper.cpp).
  void KeeperExecute(TScheduledTask& ATask);
  void KeeperRetry(TScheduledTask& ATask, const std::exception* AException, bool& AStopRetries);
  void KeeperExpired(TScheduledTask& ATask);
  void KeeperException(TScheduledTask& ATask, const std::exception& AException);
  void KeeperTerminated(TScheduledTask& ATask);
  void ReleaseKeeper();

  mutable std::mutex FSubsLock;
  std::vector<std::string> FSubs;
  TMQTTMessageDelegate FOnMessage{this};
  TMQTTConnectedDelegate FOnConnectionStateChange{this};
  std::unique_ptr<IMQTTClient> FClient;
  std::atomic<bool> FConnecting{false};
  std::atomic<std::int32_t> FRetryCount{1};
  std::unique_ptr<TScheduledTasks> FTasks;  // UI thread and destructor only
  IScheduledTask FReconnectTask;
  std::atomic<bool> FIsManualDisconnect{false};
  std::string FSSLKeyFile;
  std::string FSSLCertFile;
  std::string FCAFile;  // empty: the broker is not verified
};

}  // namespace ZEL
