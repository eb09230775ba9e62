#include "ZEL.MQTT.Client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <csignal>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "ZEL.ExceptionReporter.h"
#include "ZEL.UIThread.h"

namespace ZEL {

namespace MQTT::Client {

namespace {
constexpr std::array<std::string_view, MQTTConnectionStatusCount> Names = {
    "csNotConnected",
    "csConnectionRejected_InvalidProtocolVersion",
    "csConnectionRejected_InvalidIdentifier",
    "csConnectionRejected_ServerUnavailable",
    "csConnectionRejected_InvalidCredentials",
    "csConnectionRejected_ClientNotAuthorized",
    "csConnectionRejected_UnspecifiedError",
    "csConnectionRejected_MalformedPacket",
    "csConnectionRejected_ProtocolError",
    "csConnectionRejected_ImplementationSpecificError",
    "csConnectionRejected_ServerBusy",
    "csConnectionRejected_Banned",
    "csConnectionRejected_BadAuthenticationMethod",
    "csConnectionRejected_TopicNameInvalid",
    "csConnectionRejected_PacketTooLarge",
    "csConnectionRejected_QuotaExceeded",
    "csConnectionRejected_PayloadFormatInvalid",
    "csConnectionRejected_RetainNotSupported",
    "csConnectionRejected_QoSNotSupported",
    "csConnectionRejected_UseAnotherServer",
    "csConnectionRejected_ServerMoved",
    "csConnectionRejected_ConnectionRateExceeded",
    "csConnectionLost",
    "csAuthenticating",
    "csConnecting",
    "csReconnecting",
    "csConnected",
    "csDisconnecting",
};

constexpr std::array<std::string_view, MQTTConnectionStatusCount> Texts = {
    "Not connected",
    "Connection rejected: invalid protocol version",
    "Connection rejected: invalid identifier",
    "Connection rejected: server unavailable",
    "Connection rejected: invalid credentials",
    "Connection rejected: client not authorized",
    "Connection rejected: unspecified error",
    "Connection rejected: malformed packet",
    "Connection rejected: protocol error",
    "Connection rejected: implementation specific error",
    "Connection rejected: server busy",
    "Connection rejected: banned",
    "Connection rejected: bad authentication method",
    "Connection rejected: topic name invalid",
    "Connection rejected: packet too large",
    "Connection rejected: quota exceeded",
    "Connection rejected: payload format invalid",
    "Connection rejected: retain not supported",
    "Connection rejected: QoS not supported",
    "Connection rejected: use another server",
    "Connection rejected: server moved",
    "Connection rejected: connection rate exceeded",
    "Connection lost",
    "Authenticating",
    "Connecting",
    "Reconnecting",
    "Connected",
    "Disconnecting",
};
}  // namespace

std::string_view StatusName(TMQTTConnectionStatus AStatus) {
  const int i = static_cast<int>(AStatus);
  return i >= 0 && i < MQTTConnectionStatusCount ? Names[static_cast<std::size_t>(i)] : std::string_view{};
}

std::string_view StatusText(TMQTTConnectionStatus AStatus) {
  const int i = static_cast<int>(AStatus);
  return i >= 0 && i < MQTTConnectionStatusCount ? Texts[static_cast<std::size_t>(i)] : std::string_view{};
}

TMQTTConnectionStatus StatusOfConnAck(int AReasonCode) {
  using S = TMQTTConnectionStatus;
  switch (AReasonCode) {
    case 1: case 0x84: return S::csConnectionRejected_InvalidProtocolVersion;
    case 2: case 0x85: return S::csConnectionRejected_InvalidIdentifier;
    case 3: case 0x88: return S::csConnectionRejected_ServerUnavailable;
    case 4: case 0x86: return S::csConnectionRejected_InvalidCredentials;
    case 5: case 0x87: return S::csConnectionRejected_ClientNotAuthorized;
    case 0x81: return S::csConnectionRejected_MalformedPacket;
    case 0x82: return S::csConnectionRejected_ProtocolError;
    case 0x83: return S::csConnectionRejected_ImplementationSpecificError;
    case 0x89: return S::csConnectionRejected_ServerBusy;
    case 0x8A: return S::csConnectionRejected_Banned;
    case 0x8C: return S::csConnectionRejected_BadAuthenticationMethod;
    case 0x90: return S::csConnectionRejected_TopicNameInvalid;
    case 0x95: return S::csConnectionRejected_PacketTooLarge;
    case 0x97: return S::csConnectionRejected_QuotaExceeded;
    case 0x99: return S::csConnectionRejected_PayloadFormatInvalid;
    case 0x9A: return S::csConnectionRejected_RetainNotSupported;
    case 0x9B: return S::csConnectionRejected_QoSNotSupported;
    case 0x9C: return S::csConnectionRejected_UseAnotherServer;
    case 0x9D: return S::csConnectionRejected_ServerMoved;
    case 0x9F: return S::csConnectionRejected_ConnectionRateExceeded;
    default: return S::csConnectionRejected_UnspecifiedError;
  }
}

std::string ReasonCodeText(int AReasonCode) {
  if (AReasonCode >= 0 && AReasonCode <= 2) return fmt::format("Granted QoS {}", AReasonCode);
  return mosquitto_reason_string(AReasonCode);
}

std::string QoSText(int AQoS) {
  switch (AQoS) {
    case 0: return "At most once";
    case 1: return "At least once";
    case 2: return "Exactly once";
    default: return "Unknown";
  }
}

bool HasWildcard(std::string_view ATopic) {
  return ATopic.find_first_of("+#") != std::string_view::npos;
}

}  // namespace MQTT::Client

namespace {

using S = TMQTTConnectionStatus;
using TClock = std::chrono::steady_clock;

// At most this many events, and payloads of this many bytes, wait for the UI thread; the
// network thread then waits itself, so a flood cannot eat the memory.
constexpr std::size_t MaxEventsInFlight = 2000;
constexpr std::size_t MaxBytesInFlight = 32 * 1024 * 1024;

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // OpenSSL writes on sockets that the broker has closed.
    std::signal(SIGPIPE, SIG_IGN);
    mosquitto_lib_init();
  });
}

