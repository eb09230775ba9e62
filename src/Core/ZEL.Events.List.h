#pragma once
// The alert list of the signed-in user: bulk loads from the backend's alert arrays and the
// broker's alert (type 1), history (type 2) and attachment (type 5) payloads.
//
// Threads: everything but BuildEventsFromJSONArray runs on the UI thread. A bulk load
// builds its alerts aside (any thread) and swaps them in on the UI thread in one step, so
// the broker intake and the views never meet a half-loaded list.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZEL.Events.Event.h"
#include "ZEL.Events.JSON.h"
#include "ZEL.Generics.Collections.h"

namespace ZEL {

// Alerts built from a backend array, in array order, not yet in any list.
struct TZELEventBatch {
  std::vector<std::unique_ptr<TZELEvent>> Events;
};

class TZELEventList : public TDelegatedObjectList<TZELEvent> {
  using TBase = TDelegatedObjectList<TZELEvent>;

public:
  static constexpr std::string_view TypeName = "TZELEventList";

  TZELEventList();
  ~TZELEventList() override;

  // Lookups by the alert's id, compared exactly; the first alert in list order wins.
  bool EventExists(const std::string& AEventID) const;
  bool EventExists(const std::string& AEventID, int& aID) const;  // aID -1 when none
  bool FindEventByID(const std::string& AEventID, TZELEvent*& AEvent) const;
  TZELEvent* FindEventByID(const std::string& AEventID) const;
  bool FindItemByID(const std::string& AEventID, const std::string& AItemID, TZELEventItem*& AItem) const;
  TZELEventItem* FindItemByID(const std::string& AEventID, const std::string& AItemID) const;

  // Bulk load, all or nothing, from any thread: builds every alert on the calling thread,
  // then swaps them in on the UI thread (UIThread::RunSync). AAppend false: the list holds
  // exactly the array's alerts afterwards; true: they are added hidden, and an alert held
  // already is replaced in its place keeping its visibility. Every handler of OnNotify is
  // removed, also when the load fails. An element that cannot be built leaves the list as
  // it was and its error reaches the caller. The caller keeps the array.
  bool ReadFromJSONArray(const TJSON& AEventsArray, bool AAppend);
  // The same, taking the array's elements instead of copying them.
  bool ReadFromJSONArray(TJSON&& AEventsArray, bool AAppend);

  // The two steps of a bulk load, for callers that schedule them themselves.
  // Step 1, any thread, touches no list: every element built, or the first error raised.
  static TZELEventBatch BuildEventsFromJSONArray(const TJSON& AEventsArray);
  static TZELEventBatch BuildEventsFromJSONArray(TJSON&& AEventsArray);
  // Step 2, UI thread, under the list's lock: removes every handler, then puts the batch
  // in (rules as above). Cannot fail on the alerts themselves.
  bool SwapInEvents(TZELEventBatch ABatch, bool AAppend);
  // A catch-up, UI thread: every alert of the batch that the list lacks is appended visible
  // and announced (newest of the batch last, so it ends on top of a view); an alert held
  // already keeps its place and takes the batch's state, active and viewed flags when they
  // differ (NotifyUIRefresh). The handlers stay. The alerts added, in the order added.
  std::vector<TZELEvent*> MergeEvents(TZELEventBatch ABatch);

  // Whether an alert (its JSON object) may enter the list: its "ObjectId" must be an
  // object id, or the alert could be neither looked up nor acted on. A refused alert gets
  // one Error line (tag ATag).
  static bool Acceptable(const TJSON& AAlert, std::string_view ATag);
  // Takes out of a backend answer's alert array every object element that is not
  // acceptable, each with its Error line; the other elements stay, in order.
  static void DropUnacceptable(TJSON& AEventsArray, std::string_view ATag);

  // Type 1: appends a new alert (announced); building errors reach the caller. An alert
  // without a usable id is refused: false, AEvent nullptr, nothing changed.
  bool ReadOneEventFromJSON(const std::string& AJSON, TZELEvent*& AEvent);
  bool ReadOneEventFromJSON(const std::string& AJSON);
  // Type 2: adds a history entry to its alert and moves the alert's state; true when added.
  bool ReadEventItemMQTT(const std::string& AJSON);
  // Type 5: an attachment's new upload state; true when an item with the payload's parent
  // id was found (AExtra stays nullptr when it holds no such attachment). Item ids are
  // unique object ids: the item is looked for first in the alert last known to hold it.
  bool ReadEventItemExtraMQTT(const std::string& AJSON, TZELEventItem*& AItem, TEventExtraDataItem*& AExtra);

  // The base list's changes, keeping the id index in step.
  TZELEvent* Add(std::unique_ptr<TZELEvent> AItem);
  TZELEvent* Insert(int AIndex, std::unique_ptr<TZELEvent> AItem);
  void Delete(int AIndex);
  int Remove(const TZELEvent* AItem);
  std::unique_ptr<TZELEvent> Extract(const TZELEvent* AItem);
  void SetItem(int AIndex, std::unique_ptr<TZELEvent> ANew);
  void DeleteRange(int AIndex, int ACount);
  void Clear(bool ANotify);

private:
  // id -> indexes of the alerts with that id, ascending; the first is the lookup's answer.
  using TIndex = std::unordered_map<std::string, std::vector<int>>;
  void IndexAdd(const std::string& AID, int AIndex);
  void IndexRemove(const std::string& AID, int AIndex);
  void RebuildIndex();
  int FirstIndexOf(const std::string& AEventID) const;
  void PutIn(std::unique_ptr<TZELEvent> AEvent, int AOrdinal);

  std::mutex Flock;
  TIndex FIndex;
  // Item id -> the id of the alert that took it from the broker (or was found holding it):
  // where an attachment update looks first. Checked at each use (the alert may be gone or
  // have reloaded its items); a miss falls back to the walk over every alert.
  std::unordered_map<std::string, std::string> FItemHomes;
};

}  // namespace ZEL
