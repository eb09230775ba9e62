#pragma once
// The edges' one connection to the broker: TLS with the simulator's own client certificate,
// the edges' request topics subscribed, payloads published with QoS 0 and no retain.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace ZelSim {

struct TBrokerOptions {
  std::string Host = "127.0.0.1";
  int Port = 0;
  std::string CAFile, CertFile, KeyFile;
};

class TBroker {
 public:
  using TOnMessage = std::function<void(const std::string& ATopic, const std::string& APayload)>;

  TBroker();
  ~TBroker();
  TBroker(const TBroker&) = delete;
  TBroker& operator=(const TBroker&) = delete;

  // Starts connecting in the background (and reconnecting after a loss). False with AError
  // when the client cannot be set up (files missing, bad TLS material).
  bool Start(const TBrokerOptions& AOptions, std::vector<std::string> ATopics, TOnMessage AOnMessage,
             std::string& AError);
  void Stop();
  bool Publish(const std::string& ATopic, const std::string& APayload);

  bool Connected() const { return FConnected; }
  // Connected and every request topic acknowledged by the broker.
  bool Subscribed() const { return FSubscribed; }

 private:
  static void OnConnect(mosquitto*, void* AThis, int ARc);
  static void OnDisconnect(mosquitto*, void* AThis, int ARc);
  static void OnSubscribe(mosquitto*, void* AThis, int AMid, int ACount, const int* AQos);
  static void OnMessage(mosquitto*, void* AThis, const mosquitto_message* AMsg);

  mosquitto* FClient = nullptr;
  std::vector<std::string> FTopics;
  TOnMessage FOnMessage;
  std::mutex FLock;
  int FPendingAcks = 0;
  std::atomic<bool> FConnected{false};
  std::atomic<bool> FSubscribed{false};
  bool FStarted = false;
};

}  // namespace ZelSim
