#pragma once
// The one owner of the alert list: pulls from the backend (a period, or one alert), the
// broker's alert payloads, the one-time subscription of the edges after the first pull, and
// the ids the detail views show.
//
// Threads: everything runs on the UI thread except the pull, which may run on any thread:
// it fetches and builds there, then swaps the list and subscribes on the UI thread.

#include "ZEL.Events.List.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.MQTT.Service.Delegate.h"
#include "ZEL.MQTT.Service.Interf.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace ZEL {

class TZELEventsService final : public IZELEventsService,
                                public IMQTTStatusChangeHandler,
                                public IMQTTMessageDelegateHandler,
                                public std::enable_shared_from_this<TZELEventsService> {
public:
  static constexpr std::string_view TypeName = "TZELEventsService";

  TZELEventsService();
  ~TZELEventsService() override;
  TZELEventsService(const TZELEventsService&) = delete;
  TZELEventsService& operator=(const TZELEventsService&) = delete;

  TZELEventList* GetEventsList() override { return FEventsList.get(); }
  TZELEvent* GetDetailedEvent() override;
  TZELEventItem* GetDetailedEventItem() override;
  std::string GetDetailedEventID() override { return FDetailedEventID; }
  std::string GetDelayedEventId() override { return FDelayedEventIDToOpen; }
  void SetDelayedEventToOpen(const std::string& Value) override { FDelayedEventIDToOpen = Value; }
  void Subscribe() override;
  void Unsubscribe() override;
  void SetDetailedEvent(const std::string& AEventID) override { FDetailedEventID = AEventID; }
  void SetDetailedEventItem(const std::string& AEventItemID) override { FDetailedEventItemID = AEventItemID; }
  // Any thread; the object must be owned by a shared_ptr. Errors of the REST client or of
  // building an alert reach the caller and leave the list as it was.
  bool PupulateEventsFromREST(bool AFirstTime, const std::string& ABeginPeriod,
                              const std::string& AEndPeriod) override;
  void LoadEventFromMQTT(const std::string& AJSON) override;
  std::uint64_t BeginItemsJournal() override { return BeginPullJournal(); }
  void EndItemsJournal(std::uint64_t AMark, bool AReplay) override;

  // One alert from the backend, added hidden. UI thread.
  bool LoadEventByID(const std::string& AID);

  // The pull with the service held weakly: when the service is freed meanwhile, it ends
  // quietly with false. Any thread.
  static bool Pull(const std::weak_ptr<TZELEventsService>& AService, bool AFirstTime,
                   const std::string& ABeginPeriod, const std::string& AEndPeriod);
  // The same on a thread of the default pool; ADone (may be empty) runs on the UI thread
  // with the result, unless the service is gone by then. A failure never leaves the task.
  static void StartPull(const std::weak_ptr<TZELEventsService>& AService, bool AFirstTime, std::string ABeginPeriod,
                        std::string AEndPeriod, std::function<void(bool)> ADone = {});

  // The period a catch-up pulls (begin and end texts), asked on the UI thread when the
  // catch-up starts; unset, the last pulled period is taken.
  using TPeriodSource = std::function<std::pair<std::string, std::string>()>;
  void SetPeriodSource(TPeriodSource ASource) { FPeriodSource = std::move(ASource); }
  // After a reconnection that followed a loss, UI thread: the period is pulled again on a
  // pool thread and merged into the list by id (MergeEvents), so that alerts published
  // while the client was away get their rows. ADone (may be empty) gets the number of
  // alerts added, or -1 when the pull failed, on the UI thread.
  void StartCatchUp(std::function<void(int)> ADone = {});

  std::shared_ptr<IZELMQTTService> MQTTService();
  bool Subscribed() const { return FMQTTSubscribed; }

  void MQTTStatusChange(bool AConnected) override;
  void MQTTMessageReceived(IZELMQTTService* ASender, const std::string& ATopic, const std::string& AData) override;

private:
  // Broker payloads (types 1, 2, 5) received while a pull or an item fetch runs: the pulled
  // list (the fetched items) replaces what they went into, so they are applied again to it.
  // UI thread only.
  struct TLiveEntry {
    std::uint64_t Seq = 0;
    std::int64_t Type = 0;
    std::string JSON;
  };
  std::uint64_t BeginPullJournal();
  // Applies the entries after AMark to the list (when AReplay), then ends this pull's use.
  void EndPullJournal(std::uint64_t AMark, bool AReplay);
  // Applies the entries after AMark again (new alerts too when AAlerts); how many took.
  int ReplayJournal(std::uint64_t AMark, bool AAlerts);
  void EndJournalUse();
  void JournalPayload(std::int64_t AType, const std::string& AJSON);
  // False when the list refused the payload whole (a new alert without a usable id).
  bool ApplyPayload(std::int64_t AType, const std::string& AJSON, bool AAnnounce);

  std::deque<TLiveEntry> FJournal;
  std::uint64_t FJournalSeq = 0;
  int FPullsInFlight = 0;
  TPeriodSource FPeriodSource;
  std::pair<std::string, std::string> FLastPeriod;

  // Weak: the MQTT service is freed by the container, on the UI thread.
  std::weak_ptr<IZELMQTTService> FMQTTService;
  const bool FRestFetched = false;
  bool FMQTTSubscribed = false;
  std::unique_ptr<TZELEventList> FEventsList;
  std::string FDetailedEventID;
  std::string FDetailedEventItemID;
  std::string FDelayedEventIDToOpen;
};

}  // namespace ZEL
