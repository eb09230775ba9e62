#pragma once
// The local stack (broker, identity emulator, backend and edge simulator) in a folder of its
// own, and a session signed in to it, for the benchmark programs that run against it. The
// identity client is a stand-in that answers at once; REST and MQTT are the real ones.

#include "BenchSupport.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <stdlib.h>
#include <unistd.h>

#include "ZEL.Auth.Service.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.Events.Service.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Session.h"
#include "ZEL.UIThread.h"

namespace ZEL::Bench {

inline long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}


// The stack in a folder of its own; stopped and removed with the object.
struct TStack {
  std::string Root;
  std::map<std::string, std::string> Values;
  std::unique_ptr<httplib::Client> Control;

  bool Start(const std::string& ASim) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelbench.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return false;
    Root = tmpl;
    if (Shell(PeersDir() + "/stack.sh start '" + Root + "/run' --sim '" + ASim + "' --owner " +
              std::to_string(getpid()) + " > '" + Root + "/stack.log' 2>&1") != 0)
      return false;
    std::ifstream in(Root + "/run/stack.env");
    for (std::string line; std::getline(in, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      Values[line.substr(0, eq)] = line.substr(eq + 1);
      setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
    }
    Control = std::make_unique<httplib::Client>(Values["ZEL_SIM_CONTROL_URL"]);
    Control->set_keep_alive(true);
    // Headers and body go out in two writes; Nagle would hold the body for the delayed ACK.
    Control->set_tcp_nodelay(true);
    return !Values["ZEL_SIM_CONTROL_URL"].empty();
  }
  ~TStack() {
    if (Root.empty()) return;
    Control.reset();
    Shell(PeersDir() + "/stack.sh stop '" + Root + "/run' > /dev/null 2>&1");
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
  }
  // A control-port POST; its body, or empty when it did not answer 200.
  std::string Post(const std::string& APath, const std::string& AData) {
    auto res = Control->Post(APath, AData, "application/json");
    return res && res->status == 200 ? res->body : std::string();
  }
  std::string Get(const std::string& APath) {
    auto res = Control->Get(APath);
    return res && res->status == 200 ? res->body : std::string();
  }
};

// Signs in and syncs a session on the UI thread; the services stay registered until Release.
struct TSignedInSession {
  std::shared_ptr<ZEL::Test::TInstantFirebase> Firebase = std::make_shared<ZEL::Test::TInstantFirebase>();
  std::shared_ptr<ZEL::TZELRESTService> Rest;
  std::shared_ptr<ZEL::TAuthService> Auth;
  std::unique_ptr<ZEL::TZELSession> Session;
  std::atomic<bool> SignedIn{false}, Synced{false}, Connected{false}, Pulled{false};
  std::atomic<long long> SignedInNs{0}, SyncedNs{0}, PulledNs{0};

  void SignIn() {
    ZEL::UIThread::RunSync([this] {
      Firebase->SetNextIdToken(ZEL::Test::MakeIdToken(ZEL::Time::Now() + std::chrono::hours(1)));
      Rest = std::make_shared<ZEL::TZELRESTService>();
      Auth = std::make_shared<ZEL::TAuthService>(Firebase);
      ZEL::GlobalContainer().RegisterInstance<ZEL::IZELRESTService>("", Rest);
      ZEL::GlobalContainer().RegisterInstance<ZEL::IAuthService>("", Auth);
      Auth->OnLoginSuccess = [this](ZEL::IAuthService*) {
        SignedInNs = NowNs();
        SignedIn = true;
      };
      Auth->LoginUser("demo@zel.test", "zel-demo-pass");
    });
  }
  void Start() {
    ZEL::UIThread::RunSync([this] {
      Session = std::make_unique<ZEL::TZELSession>();
      Session->OnSynced = [this](std::int32_t) {
        SyncedNs = NowNs();
        Synced = true;
      };
      Session->OnConnected = [this](bool) { Connected = true; };
      Session->StartSync();
    });
  }
  void StartPull() {
    ZEL::UIThread::RunSync([this] {
      ZEL::TZELEventsService::StartPull(Session->EventsService(), true, "", "", [this](bool) {
        PulledNs = NowNs();
        Pulled = true;
      });
    });
  }
  std::size_t ListCount() {
    std::size_t n = 0;
    ZEL::UIThread::RunSync([&] {
      for (ZEL::TZELEvent* e : *Session->EventsService()->GetEventsList()) n += e ? 1 : 0;
    });
    return n;
  }
  std::size_t AcceptedTopics() {
    std::size_t n = 0;
    ZEL::UIThread::RunSync([&] { n = dynamic_cast<ZEL::TZELMQTTService&>(*Session->MQTTService()).AcceptedTopics().size(); });
    return n;
  }
  void Release() {
    ZEL::UIThread::RunSync([this] {
      Session.reset();
      ZEL::GlobalContainer().Unregister<ZEL::IAuthService>();
      ZEL::GlobalContainer().Unregister<ZEL::IZELRESTService>();
      Auth.reset();
      Rest.reset();
    });
  }
};


// Starts the stack (the simulator in $ZEL_BACKEND_SIM) with the session's folders and
// certificates away from the user's own; an empty text when it runs, else why not.
inline std::string StartStackForSession(TStack& AStack) {
  const char* sim = std::getenv("ZEL_BACKEND_SIM");
  if (!sim || !*sim) return "set ZEL_BACKEND_SIM to a built zel-backend-sim";
  if (!AStack.Start(sim)) return "the stack did not start, see " + AStack.Root + "/stack.log";
  const std::string home = AStack.Root + "/home", certs = AStack.Root + "/certs";
  std::filesystem::create_directories(home);
  std::filesystem::create_directories(certs);
  const std::string pki = AStack.Values["ZEL_PKI_DIR"];
  const auto copy = std::filesystem::copy_options::overwrite_existing;
  std::filesystem::copy_file(pki + "/mobile_app.crt", certs + "/mobile_app.crt", copy);
  std::filesystem::copy_file(pki + "/mobile_app.key", certs + "/mobile_app.key", copy);
  std::filesystem::copy_file(pki + "/ca.crt", certs + "/mobile_app_ca.crt", copy);
  setenv("HOME", home.c_str(), 1);
  setenv("ZEL_LOGS_DIR", (AStack.Root + "/logs").c_str(), 1);
  setenv("ZEL_MQTT_CERTS_DIR", certs.c_str(), 1);
  setenv("ZEL_MQTT_CONNECT_TIMEOUT_MS", "3000", 1);
  if (AStack.Post("/reset", "{}").empty()) return "the simulator did not reset";
  return "";
}

}  // namespace ZEL::Bench
