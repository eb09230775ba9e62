#pragma once
// The events service: the alert list, the alert and item a detail view shows, broker intake.

#include "ZEL.Services.ContainerKind.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ZEL {

class TZELEventList;
class TZELEvent;
class TZELEventItem;

class IZELEventsService {
public:
  static constexpr std::string_view TypeName = "IZELEventsService";
  static constexpr const char* IID = "{F4742ECE-4C8F-4B09-982C-CEB8FABCC5B5}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::ZEL;

  virtual ~IZELEventsService() = default;

  // Pointers below stay owned by the service.
  virtual TZELEventList* GetEventsList() = 0;
  virtual TZELEvent* GetDetailedEvent() = 0;          // or none
  virtual TZELEventItem* GetDetailedEventItem() = 0;  // or none
  // The chosen alert's id, without loading it (never a backend call).
  virtual std::string GetDetailedEventID() = 0;
  virtual std::string GetDelayedEventId() = 0;
  virtual void SetDelayedEventToOpen(const std::string& Value) = 0;
  virtual void Subscribe() = 0;
  virtual void Unsubscribe() = 0;
  virtual void SetDetailedEvent(const std::string& AEventID) = 0;
  virtual void SetDetailedEventItem(const std::string& AEventItemID) = 0;
  virtual bool PupulateEventsFromREST(bool AFirstTime, const std::string& ABeginPeriod,
                                      const std::string& AEndPeriod) = 0;
  virtual void LoadEventFromMQTT(const std::string& AJSON) = 0;
  // A fetch of one alert's history replaces its items with the backend's: the history
  // entries and attachment updates the broker brings from BeginItemsJournal on are applied
  // again by EndItemsJournal (AReplay) after the replacement. UI thread; one end per begin.
  virtual std::uint64_t BeginItemsJournal() = 0;
  virtual void EndItemsJournal(std::uint64_t AMark, bool AReplay) = 0;
};

}  // namespace ZEL
