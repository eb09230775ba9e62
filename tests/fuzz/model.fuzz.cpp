// libFuzzer target for the domain model: arbitrary bytes fed as each kind of input the
// model takes from outside, into a model built afresh from small fixtures for every input.
//
// The first byte picks the channel:
//   0 broker type 1 (a new alert)          3 an edge's "Update" payload
//   1 broker type 2 (an alert's history)   4 an edge's "Service/Response" payload
//   2 broker type 5 (an attachment state)  5 a backend sync element (an edge)
//   6 a backend alerts array, replacing    7 the same, appending
// In payloads for channels 3 and 4 the text "@REQ@" stands for the id of the request the
// fixture edge has sent, so responses can reach a registered request.
//
// Only the exceptions the model lets reach its callers are caught here (our exception
// classes for input it refuses, or the conversions its getters raise); anything else, a
// sanitizer report, a leak or a broken invariant ends the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ZEL.Edge.TestFakes.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.TestFakes.h"
#include "ZEL.Exceptions.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.JSON.Helpers.h"
#include "ZEL.Services.Container.h"

using namespace ZEL;

namespace {

using TJSON = nlohmann::ordered_json;

[[noreturn]] void Fail(const char* AWhat) {
  std::fprintf(stderr, "model.fuzz: %s\n", AWhat);
  std::fflush(stderr);
  std::abort();
}

std::string ReadText(const std::string& AName) {
  std::ifstream in(std::filesystem::path(ZEL_FUZZ_DATA_DIR) / AName, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (text.str().empty()) Fail(("missing fixture " + AName).c_str());
  return text.str();
}

// The auth service the edge (account) and the attachments (token) ask.
class TFuzzAuth : public Test::TAccountAuthService {
public:
  std::string FirebaseToken() override { return "fuzz-id-token"; }
};

struct TFixtures {
  TJSON Alerts;   // the backend array
  TJSON Items;    // the first alert's history
  std::string Type1;
  std::string Type2;
  std::string Edge;
};

TFixtures* Fixtures = nullptr;
std::shared_ptr<Test::TEventsFakeREST> REST;
std::shared_ptr<Test::TRecordingMQTTService> MQTT;
std::shared_ptr<Test::TListEventsService> EventsService;

void RegisterServices() {
  REST = std::make_shared<Test::TEventsFakeREST>();
  MQTT = std::make_shared<Test::TRecordingMQTTService>();
  EventsService = std::make_shared<Test::TListEventsService>();
  auto auth = std::make_shared<TFuzzAuth>();
  auto& global = GlobalContainer();
  global.RegisterType<IAuthService>([auth] { return auth; });
  global.RegisterType<IZELRESTService>([r = REST] { return r; });
  global.Build();
  Services::Container::CreateZELServicesContainer();
  auto zel = Services::Container::ZELServicesContainer();
  zel->RegisterType<IZELMQTTService>([m = MQTT] { return m; });
  zel->RegisterType<IZELEventsService>([e = EventsService] { return e; });
  zel->Build();
}

// What the views read; the getters' documented conversion errors are expected.
void TouchItem(const TZELEventItem& AItem) {
  (void)AItem.ID();
  (void)AItem.EventID();
  (void)AItem.Caption();
  (void)AItem.Text();
  (void)AItem.GetStatusStr();
  (void)AItem.CountDeclaredImages();
  (void)AItem.CountDeclaredVideos();
  (void)AItem.ToJSON();
  (void)AItem.Originator().Name();
  try {
    (void)AItem.ItemType();
  } catch (const EJSONInvalidValue&) {
  }
  try {
    (void)AItem.DateTime();
  } catch (const EConvertError&) {
  }
  for (const auto& extra : AItem.ExtraData()) {
    (void)extra->GetDownloadURL();
    (void)extra->Originator().ID();
    try {
      (void)extra->DateTime();
    } catch (const EConvertError&) {
    }
  }
}

void TouchAlert(const TZELEvent& AEvent) {
  (void)AEvent.ID();
  (void)AEvent.DateTime();
  (void)AEvent.DateTimeStr();
  (void)AEvent.Caption();
  (void)AEvent.Text();
  (void)AEvent.ToJSON();
  const TZELOriginatorDevice& origin = AEvent.Originator();
  (void)origin.ID();
  (void)origin.Name();
  (void)origin.GUIDstring();
  try {
    (void)origin.GUID();
  } catch (const EConvertError&) {
  }
  try {
    (void)origin.SourceType();
  } catch (const EConvertError&) {
  }
  for (const TZELEventItem* item : AEvent.Items()) TouchItem(*item);
}

void TouchEdge(const TZELEdgeObject& AEdge) {
  (void)AEdge.MQTTEventChannel();
  (void)AEdge.MQTTUpdateChannel();
  (void)AEdge.MQTTServicesResponseChannel();
  for (const TZELConditionObject* condition : AEdge.Conditions()) {
    std::int32_t interval = 0;
    (void)condition->State();
    (void)condition->IsPaused(interval);
    (void)condition->InactiveDateTime();
    (void)condition->UnpauseDateTime();
  }
  for (const TZELProviderObject* provider : AEdge.Providers())
    for (const TZELDeviceObject* device : provider->Devices()) {
      (void)device->IsEnabled();
      (void)device->IsOnline();
      (void)device->LastSeen();
    }
}

// The alert list (backend array, the first alert's history, a broker alert with one
// history entry that declares an attachment) and the fixture edge with one sent request.
// Each channel builds only what it feeds: the fixtures log a lot, and logs are slow.
struct TModel {
  TZELEventList List;
  std::unique_ptr<TZELEdgeObject> Edge;
  std::string RequestID;

  explicit TModel(bool AWithEdge) {
    EventsService->List = &List;
    List.ReadFromJSONArray(Fixtures->Alerts, false);
    REST->Items = Fixtures->Items;
    if (!List.FindEventByID("64b000000000000000000001")->FetchItems()) Fail("fixture items not fetched");
    List.ReadOneEventFromJSON(Fixtures->Type1);
    if (!List.ReadEventItemMQTT(Fixtures->Type2)) Fail("fixture history not added");
    if (!AWithEdge) return;

    Edge = TZELEdgeObject::Create(Fixtures->Edge);
    TZELEdgeDismissService* dismiss = nullptr;
    if (!Edge->HasService(TEdgeServiceType::stDismiss, dismiss)) Fail("fixture edge has no dismiss service");
    dismiss->Dismiss(TEventAlertState::easInitiated, "64b000000000000000000001", 1, "False alarm");
    if (Edge->ServiceRequests().size() != 1) Fail("fixture request not registered");
    RequestID = Edge->ServiceRequests().begin()->first;
  }
  ~TModel() { EventsService->List = nullptr; }
};

// The alerts in list order, to see that a refused input changed none of them.
std::vector<const TZELEvent*> Snapshot(const TZELEventList& AList) {
  std::vector<const TZELEvent*> result;
  for (const TZELEvent* event : AList) result.push_back(event);
  return result;
}

std::string WithRequestID(std::string AText, const std::string& AID) {
  for (std::size_t at = AText.find("@REQ@"); at != std::string::npos; at = AText.find("@REQ@", at + AID.size()))
    AText.replace(at, 5, AID);
  return AText;
}

void Run(std::uint8_t AChannel, const std::string& AText) {
  TModel model(AChannel == 3 || AChannel == 4);
  TZELEventList& list = model.List;
  const auto before = Snapshot(list);
  bool refused = false;
  try {
    switch (AChannel) {
      case 0: {
        TZELEvent* event = nullptr;
        // A new alert adds one row; one the list holds already adds none; one without a
        // usable id is refused and changes nothing.
        const bool added = list.ReadOneEventFromJSON(AText, event);
        if (!event) {
          if (added) Fail("type 1 added no alert but said so");
          refused = true;
          break;
        }
        if (list.Count() != static_cast<int>(before.size()) + (added ? 1 : 0)) Fail("type 1 did not add one alert");
        TouchAlert(*event);
        break;
      }
      case 1:
        if (list.ReadEventItemMQTT(AText)) {
          const TZELEventItem probe(AText);
          const TZELEvent* event = list.FindEventByID(probe.EventID());
          if (!event) Fail("type 2 added to no alert");
          TouchAlert(*event);
        }
        break;
      case 2: {
        TZELEventItem* item = nullptr;
        TEventExtraDataItem* extra = nullptr;
        if (list.ReadEventItemExtraMQTT(AText, item, extra)) TouchItem(*item);
        break;
      }
      case 3:
        model.Edge->ProcessMQTTUpdate(WithRequestID(AText, model.RequestID));
        TouchEdge(*model.Edge);
        break;
      case 4:
        model.Edge->ProcessServiceResponse(WithRequestID(AText, model.RequestID));
        TouchEdge(*model.Edge);
        break;
      case 5: {
        auto edge = TZELEdgeObject::Create(AText);
        TouchEdge(*edge);
        edge->SubscribeToMQTT();
        edge->UnsubscribeFromMQTT();
        break;
      }
      default: {
        // As the backend client does: a text nested too deeply is refused before it is parsed.
        if (!JSON::Helpers::NestingAllowed(AText, "zel_fuzz_model")) return;
        TJSON array = TJSON::parse(AText, nullptr, /*allow_exceptions=*/false);
        if (array.is_discarded()) return;
        const bool append = AChannel == 7;
        list.ReadFromJSONArray(std::move(array), append);
        for (const TZELEvent* event : list) TouchAlert(*event);
        break;
      }
    }
  } catch (const EAssertionFailed&) {
    throw;  // a broken assumption of the model, never an answer to input
  } catch (const EZELException&) {
    refused = true;  // the refusals the model documents: its own exception classes
  }
  // Nothing held is lost: the broker payloads only add, and a refused input changes nothing.
  const auto after = Snapshot(list);
  if (refused && after != before) Fail("a refused input changed the alert list");
  if (AChannel <= 4 && after.size() < before.size()) Fail("a broker payload lost an alert");
  if (AChannel <= 4 && !std::equal(before.begin(), before.end(), after.begin()))
    Fail("a broker payload replaced an alert");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The log files go to a folder of the run's own unless the caller names one.
  if (const char* dir = std::getenv("ZEL_LOGS_DIR"); !dir || !*dir) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelfuzz.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) Fail("no temporary log folder");
    setenv("ZEL_LOGS_DIR", tmpl.c_str(), 1);
  }
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  static TFixtures fixtures;
  fixtures.Alerts = TJSON::parse(ReadText("alerts.json"))["EventAlerts"];
  fixtures.Items = TJSON::parse(ReadText("alert-items.json"))["EventAlertItems"];
  const TJSON payloads = TJSON::parse(ReadText("alert-payloads.json"));
  fixtures.Type1 = payloads["Type1"].dump();
  fixtures.Type2 = payloads["Type2Event"].dump();
  fixtures.Edge = ReadText("edge.json");
  Fixtures = &fixtures;
  RegisterServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  if (ASize == 0) return 0;
  Run(static_cast<std::uint8_t>(AData[0] % 8), std::string(reinterpret_cast<const char*>(AData) + 1, ASize - 1));
  MQTT->Published.clear();
  MQTT->Subscribed.clear();
  MQTT->Unsubscribed.clear();
  return 0;
}
