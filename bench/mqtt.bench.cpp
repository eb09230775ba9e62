// The MQTT service's receive path against a bare libmosquitto subscriber, side by side on
// one stream from the test broker over TLS:
//  - throughput: a publisher sends a burst of alert-sized payloads (QoS 0) as fast as it
//    can; each subscriber's rate is what it received over the time from the first publish
//    to its last receipt; the ratio is ours over the bare one's (target >= 0.7);
//  - latency: the same payloads at a fixed rate; publish to handler, median and p99
//    (target p99 < 10 ms).
// Our side is measured where the application sees it: in the message delegate's handler,
// on the UI thread, which runs a QCoreApplication event loop in main().
//
// The bench tree builds no tests, so this program starts the test broker itself with the
// scripts under tests/peers. Overrides: $ZEL_BENCH_MQTT_MESSAGES (burst size, 100000),
// $ZEL_BENCH_MQTT_RATE (latency phase, per second, 1000), $ZEL_BENCH_MQTT_SECONDS (5);
// $ZEL_BENCH_MQTT_BROKER_NAGLE=1 leaves the broker's sockets with Nagle's algorithm on.

#include "BenchMqtt.h"
#include "BenchSupport.h"
#include <mosquitto.h>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZEL.MQTT.Service.h"
#include "ZEL.UIThread.h"

namespace {

using ZEL::Bench::PeersDir;
using ZEL::Bench::TBareClient;
using ZEL::Bench::WaitFor;
using ZEL::Bench::Percentile;
using ZEL::Bench::Shell;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr const char* Topic = "bench/alerts";
constexpr std::size_t PayloadSize = 1024;

long long EnvNumber(const char* AName, long long ADefault) {
  const char* v = std::getenv(AName);
  if (!v || !*v) return ADefault;
  const long long n = std::atoll(v);
  return n > 0 ? n : ADefault;
}

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}

// An alert-like JSON text of PayloadSize bytes that carries the phase, the sequence number
// and the moment of publishing.
std::string MakePayload(int APhase, long ASeq, long long ASentNs) {
  std::string s = fmt::format(R"({{"phase":{},"seq":{},"t":{},"caption":"Motion detected","data":")", APhase, ASeq, ASentNs);
  s.resize(PayloadSize - 2, 'a');
  s += "\"}";
  return s;
}

bool ParsePayload(const char* AData, int& APhase, long& ASeq, long long& ASentNs) {
  return std::sscanf(AData, R"({"phase":%d,"seq":%ld,"t":%lld)", &APhase, &ASeq, &ASentNs) == 3;
}

// What one subscriber saw in the current phase. Written by one thread (the UI thread for
// ours, the library's thread for the bare one); read by the driver once the counts match.
struct TSink {
  std::atomic<int> Phase{0};
  std::atomic<long> Received{0};
  std::atomic<long long> LastNs{0};
  std::mutex Lock;
  std::vector<double> LatenciesMs;

  void Reset(int APhase, std::size_t AExpected) {
    std::lock_guard<std::mutex> guard(Lock);
    LatenciesMs.clear();
    LatenciesMs.reserve(AExpected);
    Received.store(0);
    LastNs.store(0);
    Phase.store(APhase);
  }

  void OnPayload(const char* AData, std::size_t ALen) {
    const long long now = NowNs();
    std::string text(AData, std::min(ALen, std::size_t{96}));
    int phase = 0;
    long seq = 0;
    long long sent = 0;
    if (!ParsePayload(text.c_str(), phase, seq, sent) || phase != Phase.load()) return;
    {
      std::lock_guard<std::mutex> guard(Lock);
      LatenciesMs.push_back(static_cast<double>(now - sent) / 1e6);
    }
    LastNs.store(now);
    Received.fetch_add(1);
  }

  std::vector<double> Latencies() {
    std::lock_guard<std::mutex> guard(Lock);
    return LatenciesMs;
  }
};

// Our side: the handler on the service's message delegate.
struct TServiceSink {
  TSink Sink;
  void OnMessage(ZEL::IZELMQTTService*, const std::string&, const std::string& AData) {
    Sink.OnPayload(AData.data(), AData.size());
  }
};

struct TPki {
  std::string Dir;
  std::string Ca() const { return Dir + "/ca.crt"; }
  std::string Cert(const std::string& AName) const { return Dir + "/" + AName + ".crt"; }
  std::string Key(const std::string& AName) const { return Dir + "/" + AName + ".key"; }
};

