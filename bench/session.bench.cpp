// The session against the whole local stack (broker over TLS, backend and edge simulator):
//  - an alert raised at a site (the simulator's control port) to the alert in the list
//    (TEventAddedMessage on the UI thread), median and p99, paced; beside it the bare
//    broker round trip on an edge Event topic to a plain libmosquitto subscriber, the floor
//    (target: median at most 2 ms above the floor's);
//  - sign-in to the first pulled page of many alerts in the list.
// The identity client is a stand-in that answers at once; REST and MQTT are the real ones.
//
// The bench tree builds no simulator: $ZEL_BACKEND_SIM names a built zel-backend-sim.
// Overrides: $ZEL_BENCH_SESSION_ALERTS (1000), $ZEL_BENCH_SESSION_RATE (per second, 100),
// $ZEL_BENCH_SESSION_SEED (alerts seeded before the sign-in, 1000: the simulator takes about
// 26 ms an alert, so 10000 take minutes).

#include "BenchMqtt.h"
#include "BenchStack.h"
#include "BenchSupport.h"
#include <mosquitto.h>

#include <httplib.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "ZEL.Auth.Service.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.Events.Service.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Session.h"
#include "ZEL.UIThread.h"

namespace {

using ZEL::Bench::PeersDir;
using ZEL::Bench::Percentile;
using ZEL::Bench::Shell;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using json = nlohmann::json;

long long EnvNumber(const char* AName, long long ADefault) {
  const char* v = std::getenv(AName);
  if (!v || !*v) return ADefault;
  const long long n = std::atoll(v);
  return n > 0 ? n : ADefault;
}

using ZEL::Bench::TBareClient;
using ZEL::Bench::WaitFor;
using ZEL::Bench::NowNs;
using ZEL::Bench::TStack;
using ZEL::Bench::TSignedInSession;

// The bare round trip on the organisation's Event topic, paced like the alerts.
std::vector<double> MeasureFloor(TStack& AStack, const std::string& ATopic, long ACount, long ARate) {
  const std::string pki = AStack.Values["ZEL_PKI_DIR"];
  const int port = std::atoi(AStack.Values["ZEL_MQTT_BROKER_PORT"].c_str());
  // Each payload carries its send time; the subscriber keeps the round trips in ms.
  std::mutex lock;
  std::vector<double> latencies;
  TBareClient subscriber("bench-floor-sub", pki, "mobile_app", port, [&](const char* AData, std::size_t ALength) {
    const long long now = NowNs();
    long long sent = 0;
    const std::string text(AData, ALength);
    if (std::sscanf(text.c_str(), R"({"bench":%lld)", &sent) != 1) return;
    std::lock_guard guard(lock);
    latencies.push_back(static_cast<double>(now - sent) / 1e6);
  });
  const auto received = [&] {
    std::lock_guard guard(lock);
    return latencies;
  };
  TBareClient publisher("bench-floor-pub", pki, "edge", port);
  if (!subscriber.WaitConnected() || !publisher.WaitConnected() || !subscriber.Subscribe(ATopic)) return {};
  // An alert-sized text (the simulator's type 1 payloads are about this long).
  const auto payload = [](long long ASent) {
    std::string s = fmt::format(R"({{"bench":{},"Caption":"Motion detected","Text":")", ASent);
    s.resize(700, 'a');
    return s + "\"}";
  };
  const auto start = TClock::now();
  for (long i = 0; i < ACount; ++i) {
    std::this_thread::sleep_until(start + std::chrono::nanoseconds(i * 1'000'000'000LL / ARate));
    publisher.Publish(ATopic, payload(NowNs()));
  }
  WaitFor([&] { return static_cast<long>(received().size()) >= ACount; }, 5s);
  return received();
}

int Fail(const std::string& AText) {
  std::fprintf(stderr, "zel_bench_session: %s\n", AText.c_str());
  return 1;
}

int Drive() {
  mosquitto_lib_init();
  const long alerts = EnvNumber("ZEL_BENCH_SESSION_ALERTS", 1000);
  const long rate = EnvNumber("ZEL_BENCH_SESSION_RATE", 100);
  const long seed = EnvNumber("ZEL_BENCH_SESSION_SEED", 1000);
  TStack stack;
  if (const std::string error = ZEL::Bench::StartStackForSession(stack); !error.empty()) return Fail(error);
  const json health = json::parse(stack.Get("/health"), nullptr, false);
  const std::string orgTopic = health.is_object() ? health.value("orgEventTopic", "") : "";
  if (orgTopic.empty()) return Fail("the simulator names no organisation topic");

  // The floor first, with no session on the broker.
  const std::vector<double> floor = MeasureFloor(stack, orgTopic, alerts, rate);

  // (1) Raised at a site to in the list.
  std::vector<double> latencies;
  long raised = 0;
  {
    TSignedInSession s;
    std::mutex lock;
    std::map<std::string, long long> arrived;
    ZEL::TZELMessagerRef ref;
    ZEL::UIThread::RunSync([&] {
      ref = ZEL::TZELMessager<ZEL::TEventAddedMessage>::Subscribe([&](ZEL::TSender, const ZEL::TEventAddedMessage& M) {
        const long long now = NowNs();
        std::lock_guard guard(lock);
        arrived.emplace(M.Value()->ID(), now);
      });
    });
    s.SignIn();
    if (!WaitFor([&] { return s.SignedIn.load(); }, 20s)) return Fail("the sign-in did not complete");
    s.Start();
    if (!WaitFor([&] { return s.Synced && s.Connected; }, 20s)) return Fail("the session did not sync and connect");
    if (!WaitFor([&] { return s.AcceptedTopics() >= 7u; }, 20s)) return Fail("the session's topics were not accepted");

    std::map<std::string, long long> sent;
    const auto start = TClock::now();
    for (long i = 0; i < alerts; ++i) {
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(i * 1'000'000'000LL / rate));
      const long long t = NowNs();
      const json answer = json::parse(stack.Post("/alerts", R"({"edge":"EDGE-NORTH-01","attachments":0})"), nullptr, false);
      if (answer.is_object() && answer.contains("alert")) sent[answer["alert"].value("ObjectId", "")] = t;
    }
    raised = static_cast<long>(sent.size());
    WaitFor([&] {
      std::lock_guard guard(lock);
      return std::all_of(sent.begin(), sent.end(), [&](const auto& P) { return arrived.count(P.first) > 0; });
    }, 10s);
    ZEL::UIThread::RunSync([&] { ZEL::TZELMessager<ZEL::TEventAddedMessage>::Unsubscribe(ref, true); });
    std::lock_guard guard(lock);
    for (const auto& [id, t] : sent) {
      const auto it = arrived.find(id);
      if (it != arrived.end()) latencies.push_back(static_cast<double>(it->second - t) / 1e6);
    }
    s.Release();
  }

  // (2) Sign-in to the first pulled page of many alerts.
  if (stack.Post("/reset", "{}").empty()) return Fail("the simulator did not reset");
  const auto seedStart = TClock::now();
  long seeded = 0;
  for (long i = 0; i < seed; ++i) seeded += stack.Post("/alerts", R"({"edge":"EDGE-NORTH-01","attachments":1})").empty() ? 0 : 1;
  const double seedSeconds = std::chrono::duration<double>(TClock::now() - seedStart).count();
  TSignedInSession s;
  const long long t0 = NowNs();
  s.SignIn();
  if (!WaitFor([&] { return s.SignedIn.load(); }, 30s)) return Fail("the second sign-in did not complete");
  s.Start();
  if (!WaitFor([&] { return s.Synced.load(); }, 30s)) return Fail("the second session did not sync");
  s.StartPull();
  if (!WaitFor([&] { return s.Pulled.load(); }, 120s)) return Fail("the first pull did not complete");
  const std::size_t listed = s.ListCount();
  s.Release();

  const double p50 = Percentile(latencies, 0.5), p99 = Percentile(latencies, 0.99);
  const double f50 = Percentile(floor, 0.5), f99 = Percentile(floor, 0.99);
  std::printf("Session against the local stack (broker over TLS 1.2, backend and edge simulator)\n");
  std::printf("%ld alerts at %ld/s, raised at the site (control POST /alerts) to TEventAddedMessage:\n", alerts, rate);
  std::printf("  session, alert in the list:          %5ld of %5ld, median %7.3f ms, p99 %7.3f ms\n",
              static_cast<long>(latencies.size()), raised, p50, p99);
  std::printf("  floor, bare broker round trip:       %5ld of %5ld, median %7.3f ms, p99 %7.3f ms\n",
              static_cast<long>(floor.size()), alerts, f50, f99);
  std::printf("  median above the floor: %.3f ms   target <= 2 ms   %s\n", p50 - f50,
              p50 - f50 <= 2.0 && static_cast<long>(latencies.size()) == raised ? "met" : "MISSED");
  std::printf("sign-in to the first pulled page (%ld alerts seeded in %.1f s):\n", seeded, seedSeconds);
  std::printf("  signed in %8.1f ms, synced %8.1f ms, first page pulled %8.1f ms; %zu alerts in the list\n",
              static_cast<double>(s.SignedInNs - t0) / 1e6, static_cast<double>(s.SyncedNs - t0) / 1e6,
              static_cast<double>(s.PulledNs - t0) / 1e6, listed);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return ZEL::Bench::RunDriven(argc, argv, Drive); }
