#include "PeersMqtt.h"

#include <mosquitto.h>

#include <atomic>

#include <unistd.h>

namespace ZelPeers {

namespace {

std::string NewClientId() {
  static std::atomic<int> counter{0};
  return "zel-peers-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

}  // namespace

TMqttClient::TMqttClient() {
  mosquitto_lib_init();
  FClient = mosquitto_new(NewClientId().c_str(), true, this);
  if (!FClient) return;
  mosquitto_connect_callback_set(FClient, &TMqttClient::OnConnect);
  mosquitto_disconnect_callback_set(FClient, &TMqttClient::OnDisconnect);
  mosquitto_subscribe_callback_set(FClient, &TMqttClient::OnSubscribe);
  mosquitto_message_callback_set(FClient, &TMqttClient::OnMessage);
  mosquitto_log_callback_set(FClient, &TMqttClient::OnLog);
}

TMqttClient::~TMqttClient() {
  if (FClient) {
    if (FLoopRunning) {
      mosquitto_disconnect(FClient);
      mosquitto_loop_stop(FClient, true);
    }
    mosquitto_destroy(FClient);
  }
  mosquitto_lib_cleanup();
}

TMqttClient::TOutcome TMqttClient::Connect(const std::string& AHost, int APort, const TMqttTls& ATls,
                                           std::chrono::milliseconds AWait) {
  if (!FClient) {
    FFailure = "mosquitto_new failed";
    return TOutcome::Refused;
  }
  int rc = mosquitto_tls_set(FClient, ATls.CAFile.c_str(), nullptr,
                             ATls.CertFile.empty() ? nullptr : ATls.CertFile.c_str(),
                             ATls.KeyFile.empty() ? nullptr : ATls.KeyFile.c_str(), nullptr);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(FClient, 1, nullptr, nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::lock_guard lock(FLock);
    FFailure = std::string("TLS set-up: ") + mosquitto_strerror(rc);
    return TOutcome::Refused;
  }
  // A failed attempt must stay failed: no reconnect by the network thread.
  rc = mosquitto_connect(FClient, AHost.c_str(), APort, 30);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::lock_guard lock(FLock);
    FFailure = std::string("connect: ") + mosquitto_strerror(rc);
    return TOutcome::Refused;
  }
  rc = mosquitto_loop_start(FClient);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::lock_guard lock(FLock);
    FFailure = std::string("loop: ") + mosquitto_strerror(rc);
    return TOutcome::Refused;
  }
  FLoopRunning = true;
  std::unique_lock lock(FLock);
  if (!FChanged.wait_for(lock, AWait, [this] { return FConnected || FFailed; })) return TOutcome::NoAnswer;
  return FConnected ? TOutcome::Connected : TOutcome::Refused;
}

std::string TMqttClient::Failure() const {
  std::lock_guard lock(FLock);
  return FFailure;
}

bool TMqttClient::Subscribe(const std::string& ATopic, std::chrono::milliseconds AWait) {
  int mid = 0;
  if (mosquitto_subscribe(FClient, &mid, ATopic.c_str(), 0) != MOSQ_ERR_SUCCESS) return false;
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, AWait, [&] { return FSubAcks.count(mid) > 0; });
}

bool TMqttClient::Publish(const std::string& ATopic, const std::string& APayload) {
  return mosquitto_publish(FClient, nullptr, ATopic.c_str(), static_cast<int>(APayload.size()), APayload.data(), 0,
                           false) == MOSQ_ERR_SUCCESS;
}

std::optional<TMqttMessage> TMqttClient::WaitFor(const std::function<bool(const TMqttMessage&)>& AMatch,
                                                 std::chrono::milliseconds AWait) {
  const auto deadline = std::chrono::steady_clock::now() + AWait;
  std::unique_lock lock(FLock);
  for (;;) {
    while (!FMessages.empty()) {
      TMqttMessage m = std::move(FMessages.front());
      FMessages.pop_front();
      if (AMatch(m)) return m;
    }
    if (FChanged.wait_until(lock, deadline) == std::cv_status::timeout && FMessages.empty()) return std::nullopt;
  }
}

void TMqttClient::OnConnect(mosquitto*, void* AThis, int ARc) {
  auto* self = static_cast<TMqttClient*>(AThis);
  {
    std::lock_guard lock(self->FLock);
    if (ARc == 0) {
      self->FConnected = true;
    } else {
      self->FFailed = true;
      self->FFailure = std::string("CONNACK: ") + mosquitto_connack_string(ARc);
    }
  }
  self->FChanged.notify_all();
}

void TMqttClient::OnDisconnect(mosquitto* AClient, void* AThis, int ARc) {
  auto* self = static_cast<TMqttClient*>(AThis);
  {
    std::lock_guard lock(self->FLock);
    self->FConnected = false;
    self->FFailed = true;
    if (self->FFailure.empty()) self->FFailure = std::string("disconnected: ") + mosquitto_strerror(ARc);
  }
  // A refused client stays refused: the network thread must not try again.
  if (ARc != 0) mosquitto_disconnect(AClient);
  self->FChanged.notify_all();
}

void TMqttClient::OnSubscribe(mosquitto*, void* AThis, int AMid, int, const int*) {
  auto* self = static_cast<TMqttClient*>(AThis);
  {
    std::lock_guard lock(self->FLock);
    self->FSubAcks.insert(AMid);
  }
  self->FChanged.notify_all();
}

void TMqttClient::OnMessage(mosquitto*, void* AThis, const mosquitto_message* AMsg) {
  auto* self = static_cast<TMqttClient*>(AThis);
  if (!AMsg || !AMsg->topic) return;
  {
    std::lock_guard lock(self->FLock);
    self->FMessages.push_back(
        {AMsg->topic, std::string(static_cast<const char*>(AMsg->payload), static_cast<size_t>(AMsg->payloadlen))});
  }
  self->FChanged.notify_all();
}

void TMqttClient::OnLog(mosquitto*, void* AThis, int ALevel, const char* AText) {
  if (ALevel != MOSQ_LOG_ERR || !AText) return;
  auto* self = static_cast<TMqttClient*>(AThis);
  {
    std::lock_guard lock(self->FLock);
    if (!self->FConnected) self->FFailed = true;
    if (self->FFailure.empty()) self->FFailure = AText;
  }
  self->FChanged.notify_all();
}

}  // namespace ZelPeers
