#include "ZEL.Events.Event.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "ZEL.JSON.Helpers.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"

namespace ZEL {

namespace {

constexpr std::string_view cInvalid = "TZELEvent json is not valid";
constexpr std::string_view cErr = "<ERR>";
constexpr std::string_view cTag = "TZELEvent";
constexpr std::string_view cObjectTag = "ZELEvent object";

using Events::JSON::TGetterLog;

bool EqualNoCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

TZELEvent::TZELEvent(std::string_view ARawJson) : FJSONObject(Events::JSON::ParseObject(ARawJson, cInvalid)) {
  Load();
}

TZELEvent::TZELEvent(TJSON AObject) : FJSONObject(std::move(AObject)) {
  Events::JSON::CheckObject(FJSONObject);
  Load();
}

void TZELEvent::Load() {
  namespace J = Events::JSON;
  // The alert keeps its element unchanged for its whole life: the originator reads its part in place.
  const TJSON* origin = J::Object(FJSONObject, "Originator");
  if (!origin) origin = J::Object(FJSONObject, "Source");
  FOriginator = TZELOriginatorDevice::InPlace(origin);

  const auto state = J::Text(FJSONObject, "State", TGetterLog{"TZELEvent.GetEventAlertState", {}, true});
  FState = state ? Events::AlertStateFromText(*state) : TEventAlertState::easInitiated;
  FActive = J::Bool(FJSONObject, "Active", {cTag, "GetActive", true}).value_or(false);
  FViewed = J::Bool(FJSONObject, "Viewed", {cTag, "GetViewed", true}).value_or(false);
  const auto lastView = J::Text(FJSONObject, "LastViewedAt", {cTag, "GetLastView", true});
  FLastView = lastView ? Time::ParseISO8601(*lastView) : Time::MissingDate;
  FLastViewBy = J::Text(FJSONObject, "LastViewedBy", {cTag, "GetLastViewBy", true}).value_or(std::string(cErr));

  if (const auto it = FJSONObject.find("ObjectId"); it != FJSONObject.end() && (it->is_string() || it->is_number()))
    FLookupID = it->is_string() ? it->get<std::string>() : ZEL::JSON::Helpers::NumberText(*it);
  else
    FLookupID = cErr;
}

TZELEvent::~TZELEvent() {
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(cTag, "Destroy start");
  FOriginator.reset();
  FJSONObject = TJSON();
  FItems.Clear(false);
  log.Debug(cTag, "Destroy end");
}

std::string TZELEvent::ID() const {
  return Events::JSON::Text(FJSONObject, "ObjectId", {cObjectTag, "GetObjectID", true}).value_or(std::string(cErr));
}

Time::TInstant TZELEvent::DateTime() const {
  const auto text = Events::JSON::Text(FJSONObject, "DateTime", {cTag, "GetEventDateTime", true});
  return text ? Time::ParseISO8601(*text) : Time::MissingDate;
}

std::string TZELEvent::DateTimeStr() const {
  return Events::JSON::Text(FJSONObject, "DateTime", {cTag, "GetDateTimeStr", true}).value_or(std::string());
}

std::string TZELEvent::Caption() const {
  return Events::JSON::Text(FJSONObject, "Caption", TGetterLog{"TZELEvent.GetEventCaption", {}, true})
      .value_or(std::string(cErr));
}

std::string TZELEvent::Text() const {
  return Events::JSON::Text(FJSONObject, "Text", {cObjectTag, "GetEventText", true}).value_or(std::string(cErr));
}

bool TZELEvent::HasItem(const std::string& AItemID) const {
  int index = -1;
  return HasItem(AItemID, index);
}

bool TZELEvent::HasItem(const std::string& AItemID, int& AIndex) const {
  AIndex = -1;
  int i = 0;
  for (TZELEventItem* item : FItems) {
    if (item->LookupID() == AItemID) {
      AIndex = i;
      return true;
    }
    ++i;
  }
  return false;
}

bool TZELEvent::FindItem(const std::string& AItemID, TZELEventItem*& AItem) const {
  AItem = FindItem(AItemID);
  return AItem != nullptr;
}

TZELEventItem* TZELEvent::FindItem(const std::string& AItemID) const {
  int index = -1;
  return HasItem(AItemID, index) ? FItems[index] : nullptr;
}

bool TZELEvent::FetchItems() {
  TItemBatch fresh;
  if (!FetchItemsOf(ID(), fresh)) return false;
  UIThread::RunSync([&] { ReplaceItems(std::move(fresh)); });
  return true;
}

bool TZELEvent::FetchItemsOf(const std::string& AEventID, TItemBatch& AItems) {
  auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  if (!rest) return false;
  TJSON array;
  if (!rest->GetEventItems(AEventID, array)) return false;
  // Built aside, so a bad element leaves the items as they were and the views (UI thread)
  // never see a half-filled list.
  TItemBatch fresh;
  if (array.is_array()) {
    fresh.reserve(array.size());
    for (TJSON& element : array) {
      auto item = std::make_unique<TZELEventItem>(std::move(element));
      try {
        (void)item->ItemType();
      } catch (const EJSONInvalidValue& E) {
        LogsPipe::ZELLog().WarnFmt("TZELEvent.FetchItems", "Item[{}] skipped: {}", item->LookupID(), E.what());
        continue;
      }
      fresh.push_back(std::move(item));
    }
  }
  AItems = std::move(fresh);
  return true;
}

void TZELEvent::ReplaceItems(TItemBatch AItems) {
  FItems.Clear(false);
  for (auto& item : AItems) FItems.Add(std::move(item));
}

void TZELEvent::NotifyUIRefresh() {
  TZELMessager<TEventRefreshMessage>::Send([this] { return std::make_unique<TEventRefreshMessage>(ID()); }, this);
}

std::string TZELEvent::ToJSON() const { return Events::JSON::ToJSONText(FJSONObject); }

}  // namespace ZEL

namespace ZEL::Events {

TEventAlertState AlertStateFromText(std::string_view AText) {
  if (EqualNoCase(AText, "easInitiated")) return TEventAlertState::easInitiated;
  if (EqualNoCase(AText, "easEscalated")) return TEventAlertState::easEscalated;
  if (EqualNoCase(AText, "easDismissed")) return TEventAlertState::easDismissed;
  return TEventAlertState::easInitiated;
}

}  // namespace ZEL::Events
