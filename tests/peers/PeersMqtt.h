// A small MQTT client on libmosquitto for the integration test: its network thread feeds the
// callbacks, and the test waits on their events with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace ZelPeers {

struct TMqttMessage {
  std::string Topic;
  std::string Payload;
};

struct TMqttTls {
  std::string CAFile;
  std::string CertFile;  // empty: no client certificate
  std::string KeyFile;
};

class TMqttClient {
public:
  enum class TOutcome { Connected, Refused, NoAnswer };

  TMqttClient();
  ~TMqttClient();
  TMqttClient(const TMqttClient&) = delete;
  TMqttClient& operator=(const TMqttClient&) = delete;

  // Connects over TLS (broker verified against the CA) and waits until the broker accepts
  // (Connected) or the attempt fails (Refused: a TLS or protocol error, the connection closed,
  // a refusing CONNACK). NoAnswer when neither happens within the time. Never retries.
  TOutcome Connect(const std::string& AHost, int APort, const TMqttTls& ATls, std::chrono::milliseconds AWait);
  // Why the last attempt failed, as libmosquitto told it.
  std::string Failure() const;

  bool Subscribe(const std::string& ATopic, std::chrono::milliseconds AWait);
  bool Publish(const std::string& ATopic, const std::string& APayload);

  // The first message received (since the last call took it) that satisfies the predicate;
  // the messages before it are dropped.
  std::optional<TMqttMessage> WaitFor(const std::function<bool(const TMqttMessage&)>& AMatch,
                                      std::chrono::milliseconds AWait);

private:
  static void OnConnect(mosquitto*, void* AThis, int ARc);
  static void OnDisconnect(mosquitto*, void* AThis, int ARc);
  static void OnSubscribe(mosquitto*, void* AThis, int AMid, int, const int*);
  static void OnMessage(mosquitto*, void* AThis, const mosquitto_message* AMsg);
  static void OnLog(mosquitto*, void* AThis, int ALevel, const char* AText);

  mosquitto* FClient = nullptr;
  bool FLoopRunning = false;
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  bool FConnected = false;
  bool FFailed = false;
  std::string FFailure;
  std::set<int> FSubAcks;
  std::deque<TMqttMessage> FMessages;
};

}  // namespace ZelPeers
