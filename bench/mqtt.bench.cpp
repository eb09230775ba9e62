// The broker side of the client against bare libmosquitto subscribers, each pair fed the
// same stream from the test broker (TLS 1.2, client certificates, no Nagle delay):
//  1. receive path: 1 kB payloads to the MQTT service's message delegate on the UI thread,
//     against a bare subscriber that only counts them; a burst (rates) and a paced stream
//     (publish to handler, median and p99; target p99 < 1.5 ms);
//  2. intake through the real handler: alert payloads of types 1, 2 and 5 on an edge's
//     Event topic, routed by the session's message handler to the events service, into
//     the alert list (10,000 alerts held) and the Events view's rows; published as fast as
//     the publisher can, faster than the UI thread takes them, against a bare subscriber
//     that parses each payload (nlohmann::ordered_json) on its network thread. Each side's
//     rate is what it handled over the time from the first publish to its last payload
//     (target: ours at least 0.7 of the bare one's). Last, the same burst with no view on
//     the list, which shows what the rows cost;
//  3. publish to row: new alerts (type 1) at 1,000 a second, from publish to the row in
//     the view's model, against publish to the bare parse's end (target p99 < 2 ms).
// Logging stays on, into the run's own folder; the view runs on the offscreen platform.
//
// The bench tree builds no tests, so this program starts the test broker itself with the
// scripts under tests/peers. Overrides: $ZEL_BENCH_MQTT_MESSAGES (receive burst, 100000),
// $ZEL_BENCH_MQTT_RATE (paced phases, per second, 1000), $ZEL_BENCH_MQTT_SECONDS (5),
// $ZEL_BENCH_MQTT_HELD (alerts in the list, 10000), $ZEL_BENCH_MQTT_INTAKE (intake burst,
// 30000, a third of each type).

#include "BenchMqtt.h"
#include "BenchAlerts.h"
#include "BenchSupport.h"
#include <mosquitto.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QWidget>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
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

#include "ZEL.Edge.h"
#include "ZEL.EdgeService.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.Events.Service.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.Session.h"
#include "ZEL.UIThread.h"
#include "ZEL.View.Events.h"

namespace {

using ZEL::Bench::PeersDir;
using ZEL::Bench::Percentile;
using ZEL::Bench::Shell;
using ZEL::Bench::TBareClient;
using ZEL::Bench::WaitFor;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using TJSON = nlohmann::ordered_json;

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

const char* Verdict(bool AOk) { return AOk ? "met" : "MISSED"; }

// ---- 1. the receive path -------------------------------------------------------------

// A JSON text of PayloadSize bytes that carries the phase, the sequence number and the
// moment of publishing.
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
    Record(now, sent);
  }

  void Record(long long ANow, long long ASent) {
    {
      std::lock_guard<std::mutex> guard(Lock);
      LatenciesMs.push_back(static_cast<double>(ANow - ASent) / 1e6);
    }
    LastNs.store(ANow);
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

  bool Start() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelbench.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return false;
    Root = tmpl;
    Pki.Dir = Root + "/pki";
    if (Shell(PeersDir() + "/make-pki.sh " + Pki.Dir + " >/dev/null") != 0) return false;
    if (Shell(PeersDir() + "/broker.sh start " + Root + "/run " + Pki.Dir + " >/dev/null") != 0) return false;
    std::ifstream(Root + "/run/broker.port") >> Port;
    return Port > 0;
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
  long long StartNs = 0, EndNs = 0;  // first and last publish
  long OursReceived = 0, BareReceived = 0;
  long long OursLastNs = 0, BareLastNs = 0;
  std::vector<double> OursLatencies, BareLatencies;
};