std::string OpenSSLError(std::string_view AWhat) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return std::string(AWhat);
  char buf[256];
  ERR_error_string_n(code, buf, sizeof buf);
  return fmt::format("{}: {}", AWhat, buf);
}

bool IsIPAddress(const std::string& AHost) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, AHost.c_str(), buf) == 1 || inet_pton(AF_INET6, AHost.c_str(), buf) == 1;
}

// Why the broker's certificate chain was refused, for the log line of the refusal; written by
// the verify callback, on the network thread, inside the handshake.
struct TVerifyNote {
  std::string Reason;  // why we refused the broker's certificate
  int Alert = -1;      // a fatal TLS alert the broker sent during the handshake
};

// The broker's fatal alert of the handshake, kept for the refusal's text.
void OnTLSInfo(const SSL* ASsl, int AWhere, int ARet) {
  if (!(AWhere & SSL_CB_READ_ALERT) || (ARet >> 8) != SSL3_AL_FATAL) return;
  auto* note = static_cast<TVerifyNote*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ASsl)));
  if (note && note->Alert < 0) note->Alert = ARet & 0xFF;
}

// Alerts by which a broker turns down the certificate we presented (or its absence).
bool IsCertificateAlert(int AAlert) {
  switch (AAlert) {
    case SSL3_AD_BAD_CERTIFICATE: case SSL3_AD_UNSUPPORTED_CERTIFICATE: case SSL3_AD_CERTIFICATE_REVOKED:
    case SSL3_AD_CERTIFICATE_EXPIRED: case SSL3_AD_CERTIFICATE_UNKNOWN: case TLS1_AD_UNKNOWN_CA:
    case TLS13_AD_CERTIFICATE_REQUIRED:
      return true;
    default:
      return false;
  }
}

int OnVerify(int APreverifyOk, X509_STORE_CTX* AStore) {
  if (APreverifyOk == 1) return 1;
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(AStore, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* note = ssl ? static_cast<TVerifyNote*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl))) : nullptr;
  if (note && note->Reason.empty()) {
    const int err = X509_STORE_CTX_get_error(AStore);
    note->Reason = fmt::format("{} (error {} at depth {})", X509_verify_cert_error_string(err), err,
                               X509_STORE_CTX_get_error_depth(AStore));
  }
  return 0;
}