// The test broker in a folder of its own; stopped and removed with the object.
struct TBroker {
  std::string Root;
  TPki Pki;
  int Port = 0;
  bool NoDelay = false;

  bool Start() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelbench.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return false;
    Root = tmpl;
    Pki.Dir = Root + "/pki";
    if (Shell(PeersDir() + "/make-pki.sh " + Pki.Dir + " >/dev/null") != 0) return false;
    if (Shell(PeersDir() + "/broker.sh start " + Root + "/run " + Pki.Dir + " >/dev/null") != 0) return false;
    std::ifstream(Root + "/run/broker.port") >> Port;
    if (Port <= 0) return false;
    // The broker's Nagle delay on 1 KB packets (tens of ms) would hide the latency under
    // measure; the option is reloaded on SIGHUP and applies to the clients that come after.
    if (std::getenv("ZEL_BENCH_MQTT_BROKER_NAGLE")) return true;
    NoDelay = true;
    {
      std::ofstream conf(Root + "/run/mosquitto.conf", std::ios::app);
      conf << "set_tcp_nodelay true\n";
    }
    return Shell("kill -HUP $(cat " + Root + "/run/broker.pid)") == 0 &&
           WaitFor([this] { return Shell("grep -q Reloading " + Root + "/run/broker.log") == 0; }, 5s);
  }
  ~TBroker() {
    if (Root.empty()) return;
    Shell(PeersDir() + "/broker.sh stop " + Root + "/run >/dev/null 2>&1");
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
  }
};

struct TPhaseResult {
  long Sent = 0;
  long long StartNs = 0;
  long OursReceived = 0, BareReceived = 0;
  long long OursLastNs = 0, BareLastNs = 0;
  std::vector<double> OursLatencies, BareLatencies;
};

