// An edge's broker topics and what arrives on its "Update" and "Service/Response" topics.

#include "ZEL.Edge.h"

#include <fmt/format.h>

#include "ZEL.Edge.Account.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UINotification.h"

namespace ZEL {

namespace Helpers = ZEL::JSON::Helpers;

namespace {

constexpr std::int64_t cServiceResponseType = 4;
constexpr std::int64_t cMinUpdateType = 0;
constexpr std::int64_t cMaxUpdateType = 6;
constexpr std::int64_t cAnsweredByEdge = 10;
constexpr std::int64_t cAnsweredByCondition = 20;

bool IsSuccessCode(const TJSON& ACode) {
  if (ACode.is_number_unsigned()) return ACode.get<std::uint64_t>() == 200;
  if (ACode.is_number_integer()) return ACode.get<std::int64_t>() == 200;
  return ACode.get<double>() == 200.0;
}

// The alert with that id in the events service's list, or none.
TZELEvent* FindAlert(const std::string& AEventID) {
  auto events = Services::Container::ZELServiceLocator()->GetService<IZELEventsService>();
  TZELEventList* list = events ? events->GetEventsList() : nullptr;
  return list ? list->FindEventByID(AEventID) : nullptr;
}

}  // namespace

std::string TZELEdgeObject::MQTTEventChannel() const { return GUID() + "/" + ID() + "/Event"; }

std::string TZELEdgeObject::MQTTUpdateChannel() const { return GUID() + "/" + ID() + "/Update"; }

std::string TZELEdgeObject::MQTTServicesRequestChannel() const { return GUID() + "/" + ID() + "/Service/Request"; }

std::string TZELEdgeObject::MQTTServicesResponseChannel() const {
  // Without an account the topic would be everyone's "GUID//Service/Response".
  const std::string email = Edge::SignedInAccount().Email;
  if (email.empty()) return {};
  return GUID() + "/" + email + "/Service/Response";
}

void TZELEdgeObject::SubscribeToMQTT() {
  auto mqtt = Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>();
  if (!mqtt) return;
  for (const std::string& topic : {MQTTEventChannel(), MQTTUpdateChannel(), MQTTServicesResponseChannel()})
    if (!topic.empty()) mqtt->Subscribe(topic);
}

void TZELEdgeObject::UnsubscribeFromMQTT() {
  auto mqtt = Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>();
  if (!mqtt) return;
  for (const std::string& topic : {MQTTEventChannel(), MQTTUpdateChannel(), MQTTServicesResponseChannel()})
    if (!topic.empty()) mqtt->Unsubscribe(topic);
}

void TZELEdgeObject::ProcessMQTTUpdate(const std::string& AJSON) {
  constexpr std::string_view Tag = "TZELEdgeObject.ProcessMQTTUpdate";
  ILogWriter& log = LogsPipe::ZELLog();
  std::optional<TJSON> payload;
  try {
    payload = Edge::JSON::ParseObject(AJSON, true);
  } catch (const std::exception& E) {
    log.FatalFmt(Tag, "Unable to parse MQTT payload. E.ClassName: {} E.Message: {} Payload: {}",
                 Exceptions::ClassNameOf(E), E.what(), LogsPipe::Shortened(AJSON));
  }
  const auto type = payload ? Edge::JSON::TryGetInteger(*payload, "Type") : std::nullopt;
  if (!type) {
    log.WarnFmt(Tag, "MQTT payload is untyped. Skipping. Payload: {}", LogsPipe::Shortened(AJSON));
    return;
  }
  log.InfoFmt(Tag, "Recognized type = {}", *type);
  if (*type < cMinUpdateType || *type > cMaxUpdateType) {
    log.WarnFmt(Tag, "Type ({}) MQTT payload is out of known bounds[{}..{}]. Payload: {}", *type, cMinUpdateType,
                cMaxUpdateType, LogsPipe::Shortened(AJSON));
    return;
  }
  payload.reset();
  if (*type == cServiceResponseType) ProcessServiceResponse(AJSON);
}

void TZELEdgeObject::ProcessServiceResponse(const std::string& AJSON) {
  const std::string Tag = "TZELEdgeObject.ProcessServiceResponse[" + ID() + "]";
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(Tag, "START. AJSON = " + LogsPipe::Shortened(AJSON));

  std::optional<TJSON> parsed;
  try {
    parsed = Edge::JSON::ParseObject(AJSON, false);
  } catch (const TJSON::exception& E) {
    log.FatalFmt(Tag, "Error: \"{}\" Invalid JSON: \"{}\"", E.what(), LogsPipe::Shortened(AJSON));
    return;
  } catch (const EZELException& E) {
    // Valid JSON that is no object, or nests too deeply, is as unusable as text that is no JSON.
    log.FatalFmt(Tag, "Error: \"{}\" Invalid JSON: \"{}\"", E.what(), LogsPipe::Shortened(AJSON));
    return;
  }
  const TJSON& payload = *parsed;

  std::string originatorID;
  if (auto id = Helpers::TryGetString(payload, "Originator.ID")) {
    originatorID = std::move(*id);
  } else {
    log.FatalFmt(Tag, "Unable to get \"Originator.ID\". JSON: \"{}\"", LogsPipe::Shortened(AJSON));
    if (auto fallback = Helpers::TryGetString(payload, "Response.Originator.ID"))
      originatorID = std::move(*fallback);
    else
      log.FatalFmt(Tag, "Unable to get \"Response.Originator.ID\". JSON: \"{}\"", LogsPipe::Shortened(AJSON));
    if (originatorID.empty()) return;
  }

  std::int64_t originatorType = -1;
  if (auto type = Edge::JSON::TryGetInteger(payload, "Originator.Type")) {
    originatorType = *type;
  } else {
    log.WarnFmt(Tag, "Unable to get \"Originator.Type\". JSON: \"{}\"", LogsPipe::Shortened(AJSON));
    if (auto fallback = Edge::JSON::TryGetInteger(payload, "Response.Originator.Type"))
      originatorType = *fallback;
    else
      log.FatalFmt(Tag, "Unable to get \"Response.Originator.Type\" too. JSON: \"{}\"", LogsPipe::Shortened(AJSON));
    if (originatorType == -1) return;
  }

  const TJSON* code = Helpers::FindValue(payload, "Response.Code");
  if (code && code->is_number() && !IsSuccessCode(*code)) {
    // The request stays registered: a later answer for it may still succeed.
    TZELUINotification::ShowToast("Last service request failed on server.");
    return;
  }

  const auto requestID = Helpers::TryGetString(payload, "RequestId");
  if (!requestID) {
    log.Warn(Tag, "ProcessServiceResponse. Expected \"RequestId\" not found.");
    if (originatorType == cAnsweredByCondition) UpdateConditionFromResponse(payload, originatorID, Tag, LogsPipe::Shortened(AJSON));
    return;
  }
  TServiceRequestContainer* container = nullptr;
  if (!FindRequestContainer(*requestID, container)) {
    log.ErrorFmt(Tag, "ProcessServiceResponse. RequestId \"{}\" not found(request was not sent by us). Paylod: {}",
                 *requestID, LogsPipe::Shortened(AJSON));
    return;
  }

  // The answered request goes, whatever happens below.
  struct TDeleteAtEnd {
    TZELEdgeObject* Edge;
    const std::string& RequestID;
    ~TDeleteAtEnd() { Edge->DeleteRequest(RequestID); }
  } deleteAtEnd{this, *requestID};

  if (originatorType == cAnsweredByEdge) {
    const std::string eventID = container->EventID();
    if (eventID.empty()) {
      log.Warn(Tag, "ProcessServiceResponse. IncidentId not listed in params.");
      return;
    }
    log.DebugFmt(Tag, "ProcessServiceResponse. Found event ID = \"{}\".", eventID);
    TZELMessager<TEventServiceActionPerformed>::Send(
        [&] {
          return std::make_unique<TEventServiceActionPerformed>(
              eventID, true, TEventServiceActionPerformed::Unowned(container), false);
        },
        this);
    if (TZELEvent* event = FindAlert(eventID)) {
      TZELMessager<TEventRefreshMessage>::Send([&] { return std::make_unique<TEventRefreshMessage>(event->ID()); },
                                               event);
    } else {
      log.Warn(Tag, "ProcessServiceResponse. Event ID \"" + eventID +
                        "\" not found in local cache, it is model will be loaded ok on request.");
    }
  } else if (originatorType == cAnsweredByCondition) {
    UpdateConditionFromResponse(payload, originatorID, Tag, LogsPipe::Shortened(AJSON));
  }
}

void TZELEdgeObject::UpdateConditionFromResponse(const TJSON& APayload, const std::string& AOriginatorID,
                                                 std::string_view ATag, const std::string& AJSON) {
  TZELConditionObject* condition = nullptr;
  if (!HasCondition(AOriginatorID, condition)) return;
  const TJSON* originator = Helpers::TryGetObject(APayload, "Originator");
  if (!originator) {
    LogsPipe::ZELLog().FatalFmt(ATag, "Unable to get \"Originator.State\". JSON: \"{}\"", LogsPipe::Shortened(AJSON));
    return;
  }
  if (condition->UpdateStatusAndState(originator))
    TZELMessager<TConditionStateChangeMessage>::Send(
        [&] { return std::make_unique<TConditionStateChangeMessage>(condition, *originator); }, this);
}

}  // namespace ZEL
