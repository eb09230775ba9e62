#pragma once
// The whole local stack of tests/peers (broker over TLS, identity emulator, backend and edge
// simulator) run for one suite, with the environment that points the program at it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "TestSupport.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.MQTT.TestSupport.h"
#include "ZEL.REST.Service.h"

namespace ZEL::Test {

using TEnvPairs = std::vector<std::pair<std::string, std::string>>;

// The simulator the stack runs: the one the build names, else $ZEL_BACKEND_SIM; "" without one.
inline std::string BackendSimulator() {
#ifdef ZEL_BACKEND_SIM
  return ZEL_BACKEND_SIM;
#else
  const char* LEnv = std::getenv("ZEL_BACKEND_SIM");
  return LEnv ? LEnv : "";
#endif
}

// Short keeper timings, so that a broker gone for good ends a session within a test.
inline const TEnvPairs& QuickKeeper() {
  static const TEnvPairs LPairs = {{"ZEL_MQTT_KEEPER_WAIT_MS", "300"}, {"ZEL_MQTT_KEEPER_RETRY_MS", "100"}};
  return LPairs;
}

class TStackRun {
public:
  TStackRun() = default;
  ~TStackRun() { Stop(); }
  TStackRun(const TStackRun&) = delete;
  TStackRun& operator=(const TStackRun&) = delete;

  // Starts the stack in a new folder named after AName and takes over its stack.env, the
  // client certificates and a short connect timeout, then AExtraEnv, into the environment.
  // With AIdentityData the identity emulator keeps its accounts in that folder from one
  // stack to the next, as the demo command does. An error text, or empty once it runs.
  std::string Start(const std::string& AName, const TEnvPairs& AExtraEnv = {}, const std::string& AIdentityData = {}) {
    Stop();
    FRun = NewTempFolder(AName);
    const std::string LSim = BackendSimulator();
    if (LSim.empty() || !std::filesystem::exists(LSim)) return "the backend simulator is not built: " + LSim;
    const std::string LCmd = PeersDir() + "/stack.sh start '" + FRun + "' --sim '" + LSim + "' --owner " +
                             std::to_string(getpid()) +
                             (AIdentityData.empty() ? std::string() : " --identity-data '" + AIdentityData + "'") +
                             " > '" + FRun + ".log' 2>&1";
    if (Shell(LCmd) != 0) return "the stack did not start, see " + FRun + ".log";
    std::ifstream LIn(FRun + "/stack.env");
    for (std::string LLine; std::getline(LIn, LLine);) {
      const auto LEq = LLine.find('=');
      if (LEq != std::string::npos) SetEnv(LLine.substr(0, LEq), LLine.substr(LEq + 1), true);
    }
    SetEnv("ZEL_MQTT_CONNECT_TIMEOUT_MS", "3000");
    SetEnv("ZEL_MQTT_CERTS_DIR", CertsFolderOf(Value("ZEL_PKI_DIR"), "mobile_app"));
    for (const auto& [LName, LValue] : AExtraEnv) SetEnv(LName, LValue);
    return {};
  }

  // Stops every party and gives the environment back; safe to call more than once.
  void Stop() {
    if (!FRun.empty()) Shell(PeersDir() + "/stack.sh stop '" + FRun + "' > /dev/null 2>&1");
    FRun.clear();
    // Last set first, so that a name set twice gets its first old value back.
    while (!FEnv.empty()) FEnv.pop_back();
    FValues.clear();
  }

  // A key of stack.env ("" when it has none).
  const std::string& Value(const std::string& AKey) const {
    static const std::string LNone;
    const auto LAt = FValues.find(AKey);
    return LAt == FValues.end() ? LNone : LAt->second;
  }
  const std::string& Folder() const { return FRun; }

  // A call to the simulator's control port; its HTTP status ("000" when none answered).
  std::string Control(const std::string& AMethod, const std::string& APath, const std::string& AData) const {
    const std::string LOut = FRun + "/control.out";
    Shell("curl -s -o /dev/null -w '%{http_code}' -X " + AMethod + " -H 'Content-Type: application/json' -d '" + AData +
          "' '" + Value("ZEL_SIM_CONTROL_URL") + APath + "' > '" + LOut + "'");
    return ReadFileBytes(LOut);
  }
  // The body of a control-port GET.
  std::string ControlBody(const std::string& APath) const {
    const std::string LOut = FRun + "/control.body";
    Shell("curl -s '" + Value("ZEL_SIM_CONTROL_URL") + APath + "' > '" + LOut + "'");
    return ReadFileBytes(LOut);
  }

  std::string BrokerFolder() const { return Value("ZEL_PEERS_DIR") + "/broker"; }
  // Stops the broker; its port is kept for RestartBroker.
  bool StopBroker() {
    FBrokerPort = ReadFileBytes(BrokerFolder() + "/broker.port");
    return Shell(PeersDir() + "/broker.sh stop '" + BrokerFolder() + "' > /dev/null 2>&1") == 0;
  }
  // broker.sh start always takes a new free port, which neither a session nor the edges would
  // find again; so the same broker comes back from the configuration it left, on the same
  // port, with its pid where broker.sh and stack.sh stop look for it. True once it runs.
  bool RestartBroker() const {
    const std::string LBroker = BrokerFolder();
    if (Shell("cd '" + LBroker + "' && : > broker.log && (setsid mosquitto -c mosquitto.conf < /dev/null >> "
              "broker.log 2>&1 & echo $! > broker.pid) && printf '%s' '" + FBrokerPort + "' > broker.port") != 0)
      return false;
    return WaitUntil([&] { return ReadFileBytes(LBroker + "/broker.log").find("running") != std::string::npos; },
                     std::chrono::seconds(10));
  }

private:
  void SetEnv(const std::string& AName, const std::string& AValue, bool AFromStack = false) {
    if (AFromStack) FValues[AName] = AValue;
    FEnv.push_back(std::make_unique<TScopedEnv>(AName, AValue.c_str()));
  }

  std::string FRun;
  std::string FBrokerPort;
  std::map<std::string, std::string> FValues;
  std::vector<std::unique_ptr<TScopedEnv>> FEnv;
};

// The demo account signed in at the stack's backend, with an identity provider that answers
// at once; the REST and auth services stay registered until Release.
class TStackSignIn {
public:
  TStackSignIn() = default;
  ~TStackSignIn() { Release(); }
  TStackSignIn(const TStackSignIn&) = delete;
  TStackSignIn& operator=(const TStackSignIn&) = delete;

  // Registers the services and signs in; whether it signed in within 20 s.
  bool SignIn() {
    Firebase->SetNextIdToken(MakeIdToken(Time::Now() + std::chrono::hours(1)));
    Rest = std::make_shared<TZELRESTService>();
    Auth = std::make_shared<TAuthService>(Firebase);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
    GlobalContainer().RegisterInstance<IAuthService>("", Auth);
    Auth->OnLoginSuccess = [this](IAuthService*) { FSignedIn = true; };
    Auth->LoginUser("demo@zel.test", "zel-demo-pass");
    return WaitUntil([this] { return FSignedIn; }, std::chrono::seconds(20));
  }
  // Unregisters the services; a session that uses them goes first.
  void Release() {
    if (!Auth) return;
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
    Auth.reset();
    Rest.reset();
  }

  std::shared_ptr<TInstantFirebase> Firebase = std::make_shared<TInstantFirebase>();
  std::shared_ptr<TZELRESTService> Rest;
  std::shared_ptr<TAuthService> Auth;

private:
  bool FSignedIn = false;
};

}  // namespace ZEL::Test
