#pragma once
// Helpers of the MQTT tests: a listener on the service's two delegates, and the test broker
// (tests/peers) started once per suite.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Messaging.h"

namespace ZEL::Test {

// Records what the delegates and the toast messages deliver.
class TMQTTListener {
public:
  explicit TMQTTListener(IZELMQTTService& AService) {
    AService.GetOnMessageDelegate()->AddHandler(TMQTTMessageReceived::Of(this, &TMQTTListener::OnMessage));
    AService.GetOnConnectionStateChange()->AddHandler(TMQTTStatusChange::Of(this, &TMQTTListener::OnStatus));
    FToastRef = TZELMessager<TShowToastMessageEvent>::Subscribe([this](TSender, const TShowToastMessageEvent& M) {
      std::lock_guard<std::mutex> guard(FLock);
      FToasts.push_back(M.Value());
    });
  }
  ~TMQTTListener() { TZELMessager<TShowToastMessageEvent>::Unsubscribe(FToastRef); }
  TMQTTListener(const TMQTTListener&) = delete;
  TMQTTListener& operator=(const TMQTTListener&) = delete;

  struct TReceived {
    std::string Topic;
    std::string Payload;
  };

  void OnMessage(IZELMQTTService*, const std::string& ATopic, const std::string& AData) {
    std::lock_guard<std::mutex> guard(FLock);
    FMessages.push_back({ATopic, AData});
  }
  void OnStatus(bool AConnected) {
    std::lock_guard<std::mutex> guard(FLock);
    FStatuses.push_back(AConnected);
  }

  std::vector<TReceived> Messages() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FMessages;
  }
  // The connection delegate's last word was "connected".
  bool SawConnected() const {
    std::lock_guard<std::mutex> guard(FLock);
    return !FStatuses.empty() && FStatuses.back();
  }
  std::vector<std::string> Toasts() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FToasts;
  }
  bool Got(const std::string& ATopic, const std::string& APayload) const {
    for (const auto& m : Messages())
      if (m.Topic == ATopic && m.Payload == APayload) return true;
    return false;
  }

private:
  mutable std::mutex FLock;
  std::vector<TReceived> FMessages;
  std::vector<bool> FStatuses;
  std::vector<std::string> FToasts;
  TZELMessagerRef FToastRef;
};

inline std::string PeersDir() { return std::string(ZEL_SOURCE_DIR) + "/tests/peers"; }

inline int Shell(const std::string& ACommand) { return std::system(ACommand.c_str()); }

inline void CopyFile(const std::string& AFrom, const std::string& ATo) {
  std::filesystem::copy_file(AFrom, ATo, std::filesystem::copy_options::overwrite_existing);
}

// A folder with the client files the service looks for, taken from the test PKI.
inline std::string CertsFolderOf(const std::string& APki, const std::string& ACert, const std::string& ACA = "") {
  const std::string dir = NewTempFolder("certs");
  if (!ACert.empty()) {
    CopyFile(APki + "/" + ACert + ".crt", dir + "/mobile_app.crt");
    CopyFile(APki + "/" + ACert + ".key", dir + "/mobile_app.key");
  }
  if (!ACA.empty()) CopyFile(APki + "/" + ACA, dir + "/mobile_app_ca.crt");
  return dir;
}

// The test broker of one suite. Tests restart it on the same port through its own config.
struct TTestBroker {
  std::string Root, Pki, Run;
  int Port = 0;

  bool Start(bool AUntrusted = false) { return Start(std::string(AUntrusted ? "--untrusted" : "")); }
  // AOptions: broker.sh's start options (the certificate it presents, --tls13-only).
  bool Start(const std::string& AOptions) {
    Root = NewTempFolder("broker");
    Pki = Root + "/pki";
    Run = Root + "/run";
    if (Shell(PeersDir() + "/make-pki.sh " + Pki + " >/dev/null") != 0) return false;
    if (Shell(PeersDir() + "/broker.sh start " + Run + " " + Pki + " " + AOptions + " >/dev/null") != 0)
      return false;
    std::ifstream(Run + "/broker.port") >> Port;
    return Port > 0;
  }
  void Stop() {
    if (!Run.empty()) Shell(PeersDir() + "/broker.sh stop " + Run + " >/dev/null 2>&1");
  }
  int Pid() const {
    int pid = 0;
    std::ifstream(Run + "/broker.pid") >> pid;
    return pid;
  }
  void Kill() {
    const int pid = Pid();
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      // Gone or a zombie (nobody may reap it here).
      WaitUntil([pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string id, name, state;
        return !(stat >> id >> name >> state) || state == "Z";
      }, std::chrono::seconds(5));
    }
  }
  // Same config, same port.
  bool Restart() {
    const std::string cmd = "cd " + Run + " && : > broker.log && (setsid mosquitto -c mosquitto.conf </dev/null >>broker.log 2>&1 & echo $! > broker.pid)";
    if (Shell(cmd) != 0) return false;
    return WaitUntil([this] { return Shell("grep -q running " + Run + "/broker.log") == 0; },
                     std::chrono::seconds(10));
  }
  // Publishes as the edge simulator (another client of the test CA).
  int PublishAsEdge(const std::string& ATopic, const std::string& APayload, bool ARetain) const {
    return Shell("mosquitto_pub -h 127.0.0.1 -p " + std::to_string(Port) + " --cafile " + Pki + "/ca.crt --cert " + Pki +
                 "/edge.crt --key " + Pki + "/edge.key -t '" + ATopic + "' -m '" + APayload + "'" +
                 (ARetain ? " -r" : "") + " -q 0");
  }
};

// Points every MQTT service made from now on at the test broker, with short timings so
// refusals and reconnects happen within a test; ForgetBrokerSettings undoes it.
inline void UseTestBroker(int APort, int AConnectTimeoutMs) {
  setenv("ZEL_MQTT_BROKER_HOST", "127.0.0.1", 1);
  setenv("ZEL_MQTT_BROKER_PORT", std::to_string(APort).c_str(), 1);
  setenv("ZEL_MQTT_CONNECT_TIMEOUT_MS", std::to_string(AConnectTimeoutMs).c_str(), 1);
  setenv("ZEL_MQTT_KEEPALIVE_S", "5", 1);
  setenv("ZEL_MQTT_KEEPER_WAIT_MS", "300", 1);
  setenv("ZEL_MQTT_KEEPER_RETRY_MS", "100", 1);
}

inline void ForgetBrokerSettings() {
  for (const char* name : {"ZEL_MQTT_BROKER_HOST", "ZEL_MQTT_BROKER_PORT", "ZEL_MQTT_CONNECT_TIMEOUT_MS",
                           "ZEL_MQTT_KEEPALIVE_S", "ZEL_MQTT_KEEPER_WAIT_MS", "ZEL_MQTT_KEEPER_RETRY_MS",
                           "ZEL_MQTT_CERTS_DIR"})
    unsetenv(name);
}

}  // namespace ZEL::Test
