#include "ZEL.EdgeService.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Events.Originator.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Utils.ObjectId.h"
#include "ZEL.Utils.h"

#include <cctype>
#include <exception>

namespace ZEL {

namespace {

constexpr std::string_view cInitTag = "TZELEdgeService.InitEdge";
constexpr std::string_view cOrgTag = "TZELEdgeService.MQTTOrgEventChannel";

std::string Upper(std::string AText) {
  for (char& c : AText) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return AText;
}

ILogWriter& Log() { return LogsPipe::ZELLog(); }

}  // namespace

TZELEdgeService::~TZELEdgeService() {
  // The MQTT service may outlive us: no broadcast may reach a freed handler.
  if (auto mqtt = FMQTTService.lock())
    if (IMQTTMessageDelegate* messages = mqtt->GetOnMessageDelegate())
      messages->RemoveHandler(TMQTTMessageReceived::Of(this, &TZELEdgeService::MQTTMessageReceived));
  FSelectedEdge = nullptr;
  FEdges.Clear(false);
}

void TZELEdgeService::SetSelectedProvider(const std::string& Value) {
  if (Value != FSelectedProvider) FSelectedDevice.clear();
  FSelectedProvider = Value;
}

void TZELEdgeService::ClearEdges() {
  FSelectedEdge = nullptr;
  FEdges.Clear(false);
}

bool TZELEdgeService::InitEdge(const nlohmann::ordered_json& AJSON) {
  // Control characters and everything above 127 escaped, as the log file expects.
  const std::string text = AJSON.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
  Log().DebugFmt(cInitTag, "Edge to add: {} ", text);
  try {
    std::unique_ptr<TZELEdgeObject> edge = TZELEdgeObject::Create(text);
    if (!edge) {
      Log().Fatal(cInitTag, "Edge is not taken from JSON.");
      return false;
    }
    const bool valid = !edge->ID().empty() && !edge->GUID().empty();
    Log().DebugFmt(cInitTag, "Edge {}  valid = {} guid = {}", edge->ID(), Utils::BoolToStrUF(valid), edge->GUID());
    if (!valid) {
      Log().Fatal(cInitTag, "An invalid Edge object is passed: " + text);
      return false;
    }
    for (TZELEdgeObject* known : FEdges) {
      if (known->ID() == edge->ID() && known->GUID() == edge->GUID()) {
        Log().InfoFmt(cInitTag, "Edge[{}] is getting updated via sync.", edge->ID());
        known->LoadFromJSON(AJSON);
        Log().WarnFmt(cInitTag, "An existing edge[{}] is already here. Free That.", edge->ID());
        return true;
      }
    }
    Log().InfoFmt(cInitTag, "A new edge[{}] is added to work with via sync.", edge->ID());
    FEdges.Add(std::move(edge));
    return true;
  } catch (const std::exception& E) {
    Log().FatalFmt(cInitTag, "{}: {} \r\n{}", Exceptions::ClassNameOf(E), E.what(), text);
    return false;
  }
}

std::string TZELEdgeService::MQTTOrgEventChannel() {
  auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>();
  const auto record = auth ? auth->CRMUserRecord() : nullptr;
  if (!record) return {};
  const std::string& orgID = record->organization().ID;
  // An unusable id must not raise here: the connection handler that asks would leave every
  // edge unsubscribed.
  TGUID guid;
  try {
    guid = Utils::ObjectIdToGUID(std::string_view(orgID));
  } catch (const std::exception& E) {
    Log().ErrorFmt(cOrgTag, "Organization id \"{}\" is not usable: {}: {}", orgID, Exceptions::ClassNameOf(E),
                   E.what());
    return {};
  }
  if (guid.IsEmpty()) return {};
  return guid.ToString() + "/" + orgID + "/Event";
}

TZELEdgeObject* TZELEdgeService::GetEdgeFromOriginator(TZELOriginatorDevice* AFrom) {
  if (!AFrom) return nullptr;
  const std::int32_t type = AFrom->SourceType();
  const std::string id = AFrom->ID();
  for (TZELEdgeObject* edge : FEdges) {
    switch (type) {
      case 10:
        if (edge->GUID() == AFrom->GUIDstring() && edge->ID() == id) return edge;
        break;
      case 20: {
        TZELConditionObject* condition = nullptr;
        if (edge->HasCondition(id, condition)) return edge;
        break;
      }
      case 30: {
        TZELProviderObject* provider = nullptr;
        if (edge->HasProvider(id, provider)) return edge;
        break;
      }
      default:
        return nullptr;
    }
  }
  return nullptr;
}

void TZELEdgeService::SubscribeEdges() {
  for (TZELEdgeObject* edge : FEdges) edge->SubscribeToMQTT();
}

void TZELEdgeService::UnsubscribeEdges() {
  for (TZELEdgeObject* edge : FEdges) edge->UnsubscribeFromMQTT();
}

bool TZELEdgeService::FindByTopic(const std::string& ATopic, TTopicOf ATopicOf, TZELEdgeObject*& AEdge) {
  AEdge = nullptr;
  const std::string topic = Upper(ATopic);
  for (TZELEdgeObject* edge : FEdges) {
    if (Upper((edge->*ATopicOf)()) == topic) {
      AEdge = edge;
      return true;
    }
  }
  return false;
}

bool TZELEdgeService::IsKnownAndAvailableEventsChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) {
  return FindByTopic(ATopic, &TZELEdgeObject::MQTTEventChannel, AEdge);
}

bool TZELEdgeService::IsKnownAndAvailableEventsChannel(const std::string& ATopic) {
  TZELEdgeObject* edge = nullptr;
  return IsKnownAndAvailableEventsChannel(ATopic, edge);
}

bool TZELEdgeService::IsKnownAndAvailableUpdateChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) {
  return FindByTopic(ATopic, &TZELEdgeObject::MQTTUpdateChannel, AEdge);
}

bool TZELEdgeService::IsKnownAndAvailableUpdateChannel(const std::string& ATopic) {
  TZELEdgeObject* edge = nullptr;
  return IsKnownAndAvailableUpdateChannel(ATopic, edge);
}

bool TZELEdgeService::IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) {
  return FindByTopic(ATopic, &TZELEdgeObject::MQTTServicesResponseChannel, AEdge);
}

bool TZELEdgeService::IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic) {
  TZELEdgeObject* edge = nullptr;
  return IsKnownAndAvailableSvcResponseChannel(ATopic, edge);
}

bool TZELEdgeService::IsKnownAndAvailableOrgEventsChannel(const std::string& ATopic) {
  return Upper(ATopic) == Upper(MQTTOrgEventChannel());
}

void TZELEdgeService::AttachMQTTService() {
  auto mqtt = Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>();
  FMQTTService = mqtt;
  if (IMQTTMessageDelegate* messages = mqtt ? mqtt->GetOnMessageDelegate() : nullptr)
    messages->AddHandler(TMQTTMessageReceived::Of(this, &TZELEdgeService::MQTTMessageReceived));
}

std::int32_t TZELEdgeService::InactiveConditionsCount() {
  std::int32_t count = 0;
  for (TZELEdgeObject* edge : FEdges)
    for (TZELConditionObject* condition : edge->Conditions())
      if (condition->State() != TEdgeConditionState::ecsActive) ++count;
  return count;
}

void TZELEdgeService::MQTTMessageReceived(IZELMQTTService*, const std::string&, const std::string&) {}

}  // namespace ZEL