// The TLS context of one attempt; null and AError on failure. The broker is always verified:
// its chain against the CA file, or the system's trust store without one, and its name (or
// address) against the host the client connects to. TLS 1.2 and 1.3 only.
SSL_CTX* NewTLSContext(const TMQTTTLSOptions& AOptions, const std::string& AHost, TVerifyNote* ANote,
                       std::string& AError) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) {
    AError = OpenSSLError("SSL_CTX_new");
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, 0);  // the newest the library knows
  auto fail = [&](std::string_view AWhat) {
    AError = OpenSSLError(AWhat);
    SSL_CTX_free(ctx);
    return nullptr;
  };
  if (!AOptions.CertFile.empty() || !AOptions.KeyFile.empty()) {
    if (SSL_CTX_use_certificate_chain_file(ctx, AOptions.CertFile.c_str()) != 1)
      return fail("Cannot load the client certificate");
    if (SSL_CTX_use_PrivateKey_file(ctx, AOptions.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      return fail("Cannot load the client key");
    if (SSL_CTX_check_private_key(ctx) != 1) return fail("The client key does not match its certificate");
  }
  if (!AOptions.CAFile.empty()) {
    if (SSL_CTX_load_verify_locations(ctx, AOptions.CAFile.c_str(), nullptr) != 1)
      return fail("Cannot load the CA file");
  } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
    return fail("Cannot load the system's trust store");
  }
  X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
  const int ok = IsIPAddress(AHost) ? X509_VERIFY_PARAM_set1_ip_asc(param, AHost.c_str())
                                    : X509_VERIFY_PARAM_set1_host(param, AHost.c_str(), 0);
  if (ok != 1) return fail("Cannot set the broker's name for verification");
  SSL_CTX_set_app_data(ctx, ANote);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &OnVerify);
  SSL_CTX_set_info_callback(ctx, &OnTLSInfo);
  return ctx;
}

HardConfig::TMQTTLogLevel LevelOfMosquitto(int ALevel) {
  using L = HardConfig::TMQTTLogLevel;
  if (ALevel & MOSQ_LOG_ERR) return L::vERROR;
  if (ALevel & MOSQ_LOG_WARNING) return L::vWARNING;
  if (ALevel & (MOSQ_LOG_NOTICE | MOSQ_LOG_INFO)) return L::vINFO;
  return L::vDEBUG;
}

class TMQTTClient final : public IMQTTClient {
public:
  TMQTTClient() {
    InitOnce();
    FThread = std::thread([this] { NetworkThread(); });
  }

  ~TMQTTClient() override { Shutdown(); }

  void SetEvents(TEvents AEvents) override {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    FEvents = std::make_shared<const TEvents>(std::move(AEvents));
  }
  void SetTimings(TMQTTClientTimings ATimings) override {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    FTimings = ATimings;
  }
  void SetLogLevel(HardConfig::TMQTTLogLevel ALevel) override { FLogLevel.store(ALevel); }

  void SetBrokerHost(const std::string& AHost) override { Set(FHost, AHost); }
  std::string BrokerHost() const override { return Get(FHost); }
  void SetBrokerPort(std::uint32_t APort) override { FPort.store(APort); }
  std::uint32_t BrokerPort() const override { return FPort.load(); }
  void SetClientID(const std::string& AValue) override { Set(FClientID, AValue); }
  std::string ClientID() const override { return Get(FClientID); }
  void SetUserName(const std::string& AValue) override { Set(FUserName, AValue); }
  std::string UserName() const override { return Get(FUserName); }
  void SetPassword(const std::string& AValue) override { Set(FPassword, AValue); }
  std::string Password() const override { return Get(FPassword); }

  void Connect(bool ACleanSession) override {
    {
      std::lock_guard<std::mutex> guard(FStateLock);
      if (FState != TState::Idle || FStopping.load()) return;
      FState = TState::Connecting;
      FCleanSession = ACleanSession;
      Post([](const TEvents& E) { if (E.OnConnectedStatusChanged) E.OnConnectedStatusChanged(false, S::csConnecting); });
    }
    Command([this] { FPendingConnect = true; });
  }

  void Disconnect() override {
    {
      std::lock_guard<std::mutex> guard(FStateLock);
      if (FState != TState::Connecting && FState != TState::Connected) return;
      const bool wasConnected = FState == TState::Connected;
      FState = TState::Disconnecting;
      FConnected.store(false);
      Post([wasConnected](const TEvents& E) {
        if (E.OnConnectedStatusChanged) E.OnConnectedStatusChanged(wasConnected, S::csDisconnecting);
      });
    }
    Command([this] { FPendingDisconnect = true; });
  }

  bool IsConnected() const override { return FConnected.load(); }

  std::string LastConnectionError() const override { return Get(FLastError); }

  std::vector<std::string> SessionSubscriptions() const override {
    std::lock_guard<std::mutex> guard(FMosqLock);
    return FSession;
  }

  int Subscribe(const std::string& ATopic) override {
    std::lock_guard<std::mutex> guard(FMosqLock);
    if (!FMosq || !FConnected.load()) return -1;
    int mid = 0;
    // QoS 0; retained messages are sent at each subscription (option bits 0).
    if (mosquitto_subscribe_v5(FMosq, &mid, ATopic.c_str(), 0, 0, nullptr) != MOSQ_ERR_SUCCESS) return -1;
    FPendingSubs[mid] = {ATopic};
    if (std::find(FSession.begin(), FSession.end(), ATopic) == FSession.end()) FSession.push_back(ATopic);
    return mid;
  }

