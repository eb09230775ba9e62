#pragma once
// The broker client under the MQTT service: connection statuses, events and the client
// itself on libmosquitto (MQTT 5, TLS with a context of our own). One network thread of
// ours runs the library's loop; every event is handed to the UI thread in order.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZEL.App.HardConfig.h"

namespace ZEL {

enum class TMQTTConnectionStatus : int {
  csNotConnected = 0,
  csConnectionRejected_InvalidProtocolVersion,
  csConnectionRejected_InvalidIdentifier,
  csConnectionRejected_ServerUnavailable,
  csConnectionRejected_InvalidCredentials,
  csConnectionRejected_ClientNotAuthorized,
  csConnectionRejected_UnspecifiedError,
  csConnectionRejected_MalformedPacket,
  csConnectionRejected_ProtocolError,
  csConnectionRejected_ImplementationSpecificError,
  csConnectionRejected_ServerBusy,
  csConnectionRejected_Banned,
  csConnectionRejected_BadAuthenticationMethod,
  csConnectionRejected_TopicNameInvalid,
  csConnectionRejected_PacketTooLarge,
  csConnectionRejected_QuotaExceeded,
  csConnectionRejected_PayloadFormatInvalid,
  csConnectionRejected_RetainNotSupported,
  csConnectionRejected_QoSNotSupported,
  csConnectionRejected_UseAnotherServer,
  csConnectionRejected_ServerMoved,
  csConnectionRejected_ConnectionRateExceeded,
  csConnectionLost,
  csAuthenticating,
  csConnecting,
  csReconnecting,
  csConnected,
  csDisconnecting,
};
inline constexpr int MQTTConnectionStatusCount = 28;

namespace MQTT::Client {
// The largest packet the broker may send us (the CONNECT's Maximum Packet Size); a larger
// publication is not delivered.
inline constexpr std::size_t MaxIncomingPacketSize = 8 * 1024 * 1024;
// "csConnected"; "" outside the table.
std::string_view StatusName(TMQTTConnectionStatus AStatus);
// A readable text for the status, for log lines.
std::string_view StatusText(TMQTTConnectionStatus AStatus);
// The status of a CONNACK reason (MQTT 3 return codes 1 to 5, MQTT 5 reason codes >= 0x80).
TMQTTConnectionStatus StatusOfConnAck(int AReasonCode);
// Texts of an MQTT 5 reason code and of a granted QoS, for log lines.
std::string ReasonCodeText(int AReasonCode);
std::string QoSText(int AQoS);
// True when the topic holds an MQTT wildcard ('+' or '#'), which we neither send nor subscribe.
bool HasWildcard(std::string_view ATopic);
}  // namespace MQTT::Client

// One entry of a subscription acknowledgement.
struct TMQTTSubscriptionAck {
  std::string Topic;
  bool Accepted = false;
  int GrantedQoS = 0;
  int ReasonCode = 0;
};

// What the TLS layer is given before a connection is opened.
struct TMQTTTLSOptions {
  std::string CertFile;  // PEM client certificate (may hold its chain)
  std::string KeyFile;   // PEM private key
  std::string CAFile;    // empty: the broker is verified against the system's trust store
};

// Timings of the client; the service fills them from the ZEL_* variables.
struct TMQTTClientTimings {
  std::chrono::milliseconds ConnectTimeout{10000};
  int KeepAliveSeconds = 60;
};

class IMQTTClient {
public:
  // All events arrive on the UI thread, in the order they happened, except none.
  struct TEvents {
    std::function<void(bool AConnected, TMQTTConnectionStatus AStatus)> OnConnectedStatusChanged;
    std::function<void(int APacketID, const std::string& ATopic, const std::string& APayload)> OnPublishReceived;
    std::function<void(int APacketID, const std::vector<TMQTTSubscriptionAck>& AAcks)> OnSubscriptionAcknowledged;
    std::function<void(int APacketID, const std::vector<int>& AReasonCodes)> OnUnSubscribeAcknowledged;
    std::function<void()> OnPingTimeout;
    // Asked before each connection attempt; no handler means no client certificate.
    std::function<void(TMQTTTLSOptions& AOptions)> OnSSLIOHandlerConfiguration;
    std::function<void(HardConfig::TMQTTLogLevel ALevel, const std::string& AMessage)> OnLog;
  };

  virtual ~IMQTTClient() = default;

  // Before the first Connect.
  virtual void SetEvents(TEvents AEvents) = 0;
  virtual void SetTimings(TMQTTClientTimings ATimings) = 0;
  virtual void SetLogLevel(HardConfig::TMQTTLogLevel ALevel) = 0;

  virtual void SetBrokerHost(const std::string& AHost) = 0;
  virtual std::string BrokerHost() const = 0;
  virtual void SetBrokerPort(std::uint32_t APort) = 0;
  virtual std::uint32_t BrokerPort() const = 0;
  virtual void SetClientID(const std::string& AValue) = 0;
  virtual std::string ClientID() const = 0;
  virtual void SetUserName(const std::string& AValue) = 0;
  virtual std::string UserName() const = 0;
  virtual void SetPassword(const std::string& AValue) = 0;
  virtual std::string Password() const = 0;

  // Starts an attempt and returns: the connecting status first, the outcome later. Nothing
  // when an attempt runs or a connection is open.
  virtual void Connect(bool ACleanSession) = 0;
  // Closes an open connection (or ends an attempt): disconnecting, then the lost status.
  virtual void Disconnect() = 0;
  virtual bool IsConnected() const = 0;
  virtual std::string LastConnectionError() const = 0;
  // Topics subscribed in this session (asked for or acknowledged), in order.
  virtual std::vector<std::string> SessionSubscriptions() const = 0;
  // Packet id, or -1 when nothing was sent.
  virtual int Subscribe(const std::string& ATopic) = 0;
  virtual int Unsubscribe(const std::string& ATopic) = 0;
  // QoS 0, no retain; false when it did not go out.
  virtual bool Publish(const std::string& ATopic, const std::string& APayload) = 0;

  // Ends the network thread; no event is delivered once it has returned (on the UI thread).
  virtual void Shutdown() = 0;
};

// The client on libmosquitto.
std::unique_ptr<IMQTTClient> NewMQTTClient();

}  // namespace ZEL
