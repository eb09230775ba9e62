#include "ZEL.Edge.ServingEntity.h"

#include <fmt/format.h>

#include "ZEL.Edge.Account.h"
#include "ZEL.Edge.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Utils.ObjectId.h"

namespace ZEL {

namespace {

constexpr std::int32_t cServiceRequestType = 6;

// Raised while a request is filled; never leaves GenerateServicePackage.
ZEL_DECLARE_EXCEPTION(EServicePackageError, EZELException)

TGUID GUIDOf(const std::string& AText) {
  TGUID guid;
  if (!TGUID::TryParse(AText, guid)) throw EServicePackageError("'" + AText + "' is not a valid GUID value");
  return guid;
}

}  // namespace

bool TZELEdgeServingEntity::LoadFromJSON(const TJSON& AData) {
  const bool result = TZELBaseEdgeEntity::LoadFromJSON(AData);
  LoadServices();
  return result;
}

void TZELEdgeServingEntity::LoadServices() {
  constexpr std::string_view Tag = "TZELEdgeServingEntity.LoadFromJSON";
  const TJSON* own = JSONObject();
  const TJSON* array = own ? JSON::Helpers::TryGetArray(*own, "Services") : nullptr;
  if (!array) return;
  ILogWriter& log = LogsPipe::ZELLog();
  FServices.Clear(false);
  for (const TJSON& element : *array) {
    log.Fatal(Tag, "this is ccaled");
    std::unique_ptr<TZELServiceObject> service = TZELServiceObject::CreateFromJSON(element);
    const TEdgeServiceType type = service->ServiceType();
    log.FatalFmt(Tag, "LServ.ServiceType = {}", Edge::ServiceTypeName(type));
    if (type != TEdgeServiceType::stUnknown) service = TZELServiceObject::CreateKindFromJSON(type, element);
    if (service->IsValid()) {
      service->SetParent(this);
      FServices.Add(std::move(service));
    } else {
      log.WarnFmt(Tag, "Service: {} is skipped. Valid = {} JSON: {} ", service->ClassName(), "No", own->dump());
    }
  }
}

TServiceRequestRegistry* TZELEdgeServingEntity::GetWorkingServicesRequestList() {
  TZELEdgeObject* edge = Edge();
  if (!edge) {
    LogsPipe::ZELLog().Fatal(fmt::format("TZELEdgeServingEntity[{}]", ClassName()),
                             "GetWorkingServicesRequestList. Edge is not linked!!");
    return nullptr;
  }
  if (static_cast<TZELEdgeServingEntity*>(edge) == this) return &FServiceRequests;
  return edge->GetWorkingServicesRequestList();
}

bool TZELEdgeServingEntity::HasService(TEdgeServiceType AType, TZELServiceObject*& AItem) const {
  AItem = nullptr;
  for (TZELServiceObject* service : FServices)
    if (service->ServiceType() == AType) {
      AItem = service;
      return true;
    }
  return false;
}

std::unique_ptr<TZELServiceRequestDTO> TZELEdgeServingEntity::GenerateServicePackage(
    const TZELServiceObject* AService, const std::vector<TZELVariant>& AArgs) {
  try {
    if (!AService || !AService->Parent()) throw EServicePackageError("the service has no node");
    const TZELEdgeObject* edge = Edge();
    if (!edge) throw EServicePackageError("the node has no edge");
    const std::string id = Utils::ZELObjectId();
    const Edge::TAccount account = Edge::SignedInAccount();

    auto request = std::make_unique<TZELServiceRequestDTO>();
    request->SetRequestType(cServiceRequestType);
    request->SetDateTime(Time::Now());
    request->SetObjectId(id);
    request->SetRequestId(id);
    request->SetServiceIndex(AService->SericeIndex());
    request->ServiceProvider().SetGUID(GUIDOf(AService->Parent()->GUID()));
    request->ServiceProvider().SetID(AService->Parent()->ID());
    request->Source().SetGUID(GUIDOf(edge->GUID()));
    request->Source().SetSourceType(Edge::AgentTypeToWire(TEdgeAgentType::atUser));
    request->Source().SetID(account.Email);
    request->Source().SetName(account.Name);
    request->RequestData().SetParams(JSON::Utils::VarArgsToJSONValue(AArgs));
    return request;
  } catch (const std::exception&) {
    // The operation that asked logs that nothing could be sent.
    return nullptr;
  }
}

bool TZELEdgeServingEntity::SendRequest(TZELServiceObject* ASender, std::unique_ptr<TZELServiceRequestDTO> ARequest) {
  constexpr std::string_view Tag = "TZELEdgeServingEntity.SendRequest";
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(Tag, "START");
  if (!ARequest || ARequest->RequestId().empty()) return false;

  const std::string id = ARequest->RequestId();
  auto container = std::make_unique<TServiceRequestContainer>(ASender, std::move(ARequest));
  bool result = false;
  if (TServiceRequestRegistry* registry = GetWorkingServicesRequestList()) {
    if (registry->contains(id)) {
      log.WarnFmt(Tag, "A Service request \"{}\" already listed in ServiceRequests", id);
    } else {
      const std::string payload = container->Request()->ToJSON();
      registry->emplace(id, std::move(container));
      const TZELEdgeObject* edge = Edge();
      const std::string topic = edge ? edge->MQTTServicesRequestChannel() : std::string();
      auto mqtt = Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>();
      result = mqtt && !topic.empty() && mqtt->Publish(topic, payload);
      if (!result) {
        // Nobody will ever answer a request that never left: it must not stay registered.
        auto it = registry->find(id);
        container = std::move(it->second);
        registry->erase(it);
        log.ErrorFmt(Tag, "Service request \"{}\" was not published; removed from ServiceRequests.", id);
      }
    }
  }
  if (!result) {
    std::shared_ptr<TServiceRequestContainer> owned(std::move(container));
    std::string eventID = owned->EventID();
    TZELMessager<TEventServiceActionPerformed>::Send(
        [&] { return std::make_unique<TEventServiceActionPerformed>(std::move(eventID), false, std::move(owned), true); },
        this);
  }
  log.Debug(Tag, "START");
  return result;
}

bool TZELEdgeServingEntity::FindRequestContainer(const std::string& ARequestID, TServiceRequestContainer*& AContainer) {
  AContainer = nullptr;
  TServiceRequestRegistry* registry = GetWorkingServicesRequestList();
  if (!registry) return false;
  auto it = registry->find(ARequestID);
  if (it == registry->end()) return false;
  AContainer = it->second.get();
  return true;
}

bool TZELEdgeServingEntity::FindRequest(const std::string& ARequestID, TZELServiceRequestDTO*& ARequestDTO) {
  ARequestDTO = nullptr;
  TServiceRequestContainer* container = nullptr;
  if (!FindRequestContainer(ARequestID, container)) return false;
  ARequestDTO = container->Request();
  return true;
}

void TZELEdgeServingEntity::DeleteRequest(const std::string& ARequestID) {
  if (TServiceRequestRegistry* registry = GetWorkingServicesRequestList()) registry->erase(ARequestID);
}

}  // namespace ZEL