  int Unsubscribe(const std::string& ATopic) override {
    std::lock_guard<std::mutex> guard(FMosqLock);
    if (!FMosq || !FConnected.load()) return -1;
    int mid = 0;
    if (mosquitto_unsubscribe_v5(FMosq, &mid, ATopic.c_str(), nullptr) != MOSQ_ERR_SUCCESS) return -1;
    FPendingUnsubs[mid] = 1;
    std::erase(FSession, ATopic);
    return mid;
  }

  bool Publish(const std::string& ATopic, const std::string& APayload) override {
    std::lock_guard<std::mutex> guard(FMosqLock);
    if (!FMosq || !FConnected.load()) return false;
    return mosquitto_publish_v5(FMosq, nullptr, ATopic.c_str(), static_cast<int>(APayload.size()),
                                APayload.data(), 0, false, nullptr) == MOSQ_ERR_SUCCESS;
  }

  void Shutdown() override {
    std::deque<TPending> dropped;  // freed outside the lock
    {
      std::lock_guard<std::mutex> guard(FDelivery->Lock);
      FDelivery->Alive = false;
      dropped.swap(FDelivery->Queue);
      FDelivery->QueuedBytes = 0;
    }
    FDelivery->CV.notify_all();
    Command([this] { FStopping.store(true); });
    if (FThread.joinable()) {
      if (FThread.get_id() == std::this_thread::get_id())
        FThread.detach();
      else
        FThread.join();
    }
  }

private:
  enum class TState { Idle, Connecting, Connected, Disconnecting };
  using TEventsPtr = std::shared_ptr<const TEvents>;

  // The events on their way to the UI thread, in order. Shared with the drain queued there,
  // which may outlive the client.
  struct TPending {
    std::function<void(const TEvents&)> Work;
    TEventsPtr Events;
    std::size_t Bytes = 0;
  };
  struct TDelivery {
    std::mutex Lock;
    std::condition_variable CV;
    bool Alive = true;
    std::deque<TPending> Queue;
    std::size_t QueuedBytes = 0;
    bool DrainQueued = false;  // a drain is queued on the UI thread and has not started yet
    int Waiting = 0;           // network threads waiting for room
  };

  void Set(std::string& AField, const std::string& AValue) {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    AField = AValue;
  }
  std::string Get(const std::string& AField) const {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    return AField;
  }
  TEventsPtr Events() const {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    return FEvents;
  }

  void Command(const std::function<void()>& ASet) {
    {
      std::lock_guard<std::mutex> guard(FCmdLock);
      ASet();
    }
    FCmdCV.notify_all();
  }

  // The network thread waits for room before it queues; nobody else ever waits here, so the
  // UI thread and the keeper's worker never block on the UI thread.
  void Reserve(std::size_t ABytes = 0) {
    std::unique_lock<std::mutex> lock(FDelivery->Lock);
    ++FDelivery->Waiting;
    FDelivery->CV.wait(lock, [this, ABytes] {
      // One payload larger than the bound still goes, alone.
      const bool roomForBytes = FDelivery->QueuedBytes == 0 || FDelivery->QueuedBytes + ABytes <= MaxBytesInFlight;
      return (FDelivery->Queue.size() < MaxEventsInFlight && roomForBytes) || !FDelivery->Alive;
    });
    --FDelivery->Waiting;
  }

  // Queues one event for the UI thread; it is dropped once the client is shut down. Events
  // go over in batches: one drain on the UI thread takes every event queued meanwhile, so a
  // flood of publications costs the UI thread one wake-up per batch, not one per message.
  void Post(std::function<void(const TEvents&)> AWork, std::size_t ABytes = 0) {
    const std::shared_ptr<TDelivery> delivery = FDelivery;
    TEventsPtr events = Events();
    {
      std::lock_guard<std::mutex> guard(delivery->Lock);
      if (!delivery->Alive) return;
      delivery->Queue.push_back({std::move(AWork), std::move(events), ABytes});
      delivery->QueuedBytes += ABytes;
      if (delivery->DrainQueued) return;
      delivery->DrainQueued = true;
    }
    UIThread::RunAsync([delivery] { Drain(delivery); });
  }

