#pragma once
// A session over stand-ins: global REST and authentication services, and an MQTT service
// with real delegates whose connection and messages the test plays.

#include "ZEL.Events.Service.Fakes.h"
#include "ZEL.MQTT.Service.Delegate.h"
#include "ZEL.Session.TestSupport.h"
#include "ZEL.Session.h"

#include <atomic>
#include <memory>

namespace ZEL::Test {

class TSyncREST : public TPullREST {
public:
  std::atomic<bool> SyncResult{true};
  nlohmann::ordered_json Edges = nlohmann::ordered_json::array();
  bool Sync(nlohmann::ordered_json& AEdgeControllers) override {
    if (!SyncResult) return false;
    AEdgeControllers = Edges;
    return true;
  }
};

class TSessionMQTT : public TRecordingMQTTService {
public:
  IMQTTMessageDelegate* GetOnMessageDelegate() override { return &FOnMessage; }
  IMQTTConnectedDelegate* GetOnConnectionStateChange() override { return &FOnStatus; }
  std::int32_t GetReconnectAttempts() override { return Attempts; }
  void SetClientID(const std::string& Value) override { ClientID = Value; }
  void Connect() override { ++Connects; }
  void Disconnect(bool ASimulate) override { Disconnects.push_back(ASimulate); }
  std::string LastErrorMessage() override { return "broker gone"; }
  bool IsConnecting() override { return Connecting; }

  void PlayStatus(bool AConnected) { FOnStatus.MQTTStatusChange(AConnected); }
  // A status without connection: an attempt starting (true) or one that failed.
  void PlayNotConnected(bool AStarting) {
    Connecting = AStarting;
    PlayStatus(false);
    Connecting = false;
  }
  void PlayMessage(const std::string& ATopic, const std::string& APayload) {
    FOnMessage.MQTTMessageReceived(this, ATopic, APayload);
  }

  std::atomic<std::int32_t> Attempts{1};
  std::atomic<bool> Connecting{false};
  std::string ClientID = "unset";
  int Connects = 0;
  std::vector<bool> Disconnects;

private:
  TMQTTMessageDelegate FOnMessage{this};
  TMQTTConnectedDelegate FOnStatus{this};
};

// Global stand-ins registered for the life of the object.
class TSessionGlobals {
public:
  TSessionGlobals() {
    Services::Container::FreeZELServicesContainer();
    auto& global = GlobalContainer();
    global.RegisterType<IZELRESTService>([r = REST] { return r; });
    global.RegisterType<IAuthService>([a = Auth] { return a; });
    global.Build();
  }
  ~TSessionGlobals() {
    Services::Container::FreeZELServicesContainer();
    GlobalContainer().Unregister<IZELRESTService>();
    GlobalContainer().Unregister<IAuthService>();
  }
  TSessionGlobals(const TSessionGlobals&) = delete;
  TSessionGlobals& operator=(const TSessionGlobals&) = delete;

  TZELSession::TOptions Options() {
    TZELSession::TOptions options;
    options.MakeMQTTService = [m = MQTT] { return m; };
    return options;
  }

  std::shared_ptr<TSyncREST> REST = std::make_shared<TSyncREST>();
  std::shared_ptr<TRecordAuthService> Auth = std::make_shared<TRecordAuthService>();
  std::shared_ptr<TSessionMQTT> MQTT = std::make_shared<TSessionMQTT>();
};

}  // namespace ZEL::Test