// Publishes ACount payloads (ARate per second, or as fast as possible when 0) and waits
// until both sides have them all, or nothing more arrives for a while.
TPhaseResult RunPhase(int APhase, long ACount, long ARate, TBareClient& APublisher, TSink& AOurs, TSink& ABare) {
  AOurs.Reset(APhase, static_cast<std::size_t>(ACount));
  ABare.Reset(APhase, static_cast<std::size_t>(ACount));
  TPhaseResult r;
  r.StartNs = NowNs();
  const auto start = TClock::now();
  for (long i = 0; i < ACount; ++i) {
    if (ARate > 0) std::this_thread::sleep_until(start + std::chrono::nanoseconds(i * 1'000'000'000LL / ARate));
    if (APublisher.Publish(Topic, MakePayload(APhase, i, NowNs()))) ++r.Sent;
  }
  long seen = -1;
  auto lastProgress = TClock::now();
  while (AOurs.Received.load() + ABare.Received.load() < 2 * r.Sent && TClock::now() - lastProgress < 5s) {
    std::this_thread::sleep_for(5ms);
    const long now = AOurs.Received.load() + ABare.Received.load();
    if (now != seen) {
      seen = now;
      lastProgress = TClock::now();
    }
  }
  r.OursReceived = AOurs.Received.load();
  r.BareReceived = ABare.Received.load();
  r.OursLastNs = AOurs.LastNs.load();
  r.BareLastNs = ABare.LastNs.load();
  r.OursLatencies = AOurs.Latencies();
  r.BareLatencies = ABare.Latencies();
  return r;
}

double RatePerSecond(long AReceived, long long AStartNs, long long ALastNs) {
  return ALastNs > AStartNs ? static_cast<double>(AReceived) * 1e9 / static_cast<double>(ALastNs - AStartNs) : 0;
}

// The whole measurement; runs beside the UI thread and hands service work to it.
int Drive() {
  mosquitto_lib_init();
  const long messages = EnvNumber("ZEL_BENCH_MQTT_MESSAGES", 100000);
  const long rate = EnvNumber("ZEL_BENCH_MQTT_RATE", 1000);
  const long seconds = EnvNumber("ZEL_BENCH_MQTT_SECONDS", 5);

  TBroker broker;
  if (!broker.Start()) {
    std::fprintf(stderr, "zel_bench_mqtt: the test broker did not start\n");
    return 1;
  }
  // The service reads its broker, certificate folder and log folder from the environment.
  const std::string certs = broker.Root + "/certs";
  const std::string logs = broker.Root + "/logs";
  std::filesystem::create_directories(certs);
  std::filesystem::create_directories(logs);
  const auto copy = std::filesystem::copy_options::overwrite_existing;
  std::filesystem::copy_file(broker.Pki.Cert("mobile_app"), certs + "/mobile_app.crt", copy);
  std::filesystem::copy_file(broker.Pki.Key("mobile_app"), certs + "/mobile_app.key", copy);
  std::filesystem::copy_file(broker.Pki.Ca(), certs + "/" + ZEL::MQTT::Service::MQTT_SSL_CAFILE, copy);
  setenv("ZEL_MQTT_CERTS_DIR", certs.c_str(), 1);
  setenv("ZEL_LOGS_DIR", logs.c_str(), 1);
  setenv("ZEL_MQTT_BROKER_HOST", "127.0.0.1", 1);
  setenv("ZEL_MQTT_BROKER_PORT", std::to_string(broker.Port).c_str(), 1);

  TServiceSink ours;
  TSink bare;
  std::unique_ptr<ZEL::TZELMQTTService> service;
  ZEL::UIThread::RunSync([&] {
    service = std::make_unique<ZEL::TZELMQTTService>();
    service->GetOnMessageDelegate()->AddHandler(ZEL::TMQTTMessageReceived::Of(&ours, &TServiceSink::OnMessage));
    service->Connect();
  });
  auto release = [&] { ZEL::UIThread::RunSync([&] { service.reset(); }); };

  TBareClient subscriber("bench-bare-sub", broker.Pki.Dir, "mobile_app", broker.Port,
                         [&bare](const char* AData, std::size_t ALength) { bare.OnPayload(AData, ALength); });
  TBareClient publisher("bench-pub", broker.Pki.Dir, "edge", broker.Port);
  const bool connected = WaitFor([&] { return service->IsConnected(); }, 15s) &&
                         subscriber.WaitConnected() && publisher.WaitConnected() && subscriber.Subscribe(Topic);
  bool subscribed = false;
  if (connected) {
    ZEL::UIThread::RunSync([&] { service->Subscribe(Topic); });
    subscribed = WaitFor([&] { return !service->AcceptedTopics().empty(); }, 10s);
  }
  if (!connected || !subscribed) {
    std::fprintf(stderr, "zel_bench_mqtt: could not connect and subscribe to the test broker\n");
    release();
    return 1;
  }

  // A short warm-up (TLS sessions, allocations), then the two phases.
  RunPhase(1, 1000, 0, publisher, ours.Sink, bare);
  const TPhaseResult burst = RunPhase(2, messages, 0, publisher, ours.Sink, bare);
  const TPhaseResult paced = RunPhase(3, rate * seconds, rate, publisher, ours.Sink, bare);
  release();

  const double oursRate = RatePerSecond(burst.OursReceived, burst.StartNs, burst.OursLastNs);
  const double bareRate = RatePerSecond(burst.BareReceived, burst.StartNs, burst.BareLastNs);
  const double ratio = bareRate > 0 ? oursRate / bareRate : 0;
  const double p50 = Percentile(paced.OursLatencies, 0.50), p99 = Percentile(paced.OursLatencies, 0.99);
  const double bp50 = Percentile(paced.BareLatencies, 0.50), bp99 = Percentile(paced.BareLatencies, 0.99);

  std::printf("MQTT receive path, test broker over TLS (TLS 1.2, client certificate), QoS 0, %zu-byte payloads\n",
              PayloadSize);
  std::printf("broker: %s\n", broker.NoDelay ? "set_tcp_nodelay true (ZEL_BENCH_MQTT_BROKER_NAGLE=1: the default)"
                                             : "Nagle's algorithm on (mosquitto's default)");
  std::printf("burst of %ld payloads:\n", burst.Sent);
  std::printf("  service delegate on the UI thread: %8ld received, %10.0f msg/s\n", burst.OursReceived, oursRate);
  std::printf("  bare libmosquitto subscriber:      %8ld received, %10.0f msg/s\n", burst.BareReceived, bareRate);
  std::printf("  ratio (service / bare): %.2f   target >= 0.70   %s\n", ratio, ratio >= 0.7 ? "met" : "MISSED");
  std::printf("%ld payloads at %ld/s, publish to handler:\n", paced.Sent, rate);
  std::printf("  service delegate on the UI thread: %8ld received, median %6.3f ms, p99 %6.3f ms\n",
              paced.OursReceived, p50, p99);
  std::printf("  bare libmosquitto subscriber:      %8ld received, median %6.3f ms, p99 %6.3f ms\n",
              paced.BareReceived, bp50, bp99);
  std::printf("  p99 target < 10 ms   %s\n", p99 < 10.0 && paced.OursReceived == paced.Sent ? "met" : "MISSED");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return ZEL::Bench::RunDriven(argc, argv, Drive); }