// Publishes ACount payloads from AMake (ARate per second, or as fast as possible when 0),
// then waits until both sides have them all, or nothing more arrives for a while.
template <class TMake>
TPhaseResult Publish(long ACount, long ARate, TBareClient& APublisher, const std::string& ATopic, TMake AMake,
                     TSink& AOurs, TSink& ABare) {
  TPhaseResult r;
  r.StartNs = NowNs();
  const auto start = TClock::now();
  for (long i = 0; i < ACount; ++i) {
    if (ARate > 0) std::this_thread::sleep_until(start + std::chrono::nanoseconds(i * 1'000'000'000LL / ARate));
    if (APublisher.Publish(ATopic, AMake(i))) ++r.Sent;
  }
  r.EndNs = NowNs();
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

TPhaseResult RunPhase(int APhase, long ACount, long ARate, TBareClient& APublisher, TSink& AOurs, TSink& ABare) {
  AOurs.Reset(APhase, static_cast<std::size_t>(ACount));
  ABare.Reset(APhase, static_cast<std::size_t>(ACount));
  return Publish(ACount, ARate, APublisher, Topic, [APhase](long I) { return MakePayload(APhase, I, NowNs()); },
                 AOurs, ABare);
}

double RatePerSecond(long AReceived, long long AStartNs, long long ALastNs) {
  return ALastNs > AStartNs ? static_cast<double>(AReceived) * 1e9 / static_cast<double>(ALastNs - AStartNs) : 0;
}

// ---- 2. and 3. the intake --------------------------------------------------------------

using ZEL::Bench::ObjectId;
using ZEL::Bench::Stamp;

// The number an ObjectId was made of; -1 for another text.
long NumberOfId(const std::string& AID) {
  if (AID.size() != 24) return -1;
  return static_cast<long>(std::strtoull(AID.c_str() + 4, nullptr, 16));
}

// The alerts come from the edge's three conditions, so that every row finds its edge.
TJSON Originator(long AN) {
  return ZEL::Bench::Originator(AN, fmt::format("EDGE-1-COND-{}", 1 + AN % 3),
                                fmt::format("{{00000000-0000-0000-0000-00000000000{}}}", 1 + AN % 3));
}


TJSON AlertElement(long AN) { return ZEL::Bench::AlertElement(AN, Originator(AN)); }

// A new alert as an edge publishes it (type 1).
std::string NewAlertPayload(long AN) {
  TJSON alert = AlertElement(AN);
  alert.erase("ExtraData");
  TJSON payload = {{"Type", 1}};
  for (auto& [key, value] : alert.items()) payload[key] = value;
  return payload.dump();
}

// The three types interleaved as an edge sends them: a new alert (type 1), a history entry
// with two attachments for an alert held already (type 2), the upload state of one of that
// entry's attachments (type 5). AFirstNew and AFirstItem keep the phases' ids apart.
std::vector<std::string> IntakePayloads(long AHeld, long ACount, long AFirstNew, long AFirstItem) {
  std::vector<std::string> payloads;
  payloads.reserve(static_cast<std::size_t>(ACount));
  for (long i = 0; static_cast<long>(payloads.size()) < ACount; ++i) {
    payloads.push_back(NewAlertPayload(AFirstNew + i));
    const long parent = (i * 7919) % AHeld;  // spread over the list
    const long itemNo = AFirstItem + i;
    if (static_cast<long>(payloads.size()) < ACount)
      payloads.push_back(ZEL::Bench::HistoryEntryPayload(parent, itemNo, Originator(parent)));
    if (static_cast<long>(payloads.size()) < ACount) payloads.push_back(ZEL::Bench::UploadPayload(parent, itemNo));
  }
  return payloads;
}

using ZEL::Bench::EdgeJSON;

// The publish moment of each new alert, by its number; written by the publishing thread
// before it publishes, read by the receivers.
struct TSendTimes {
  explicit TSendTimes(std::size_t ACount) : Ns(ACount) {}
  std::vector<std::atomic<long long>> Ns;
  long long Of(long AN) const {
    return AN >= 0 && static_cast<std::size_t>(AN) < Ns.size() ? Ns[static_cast<std::size_t>(AN)].load() : 0;
  }
};

// The session, its services, a list of held alerts and the Events view following it: the
// path a broker payload takes in the client. Made and freed on the UI thread.
struct TClientSide {
  std::unique_ptr<ZEL::TZELSession> Session;
  std::unique_ptr<QWidget> Parent;
  std::unique_ptr<ZEL::TEventsViewForm> View;
  std::string EventTopic;
  TSink Handled;   // every payload, once the session's handler is done with it
  TSink Rows;      // every new row in the view's model, with publish-to-row latencies
  TSendTimes* Sent = nullptr;
  long RowsFrom = 0;  // new alerts below this number are not timed

  void OnMessage(ZEL::IZELMQTTService*, const std::string&, const std::string&) {
    const long long now = NowNs();
    Handled.LastNs.store(now);
    Handled.Received.fetch_add(1);
  }

  bool Build(long AHeld) {
    Session = std::make_unique<ZEL::TZELSession>();
    auto edges = Session->EdgeService();
    auto events = Session->EventsService();
    auto mqtt = Session->MQTTService();
    if (!edges || !events || !mqtt || !edges->InitEdge(EdgeJSON())) return false;
    EventTopic = edges->GetEdge(0)->MQTTEventChannel();
    TJSON held = TJSON::array();
    for (long i = 0; i < AHeld; ++i) held.push_back(AlertElement(i));
    events->GetEventsList()->ReadFromJSONArray(std::move(held), false);

    Parent = std::make_unique<QWidget>();
    View = std::make_unique<ZEL::TEventsViewForm>();
    View->InitView(ZEL::TView::Events, nullptr, Parent.get());
    View->resize(412, 568);
    View->show();
    QCoreApplication::processEvents();
    View->Enter(ZEL::TView::Profile);  // follows the list without a pull
    QObject::connect(View->Rows(), &QAbstractItemModel::rowsInserted, View.get(),
                     [this](const QModelIndex&, int AFirst, int ALast) {
                       const long long now = NowNs();
                       for (int r = AFirst; r <= ALast; ++r) {
                         const long n = NumberOfId(View->Rows()->Row(r).ID);
                         if (Sent && n >= RowsFrom && Sent->Of(n) > 0) Rows.Record(now, Sent->Of(n));
                       }
                     });
    // What the session's sync does once the edges are loaded, then ours after it.
    auto* messages = mqtt->GetOnMessageDelegate();
    messages->AddHandler(ZEL::TMQTTMessageReceived::Of(Session.get(), &ZEL::TZELSession::OnMQTTMessage));
    messages->AddHandler(ZEL::TMQTTMessageReceived::Of(this, &TClientSide::OnMessage));
    mqtt->Connect();
    return true;
  }

  long RowCount() const { return View ? View->Rows()->rowCount() : 0; }

  void Free() {
    if (auto mqtt = Session ? Session->MQTTService() : nullptr)
      mqtt->GetOnMessageDelegate()->RemoveHandler(ZEL::TMQTTMessageReceived::Of(this, &TClientSide::OnMessage));
    if (View) View->Leave(ZEL::TView::Profile);
    View.reset();
    Parent.reset();
    Session.reset();
  }
};

// The bare side of the intake: each payload parsed whole on the library's thread.
struct TBareParser {
  TSink Handled;
  TSink Parsed;  // new alerts, with publish-to-parse latencies
  TSendTimes* Sent = nullptr;
  long TimedFrom = 0;

  void OnPayload(const char* AData, std::size_t ALength) {
    const TJSON parsed = TJSON::parse(AData, AData + ALength, nullptr, false);
    const long long now = NowNs();
    if (parsed.is_object()) {
      const auto type = parsed.find("Type");
      if (type != parsed.end() && *type == 1) {
        const long n = NumberOfId(parsed.value("ObjectId", std::string()));
        if (Sent && n >= TimedFrom && Sent->Of(n) > 0) Parsed.Record(now, Sent->Of(n));
      }
    }
    Handled.LastNs.store(now);
    Handled.Received.fetch_add(1);
  }
};

struct TIntakeResult {
  TPhaseResult Burst, Paced, ListOnly;
  long RowsBefore = 0, RowsAfterBurst = 0, RowsAfterPaced = 0;
  double ParseAlonePerSecond = 0;
  // The UI thread's own capacity: the same mix handed to the service's receive entry
  // back to back (the broker's pace left out), against a bare parse of the same payloads.
  double HandlerPerSecond = 0, BareParsePerSecond = 0;
};

// An argument picks one part ("receive" or "intake"), for profiling.
std::string GOnly;

int Fail(const char* AText) {
  std::fprintf(stderr, "zel_bench_mqtt: %s\n", AText);
  return 1;
}

// 2. and 3. The intake through the session's handler. New alerts are numbered after the
// held ones: warm-up, burst, paced, each phase its own range.
int MeasureIntake(const TBroker& ABroker, TBareClient& APublisher, long AHeld, long AIntake, long ARate, long ASeconds,
                  TIntakeResult& AResult) {
  const long warmup = 3000;
  const long pacedCount = ARate * ASeconds;
  const long firstBurst = AHeld + warmup, firstPaced = firstBurst + AIntake;
  TSendTimes sent(static_cast<std::size_t>(firstPaced + pacedCount + AIntake));
  const std::vector<std::string> warmPayloads = IntakePayloads(AHeld, warmup, AHeld, 1'000'000);
  const std::vector<std::string> burstPayloads = IntakePayloads(AHeld, AIntake, firstBurst, 2'000'000);
  std::vector<std::string> pacedPayloads;
  for (long i = 0; i < pacedCount; ++i) pacedPayloads.push_back(NewAlertPayload(firstPaced + i));
  const long firstListOnly = firstPaced + pacedCount;
  const std::vector<std::string> listOnlyPayloads = IntakePayloads(AHeld, AIntake, firstListOnly, 3'000'000);

  {
    // The bare parse's own cost, on this thread, for the record.
    const auto start = TClock::now();
    std::size_t keys = 0;
    for (const std::string& payload : burstPayloads) keys += TJSON::parse(payload).size();
    AResult.ParseAlonePerSecond = static_cast<double>(burstPayloads.size()) / ZEL::Bench::Seconds(start);
    if (keys == 0) return Fail("no payload parsed");
  }

  TClientSide client;
  TBareParser bareParser;
  client.Sent = &sent;
  bareParser.Sent = &sent;
  bool built = false;
  ZEL::UIThread::RunSync([&] {
    // The view is closed before the run ends; the event loop must go on without it.
    QApplication::setQuitOnLastWindowClosed(false);
    built = client.Build(AHeld);
  });
  const auto freeClient = [&] { ZEL::UIThread::RunSync([&] { client.Free(); }); };
  if (!built) {
    freeClient();
    return Fail("the session's services could not be set up");
  }
  TBareClient bareSub("bench-bare-intake", ABroker.Pki.Dir, "mobile_app", ABroker.Port,
                      [&bareParser](const char* AData, std::size_t ALength) { bareParser.OnPayload(AData, ALength); });
  auto mqtt = client.Session->MQTTService();
  bool ready = WaitFor([&] { return mqtt->IsConnected(); }, 15s) && bareSub.WaitConnected() &&
               bareSub.Subscribe(client.EventTopic);
  if (ready) {
    ZEL::UIThread::RunSync([&] { mqtt->Subscribe(client.EventTopic); });
    auto* service = dynamic_cast<ZEL::TZELMQTTService*>(mqtt.get());
    ready = service && WaitFor([&] { return !service->AcceptedTopics().empty(); }, 10s);
  }
  if (!ready) {
    mqtt.reset();
    freeClient();
    return Fail("the session could not connect and subscribe to the test broker");
  }
  const auto rowCount = [&] {
    long n = 0;
    ZEL::UIThread::RunSync([&] { n = client.RowCount(); });
    return n;
  };
  const auto runIntake = [&](const std::vector<std::string>& APayloads, long AFirstNew, long APace) {
    client.Handled.Reset(0, APayloads.size());
    client.Rows.Reset(0, APayloads.size());
    bareParser.Handled.Reset(0, APayloads.size());
    bareParser.Parsed.Reset(0, APayloads.size());
    client.RowsFrom = AFirstNew;
    bareParser.TimedFrom = AFirstNew;
    const auto make = [&](long I) -> const std::string& {
      // Type 1 payloads are every third of a mixed stream and every one of a paced one.
      const long n = APace > 0 ? AFirstNew + I : (I % 3 == 0 ? AFirstNew + I / 3 : -1);
      if (n >= 0) sent.Ns[static_cast<std::size_t>(n)].store(NowNs());
      return APayloads[static_cast<std::size_t>(I)];
    };
    TPhaseResult r = Publish(static_cast<long>(APayloads.size()), APace, APublisher, client.EventTopic, make,
                             client.Handled, bareParser.Handled);
    r.OursLatencies = client.Rows.Latencies();
    r.BareLatencies = bareParser.Parsed.Latencies();
    return r;
  };
  runIntake(warmPayloads, AHeld, 0);
  AResult.RowsBefore = rowCount();
  ZEL::LogsPipe::Flush();
  AResult.Burst = runIntake(burstPayloads, firstBurst, 0);
  AResult.RowsAfterBurst = rowCount();
  ZEL::LogsPipe::Flush();
  AResult.Paced = runIntake(pacedPayloads, firstPaced, ARate);
  AResult.RowsAfterPaced = rowCount();
  {
    // What the UI thread can take: the broker delivers about as fast as a bare subscriber
    // reads, so the bursts above show the broker's pace once the handler keeps up. Here the
    // payloads go to the service's receive entry one after another on the UI thread (as its
    // drain of the network thread's batches does), then the posted relayout and paint run;
    // the bare side parses the same payloads on this thread. Sides take turns, best of three.
    const long firstCapacity = firstListOnly + AIntake;
    auto* service = dynamic_cast<ZEL::TZELMQTTService*>(mqtt.get());
    double best = 0, bestBare = 0;
    for (int turn = 0; turn < 3 && service; ++turn) {
      const std::vector<std::string> payloads =
          IntakePayloads(AHeld, AIntake, firstCapacity + turn * AIntake, 4'000'000 + turn * 1'000'000);
      const auto bareStart = TClock::now();
      std::size_t keys = 0;
      for (const std::string& payload : payloads) keys += TJSON::parse(payload).size();
      const double bare = static_cast<double>(payloads.size()) / ZEL::Bench::Seconds(bareStart);
      if (keys == 0) return Fail("no payload parsed");
      client.RowsFrom = std::numeric_limits<long>::max();  // no latencies here
      double seconds = 0;
      ZEL::UIThread::RunSync([&] {
        const auto start = TClock::now();
        auto* handlers = dynamic_cast<ZEL::IMQTTMessageDelegateHandler*>(service->GetOnMessageDelegate());
        ZEL::ILogWriter& log = ZEL::LogsPipe::ZELLog();
        for (const std::string& payload : payloads) {
          // The receive entry's own line, as it writes it, then its handlers.
          log.DebugFmt("TZELMQTTService", "ClientOnPublishReceived. PackedId: {} Topic: \"{}\"  Payload: {}", 0,
                       client.EventTopic, ZEL::LogsPipe::Shortened(payload));
          handlers->MQTTMessageReceived(service, client.EventTopic, payload);
        }
        QCoreApplication::sendPostedEvents();
        if (client.View) client.View->repaint();
        seconds = ZEL::Bench::Seconds(start);
      });
      best = std::max(best, static_cast<double>(payloads.size()) / seconds);
      bestBare = std::max(bestBare, bare);
      ZEL::LogsPipe::Flush();
    }
    AResult.HandlerPerSecond = best;
    AResult.BareParsePerSecond = bestBare;
  }
  // The same burst once more with no view on the list: what the rows cost.
  ZEL::UIThread::RunSync([&] {
    client.View->Leave(ZEL::TView::Profile);
    client.View.reset();
  });
  ZEL::LogsPipe::Flush();
  AResult.ListOnly = runIntake(listOnlyPayloads, firstListOnly, 0);
  mqtt.reset();
  freeClient();
  return 0;
}

// ---- the run ---------------------------------------------------------------------------

int Drive() {
  mosquitto_lib_init();
  const long messages = EnvNumber("ZEL_BENCH_MQTT_MESSAGES", 100000);
  const long rate = EnvNumber("ZEL_BENCH_MQTT_RATE", 1000);
  const long seconds = EnvNumber("ZEL_BENCH_MQTT_SECONDS", 5);
  const long held = EnvNumber("ZEL_BENCH_MQTT_HELD", 10000);
  const long intake = EnvNumber("ZEL_BENCH_MQTT_INTAKE", 30000);

  TBroker broker;
  if (!broker.Start()) return Fail("the test broker did not start");
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

  TBareClient publisher("bench-pub", broker.Pki.Dir, "edge", broker.Port);
  if (!publisher.WaitConnected()) return Fail("the publisher could not connect to the test broker");

  // 1. The receive path.
  TPhaseResult burst, paced;
  if (GOnly.empty() || GOnly == "receive") {
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
    const bool connected = WaitFor([&] { return service->IsConnected(); }, 15s) && subscriber.WaitConnected() &&
                           subscriber.Subscribe(Topic);
    bool subscribed = false;
    if (connected) {
      ZEL::UIThread::RunSync([&] { service->Subscribe(Topic); });
      subscribed = WaitFor([&] { return !service->AcceptedTopics().empty(); }, 10s);
    }
    if (!connected || !subscribed) {
      release();
      return Fail("could not connect and subscribe to the test broker");
    }
    // A short warm-up (TLS sessions, allocations), then the two phases.
    RunPhase(1, 1000, 0, publisher, ours.Sink, bare);
    burst = RunPhase(2, messages, 0, publisher, ours.Sink, bare);
    paced = RunPhase(3, rate * seconds, rate, publisher, ours.Sink, bare);
    release();
  }

  TIntakeResult result;
  if (GOnly.empty() || GOnly == "intake")
    if (const int rc = MeasureIntake(broker, publisher, held, intake, rate, seconds, result); rc != 0) return rc;

  // ---- what was measured ----
  const double oursRate = RatePerSecond(burst.OursReceived, burst.StartNs, burst.OursLastNs);
  const double bareRate = RatePerSecond(burst.BareReceived, burst.StartNs, burst.BareLastNs);
  const double ratio = bareRate > 0 ? oursRate / bareRate : 0;
  const double p50 = Percentile(paced.OursLatencies, 0.50), p99 = Percentile(paced.OursLatencies, 0.99);
  const double bp50 = Percentile(paced.BareLatencies, 0.50), bp99 = Percentile(paced.BareLatencies, 0.99);

  std::printf("MQTT, test broker over TLS (TLS 1.2, client certificates, set_tcp_nodelay), QoS 0\n");
  if (GOnly.empty() || GOnly == "receive") {
    std::printf("1. receive path, %zu-byte payloads, burst of %ld (publisher: %.0f msg/s):\n", PayloadSize, burst.Sent,
                RatePerSecond(burst.Sent, burst.StartNs, burst.EndNs));
    std::printf("  service delegate on the UI thread: %8ld received, %10.0f msg/s\n", burst.OursReceived, oursRate);
    std::printf("  bare libmosquitto subscriber:      %8ld received, %10.0f msg/s\n", burst.BareReceived, bareRate);
    std::printf("  ratio (service / bare): %.2f   target >= 0.70   %s\n", ratio, Verdict(ratio >= 0.7));
    std::printf("  %ld payloads at %ld/s, publish to handler:\n", paced.Sent, rate);
    std::printf("  service delegate on the UI thread: %8ld received, median %6.3f ms, p99 %6.3f ms\n",
                paced.OursReceived, p50, p99);
    std::printf("  bare libmosquitto subscriber:      %8ld received, median %6.3f ms, p99 %6.3f ms\n",
                paced.BareReceived, bp50, bp99);
    std::printf("  p99 target < 1.5 ms   %s\n", Verdict(p99 < 1.5 && paced.OursReceived == paced.Sent));
  }
  if (GOnly.empty() || GOnly == "intake") {
    const TPhaseResult& ib = result.Burst;
    const TPhaseResult& ip = result.Paced;
    const double iOurs = RatePerSecond(ib.OursReceived, ib.StartNs, ib.OursLastNs);
    const double iBare = RatePerSecond(ib.BareReceived, ib.StartNs, ib.BareLastNs);
    const double iRatio = iBare > 0 ? iOurs / iBare : 0;
    const long newRows = result.RowsAfterBurst - result.RowsBefore;
    std::printf("2. intake through the session's handler into %ld held alerts and the Events view, burst of %ld "
                "payloads (types 1, 2, 5; publisher: %.0f msg/s):\n",
                held, ib.Sent, RatePerSecond(ib.Sent, ib.StartNs, ib.EndNs));
    std::printf("  session handler, list and rows:    %8ld handled, %10.0f payloads/s  (%ld new rows of %ld)\n",
                ib.OursReceived, iOurs, newRows, (ib.Sent + 2) / 3);
    std::printf("  bare subscriber, ordered_json parse:%8ld parsed,  %10.0f payloads/s  (the parse alone: %.0f/s)\n",
                ib.BareReceived, iBare, result.ParseAlonePerSecond);
    std::printf("  ratio (ours / bare): %.2f   (both at the broker's pace once the handler keeps up)\n", iRatio);
    const double cRatio = result.BareParsePerSecond > 0 ? result.HandlerPerSecond / result.BareParsePerSecond : 0;
    std::printf("  the UI thread's capacity, the same mix handed to the service back to back, relayout and paint "
                "included: %.0f payloads/s; bare parse of the same payloads %.0f/s; ratio %.2f   target >= 0.70   %s\n",
                result.HandlerPerSecond, result.BareParsePerSecond, cRatio, Verdict(cRatio >= 0.7));
    const TPhaseResult& il = result.ListOnly;
    const double lOurs = RatePerSecond(il.OursReceived, il.StartNs, il.OursLastNs);
    const double lBare = RatePerSecond(il.BareReceived, il.StartNs, il.BareLastNs);
    std::printf("  the same burst with no view on the list: %ld handled, %.0f payloads/s; bare %ld, %.0f/s; ratio %.2f\n",
                il.OursReceived, lOurs, il.BareReceived, lBare, lBare > 0 ? lOurs / lBare : 0);
    const double r50 = Percentile(ip.OursLatencies, 0.50), r99 = Percentile(ip.OursLatencies, 0.99);
    const double q50 = Percentile(ip.BareLatencies, 0.50), q99 = Percentile(ip.BareLatencies, 0.99);
    std::printf("3. %ld new alerts at %ld/s, publish to the row in the view's model (list of %ld rows and more):\n",
                ip.Sent, rate, result.RowsAfterBurst);
    std::printf("  row in the Events view:            %8zu rows,     median %6.3f ms, p99 %6.3f ms\n",
                ip.OursLatencies.size(), r50, r99);
    std::printf("  bare subscriber, parsed:           %8zu parsed,   median %6.3f ms, p99 %6.3f ms\n",
                ip.BareLatencies.size(), q50, q99);
    std::printf("  p99 target < 2 ms   %s\n",
                Verdict(r99 < 2.0 && static_cast<long>(ip.OursLatencies.size()) == ip.Sent));
    std::printf("  (a subscriber that falls behind loses QoS 0 payloads at the broker, whose queue for it is full:\n"
                "   the counts above are what each side got)\n");
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) GOnly = argv[1];
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return ZEL::Bench::RunDriven<QApplication>(argc, argv, Drive);
}
