#include "ZEL.Session.h"

#include "ZEL.ApplicationData.h"
#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Identity.Client.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.Delegate.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Services.Factory.h"
#include "ZEL.UIThread.h"
#include "ZEL.ViewHost.Interf.h"

#include <QThreadPool>

#include <cctype>
#include <exception>
#include <string_view>

namespace ZEL {

namespace {

constexpr std::string_view cSetupTag = "TfrmMain.SetupServices";
constexpr std::string_view cSyncTag = "TfrmMain.FormShow";
constexpr std::string_view cMessageTag = "TfrmMain.OnMQTTMessage";
constexpr std::string_view cFreeTag = "TfrmMain.FreeServices";

ILogWriter& Log() { return LogsPipe::ZELLog(); }

std::shared_ptr<TZELIocServiceLocator> Locator() { return Services::Container::ZELServiceLocator(); }

// Whether ATopic may be a channel whose name ends with ASuffix, compared as the edge service
// compares topics (letters upper-cased alike). Each channel lookup walks every edge and
// builds its topic names, so a topic that cannot be such a channel is not looked up. The
// edge service's empty names (no account, no organisation) are looked up as before.
bool MayBeChannel(std::string_view ATopic, std::string_view ASuffix) {
  if (ATopic.empty()) return true;
  if (ATopic.size() < ASuffix.size()) return false;
  const std::string_view tail = ATopic.substr(ATopic.size() - ASuffix.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(tail[i])) != std::toupper(static_cast<unsigned char>(ASuffix[i])))
      return false;
  return true;
}

// Lets the last reference of a service go on the UI thread, where the services are freed.
template <class T>
void ReleaseOnUI(std::shared_ptr<T>& AService) {
  if (!AService) return;
  if (UIThread::IsUIThread()) {
    AService.reset();
    return;
  }
  UIThread::RunAsync([service = std::move(AService)]() mutable { service.reset(); });
  AService.reset();
}

}  // namespace

TZELSession::TZELSession() : TZELSession(TOptions{}) {}

TZELSession::TZELSession(TOptions AOptions) {
  Services::Container::CreateZELServicesContainer();
  SetupServices(AOptions);
}

TZELSession::~TZELSession() {
  FAlive.reset();
  FreeServices();
}

void TZELSession::SetupServices(const TOptions& AOptions) {
  using Services::Factory::RegisterLogged;
  Log().Debug(cSetupTag, "START");
  Log().Debug(cSetupTag, "Setting up ZEL container...");
  std::shared_ptr<TIocContainer> container = Services::Container::ZELServicesContainer();
  RegisterLogged<IZELEventsService>(*container, std::string(cSetupTag), "TZELEventsService",
                                    [] { return std::make_shared<TZELEventsService>(); });
  container->Build();
  RegisterLogged<IZELEdgeService>(*container, std::string(cSetupTag), "TZELEdgeService",
                                  [] { return std::make_shared<TZELEdgeService>(); });
  container->Build();
  auto makeMQTT = AOptions.MakeMQTTService;
  RegisterLogged<IZELMQTTService>(*container, std::string(cSetupTag), "TZELMQTTService",
                                  [makeMQTT]() -> std::shared_ptr<IZELMQTTService> {
                                    if (makeMQTT) return makeMQTT();
                                    return std::make_shared<TZELMQTTService>();
                                  });
  container->Build();
  Log().Debug(cSetupTag, "Setting up ZEL container... done.");

  auto locator = Locator();
  auto events = std::dynamic_pointer_cast<TZELEventsService>(locator->GetService<IZELEventsService>());
  auto mqtt = locator->GetService<IZELMQTTService>();
  auto edges = std::dynamic_pointer_cast<TZELEdgeService>(locator->GetService<IZELEdgeService>());
  {
    std::lock_guard guard(FLock);
    FEventsService = events;
    FMQTTService = mqtt;
    FEdgeService = edges;
  }
  FMQTTRaw.store(mqtt.get());
  if (edges) edges->AttachMQTTService();
  Log().Debug(cSetupTag, "END");
}

std::shared_ptr<TZELEdgeService> TZELSession::EdgeService() const {
  std::lock_guard guard(FLock);
  return FEdgeService.lock();
}

std::shared_ptr<TZELEventsService> TZELSession::EventsService() const {
  std::lock_guard guard(FLock);
  return FEventsService.lock();
}

std::shared_ptr<IZELMQTTService> TZELSession::MQTTService() const {
  std::lock_guard guard(FLock);
  return FMQTTService.lock();
}