  // UI thread. Runs the events queued when it starts, one by one and in order; what comes
  // later waits for the next drain, so other UI work gets its turn in a flood. Each event
  // leaves the queue before it runs, and while events remain a next drain is queued (one
  // per batch): a handler that spins a nested event loop lets that drain go on with the
  // events after it.
  static void Drain(const std::shared_ptr<TDelivery>& ADelivery) {
    std::size_t budget = 0;
    {
      std::lock_guard<std::mutex> guard(ADelivery->Lock);
      ADelivery->DrainQueued = false;
      budget = ADelivery->Queue.size();
    }
    for (; budget > 0; --budget) {
      TPending next;
      bool wake = false, queueNext = false;
      {
        std::lock_guard<std::mutex> guard(ADelivery->Lock);
        if (!ADelivery->Alive || ADelivery->Queue.empty()) return;
        next = std::move(ADelivery->Queue.front());
        ADelivery->Queue.pop_front();
        ADelivery->QueuedBytes -= next.Bytes;
        wake = ADelivery->Waiting > 0;
        queueNext = !ADelivery->Queue.empty() && !ADelivery->DrainQueued;
        if (queueNext) ADelivery->DrainQueued = true;
      }
      if (wake) ADelivery->CV.notify_all();
      if (queueNext) UIThread::RunAsync([ADelivery] { Drain(ADelivery); });
      if (next.Events) next.Work(*next.Events);
    }
  }

  void Deliver(std::function<void(const TEvents&)> AWork, std::size_t ABytes = 0) {
    Reserve(ABytes);
    Post(std::move(AWork), ABytes);
  }

  void Log(HardConfig::TMQTTLogLevel ALevel, const std::string& AMessage) {
    if (ALevel == HardConfig::TMQTTLogLevel::vNONE || ALevel > FLogLevel.load()) return;
    auto events = Events();
    if (events && events->OnLog) events->OnLog(ALevel, AMessage);
  }

  // Ends the attempt or connection: the status goes out and the client is idle again.
  void Finish(S AStatus, bool APingTimeout = false) {
    if (FEnded) return;
    FEnded = true;
    Reserve();
    std::lock_guard<std::mutex> guard(FStateLock);
    FConnected.store(false);
    FState = TState::Idle;
    if (APingTimeout)
      Post([](const TEvents& E) { if (E.OnPingTimeout) E.OnPingTimeout(); });
    Post([AStatus](const TEvents& E) {
      if (E.OnConnectedStatusChanged) E.OnConnectedStatusChanged(false, AStatus);
    });
  }

  void SetLastError(const std::string& AText) { Set(FLastError, AText); }

  void Refuse(std::string AError) {
    // A refused certificate says why and which side refused, not just that the handshake failed.
    if (!FVerifyNote.Reason.empty())
      AError = fmt::format("The client refused the broker's certificate: {} ({})", FVerifyNote.Reason, AError);
    else if (FVerifyNote.Alert >= 0)
      AError = fmt::format("{}: TLS alert \"{}\" ({})",
                           IsCertificateAlert(FVerifyNote.Alert) ? "The broker refused the client's certificate"
                                                                 : "The broker ended the TLS handshake",
                           SSL_alert_desc_string_long(FVerifyNote.Alert), AError);
    SetLastError(AError);
    Log(HardConfig::TMQTTLogLevel::vERROR, AError);
    Finish(S::csConnectionRejected_ServerUnavailable);
  }

  void DestroyMosq() {
    std::lock_guard<std::mutex> guard(FMosqLock);
    if (FMosq) mosquitto_destroy(FMosq);
    FMosq = nullptr;
    FPendingSubs.clear();
    FPendingUnsubs.clear();
    FSession.clear();
  }

