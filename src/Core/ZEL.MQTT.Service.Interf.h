#pragma once
// The MQTT service: broker settings, the connection, subscriptions and publishing.

#include "ZEL.Services.ContainerKind.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ZEL {

class IMQTTMessageDelegate;
class IMQTTConnectedDelegate;

class IZELMQTTService {
public:
  static constexpr std::string_view TypeName = "IZELMQTTService";
  static constexpr const char* IID = "{A09B9614-58A0-45FF-BBC9-30D6FCAB27F3}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::ZEL;

  virtual ~IZELMQTTService() = default;

  virtual void SetBrokerHost(const std::string& host) = 0;
  virtual std::string GetBrokerHost() = 0;
  virtual void SetBrokerPort(std::uint32_t port) = 0;
  virtual std::uint32_t GetBrokerPort() = 0;
  virtual void SetUserName(const std::string& Value) = 0;
  virtual std::string GetUserName() = 0;
  virtual void Setpassword(const std::string& Value) = 0;
  virtual std::string GetPassword() = 0;
  virtual void SetClientID(const std::string& Value) = 0;
  virtual std::string GetClientID() = 0;
  // The delegates stay owned by the service.
  virtual IMQTTMessageDelegate* GetOnMessageDelegate() = 0;
  virtual IMQTTConnectedDelegate* GetOnConnectionStateChange() = 0;
  virtual std::int32_t GetReconnectAttempts() = 0;
  virtual void Connect() = 0;
  virtual bool IsConnected() = 0;
  // An attempt has started and not ended yet (the last status was "connecting"); any thread.
  virtual bool IsConnecting() { return false; }
  virtual void Disconnect(bool ASimulateConnectionLost) = 0;
  virtual std::string LastErrorMessage() = 0;
  virtual void Subscribe(const std::string& ATopic) = 0;
  virtual void Unsubscribe(const std::string& ATopic) = 0;
  // False when the message did not go out (not connected, empty topic, the client refused it).
  virtual bool Publish(const std::string& ATopic, const std::string& AMessage) = 0;
};

}  // namespace ZEL