void TZELSession::StartSync() {
  std::weak_ptr<bool> alive = FAlive;
  std::weak_ptr<TZELEdgeService> weakEdges;
  {
    std::lock_guard guard(FLock);
    weakEdges = FEdgeService;
  }
  QThreadPool::globalInstance()->start([this, alive, weakEdges] {
    bool ok = false;
    try {
      auto rest = Locator()->GetService<IZELRESTService>();
      Log().DebugFmt(cSyncTag, "Calling Sync FRESTService assigned = {}", rest ? "True" : "False");
      nlohmann::ordered_json edges;
      // No REST service, or an answer without an edge array, counts as a failed sync.
      ok = rest && rest->Sync(edges) && edges.is_array();
      if (ok) {
        std::shared_ptr<TZELEdgeService> service = weakEdges.lock();
        if (!service) return;  // the session is gone
        service->ClearEdges();
        for (const auto& element : edges) service->InitEdge(element);
        ReleaseOnUI(service);
      }
    } catch (const std::exception& E) {
      Log().FatalFmt(cSyncTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
      ok = false;
    }
    try {
      if (ok) {
        // Whatever the UI part raises ends the sync as a failed one: the user is told and the
        // window closes, instead of an overlay that never goes.
        UIThread::RunSync([this, alive] {
          if (!alive.lock()) return;
          try {
            SyncedOnUI();
            return;
          } catch (const std::exception& E) {
            Log().FatalFmt(cSyncTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
          } catch (...) {
            Log().Fatal(cSyncTag, "Unknown exception.");
          }
          SyncFailedOnUI();
        });
        return;
      }
      Log().Warn(cSyncTag, "Calling Sync failed.");
      UIThread::RunAsync([this, alive] {
        if (alive.lock() && OnSyncFailed) OnSyncFailed();
      });
    } catch (const std::exception& E) {
      Log().FatalFmt(cSyncTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    }
  });
}

void TZELSession::SyncFailedOnUI() {
  Log().Warn(cSyncTag, "Calling Sync failed.");
  if (OnSyncFailed) OnSyncFailed();
}

void TZELSession::SyncedOnUI() {
  auto mqtt = MQTTService();
  auto edges = EdgeService();
  if (!mqtt || !edges) return;
  auto locator = Locator();
  std::string uid;
  if (auto auth = locator->GetService<IAuthService>())
    if (auto user = auth->GetFirebaseUser()) uid = user->UID();
  std::string deviceID;
  if (auto push = locator->GetService<IFirebaseCloudMessaging>()) deviceID = push->GetDevicedID();
  mqtt->SetClientID(uid + "-" + deviceID);
  if (IMQTTConnectedDelegate* status = mqtt->GetOnConnectionStateChange())
    status->AddHandler(TMQTTStatusChange::Of(this, &TZELSession::OnMQTTConnectionChange));
  if (IMQTTMessageDelegate* messages = mqtt->GetOnMessageDelegate())
    messages->AddHandler(TMQTTMessageReceived::Of(this, &TZELSession::OnMQTTMessage));
  mqtt->Connect();
  const std::int32_t inactive = edges->InactiveConditionsCount();
  if (OnSynced) OnSynced(inactive);
}

void TZELSession::ApplyPushPreferences() {
  auto locator = Locator();
  auto auth = locator->GetService<IAuthService>();
  auto data = locator->GetService<IApplicationData>();
  auto push = locator->GetService<IFirebaseCloudMessaging>();
  if (!auth || !data) return;
  const std::string escalated = auth->FirebaseEscalatedTopic();
  const std::string nonEscalated = auth->FirebaseNonEscalatedTopic();
  if (const auto record = auth->CRMUserRecord(); record && (record->Escalated || record->NonEscalated)) {
    if (record->Escalated) {
      if (push) push->SubscribeToTopic(escalated);
      if (!data->GetUserEscalatedSubscribe()) data->SetUserEscalatedSubscribe(true);
    }
    if (record->NonEscalated) {
      if (push) push->SubscribeToTopic(nonEscalated);
      if (!data->GetUserNonEscalatedSubscribe()) data->SetUserNonEscalatedSubscribe(true);
    }
  }
  if (push) {
    if (data->GetUserEscalatedSubscribe())
      push->SubscribeToTopic(escalated);
    else
      push->UnsubscribeFromTopic(escalated);
    if (data->GetUserNonEscalatedSubscribe())
      push->SubscribeToTopic(nonEscalated);
    else
      push->UnsubscribeFromTopic(nonEscalated);
  }
  // The preferences apply for this session also when the file cannot take them.
  ApplicationData::WriteOrReport(cSyncTag, [&data] { data->SaveSettings(); });
}

void TZELSession::SubscribeAll() {
  auto mqtt = MQTTService();
  auto edges = EdgeService();
  if (!mqtt || !edges) return;
  mqtt->Subscribe(edges->MQTTOrgEventChannel());
  edges->SubscribeEdges();
  const bool first = !FConnectedOnce;
  FConnectedOnce = true;
  // Back after a loss: what the broker published meanwhile is gone for a clean session, so
  // the period is pulled again and merged in.
  if (!first)
    if (auto events = EventsService()) events->StartCatchUp();
  if (OnConnected) OnConnected(first);
}

void TZELSession::OnMQTTConnectionChange(bool AConnected) {
  // May run on the reconnect keeper's thread: only the raw pointer here, never a reference
  // whose release could free the service on its own worker.
  IZELMQTTService* mqtt = FMQTTRaw.load();
  const std::string reason = (!AConnected && mqtt) ? mqtt->LastErrorMessage() : std::string();
  Log().Debug("MainView", std::string("OnMQTTConnectionChange event. AConnected = ") + (AConnected ? "True" : "False") +
                              " Reason: " + reason);
  std::weak_ptr<bool> alive = FAlive;
  if (AConnected) {
    if (UIThread::IsUIThread()) {
      SubscribeAll();
    } else {
      UIThread::RunAsync([this, alive] {
        if (alive.lock()) SubscribeAll();
      });
    }
    return;
  }
  const std::int32_t attempts = mqtt ? mqtt->GetReconnectAttempts() : 0;
  Log().DebugFmt("TfrmMain.OnMQTTConnectionChange", "MQTT not connected. Attempt: {}", attempts);
  // Only an attempt that has failed counts: the one that is just starting gets its chance
  // (a broker back within a restart must not end the session).
  const bool starting = mqtt && mqtt->IsConnecting();
  if (attempts >= 3 && !starting) {
    // Handed over without waiting: the UI thread may be waiting for this very worker.
    // Once per session: every later attempt also reports a count of 3 or more.
    UIThread::RunAsync([this, alive] {
      if (!alive.lock() || FForcedSignOut) return;
      FForcedSignOut = true;
      if (auto auth = Locator()->GetService<IAuthService>()) auth->Logout(false, cForcedSignOutReason);
    });
  }
}

void TZELSession::OnMQTTMessage(IZELMQTTService*, const std::string& ATopic, const std::string& AData) {
  auto edges = EdgeService();
  auto events = EventsService();
  if (!edges) return;
  const std::string& text = AData;  // the payload's bytes are its UTF-8 text
  // One payload that cannot be applied must not stop the messages after it.
  const auto guarded = [&](auto AAction) {
    try {
      AAction();
    } catch (const std::exception& E) {
      Log().FatalFmt(cMessageTag, "Unable to apply MQTT payload. E.ClassName: {} E.Message: {} Topic: {} Payload: {}",
                     Exceptions::ClassNameOf(E), E.what(), ATopic, text);
    }
  };
  TZELEdgeObject* edge = nullptr;
  const bool eventTopic = MayBeChannel(ATopic, "/Event");
  if (eventTopic && edges->IsKnownAndAvailableEventsChannel(ATopic, edge)) {
    Log().Info(cMessageTag, "Edge[" + edge->ID() + "] events change published.");
    guarded([&] {
      if (events) events->LoadEventFromMQTT(text);
    });
  }
  if (MayBeChannel(ATopic, "/Update") && edges->IsKnownAndAvailableUpdateChannel(ATopic, edge)) {
    Log().Info(cMessageTag, "Edge[" + edge->ID() + "] update published.");
    guarded([&] { edge->ProcessMQTTUpdate(text); });
  }
  if (MayBeChannel(ATopic, "/Service/Response") && edges->IsKnownAndAvailableSvcResponseChannel(ATopic, edge)) {
    Log().Info(cMessageTag, "Edge[" + edge->ID() + "] service response published.");
    guarded([&] { edge->ProcessServiceResponse(text); });
  }
  if (eventTopic && edges->IsKnownAndAvailableOrgEventsChannel(ATopic)) {
    Log().Info(cMessageTag, "Organization event received.");
    guarded([&] {
      if (events) events->LoadEventFromMQTT(text);
    });
  }
}

void TZELSession::FreeServices() {
  Log().Debug(cFreeTag, "Getting MQTT client to disconnect...");
  if (Services::Container::ZELServicesContainerExists()) {
    if (auto mqtt = Locator()->GetService<IZELMQTTService>()) {
      // No broadcast may reach this session once it is gone.
      if (IMQTTConnectedDelegate* status = mqtt->GetOnConnectionStateChange())
        status->RemoveHandler(TMQTTStatusChange::Of(this, &TZELSession::OnMQTTConnectionChange));
      if (IMQTTMessageDelegate* messages = mqtt->GetOnMessageDelegate())
        messages->RemoveHandler(TMQTTMessageReceived::Of(this, &TZELSession::OnMQTTMessage));
      Log().Debug(cFreeTag, "MQTT Disconnect...");
      mqtt->Disconnect(false);
      Log().Debug(cFreeTag, "MQTT Disconnect... DONE.");
      Log().Debug(cFreeTag, "Setting up MQTT ClientID to \"\"...");
      mqtt->SetClientID("");
      Log().Debug(cFreeTag, "Setting up MQTT ClientID to \"\"... Done.");
    }
  }
  Log().Debug(cFreeTag, "Releasing ZEL Services container...");
  Services::Container::FreeZELServicesContainer();
  Log().Debug(cFreeTag, "Releasing ZEL Services container... DONE.");
  FMQTTRaw.store(nullptr);
  std::lock_guard guard(FLock);
  FEdgeService.reset();
  FEventsService.reset();
  FMQTTService.reset();
}

}  // namespace ZEL