  void StartConnect() {
    DestroyMosq();
    FEnded = false;
    TEventsPtr events = Events();
    TMQTTClientTimings timings;
    {
      std::lock_guard<std::mutex> guard(FSettingsLock);
      timings = FTimings;
    }
    const std::string host = BrokerHost();
    const std::string id = ClientID();
    mosquitto* m = mosquitto_new(id.empty() ? nullptr : id.c_str(), FCleanSession, this);
    if (!m) return Refuse("Cannot create the MQTT client");
    {
      std::lock_guard<std::mutex> guard(FMosqLock);
      FMosq = m;
    }
    // Other threads publish and subscribe while ours runs the loop. Without this the library
    // writes from the caller's thread: the TLS connection would be used from two threads at
    // once, and the caller would take the library's callback lock under FMosqLock while our
    // callbacks take them the other way round. With it the packet is queued and the loop
    // (woken through the library's socket pair) writes it.
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(m, &OnConnectCB);
    mosquitto_disconnect_v5_callback_set(m, &OnDisconnectCB);
    mosquitto_message_v5_callback_set(m, &OnMessageCB);
    mosquitto_subscribe_v5_callback_set(m, &OnSubscribeCB);
    mosquitto_unsubscribe_v5_callback_set(m, &OnUnsubscribeCB);
    mosquitto_log_callback_set(m, &OnLogCB);
    const std::string user = UserName();
    const std::string password = Password();
    if (!user.empty()) mosquitto_username_pw_set(m, user.c_str(), password.empty() ? nullptr : password.c_str());

    TMQTTTLSOptions tls;
    if (events && events->OnSSLIOHandlerConfiguration) events->OnSSLIOHandlerConfiguration(tls);
    std::string error;
    FVerifyNote = {};
    SSL_CTX* ctx = NewTLSContext(tls, host, &FVerifyNote, error);
    if (!ctx) return Refuse(error);
    mosquitto_void_option(m, MOSQ_OPT_SSL_CTX, ctx);  // takes its own reference
    SSL_CTX_free(ctx);
    mosquitto_int_option(m, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);

    FDeadline = TClock::now() + timings.ConnectTimeout;
    const int keepAlive = timings.KeepAliveSeconds < 5 ? 5 : timings.KeepAliveSeconds;
    if (!SetConnectProperties(m, keepAlive)) return Refuse("Cannot set the connection's maximum packet size");
    errno = 0;
    const int rc = mosquitto_connect_async(m, host.c_str(), static_cast<int>(FPort.load()), keepAlive);
    FConnectErrno = IsConnectionErrno(errno) ? errno : 0;
    if (rc != MOSQ_ERR_SUCCESS) return Refuse(rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : mosquitto_strerror(rc));
    FActive = true;
  }

  // The CONNECT's Maximum Packet Size, so that the broker sends nothing larger. libmosquitto
  // takes CONNECT properties only in its blocking connect, which keeps them for every later
  // (also asynchronous) attempt; called without a host it stores them and stops there.
  static bool SetConnectProperties(mosquitto* AMosq, int AKeepAlive) {
    mosquitto_property* props = nullptr;
    if (mosquitto_property_add_int32(&props, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                     static_cast<std::uint32_t>(MQTT::Client::MaxIncomingPacketSize)) != MOSQ_ERR_SUCCESS)
      return false;
    const int rc = mosquitto_connect_bind_v5(AMosq, nullptr, 0, AKeepAlive, nullptr, props);
    mosquitto_property_free_all(&props);
    return rc == MOSQ_ERR_INVAL;
  }

  void StartDisconnect() {
    if (!FActive) return;
    SayGoodbye();
    Finish(S::csConnectionLost);
    FActive = false;
    DestroyMosq();
  }

