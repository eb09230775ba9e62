#pragma once
// Another operator's client on the local stack: its own connection to the broker (the app's
// certificate, a client id of its own) publishing a dismiss request built as our client
// builds it, under that operator's account.

#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.Edge.Types.h"
#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.JSON.Utils.h"
#include "ZEL.Session.h"
#include "ZEL.Utils.ObjectId.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <fstream>
#include <string>
#include <unistd.h>

namespace ZEL::Test {

// The request id, empty when the alert, its edge's dismiss service or the publish failed.
inline std::string DismissFromSecondClient(TStackRun& AStack, TZELSession& ASession, const std::string& AEventID,
                                           const std::string& AUser, const std::string& AName) {
  TZELEvent* alert = ASession.EventsService()->GetEventsList()->FindEventByID(AEventID);
  if (!alert) return "";
  TZELEdgeObject* edge = ASession.EdgeService()->GetEdgeFromOriginator(alert->OriginatorPtr());
  TZELEdgeDismissService* dismiss = nullptr;
  if (!edge || !edge->HasService(TEdgeServiceType::stDismiss, dismiss)) return "";
  const TZELReasonTable& reasons =
      alert->State() == TEventAlertState::easEscalated ? dismiss->EscalatedReasons() : dismiss->InitReasons();
  if (reasons.IsEmpty()) return "";
  const auto& [code, reason] = *reasons.begin();

  TZELServiceRequestDTO request;
  const std::string id = Utils::ZELObjectId();
  TGUID provider, source;
  if (!TGUID::TryParse(dismiss->Parent()->GUID(), provider) || !TGUID::TryParse(edge->GUID(), source)) return "";
  request.SetRequestType(6);
  request.SetDateTime(Time::Now());
  request.SetObjectId(id);
  request.SetRequestId(id);
  request.SetServiceIndex(dismiss->SericeIndex());
  request.ServiceProvider().SetGUID(provider);
  request.ServiceProvider().SetID(dismiss->Parent()->ID());
  request.Source().SetGUID(source);
  request.Source().SetSourceType(Edge::AgentTypeToWire(TEdgeAgentType::atUser));
  request.Source().SetID(AUser);
  request.Source().SetName(AName);
  request.RequestData().SetParams(
      JSON::Utils::VarArgsToJSONValue({"IncidentId", AEventID, "Reason", reason, "ReasonCode", code}));
  const std::string file = AStack.Folder() + "/second-client.json";
  std::ofstream(file, std::ios::binary) << request.ToJSON();

  const std::string pki = AStack.Value("ZEL_PKI_DIR");
  const std::string cmd = "mosquitto_pub -h '" + AStack.Value("ZEL_MQTT_BROKER_HOST") + "' -p " +
                          AStack.Value("ZEL_MQTT_BROKER_PORT") + " --cafile '" + pki + "/ca.crt' --cert '" + pki +
                          "/mobile_app.crt' --key '" + pki + "/mobile_app.key' -i zel-second-client-" +
                          std::to_string(getpid()) + " -q 1 -t '" + edge->MQTTServicesRequestChannel() + "' -f '" +
                          file + "' > '" + AStack.Folder() + "/second-client.log' 2>&1";
  return Shell(cmd) == 0 ? id : "";
}

}  // namespace ZEL::Test
