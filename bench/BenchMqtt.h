#pragma once
// A bare libmosquitto client for the benchmarks' floors: MQTT 5, TLS 1.2 with a client
// certificate (as the service's client), no Nagle delay, the library's own network thread.

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

namespace ZEL::Bench {

template <class P>
bool WaitFor(P APred, std::chrono::milliseconds ATimeout) {
  const auto end = std::chrono::steady_clock::now() + ATimeout;
  while (!APred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class TBareClient {
public:
  // Called on the library's network thread with each received payload.
  using TOnPayload = std::function<void(const char* AData, std::size_t ALength)>;

  // APki: the folder of ca.crt and <ACertName>.crt/.key.
  TBareClient(const std::string& AID, const std::string& APki, const std::string& ACertName, int APort,
              TOnPayload AOnPayload = {})
      : FOnPayload(std::move(AOnPayload)) {
    FMosq = mosquitto_new(AID.c_str(), true, this);
    mosquitto_int_option(FMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_tls_set(FMosq, (APki + "/ca.crt").c_str(), nullptr, (APki + "/" + ACertName + ".crt").c_str(),
                      (APki + "/" + ACertName + ".key").c_str(), nullptr);
    mosquitto_tls_opts_set(FMosq, 1, "tlsv1.2", nullptr);
    // The publisher's own Nagle delay is no part of what is measured.
    mosquitto_int_option(FMosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(FMosq, [](mosquitto*, void* AObj, int ARc, int, const mosquitto_property*) {
      static_cast<TBareClient*>(AObj)->FConnected.store(ARc == 0);
    });
    mosquitto_subscribe_v5_callback_set(FMosq, [](mosquitto*, void* AObj, int, int, const int*, const mosquitto_property*) {
      static_cast<TBareClient*>(AObj)->FSubscribed.store(true);
    });
    mosquitto_message_v5_callback_set(FMosq, [](mosquitto*, void* AObj, const mosquitto_message* AMsg, const mosquitto_property*) {
      auto* self = static_cast<TBareClient*>(AObj);
      if (self->FOnPayload && AMsg->payload)
        self->FOnPayload(static_cast<const char*>(AMsg->payload), static_cast<std::size_t>(AMsg->payloadlen));
    });
    FOk = mosquitto_connect(FMosq, "127.0.0.1", APort, 60) == MOSQ_ERR_SUCCESS && mosquitto_loop_start(FMosq) == MOSQ_ERR_SUCCESS;
  }
  ~TBareClient() {
    mosquitto_disconnect(FMosq);
    mosquitto_loop_stop(FMosq, false);
    mosquitto_destroy(FMosq);
  }
  TBareClient(const TBareClient&) = delete;
  TBareClient& operator=(const TBareClient&) = delete;

  bool WaitConnected() { return FOk && WaitFor([this] { return FConnected.load(); }, std::chrono::seconds(10)); }
  bool Subscribe(const std::string& ATopic) {
    return mosquitto_subscribe(FMosq, nullptr, ATopic.c_str(), 0) == MOSQ_ERR_SUCCESS &&
           WaitFor([this] { return FSubscribed.load(); }, std::chrono::seconds(10));
  }
  bool Publish(const std::string& ATopic, const std::string& APayload) {
    return mosquitto_publish(FMosq, nullptr, ATopic.c_str(), static_cast<int>(APayload.size()), APayload.data(), 0,
                             false) == MOSQ_ERR_SUCCESS;
  }

private:
  mosquitto* FMosq = nullptr;
  TOnPayload FOnPayload;
  bool FOk = false;
  std::atomic<bool> FConnected{false};
  std::atomic<bool> FSubscribed{false};
};

}  // namespace ZEL::Bench