  // A normal end for the broker: what was queued (the unsubscriptions of a closing program)
  // goes out and is acknowledged first, then the DISCONNECT is written and nothing is read
  // after it (the library takes any packet read once it has disconnected for a protocol
  // error, and closes the socket before the rest is written). Each wait is bounded.
  void SayGoodbye() {
    if (!FMosq) return;
    const auto flushed = [this] {
      std::lock_guard<std::mutex> guard(FMosqLock);
      return FPendingUnsubs.empty() && !mosquitto_want_write(FMosq);
    };
    for (const auto until = TClock::now() + std::chrono::milliseconds(500); !flushed() && TClock::now() < until;)
      if (mosquitto_loop(FMosq, 10, 1) != MOSQ_ERR_SUCCESS) break;
    {
      std::lock_guard<std::mutex> guard(FMosqLock);
      if (mosquitto_disconnect_v5(FMosq, MQTT_RC_NORMAL_DISCONNECTION, nullptr) != MOSQ_ERR_SUCCESS) return;
    }
    for (const auto until = TClock::now() + std::chrono::milliseconds(500);
         mosquitto_socket(FMosq) >= 0 && mosquitto_want_write(FMosq) && TClock::now() < until;) {
      if (mosquitto_loop_write(FMosq, 1) != MOSQ_ERR_SUCCESS) break;
      if (mosquitto_want_write(FMosq)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  void Step() {
    const int rc = mosquitto_loop(FMosq, 20, 1);
    // The library may close the socket without a callback (TLS or socket errors).
    if (!FEnded && rc != MOSQ_ERR_SUCCESS) {
      const bool connecting = CurrentState() == TState::Connecting;
      const std::string text = rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : mosquitto_strerror(rc);
      if (connecting) {
        Refuse(text);
      } else {
        SetLastError(text);
        Finish(rc == MOSQ_ERR_KEEPALIVE ? S::csNotConnected : S::csConnectionLost, rc == MOSQ_ERR_KEEPALIVE);
      }
    }
    // A refused TCP connection (nothing listening) leaves the library waiting for the TLS
    // handshake until the time-out; the socket already knows, so it is reported at once.
    if (!FEnded && CurrentState() == TState::Connecting) {
      const std::string refused = RefusedSocket();
      if (!refused.empty()) Refuse(refused);
    }
    if (!FEnded && CurrentState() == TState::Connecting && TClock::now() >= FDeadline)
      Refuse("Connection time-out");
    if (FEnded) {
      FActive = false;
      DestroyMosq();
    }
  }

  // Why the socket of an attempt is dead already, or empty while it lives. The library's
  // first TLS step may have met (and so cleared) the socket's error inside connect; the
  // hang-up stays, and the error is the one that step left in errno.
  std::string RefusedSocket() {
    const int sock = FMosq ? mosquitto_socket(FMosq) : -1;
    if (sock < 0) return {};
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) return strerror(error);
    pollfd probe{sock, POLLOUT, 0};
    if (poll(&probe, 1, 0) != 1 || !(probe.revents & (POLLHUP | POLLERR))) return {};
    return FConnectErrno != 0 ? std::string(strerror(FConnectErrno)) : std::string("The broker closed the connection");
  }

  static bool IsConnectionErrno(int AErrno) {
    switch (AErrno) {
      case ECONNREFUSED: case ECONNRESET: case ECONNABORTED: case EHOSTUNREACH: case ENETUNREACH: case ETIMEDOUT:
        return true;
      default:
        return false;
    }
  }

  TState CurrentState() {
    std::lock_guard<std::mutex> guard(FStateLock);
    return FState;
  }

  void NetworkThread() {
    ExceptionReporter::Guarded("MQTT network thread", [this] {
      for (;;) {
        bool doConnect = false, doDisconnect = false;
        {
          std::unique_lock<std::mutex> lock(FCmdLock);
          if (!FActive && !FPendingConnect && !FPendingDisconnect && !FStopping.load())
            FCmdCV.wait(lock, [this] { return FPendingConnect || FPendingDisconnect || FStopping.load(); });
          if (FStopping.load()) break;
          doConnect = std::exchange(FPendingConnect, false);
          doDisconnect = std::exchange(FPendingDisconnect, false);
        }
        if (doConnect) StartConnect();
        if (doDisconnect) StartDisconnect();
        if (FActive) Step();
      }
      if (FActive) SayGoodbye();
      FActive = false;
      DestroyMosq();
    });
  }

  // Library callbacks: on the network thread, inside mosquitto_loop.
  static TMQTTClient* Self(void* AObj) { return static_cast<TMQTTClient*>(AObj); }

  static void OnConnectCB(mosquitto*, void* AObj, int ARc, int, const mosquitto_property*) {
    TMQTTClient* self = Self(AObj);
    if (self->FEnded) return;
    if (ARc != 0) {
      self->SetLastError(std::string("The broker refused the connection: ") + mosquitto_reason_string(ARc));
      self->Finish(MQTT::Client::StatusOfConnAck(ARc));
      return;
    }
    self->Reserve();
    std::lock_guard<std::mutex> guard(self->FStateLock);
    if (self->FState != TState::Connecting) return;  // the program disconnected meanwhile
    self->FState = TState::Connected;
    self->FConnected.store(true);
    self->Post([](const TEvents& E) { if (E.OnConnectedStatusChanged) E.OnConnectedStatusChanged(true, S::csConnected); });
  }

  static void OnDisconnectCB(mosquitto*, void* AObj, int ARc, const mosquitto_property*) {
    TMQTTClient* self = Self(AObj);
    if (self->FEnded) return;
    const TState state = self->CurrentState();
    if (state == TState::Connecting) {
      self->Refuse(ARc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : mosquitto_strerror(ARc));
    } else if (ARc == MOSQ_ERR_KEEPALIVE) {
      // Reported once: the ping time-out, then not connected (no loss on top).
      self->SetLastError(mosquitto_strerror(ARc));
      self->Finish(S::csNotConnected, true);
    } else {
      self->SetLastError(mosquitto_strerror(ARc));
      self->Finish(S::csConnectionLost);
    }
  }

  static void OnMessageCB(mosquitto*, void* AObj, const mosquitto_message* AMsg, const mosquitto_property*) {
    TMQTTClient* self = Self(AObj);
    if (AMsg->payloadlen > static_cast<int>(MQTT::Client::MaxIncomingPacketSize)) {
      // A broker that ignores the maximum we asked for: the payload goes no further.
      self->Log(HardConfig::TMQTTLogLevel::vWARNING,
                fmt::format("A publication of {} bytes on \"{}\" exceeds the maximum of {} bytes and is dropped.",
                            AMsg->payloadlen, AMsg->topic ? AMsg->topic : "", MQTT::Client::MaxIncomingPacketSize));
      return;
    }
    std::string topic = AMsg->topic ? AMsg->topic : "";
    std::string payload;
    if (AMsg->payload && AMsg->payloadlen > 0)
      payload.assign(static_cast<const char*>(AMsg->payload), static_cast<std::size_t>(AMsg->payloadlen));
    const int mid = AMsg->mid;
    const std::size_t bytes = payload.size() + topic.size();
    self->Deliver([mid, topic = std::move(topic), payload = std::move(payload)](const TEvents& E) {
      if (E.OnPublishReceived) E.OnPublishReceived(mid, topic, payload);
    }, bytes);
  }

  static void OnSubscribeCB(mosquitto*, void* AObj, int AMid, int ACount, const int* ACodes, const mosquitto_property*) {
    TMQTTClient* self = Self(AObj);
    std::vector<std::string> topics;
    {
      std::lock_guard<std::mutex> guard(self->FMosqLock);
      auto it = self->FPendingSubs.find(AMid);
      if (it != self->FPendingSubs.end()) {
        topics = std::move(it->second);
        self->FPendingSubs.erase(it);
      }
    }
    std::vector<TMQTTSubscriptionAck> acks;
    for (int i = 0; i < ACount; ++i) {
      TMQTTSubscriptionAck ack;
      ack.Topic = static_cast<std::size_t>(i) < topics.size() ? topics[static_cast<std::size_t>(i)] : std::string();
      ack.ReasonCode = ACodes[i];
      ack.Accepted = ACodes[i] < 0x80;
      ack.GrantedQoS = ack.Accepted ? ACodes[i] : 0;
      acks.push_back(std::move(ack));
    }
    self->Deliver([AMid, acks = std::move(acks)](const TEvents& E) {
      if (E.OnSubscriptionAcknowledged) E.OnSubscriptionAcknowledged(AMid, acks);
    });
  }

  static void OnUnsubscribeCB(mosquitto*, void* AObj, int AMid, const mosquitto_property*) {
    TMQTTClient* self = Self(AObj);
    int count = 1;
    {
      std::lock_guard<std::mutex> guard(self->FMosqLock);
      auto it = self->FPendingUnsubs.find(AMid);
      if (it != self->FPendingUnsubs.end()) {
        count = it->second;
        self->FPendingUnsubs.erase(it);
      }
    }
    // libmosquitto 2.0 does not pass the UNSUBACK's codes on; an acknowledgement means success.
    std::vector<int> codes(static_cast<std::size_t>(count), 0);
    self->Deliver([AMid, codes = std::move(codes)](const TEvents& E) {
      if (E.OnUnSubscribeAcknowledged) E.OnUnSubscribeAcknowledged(AMid, codes);
    });
  }

  static void OnLogCB(mosquitto*, void* AObj, int ALevel, const char* AText) {
    Self(AObj)->Log(LevelOfMosquitto(ALevel), AText ? AText : "");
  }

  mutable std::mutex FSettingsLock;  // settings, events and the last error
  TEventsPtr FEvents;
  TMQTTClientTimings FTimings;
  std::string FHost = "127.0.0.1";
  std::string FClientID, FUserName, FPassword, FLastError;
  std::atomic<std::uint32_t> FPort{8883};
  std::atomic<HardConfig::TMQTTLogLevel> FLogLevel{HardConfig::TMQTTLogLevel::vWARNING};

  std::mutex FStateLock;  // FState and the order of status events
  TState FState = TState::Idle;
  bool FCleanSession = true;
  std::atomic<bool> FConnected{false};

  std::mutex FCmdLock;
  std::condition_variable FCmdCV;
  bool FPendingConnect = false;
  bool FPendingDisconnect = false;
  std::atomic<bool> FStopping{false};

  mutable std::mutex FMosqLock;  // FMosq's lifetime for other threads, and the maps below
  mosquitto* FMosq = nullptr;
  std::map<int, std::vector<std::string>> FPendingSubs;
  std::map<int, int> FPendingUnsubs;
  std::vector<std::string> FSession;

  // Network thread only.
  TVerifyNote FVerifyNote;
  bool FActive = false;
  bool FEnded = false;
  int FConnectErrno = 0;  // a connection error met inside connect, for RefusedSocket
  TClock::time_point FDeadline{};

  std::shared_ptr<TDelivery> FDelivery = std::make_shared<TDelivery>();
  std::thread FThread;
};

}  // namespace

std::unique_ptr<IMQTTClient> NewMQTTClient() { return std::make_unique<TMQTTClient>(); }

}  // namespace ZEL
