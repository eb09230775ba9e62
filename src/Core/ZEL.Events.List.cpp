#include "ZEL.Events.List.h"

#include <algorithm>

#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Utils.ObjectId.h"

namespace ZEL {

TZELEventList::TZELEventList() = default;

TZELEventList::~TZELEventList() {
  constexpr std::string_view tag = "TZELEventList.Destroy";
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(tag, "START. Try free lock...");
  log.Debug(tag, "lock destroyed. Call parent...");
  // What the base destructor would do, here so that the last line comes after it.
  ExceptionReporter::Guarded(Tag(), [this] { TBase::Clear(true); });
  FIndex.clear();
  log.Debug(tag, "FINISH.");
}

// --- index -------------------------------------------------------------------------------

void TZELEventList::IndexAdd(const std::string& AID, int AIndex) {
  std::vector<int>& at = FIndex[AID];
  at.insert(std::lower_bound(at.begin(), at.end(), AIndex), AIndex);
}

void TZELEventList::IndexRemove(const std::string& AID, int AIndex) {
  const auto it = FIndex.find(AID);
  if (it == FIndex.end()) return;
  auto& at = it->second;
  const auto pos = std::lower_bound(at.begin(), at.end(), AIndex);
  if (pos != at.end() && *pos == AIndex) at.erase(pos);
  if (at.empty()) FIndex.erase(it);
}

void TZELEventList::RebuildIndex() {
  FIndex.clear();
  for (int i = 0; i < Count(); ++i) FIndex[(*this)[i]->LookupID()].push_back(i);
}

int TZELEventList::FirstIndexOf(const std::string& AEventID) const {
  const auto it = FIndex.find(AEventID);
  return it == FIndex.end() || it->second.empty() ? -1 : it->second.front();
}

TZELEvent* TZELEventList::Add(std::unique_ptr<TZELEvent> AItem) {
  IndexAdd(AItem->LookupID(), Count());
  return TBase::Add(std::move(AItem));
}

TZELEvent* TZELEventList::Insert(int AIndex, std::unique_ptr<TZELEvent> AItem) {
  TZELEvent* item = TBase::Insert(AIndex, std::move(AItem));
  RebuildIndex();
  return item;
}

void TZELEventList::Delete(int AIndex) {
  // Nothing removes a single alert in this program; the index simply follows.
  TBase::Delete(AIndex);
  RebuildIndex();
}

int TZELEventList::Remove(const TZELEvent* AItem) {
  const int index = TBase::Remove(AItem);
  if (index >= 0) RebuildIndex();
  return index;
}

std::unique_ptr<TZELEvent> TZELEventList::Extract(const TZELEvent* AItem) {
  auto item = TBase::Extract(AItem);
  if (item) RebuildIndex();
  return item;
}

void TZELEventList::SetItem(int AIndex, std::unique_ptr<TZELEvent> ANew) {
  if (AIndex >= 0 && AIndex < Count() && ANew) {
    IndexRemove((*this)[AIndex]->LookupID(), AIndex);
    IndexAdd(ANew->LookupID(), AIndex);
  }
  TBase::SetItem(AIndex, std::move(ANew));
}

void TZELEventList::DeleteRange(int AIndex, int ACount) {
  TBase::DeleteRange(AIndex, ACount);
  RebuildIndex();
}

void TZELEventList::Clear(bool ANotify) {
  FIndex.clear();
  FItemHomes.clear();
  TBase::Clear(ANotify);
}

// --- lookups -----------------------------------------------------------------------------

bool TZELEventList::EventExists(const std::string& AEventID) const {
  return FirstIndexOf(AEventID) >= 0;
}

bool TZELEventList::EventExists(const std::string& AEventID, int& aID) const {
  aID = FirstIndexOf(AEventID);
  return aID >= 0;
}

bool TZELEventList::FindEventByID(const std::string& AEventID, TZELEvent*& AEvent) const {
  AEvent = FindEventByID(AEventID);
  return AEvent != nullptr;
}

TZELEvent* TZELEventList::FindEventByID(const std::string& AEventID) const {
  const int index = FirstIndexOf(AEventID);
  return index >= 0 ? (*this)[index] : nullptr;
}

bool TZELEventList::FindItemByID(const std::string& AEventID, const std::string& AItemID,
                                 TZELEventItem*& AItem) const {
  AItem = FindItemByID(AEventID, AItemID);
  return AItem != nullptr;
}

TZELEventItem* TZELEventList::FindItemByID(const std::string& AEventID, const std::string& AItemID) const {
  const TZELEvent* event = FindEventByID(AEventID);
  return event ? event->FindItem(AItemID) : nullptr;
}

// --- broker payloads ---------------------------------------------------------------------

bool TZELEventList::Acceptable(const TJSON& AAlert, std::string_view ATag) {
  const auto it = AAlert.is_object() ? AAlert.find("ObjectId") : AAlert.end();
  const bool given = it != AAlert.end() && (it->is_string() || it->is_number());
  if (given && it->is_string() && Utils::IsObjectId(it->get_ref<const std::string&>())) return true;
  const std::string json = LogsPipe::Shortened(Events::JSON::ToJSONText(AAlert));
  if (!given)
    LogsPipe::ZELLog().ErrorFmt(ATag, "Alert refused: it has no \"ObjectId\". JSON: {}", json);
  else
    LogsPipe::ZELLog().ErrorFmt(ATag, "Alert refused: its \"ObjectId\" {} is not an object id. JSON: {}",
                                Events::JSON::ToJSONText(*it), json);
  return false;
}

void TZELEventList::DropUnacceptable(TJSON& AEventsArray, std::string_view ATag) {
  if (!AEventsArray.is_array()) return;
  TJSON kept = TJSON::array();
  for (TJSON& element : AEventsArray)
    // An element that is no object is left to the load, which fails on it as ever.
    if (!element.is_object() || Acceptable(element, ATag)) kept.push_back(std::move(element));
  AEventsArray = std::move(kept);
}

bool TZELEventList::ReadOneEventFromJSON(const std::string& AJSON, TZELEvent*& AEvent) {
  AEvent = nullptr;
  auto event = std::make_unique<TZELEvent>(AJSON);
  if (!Acceptable(event->JSONObject(), "TZELEventList.ReadOneEventFromJSON")) return false;
  // One alert reaches us more than once: on its edge's topic and on the organisation's,
  // and again as a retained message at each subscription. It is one alert, one row.
  if (TZELEvent* held = FindEventByID(event->LookupID())) {
    LogsPipe::ZELLog().WarnFmt("TZELEventList.ReadOneEventFromJSON",
                               "Alert \"{}\" is in the list already. Skipping.", event->LookupID());
    AEvent = held;
    return false;
  }
  AEvent = Add(std::move(event));
  return true;
}

bool TZELEventList::ReadOneEventFromJSON(const std::string& AJSON) {
  TZELEvent* event = nullptr;
  return ReadOneEventFromJSON(AJSON, event);
}

bool TZELEventList::ReadEventItemMQTT(const std::string& AJSON) {
  constexpr std::string_view tag = "TZELEventList.ReadEventItemMQTT";
  ILogWriter& log = LogsPipe::ZELLog();
  auto item = std::make_unique<TZELEventItem>(AJSON);
  const std::string eventID = item->EventID();
  if (eventID.empty()) {
    log.DebugFmt(tag, "Item[{}] EventID is empty! JSON {}", item->ID(), AJSON);
    return false;
  }
  TZELEvent* event = FindEventByID(eventID);
  if (!event) {
    log.DebugFmt(tag, "Item[{}] EventID \"{}\" is unknown! JSON {}", item->ID(), eventID, AJSON);
    return false;
  }
  if (event->HasItem(item->LookupID())) return false;

  // Everything the effect needs is read before the item goes in: an item that cannot take
  // effect is dropped whole rather than left half applied.
  TEventAlertItemType type;
  Time::TInstant viewedAt = Time::MissingDate;
  try {
    type = item->ItemType();
    if (type == TEventAlertItemType::aitView && !event->Viewed()) viewedAt = item->DateTime();
  } catch (const EZELException& E) {
    log.WarnFmt(tag, "Item[{}] is skipped. {}: {} JSON {}", item->ID(), E.className(), E.what(), AJSON);
    return false;
  }

  TZELEventItem* added = event->Items().Add(std::move(item));
  FItemHomes[added->LookupID()] = event->LookupID();
  switch (type) {
    case TEventAlertItemType::aitView:
      if (!event->Viewed()) {
        event->SetLastView(viewedAt);
        event->SetLastViewBy(added->Originator().Name());
        event->SetViewed(true);
      }
      break;
    case TEventAlertItemType::aitDismiss:
      event->SetState(TEventAlertState::easDismissed);
      if (event->Active()) event->SetActive(false);
      break;
    case TEventAlertItemType::aitEscalate:
      event->SetState(TEventAlertState::easEscalated);
      break;
    case TEventAlertItemType::aitInactive:
      if (event->Active()) event->SetActive(false);
      break;
    case TEventAlertItemType::aitEvent:
    case TEventAlertItemType::aitNote:
      break;
  }
  event->NotifyUIRefresh();
  return true;
}

bool TZELEventList::ReadEventItemExtraMQTT(const std::string& AJSON, TZELEventItem*& AItem,
                                           TEventExtraDataItem*& AExtra) {
  AItem = nullptr;
  AExtra = nullptr;
  const TZELEventItem probe(AJSON);  // only for its "ParentObjectId"
  const std::string itemID = probe.EventID();
  TZELEventItem* item = nullptr;
  if (const auto home = FItemHomes.find(itemID); home != FItemHomes.end())
    if (const TZELEvent* event = FindEventByID(home->second)) item = event->FindItem(itemID);
  if (!item) {
    for (TZELEvent* event : *this) {
      if ((item = event->FindItem(itemID))) {
        FItemHomes[itemID] = event->LookupID();
        break;
      }
    }
  }
  if (!item) return false;
  item->UpdateExtraFromMQTTPayload(probe.JSONObject(), AExtra);
  AItem = item;
  return true;
}

}  // namespace ZEL
