#pragma once
// A signed-in session without widgets: the ZEL container with its three services, the sync
// that loads the edges and starts the broker connection, the push-topic preferences, the
// connection handler with its forced sign-out, the routing of every broker message by its
// topic, and the release of the services. The main window holds one and shows what it
// reports through the hooks below.
//
// Threads: made, used and freed on the UI thread. The sync runs on a pool thread and hands
// its UI work over; work handed over after the session is gone ends quietly.

#include "ZEL.EdgeService.h"
#include "ZEL.Events.Service.h"
#include "ZEL.MQTT.Service.Interf.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace ZEL {

class TZELSession {
public:
  static constexpr std::string_view TypeName = "TZELSession";
  static constexpr const char* cForcedSignOutReason = "Services is not available now. Please try again later.";
  static constexpr const char* cSyncFailedMessage = "Unable to sync with server. Aborting.";

  struct TOptions {
    // Makes the MQTT service of the container; empty: TZELMQTTService.
    std::function<std::shared_ptr<IZELMQTTService>()> MakeMQTTService;
  };

  // Creates the ZEL container (which must not exist yet), registers and resolves the services.
  TZELSession();
  explicit TZELSession(TOptions AOptions);
  // Frees the services.
  ~TZELSession();
  TZELSession(const TZELSession&) = delete;
  TZELSession& operator=(const TZELSession&) = delete;

  // Starts the sync on a thread of the default pool and returns at once.
  void StartSync();
  // The push-topic preferences of the user record, saved. UI thread.
  void ApplyPushPreferences();
  // Disconnects the broker without reconnection and releases the ZEL container. Harmless
  // when called again.
  void FreeServices();

  // Handlers added to the MQTT service's delegates by the sync.
  void OnMQTTConnectionChange(bool AConnected);
  void OnMQTTMessage(IZELMQTTService* ASender, const std::string& ATopic, const std::string& AData);

  // Nothing once the services are freed.
  std::shared_ptr<TZELEdgeService> EdgeService() const;
  std::shared_ptr<TZELEventsService> EventsService() const;
  std::shared_ptr<IZELMQTTService> MQTTService() const;

  // Hooks, each called on the UI thread (set them before StartSync).
  // The sync loaded the edges and started the connection; the inactive conditions' count.
  std::function<void(std::int32_t AInactiveConditions)> OnSynced;
  // The sync failed; the window shows cSyncFailedMessage and closes when it is closed.
  std::function<void()> OnSyncFailed;
  // A connection was made and the topics subscribed; AFirst for the first of the session.
  std::function<void(bool AFirst)> OnConnected;

private:
  void SetupServices(const TOptions& AOptions);
  // The sync's UI part: client id, handlers, connect, the count.
  void SyncedOnUI();
  // The failed sync's log line and hook.
  void SyncFailedOnUI();
  void SubscribeAll();

  // Cleared first by the destructor; work handed to the UI thread checks it there.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  mutable std::mutex FLock;  // the three below
  std::weak_ptr<TZELEdgeService> FEdgeService;
  std::weak_ptr<TZELEventsService> FEventsService;
  std::weak_ptr<IZELMQTTService> FMQTTService;
  // For the connection handler on the reconnect keeper's thread, which must never hold the
  // service: its last release there would free it on its own worker.
  std::atomic<IZELMQTTService*> FMQTTRaw{nullptr};
  bool FConnectedOnce = false;  // UI thread
  bool FForcedSignOut = false;  // UI thread
};

}  // namespace ZEL
