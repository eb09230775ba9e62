#include "Broker.h"

#include <mosquitto.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace ZelSim {

TBroker::TBroker() { mosquitto_lib_init(); }

TBroker::~TBroker() {
  Stop();
  mosquitto_lib_cleanup();
}

bool TBroker::Start(const TBrokerOptions& AOptions, std::vector<std::string> ATopics,
                    TOnMessage AOnMessage, std::string& AError) {
  for (const auto& f : {AOptions.CAFile, AOptions.CertFile, AOptions.KeyFile})
    if (!std::filesystem::is_regular_file(f)) {
      AError = "broker TLS file not found: \"" + f + "\"";
      return false;
    }
  FTopics = std::move(ATopics);
  FOnMessage = std::move(AOnMessage);
  const std::string id = "zel-backend-sim-" + std::to_string(::getpid());
  FClient = mosquitto_new(id.c_str(), true, this);
  if (!FClient) {
    AError = "mosquitto_new failed";
    return false;
  }
  mosquitto_connect_callback_set(FClient, &TBroker::OnConnect);
  mosquitto_disconnect_callback_set(FClient, &TBroker::OnDisconnect);
  mosquitto_subscribe_callback_set(FClient, &TBroker::OnSubscribe);
  mosquitto_message_callback_set(FClient, &TBroker::OnMessage);
  int rc = mosquitto_tls_set(FClient, AOptions.CAFile.c_str(), nullptr, AOptions.CertFile.c_str(),
                             AOptions.KeyFile.c_str(), nullptr);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(FClient, 1, nullptr, nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    AError = std::string("broker TLS set-up failed: ") + mosquitto_strerror(rc);
    return false;
  }
  mosquitto_reconnect_delay_set(FClient, 1, 5, false);
  rc = mosquitto_connect_async(FClient, AOptions.Host.c_str(), AOptions.Port, 30);
  if (rc != MOSQ_ERR_SUCCESS)
    std::fprintf(stderr, "[sim] broker: first connect attempt failed (%s); retrying\n", mosquitto_strerror(rc));
  rc = mosquitto_loop_start(FClient);
  if (rc != MOSQ_ERR_SUCCESS) {
    AError = std::string("broker loop failed to start: ") + mosquitto_strerror(rc);
    return false;
  }
  FStarted = true;
  return true;
}

void TBroker::Stop() {
  if (!FClient) return;
  if (FStarted) {
    mosquitto_disconnect(FClient);
    mosquitto_loop_stop(FClient, true);
    FStarted = false;
  }
  mosquitto_destroy(FClient);
  FClient = nullptr;
  FConnected = false;
  FSubscribed = false;
}

bool TBroker::Publish(const std::string& ATopic, const std::string& APayload) {
  if (!FClient) return false;
  const int rc = mosquitto_publish(FClient, nullptr, ATopic.c_str(), static_cast<int>(APayload.size()),
                                   APayload.data(), 0, false);
  if (rc != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "[sim] broker: publish on \"%s\" failed: %s\n", ATopic.c_str(), mosquitto_strerror(rc));
    return false;
  }
  return true;
}

void TBroker::OnConnect(mosquitto* AClient, void* AThis, int ARc) {
  auto* self = static_cast<TBroker*>(AThis);
  if (ARc != 0) {
    std::fprintf(stderr, "[sim] broker: connection refused: %s\n", mosquitto_connack_string(ARc));
    return;
  }
  self->FConnected = true;
  std::lock_guard lock(self->FLock);
  self->FPendingAcks = 0;
  for (const auto& topic : self->FTopics)
    if (mosquitto_subscribe(AClient, nullptr, topic.c_str(), 0) == MOSQ_ERR_SUCCESS) ++self->FPendingAcks;
  std::fprintf(stderr, "[sim] broker: connected, subscribing %zu request topic(s)\n", self->FTopics.size());
  if (self->FPendingAcks == 0) self->FSubscribed = true;
}

void TBroker::OnDisconnect(mosquitto*, void* AThis, int ARc) {
  auto* self = static_cast<TBroker*>(AThis);
  self->FConnected = false;
  self->FSubscribed = false;
  if (ARc != 0) std::fprintf(stderr, "[sim] broker: connection lost (%s); reconnecting\n", mosquitto_strerror(ARc));
}

void TBroker::OnSubscribe(mosquitto*, void* AThis, int, int, const int*) {
  auto* self = static_cast<TBroker*>(AThis);
  std::lock_guard lock(self->FLock);
  if (self->FPendingAcks > 0 && --self->FPendingAcks == 0) {
    self->FSubscribed = true;
    std::fprintf(stderr, "[sim] broker: request topics subscribed\n");
  }
}

void TBroker::OnMessage(mosquitto*, void* AThis, const mosquitto_message* AMsg) {
  auto* self = static_cast<TBroker*>(AThis);
  if (!AMsg || !AMsg->topic || !self->FOnMessage) return;
  const std::string payload(static_cast<const char*>(AMsg->payload), static_cast<std::size_t>(AMsg->payloadlen));
  try {
    self->FOnMessage(AMsg->topic, payload);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "[sim] broker: handling a message failed: %s\n", e.what());
  }
}

}  // namespace ZelSim
