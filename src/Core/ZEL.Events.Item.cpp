#include "ZEL.Events.Item.h"

#include <fmt/format.h>

#include "ZEL.JSON.Helpers.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"

namespace ZEL {

namespace {

constexpr std::string_view cInvalid = "TZELEventItem json is not valid";
constexpr std::string_view cErr = "<ERR>";
constexpr std::string_view cUpdateTag = "TZELEventItem.UpdateExtraFromMQTT";

using Events::JSON::TGetterLog;

TJSON ParseItem(std::string_view ARaw) {
  TJSON value = Events::JSON::ParseObject(ARaw, cInvalid);
  Events::JSON::RepairLineBreaks(value);
  return value;
}

}  // namespace

TZELEventItem::TZELEventItem(std::string_view ARawJson, std::string AParentID)
    : FJSONObject(ParseItem(ARawJson)), FParentId(std::move(AParentID)) {
  Load();
}

TZELEventItem::TZELEventItem(TJSON AObject, std::string AParentID)
    : FJSONObject(std::move(AObject)), FParentId(std::move(AParentID)) {
  Events::JSON::CheckObject(FJSONObject);
  Events::JSON::RepairLineBreaks(FJSONObject);
  Load();
}

void TZELEventItem::Load() {
  namespace J = Events::JSON;
  // "Source" wins over "Originator".
  // Kept unchanged from here on: the originator reads its part in place.
  const TJSON* origin = J::Object(FJSONObject, "Originator");
  if (const TJSON* source = J::Object(FJSONObject, "Source")) origin = source;
  FOriginator = TZELOriginatorDevice::InPlace(origin);
  if (const auto it = FJSONObject.find("ExtraData"); it != FJSONObject.end() && it->is_array()) {
    FExtraItems.reserve(it->size());
    for (const TJSON& element : *it) FExtraItems.push_back(std::make_unique<TEventExtraDataItem>(element));
  }
  if (const auto it = FJSONObject.find("ObjectId"); it != FJSONObject.end() && (it->is_string() || it->is_number()))
    FLookupID = it->is_string() ? it->get<std::string>() : ZEL::JSON::Helpers::NumberText(*it);
  else
    FLookupID = cErr;
}

TZELEventItem::~TZELEventItem() {
  constexpr std::string_view tag = "TZELEventItem.Destroy";
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(tag, "START");
  log.Debug(tag, "Getting free FExtraItems...");
  FExtraItems.clear();
  log.Debug(tag, "FExtraItems is free. Getting free FOriginator...");
  FOriginator.reset();
  log.Debug(tag, "FOriginator is free. Getting free FJSONObject...");
  FJSONObject = TJSON();
  log.Debug(tag, "FJSONObject is free. Getting call parent destructor...");
  log.Debug(tag, "DONE");
}

std::string TZELEventItem::ID() const {
  return Events::JSON::Text(FJSONObject, "ObjectId", TGetterLog{"TZELEventItem.GetObjectID", {}})
      .value_or(std::string(cErr));
}

std::string TZELEventItem::EventID() const {
  return Events::JSON::Text(FJSONObject, "ParentObjectId", TGetterLog{"TZELEventItem.GetEventID", {}})
      .value_or(FParentId);
}

std::string TZELEventItem::DateTimeStr() const {
  return Events::JSON::Text(FJSONObject, "DateTime", TGetterLog{"TZELEventItem.GetDateTime", {}})
      .value_or(std::string(cErr));
}

Time::TInstant TZELEventItem::DateTime() const {
  const std::string text = DateTimeStr();
  Time::TInstant result;
  if (!Time::TryParseISO8601(text, result)) throw EConvertError("Invalid date: '" + text + "'");
  return result;
}

std::string TZELEventItem::Caption() const {
  return Events::JSON::Text(FJSONObject, "Caption", TGetterLog{"TZELEventItem.GetCaption", {}})
      .value_or(std::string(cErr));
}

std::string TZELEventItem::Text() const {
  return Events::JSON::Text(FJSONObject, "Text", TGetterLog{"TZELEventItem.GetText", {}}).value_or(std::string(cErr));
}

bool TZELEventItem::HasExtra() const {
  const auto it = FJSONObject.find("ExtraData");
  if (it == FJSONObject.end() || !it->is_array()) {
    Events::JSON::LogMissing(FJSONObject, "ExtraData", TGetterLog{"TZELEventItem.GetExtra", {}});
    return false;
  }
  return !it->empty();
}

TEventAlertItemType TZELEventItem::ItemType() const {
  const TGetterLog log{"TZELEventItem.GetAlertItemType", {}};
  const auto outOfRange = [this] {
    const auto it = FJSONObject.find("ItemType");
    return EJSONInvalidValue("ItemType", fmt::format(" value ({}) must be in range[{}..{}]",
                                                     ZEL::JSON::Helpers::NumberText(*it), "0", "5"));
  };
  std::optional<std::int32_t> value;
  try {
    value = Events::JSON::Int32(FJSONObject, "ItemType", log);
  } catch (const EJSONInvalidValue&) {
    throw outOfRange();
  }
  if (!value) return TEventAlertItemType::aitEvent;
  if (*value < 0 || *value > 5) throw outOfRange();
  return static_cast<TEventAlertItemType>(*value);
}

bool TZELEventItem::FindItem(const std::string& AItemID, TEventExtraDataItem*& AItem) const {
  AItem = FindItem(AItemID);
  return AItem != nullptr;
}

TEventExtraDataItem* TZELEventItem::FindItem(const std::string& AItemID) const {
  for (const auto& extra : FExtraItems)
    if (extra->ID() == AItemID) return extra.get();
  return nullptr;
}

std::string TZELEventItem::GetStatusStr() const {
  int expected = 0, uploading = 0, available = 0, failed = 0;
  for (const auto& extra : FExtraItems) {
    switch (extra->State()) {
      case TExtraDataState::edsExpected: ++expected; break;
      case TExtraDataState::edsUploading: ++uploading; break;
      case TExtraDataState::edsAvailable: ++available; break;
      case TExtraDataState::edsUnavailable: ++failed; break;
    }
  }
  const int total = static_cast<int>(FExtraItems.size());
  std::string result;
  if (expected + uploading > 0) result += fmt::format("Uploading: {} of {}", expected + uploading, total);
  if (failed > 0) {
    if (!result.empty()) result += ' ';
    result += fmt::format("Failed: {} of {}", failed, total);
  }
  if (available == total) result = "Ready to view.";
  return result;
}

int TZELEventItem::CountDeclared(bool AImages) const {
  if (!HasExtra()) return -1;
  int count = 0;
  for (const TJSON& element : FJSONObject["ExtraData"]) {
    if (!element.is_object()) continue;
    const auto it = element.find("DataType");
    if (it == element.end() || !it->is_number()) continue;
    const double type = it->get<double>();
    if (AImages ? type == 1 : type > 1) ++count;
  }
  return count;
}

int TZELEventItem::CountDeclaredImages() const { return CountDeclared(true); }
int TZELEventItem::CountDeclaredVideos() const { return CountDeclared(false); }

void TZELEventItem::UpdateExtraFromMQTT(const std::string& AJSON, TEventExtraDataItem*& AItem) {
  AItem = nullptr;
  UpdateExtraFromMQTTPayload(Events::JSON::ParseObject(AJSON, cInvalid), AItem);
}

void TZELEventItem::UpdateExtraFromMQTTPayload(const TJSON& APayload, TEventExtraDataItem*& AItem) {
  AItem = nullptr;
  const TGetterLog log{cUpdateTag, {}};
  const std::string extraID = Events::JSON::Text(APayload, "ObjectId", log).value_or(std::string());
  // A state the attachment cannot hold is refused here instead of being stored as a byte:
  // a wrapped value would pass the regression test and show as no state at all.
  std::int32_t state = 3;
  bool inRange = true;
  try {
    state = Events::JSON::Int32(APayload, "State", log).value_or(3);
    inRange = state >= 0 && state <= 3;
  } catch (const EJSONInvalidValue&) {
    inRange = false;
  }
  if (!inRange) {
    const auto it = APayload.find("State");
    LogsPipe::ZELLog().WarnFmt(cUpdateTag, "Extra Item state {} is out of range! ItemId: \"{}\" ExtraItemId: \"{}\"",
                               ZEL::JSON::Helpers::NumberText(*it), ID(), extraID);
    return;
  }
  TEventExtraDataItem* extra = FindItem(extraID);
  if (!extra) return;
  AItem = extra;
  const auto newState = static_cast<TExtraDataState>(state);
  if (newState < extra->State()) {
    LogsPipe::ZELLog().WarnFmt(cUpdateTag, "Extra Item state regression! ItemId: \"{}\" ExtraItemId: \"{}\"", ID(),
                               extraID);
    return;
  }
  extra->SetState(newState);
  if (auto dateTime = Events::JSON::Text(APayload, "DateTime", log)) extra->SetDateTimeStr(std::move(*dateTime));
  TZELMessager<TEventItemExtraRefreshMessage>::Send(
      [&] { return std::make_unique<TEventItemExtraRefreshMessage>(ID(), extra->ID()); }, this);
}

std::string TZELEventItem::ToJSON() const { return Events::JSON::ToJSONText(FJSONObject); }

}  // namespace ZEL
