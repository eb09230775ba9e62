#pragma once
// One alert with its originator and history. State, active and viewed flags and the last
// view are copied when it is built and later moved only by broker history entries; the
// rest is read from its JSON on demand.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZEL.Events.Item.h"
#include "ZEL.Events.JSON.h"
#include "ZEL.Events.Originator.h"
#include "ZEL.Events.Types.h"
#include "ZEL.Generics.Collections.h"
#include "ZEL.Time.h"

namespace ZEL {

class TZELEvent {
public:
  static constexpr std::string_view TypeName = "TZELEvent";
  using TItemList = TDelegatedObjectList<TZELEventItem>;

  // Fails with "TZELEvent json is not valid", EInvalidCast or the originator's failure.
  explicit TZELEvent(std::string_view ARawJson);
  // Texts are raw JSON, never a JSON string value.
  explicit TZELEvent(const std::string& ARawJson) : TZELEvent(std::string_view(ARawJson)) {}
  explicit TZELEvent(const char* ARawJson) : TZELEvent(std::string_view(ARawJson)) {}
  // From an element of a backend array, parsed already.
  explicit TZELEvent(TJSON AObject);
  ~TZELEvent();
  TZELEvent(const TZELEvent&) = delete;
  TZELEvent& operator=(const TZELEvent&) = delete;

  std::string ID() const;  // "ObjectId"
  const TZELOriginatorDevice& Originator() const { return *FOriginator; }
  TZELOriginatorDevice* OriginatorPtr() const { return FOriginator.get(); }
  // "DateTime"; Time::MissingDate when missing or unreadable.
  Time::TInstant DateTime() const;
  std::string DateTimeStr() const;  // empty when missing
  std::string Caption() const;
  std::string Text() const;

  bool Invisible() const { return FInvisible; }
  void SetInvisible(bool AValue) { FInvisible = AValue; }
  bool Active() const { return FActive; }
  void SetActive(bool AValue) { FActive = AValue; }
  bool Viewed() const { return FViewed; }
  void SetViewed(bool AValue) { FViewed = AValue; }
  Time::TInstant LastView() const { return FLastView; }  // MissingDate when never viewed
  void SetLastView(Time::TInstant AValue) { FLastView = AValue; }
  const std::string& LastViewBy() const { return FLastViewBy; }
  void SetLastViewBy(std::string AValue) { FLastViewBy = std::move(AValue); }
  TEventAlertState State() const { return FState; }
  void SetState(TEventAlertState AValue) { FState = AValue; }
  TItemList& Items() { return FItems; }
  const TItemList& Items() const { return FItems; }

  // The first item (list order) whose id equals AItemID exactly; AIndex -1 when none.
  bool HasItem(const std::string& AItemID) const;
  bool HasItem(const std::string& AItemID, int& AIndex) const;
  bool FindItem(const std::string& AItemID, TZELEventItem*& AItem) const;
  TZELEventItem* FindItem(const std::string& AItemID) const;

  // Reloads Items from the backend. The items are built on the calling thread (any
  // thread) and put in place on the UI thread in one step; a failed call or an element
  // that cannot be built leaves Items as they were (the error reaches the caller).
  // False when the backend call failed or no REST service is registered.
  bool FetchItems();
  // The two halves of FetchItems for callers that must not hold the alert across threads:
  // the backend's items of the alert AEventID built on the calling thread (false when the
  // call failed or no REST service is registered), then put in place (UI thread).
  using TItemBatch = std::vector<std::unique_ptr<TZELEventItem>>;
  static bool FetchItemsOf(const std::string& AEventID, TItemBatch& AItems);
  void ReplaceItems(TItemBatch AItems);
  // Asks the alert's edge to mark it as seen (UI thread).
  void MarkAsViewed();
  // Sends TEventRefreshMessage with the alert's ID.
  void NotifyUIRefresh();

  std::string ToJSON() const;
  const TJSON& JSONObject() const { return FJSONObject; }
  // The id as built, without a log line for a missing one (for the list's index).
  const std::string& LookupID() const { return FLookupID; }

private:
  void Load();

  TJSON FJSONObject;
  std::unique_ptr<TZELOriginatorDevice> FOriginator;
  TItemList FItems;
  bool FInvisible = false;
  TEventAlertState FState = TEventAlertState::easInitiated;
  bool FActive = false;
  bool FViewed = false;
  Time::TInstant FLastView = Time::MissingDate;
  std::string FLastViewBy;
  std::string FLookupID;
};

}  // namespace ZEL

namespace ZEL::Events {

// An alert "State" text: matched whole and without regard to case; anything else
// (or nothing) is easInitiated.
TEventAlertState AlertStateFromText(std::string_view AText);

}  // namespace ZEL::Events
