#include "ZEL.MQTT.Service.h"

#include <QString>

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Utils.h"

namespace ZEL::MQTT::Service {

namespace {
const char* Env(const char* AName) {
  const char* v = std::getenv(AName);
  return v && *v ? v : nullptr;
}

long long EnvNumber(const char* AName, long long ADefault, long long AMin) {
  const char* v = Env(AName);
  if (!v) return ADefault;
  char* end = nullptr;
  const long long n = std::strtoll(v, &end, 10);
  return end && *end == '\0' && n >= AMin ? n : ADefault;
}
}  // namespace

std::string BrokerHost() {
  const char* v = Env("ZEL_MQTT_BROKER_HOST");
  return v ? v : MQTT_BROKER_HOST;
}

std::uint32_t BrokerPort() {
  return static_cast<std::uint32_t>(EnvNumber("ZEL_MQTT_BROKER_PORT", MQTT_BROKER_PORT, 1));
}

std::string CertsFolder() {
  const char* v = Env("ZEL_MQTT_CERTS_DIR");
  std::string dir = v ? v : Utils::AppCertsStoragePath();
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string CAFile() {
  const char* v = Env("ZEL_MQTT_CA_FILE");
  return v ? v : CertsFolder() + MQTT_SSL_CAFILE;
}

std::chrono::milliseconds ConnectTimeout() {
  return std::chrono::milliseconds(EnvNumber("ZEL_MQTT_CONNECT_TIMEOUT_MS", MQTT_CONNECT_TIMEOUT.count(), 1));
}

int KeepAliveSeconds() { return static_cast<int>(EnvNumber("ZEL_MQTT_KEEPALIVE_S", MQTT_KEEPALIVE_SECONDS, 5)); }

std::chrono::milliseconds KeeperWait() {
  return std::chrono::milliseconds(EnvNumber("ZEL_MQTT_KEEPER_WAIT_MS", MQTT_KEEPER_WAIT.count(), 0));
}

std::chrono::milliseconds KeeperRetryWait() {
  return std::chrono::milliseconds(EnvNumber("ZEL_MQTT_KEEPER_RETRY_MS", MQTT_KEEPER_RETRY_WAIT.count(), 0));
}

}  // namespace ZEL::MQTT::Service

namespace ZEL {

namespace {
using S = TMQTTConnectionStatus;
namespace Cfg = MQTT::Service;
constexpr std::string_view Tag = TZELMQTTService::LogTag;

ILogWriter& Log() { return LogsPipe::ZELLog(); }
const char* TrueFalse(bool AValue) { return AValue ? "True" : "False"; }

// True when AText is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view AText) {
  const auto* p = reinterpret_cast<const unsigned char*>(AText.data());
  const auto* end = p + AText.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (int i = 2; i <= more; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    p += more + 1;
  }
  return true;
}

bool FileExists(const std::string& APath) {
  std::error_code ec;
  return std::filesystem::is_regular_file(APath, ec);
}
}  // namespace

TZELMQTTService::TZELMQTTService() : TZELMQTTService(NewMQTTClient()) {}

TZELMQTTService::TZELMQTTService(std::unique_ptr<IMQTTClient> AClient) : FClient(std::move(AClient)) {
  FClient->SetLogLevel(HardConfig::DEFAULT_MQTT_CLIENT_LOGGING);
  FClient->SetTimings({Cfg::ConnectTimeout(), Cfg::KeepAliveSeconds()});

  const std::string folder = Cfg::CertsFolder();
  FSSLKeyFile = folder + HardConfig::MQTT_SSL_KEYFILE;
  FSSLCertFile = folder + HardConfig::MQTT_SSL_CERTFILE;
  Log().DebugFmt(Tag, "The SSL Key file = \"{}\"", FSSLKeyFile);
  Log().DebugFmt(Tag, "The SSL Cert file = \"{}\"", FSSLCertFile);

  IMQTTClient::TEvents events;
  if (FileExists(FSSLKeyFile) && FileExists(FSSLCertFile)) {
    Log().Info(Tag, "OnSSLIOHandlerConfiguration attached.");
    events.OnSSLIOHandlerConfiguration = [this](TMQTTTLSOptions& AOptions) { ClientOnSSLIOHandlerConfiguration(AOptions); };
  } else {
    Log().FatalFmt(Tag, "The SSL Key file {} or SSL Cert file {} not exist!", FSSLKeyFile, FSSLCertFile);
  }
  const std::string caFile = Cfg::CAFile();
  if (FileExists(caFile)) {
    FCAFile = caFile;
    Log().InfoFmt(Tag, "The broker's certificate is verified against \"{}\".", FCAFile);
  } else {
    Log().InfoFmt(Tag, "The broker's certificate is verified against the system's trust store: no CA file \"{}\".", caFile);
  }
  if (!events.OnSSLIOHandlerConfiguration && !FCAFile.empty())
    events.OnSSLIOHandlerConfiguration = [this](TMQTTTLSOptions& AOptions) { AOptions.CAFile = FCAFile; };

  events.OnConnectedStatusChanged = [this](bool AConnected, S AStatus) { ClientOnConnectStatusChange(AConnected, AStatus); };
  events.OnPublishReceived = [this](int AId, const std::string& ATopic, const std::string& APayload) {
    ClientOnPublishReceived(AId, ATopic, APayload);
  };
  events.OnSubscriptionAcknowledged = [this](int AId, const std::vector<TMQTTSubscriptionAck>& AAcks) {
    ClientOnTopicSubscribed(AId, AAcks);
  };
  events.OnUnSubscribeAcknowledged = [this](int AId, const std::vector<int>& ACodes) { ClientOnTopicUnsubscribed(AId, ACodes); };
  events.OnPingTimeout = [this] { OnPingTimeout(); };
  events.OnLog = [this](HardConfig::TMQTTLogLevel ALevel, const std::string& AMessage) { OnMQTTLog(ALevel, AMessage); };
  FClient->SetEvents(std::move(events));

  FClient->SetBrokerHost(Cfg::BrokerHost());
  FClient->SetBrokerPort(Cfg::BrokerPort());
  FClient->SetUserName("");
  FClient->SetPassword("");
}

TZELMQTTService::~TZELMQTTService() {
  // The keeper first: its worker may be about to call Connect.
  ReleaseKeeper();
  Disconnect(false);
  FClient->Shutdown();
}

void TZELMQTTService::ReleaseKeeper() {
  if (FTasks) FTasks->Stop();
  FTasks.reset();  // waits for the worker, whose waits end at once
  FReconnectTask.reset();
}

void TZELMQTTService::SetBrokerHost(const std::string& host) { FClient->SetBrokerHost(host); }
std::string TZELMQTTService::GetBrokerHost() { return FClient->BrokerHost(); }
void TZELMQTTService::SetBrokerPort(std::uint32_t port) { FClient->SetBrokerPort(port); }
std::uint32_t TZELMQTTService::GetBrokerPort() { return FClient->BrokerPort(); }
void TZELMQTTService::SetUserName(const std::string& Value) { FClient->SetUserName(Value); }
std::string TZELMQTTService::GetUserName() { return FClient->UserName(); }
void TZELMQTTService::Setpassword(const std::string& Value) { FClient->SetPassword(Value); }
std::string TZELMQTTService::GetPassword() { return FClient->Password(); }

void TZELMQTTService::SetClientID(const std::string& Value) {
  FClient->SetClientID(Value);
  Log().Debug(Tag, "SetClientID. ClientID is \"" + Value + "\"");
}

std::string TZELMQTTService::GetClientID() { return FClient->ClientID(); }
IMQTTMessageDelegate* TZELMQTTService::GetOnMessageDelegate() { return &FOnMessage; }
IMQTTConnectedDelegate* TZELMQTTService::GetOnConnectionStateChange() { return &FOnConnectionStateChange; }
std::int32_t TZELMQTTService::GetReconnectAttempts() { return FRetryCount.load(); }

void TZELMQTTService::Connect() {
  Log().Info(Tag, "Attempt to connect....");
  if (FConnecting.load()) {
    Log().Warn(Tag, "Connect attempt already in progress.");
    return;
  }
  // Only started here: "Connected to broker." follows when the broker has accepted us.
  Log().InfoFmt(Tag, "Connecting to broker {}:{}...", FClient->BrokerHost(), FClient->BrokerPort());
  FClient->Connect(true);
}

bool TZELMQTTService::IsConnected() { return FClient->IsConnected(); }

void TZELMQTTService::Disconnect(bool ASimulateConnectionLost) {
  Log().Info(Tag, "Disconnect. Attempt to disconnect....");
  try {
    if (FClient->IsConnected()) {
      for (const std::string& topic : FClient->SessionSubscriptions()) FClient->Unsubscribe(topic);
      FIsManualDisconnect.store(!ASimulateConnectionLost);
      FClient->Disconnect();
    }
  } catch (...) {
    // The closing entry below is written whatever happened.
  }
  Log().Warn(Tag, "Disconnect. Disconnected from broker.");
}

std::string TZELMQTTService::LastErrorMessage() {
  std::string text = FClient->LastConnectionError();
  Log().Warn(Tag, "LastErrorMessage: " + text);
  return text;
}

void TZELMQTTService::Subscribe(const std::string& ATopic) {
  if (!IsConnected() || ATopic.empty()) return;
  if (MQTT::Client::HasWildcard(ATopic)) {
    Log().ErrorFmt(Tag, "Subscribe. Topic \"{}\" holds a wildcard and is refused.", ATopic);
    return;
  }
  const int id = FClient->Subscribe(ATopic);
  if (id < 0) {
    Log().ErrorFmt(Tag, "Subscribe. Subscribe to \"{}\" failed.", ATopic);
    return;
  }
  Log().Debug(Tag, "Subscribe. Subscribe to \"" + ATopic + "\"... PackedId: " + std::to_string(id));
}

void TZELMQTTService::Unsubscribe(const std::string& ATopic) {
  if (!IsConnected() || ATopic.empty()) return;
  const int id = FClient->Unsubscribe(ATopic);
  Log().Debug(Tag, "Unsubscribe. Unsubscribing from \"" + ATopic + "\"... PackedId: " + std::to_string(id));
  std::lock_guard<std::mutex> guard(FSubsLock);
  std::erase(FSubs, ATopic);
}

bool TZELMQTTService::Publish(const std::string& ATopic, const std::string& AMessage) {
  Log().DebugFmt(Tag, "Publish. Topic = \"{}\" Messsage = \"{}\"", ATopic, AMessage);
  if (ATopic.empty() || MQTT::Client::HasWildcard(ATopic)) {
    Log().ErrorFmt(Tag, "Publish. Topic \"{}\" is not a valid topic name.", ATopic);
    return false;
  }
  if (!IsConnected()) {
    Log().Error(Tag, "Publish. MQTT is not connected!");
    return false;
  }
  if (!FClient->Publish(ATopic, AMessage)) {
    Log().ErrorFmt(Tag, "Publish. The message to \"{}\" was not sent.", ATopic);
    return false;
  }
  return true;
}

std::vector<std::string> TZELMQTTService::AcceptedTopics() const {
  std::lock_guard<std::mutex> guard(FSubsLock);
  return FSubs;
}

bool TZELMQTTService::KeeperRunning() const { return FTasks && FTasks->IsStarted(); }

void TZELMQTTService::ClientOnConnectStatusChange(bool AConnected, TMQTTConnectionStatus AStatus) {
  const int status = static_cast<int>(AStatus);
  Log().InfoFmt(Tag, "OnConnectStatusChange. Connected: {} Status: \"{}\" Status text: \"{}\"", TrueFalse(AConnected),
                MQTT::Client::StatusName(AStatus), MQTT::Client::StatusText(AStatus));
  // Set before the handlers run: they tell an attempt that starts from one that failed.
  FConnecting.store(AStatus == S::csConnecting);
  try {
    FOnConnectionStateChange.MQTTStatusChange(AConnected);
  } catch (...) {
    const auto caught = Exceptions::DescribeCurrent();
    Log().FatalFmt(Tag, "OnConnectStatusChange. Handler exception: {}: {}", caught.ClassName, caught.Message);
  }

  if (status == 0) {
    Log().Warn(Tag, "MQTT Client disconnected.");
  } else if (status >= 1 && status <= 5) {
    // Says what happened and who refused: the broker, or this client refusing the broker.
    Log().Error(Tag, "OnConnectStatusChange. MQTT Client connection failed: " + FClient->LastConnectionError());
  } else if (AStatus == S::csConnectionLost) {
    Log().Warn(Tag, "OnConnectStatusChange. MQTT Client connection with the broker is lost.");
  } else if (AStatus == S::csConnecting) {
    Log().Warn(Tag, "OnConnectStatusChange. MQTT Client connecting to broker...");
  } else if (AStatus == S::csReconnecting) {
    Log().Info(Tag, "OnConnectStatusChange. MQTT Client is trying to reconnect to the broker ...");
  } else if (AStatus == S::csConnected) {
    FRetryCount.store(1);
    Log().Info(Tag, "Connected to broker.");
    Log().Warn(Tag, "OnConnectStatusChange. MQTT Client is connected to broker.");
    if (!FIsManualDisconnect.load()) {
      const std::vector<std::string> topics = AcceptedTopics();
      Log().WarnFmt(Tag, "OnConnectStatusChange. Topics to recover subscription: {}", topics.size());
      for (const std::string& topic : topics) Subscribe(topic);
    }
    FIsManualDisconnect.store(false);
  } else if (AStatus == S::csDisconnecting) {
    Log().Warn(Tag, "OnConnectStatusChange. MQTT Client disconnecting from the broker...");
  }

  if (!AConnected && ((status >= 1 && status <= 5) || AStatus == S::csConnectionLost)) {
    const bool manual = FIsManualDisconnect.load();
    Log().WarnFmt(Tag, "MQTT Client requesting reconnect (Manual disconnect: {})...", TrueFalse(manual));
    if (manual) {
      Log().Warn(Tag, "MQTT Client disconnected by user/direct disconnect call. Reconnect request aborted.");
    } else {
      Log().Warn(Tag, "MQTT Client disconnected by user (debugging) or network error. Reconnect is requested.");
      RequestReconnect();
    }
  }
}

void TZELMQTTService::OnPingTimeout() {
  Log().Warn(Tag, "OnPingTimeout. MQTT Ping timeout happened.");
  RequestReconnect();
}

void TZELMQTTService::ClientOnPublishReceived(int APacketID, const std::string& ATopic, const std::string& APayload) {
  // The payload may be anything; only the log line needs valid text, and only its start.
  // Text that is valid already (nearly every payload) goes as it is.
  std::string text = LogsPipe::Shortened(APayload);
  if (!IsValidUtf8(text))
    text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
  Log().DebugFmt(Tag, "ClientOnPublishReceived. PackedId: {} Topic: \"{}\"  Payload: {}", APacketID, ATopic, text);
  try {
    FOnMessage.MQTTMessageReceived(this, ATopic, APayload);
  } catch (...) {
    const auto caught = Exceptions::DescribeCurrent();
    Log().FatalFmt(Tag, "ClientOnPublishReceived. Handler exception: {}: {}", caught.ClassName, caught.Message);
  }
}

void TZELMQTTService::ClientOnTopicSubscribed(int APacketID, const std::vector<TMQTTSubscriptionAck>& AAcks) {
  std::string report;
  {
    std::lock_guard<std::mutex> guard(FSubsLock);
    for (const TMQTTSubscriptionAck& ack : AAcks) {
      if (ack.Accepted && ack.ReasonCode == 0 && std::find(FSubs.begin(), FSubs.end(), ack.Topic) == FSubs.end())
        FSubs.push_back(ack.Topic);
      report += fmt::format("Topic: \"{}\" Accepted: {} QoS: \"{}\" Reason({}): \"{}\"\r\n", ack.Topic,
                            TrueFalse(ack.Accepted), MQTT::Client::QoSText(ack.GrantedQoS), ack.ReasonCode,
                            MQTT::Client::ReasonCodeText(ack.ReasonCode));
    }
  }
  Log().InfoFmt(Tag, "Subscribed to topic(s). PackedId: {} Reasson:\r\n{}", APacketID, report);
}

void TZELMQTTService::ClientOnTopicUnsubscribed(int APacketID, const std::vector<int>& AReasonCodes) {
  std::string report;
  for (std::size_t i = 0; i < AReasonCodes.size(); ++i)
    report += fmt::format("#{} Reason Code ({}): {}\r\n", i, AReasonCodes[i], MQTT::Client::ReasonCodeText(AReasonCodes[i]));
  Log().InfoFmt(Tag, "Unsubscribed from topic(s). PackedId: {} Reasson:\r\n{}", APacketID, report);
}

void TZELMQTTService::ClientOnSSLIOHandlerConfiguration(TMQTTTLSOptions& AOptions) {
  AOptions.CertFile = FSSLCertFile;
  AOptions.KeyFile = FSSLKeyFile;
  AOptions.CAFile = FCAFile;
}

void TZELMQTTService::OnMQTTLog(HardConfig::TMQTTLogLevel ALevel, const std::string& AMessage) {
  using L = HardConfig::TMQTTLogLevel;
  const std::string text = "[MQTT client] " + AMessage;
  switch (ALevel) {
    case L::vFATAL: Log().Fatal(Tag, text); break;
    case L::vERROR: Log().Error(Tag, text); break;
    case L::vWARNING: Log().Warn(Tag, text); break;
    case L::vINFO: Log().Info(Tag, text); break;
    default: Log().Debug(Tag, text); break;
  }
}

}  // namespace ZEL
