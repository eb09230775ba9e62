#include "ZEL.Edge.Services.h"

#include "ZEL.Edge.ServingEntity.h"
#include "ZEL.LogsPipe.h"

namespace ZEL {

namespace Helpers = ZEL::JSON::Helpers;

#define ZEL_EDGE_SERVICE_CREATE(T)                                                        \
  std::unique_ptr<T> T::Create(std::string_view ARawJSON) {                               \
    return Loaded(std::unique_ptr<T>(new T()), ARawJSON);                                 \
  }                                                                                       \
  std::unique_ptr<T> T::CreateFromJSON(const TJSON& AValue) {                             \
    return Loaded(std::unique_ptr<T>(new T()), AValue);                                   \
  }

ZEL_EDGE_SERVICE_CREATE(TZELServiceObject)
ZEL_EDGE_SERVICE_CREATE(TZELEdgeViewService)
ZEL_EDGE_SERVICE_CREATE(TZELEdgeDismissService)
ZEL_EDGE_SERVICE_CREATE(TZELEdgeEscalateService)
ZEL_EDGE_SERVICE_CREATE(TZELEdgePauseService)
ZEL_EDGE_SERVICE_CREATE(TZELEdgeSwitchService)

#undef ZEL_EDGE_SERVICE_CREATE

// --- TZELReasonTable ---

bool TZELReasonTable::Add(std::int32_t ACode, std::string AReason) {
  if (Contains(ACode)) return false;
  FEntries.emplace_back(ACode, std::move(AReason));
  return true;
}

const std::string* TZELReasonTable::Find(std::int32_t ACode) const {
  for (const TEntry& entry : FEntries)
    if (entry.first == ACode) return &entry.second;
  return nullptr;
}

// --- TZELServiceObject ---

std::unique_ptr<TZELServiceObject> TZELServiceObject::CreateKindFromJSON(TEdgeServiceType AType,
                                                                          const TJSON& AValue) {
  switch (AType) {
    case TEdgeServiceType::stView: return TZELEdgeViewService::CreateFromJSON(AValue);
    case TEdgeServiceType::stDismiss: return TZELEdgeDismissService::CreateFromJSON(AValue);
    case TEdgeServiceType::stEscalate: return TZELEdgeEscalateService::CreateFromJSON(AValue);
    case TEdgeServiceType::stPause: return TZELEdgePauseService::CreateFromJSON(AValue);
    case TEdgeServiceType::stSwitch: return TZELEdgeSwitchService::CreateFromJSON(AValue);
    case TEdgeServiceType::stUnknown: break;
  }
  return TZELServiceObject::CreateFromJSON(AValue);
}

bool TZELServiceObject::LoadFromJSON(const TJSON& AData) {
  const bool result = TZELBaseJSONCastObject::LoadFromJSON(AData);
  constexpr std::string_view Tag = "TZELServiceObject.LoadFromJSON";
  ILogWriter& log = LogsPipe::ZELLog();

  FType = TEdgeServiceType::stUnknown;
  if (const auto code = Edge::JSON::TryGetInteger(AData, "Type")) {
    const auto type = Edge::ServiceTypeFromWire(*code);
    if (!type) {
      log.FatalFmt(Tag, "{} value ({}) is out of known edge service IDs", "Type", *code);
      return result;
    }
    FType = *type;
  } else {
    log.Fatal(Tag, "Required \"Type\" property is not found.");
  }

  const auto index = Edge::JSON::TryGetInt32(AData, "Index");
  if (!index) {
    log.Error(Tag, "Required \"Index\" property is not found.");
    return result;
  }
  FIndex = *index;

  struct TField {
    std::string_view Key;
    std::string* Field;
  };
  for (const TField& f : {TField{"Name", &FName}, TField{"Description", &FDescription}}) {
    f.Field->clear();
    auto value = Helpers::TryGetString(AData, f.Key);
    if (!value) {
      log.ErrorFmt(Tag, "Required \"{}\" property is not found.", f.Key);
      return result;
    }
    *f.Field = std::move(*value);
  }
  return result;
}

bool TZELServiceObject::SendRequest(std::unique_ptr<TZELServiceRequestDTO> ARequest) {
  if (!FParent) return false;
  return FParent->SendRequest(this, std::move(ARequest));
}

bool TZELServiceObject::SendOperation(std::string_view ATag, std::vector<TZELVariant> AParams, bool ATwoBlanks) {
  ILogWriter& log = LogsPipe::ZELLog();
  std::unique_ptr<TZELServiceRequestDTO> request;
  if (FParent) request = FParent->GenerateServicePackage(this, AParams);
  if (!request) {
    log.Error(ATag, "Service request could not be built; nothing was sent.");
    return false;
  }
  // Taken before sending: a request that is not sent is gone once SendRequest returns.
  const std::string id = request->RequestId();
  const std::string payload = request->ToJSON();
  if (SendRequest(std::move(request))) {
    log.InfoFmt(ATag, "Service request({}) sent.", id);
    return true;
  }
  if (ATwoBlanks)
    log.ErrorFmt(ATag, "Service request({})  was not send. Payload: {}", id, payload);
  else
    log.ErrorFmt(ATag, "Service request({}) was not send. Payload: {}", id, payload);
  return false;
}

void TZELServiceObject::LoadReasons(std::string_view ATag, const TJSON& AArray, TZELReasonTable& ATable) {
  ILogWriter& log = LogsPipe::ZELLog();
  for (const TJSON& element : AArray) {
    const auto code = Edge::JSON::TryGetInt32(element, "Code");
    if (!code) {
      log.ErrorFmt(ATag, "LoadFromJSON: Required \"{}\" property not found. Context: {}", "Code", element.dump());
      continue;
    }
    auto reason = Helpers::TryGetString(element, "Reason");
    if (!reason) {
      log.ErrorFmt(ATag, "LoadFromJSON: Required \"{}\" property not found. Context: {}", "Reason", element.dump());
      continue;
    }
    // A repeated code must not cost the whole edge; the first text stays.
    if (!ATable.Add(*code, std::move(*reason)))
      log.ErrorFmt(ATag, "LoadFromJSON: Reason code {} is listed twice, the first is kept. Context: {}", *code,
                   element.dump());
  }
}

// --- kinds ---

bool TZELEdgeViewService::MarkAsSeen(const std::string& AEventID) {
  if (AEventID.empty()) return false;
  return SendOperation(TypeName, {"IncidentId", AEventID}, false);
}

bool TZELEdgeDismissService::LoadFromJSON(const TJSON& AData) {
  bool result = TZELServiceObject::LoadFromJSON(AData);
  FInitReasons.Clear();
  FEscalatedReasons.Clear();
  const TJSON* own = JSONObject();
  struct TTable {
    std::string_view Path;
    TZELReasonTable* Table;
  };
  for (const TTable& t : {TTable{"Params.Reasons.easInitiated", &FInitReasons},
                          TTable{"Params.Reasons.easEscalated", &FEscalatedReasons}}) {
    const TJSON* array = own ? Helpers::TryGetArray(*own, t.Path) : nullptr;
    if (!array) {
      LogsPipe::ZELLog().ErrorFmt(TypeName, "LoadFromJSON: Required \"{}\" property not found.", t.Path);
      return false;
    }
    LoadReasons(TypeName, *array, *t.Table);
  }
  return result;
}

bool TZELEdgeDismissService::GetValidationState() const {
  return !FInitReasons.IsEmpty() && !FEscalatedReasons.IsEmpty();
}

bool TZELEdgeDismissService::Dismiss(TEventAlertState AState, const std::string& AEventID, std::int32_t ACode,
                                     const std::string& AReason) {
  if (AEventID.empty()) return false;
  const TZELReasonTable* table = nullptr;
  if (AState == TEventAlertState::easInitiated) table = &FInitReasons;
  if (AState == TEventAlertState::easEscalated) table = &FEscalatedReasons;
  if (!table || !table->Contains(ACode)) return false;
  return SendOperation(TypeName, {"IncidentId", AEventID, "Reason", AReason, "ReasonCode", ACode}, true);
}

bool TZELEdgeEscalateService::LoadFromJSON(const TJSON& AData) {
  bool result = TZELServiceObject::LoadFromJSON(AData);
  const TJSON* own = JSONObject();
  const TJSON* array = own ? Helpers::TryGetArray(*own, "Params.Reasons") : nullptr;
  if (!array) {
    LogsPipe::ZELLog().Error(TypeName, "LoadFromJSON: Required \"Params.Reasons\" property not found.");
    return false;
  }
  FReasons.Clear();
  LoadReasons(TypeName, *array, FReasons);
  return result;
}

bool TZELEdgeEscalateService::Escalate(const std::string& AEventID, std::int32_t ACode, const std::string& AReason) {
  if (AEventID.empty() || !FReasons.Contains(ACode)) return false;
  return SendOperation(TypeName, {"IncidentId", AEventID, "Reason", AReason, "ReasonCode", ACode}, false);
}

bool TZELEdgePauseService::Pause(std::int32_t AInterval) {
  if (AInterval <= 0) return false;
  return SendOperation(TypeName, {"Interval", AInterval}, true);
}

bool TZELEdgeSwitchService::TurnOnOff(bool AEnabled) {
  return SendOperation(TypeName, {"State", AEnabled ? 1 : 0}, true);
}

// --- TServiceRequestContainer ---

TServiceRequestContainer::TServiceRequestContainer(TZELServiceObject* AService,
                                                   std::unique_ptr<TZELServiceRequestDTO> ARequest)
    : FRequest(std::move(ARequest)), FService(AService) {}

TServiceRequestContainer::~TServiceRequestContainer() = default;

std::string TServiceRequestContainer::EventID() const {
  if (!FRequest) return {};
  const TJSON& params = FRequest->RequestData().Params();
  if (!params.is_object()) return {};
  return Helpers::TryGetString(params, "IncidentId").value_or(std::string());
}

}  // namespace ZEL
