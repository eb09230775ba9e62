#include "ZEL.Events.JSON.h"

#include <vector>

#include "ZEL.JSON.Helpers.h"
#include "ZEL.LogsPipe.h"

namespace ZEL::Events::JSON {

namespace Helpers = ZEL::JSON::Helpers;

TJSON ParseObject(std::string_view ARaw, std::string_view AInvalidMessage) {
  if (!Helpers::NestingAllowed(ARaw, "ZEL.Events.JSON.ParseObject")) throw EZELException(std::string(AInvalidMessage));
  TJSON value = TJSON::parse(ARaw.begin(), ARaw.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) throw EZELException(std::string(AInvalidMessage));
  CheckObject(value);
  return value;
}

void CheckObject(const TJSON& AValue) {
  if (!AValue.is_object()) throw EInvalidCast(std::string(Edge::JSON::InvalidCastMessage));
}

namespace {

void RepairString(std::string& AText) {
  std::size_t at = AText.find("\n\r");
  while (at != std::string::npos) {
    AText[at] = '\r';
    AText[at + 1] = '\n';
    at = AText.find("\n\r", at + 2);
  }
}

}  // namespace

void RepairLineBreaks(TJSON& AValue) {
  // Iterative: a payload may nest deeply.
  std::vector<TJSON*> pending{&AValue};
  while (!pending.empty()) {
    TJSON* value = pending.back();
    pending.pop_back();
    if (value->is_string()) {
      RepairString(value->get_ref<std::string&>());
    } else if (value->is_structured()) {
      for (auto& child : *value) pending.push_back(&child);
    }
  }
}

std::string ToJSONText(const TJSON& AValue) {
  return AValue.dump(-1, ' ', /*ensure_ascii=*/true, TJSON::error_handler_t::replace);
}

std::string LoggedObjectText(const TJSON& AObject, bool AByID) {
  if (AByID && AObject.is_object()) {
    // An object without a usable id is shown whole: then the id cannot tell which it is.
    const auto it = AObject.find("ObjectId");
    if (it != AObject.end() && (it->is_string() || it->is_number()))
      return LogsPipe::Shortened("{\"ObjectId\":" + ToJSONText(*it) + "}");
  }
  return LogsPipe::Shortened(ToJSONText(AObject));
}

void LogMissing(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog) {
  ILogWriter& log = LogsPipe::ZELLog();
  const std::string object = LoggedObjectText(AObject, ALog.ByID);
  if (ALog.Getter.empty())
    log.FatalFmt(ALog.Tag, "Unable to get data from \"{}\". JSON Object: {}", AKey, object);
  else
    log.FatalFmt(ALog.Tag, "[{}] Unable to get data from \"{}\". JSON Object: {}", ALog.Getter, AKey, object);
}

namespace {

const TJSON* Member(const TJSON& AObject, std::string_view AKey) {
  if (!AObject.is_object()) return nullptr;
  const auto it = AObject.find(AKey);
  return it == AObject.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::string> Text(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog) {
  const TJSON* value = Member(AObject, AKey);
  if (value && value->is_string()) return value->get<std::string>();
  if (value && value->is_number()) return Helpers::NumberText(*value);
  LogMissing(AObject, AKey, ALog);
  return std::nullopt;
}

std::optional<bool> Bool(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog) {
  const TJSON* value = Member(AObject, AKey);
  if (value && value->is_boolean()) return value->get<bool>();
  LogMissing(AObject, AKey, ALog);
  return std::nullopt;
}

std::optional<std::int32_t> Int32(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog) {
  const TJSON* value = Member(AObject, AKey);
  if (!value || !value->is_number()) {
    LogMissing(AObject, AKey, ALog);
    return std::nullopt;
  }
  return Helpers::TryGetInt32(AObject, AKey);  // keys hold no dot, so the path is the key
}

const TJSON* Object(const TJSON& AObject, std::string_view AKey) {
  const TJSON* value = Member(AObject, AKey);
  return value && value->is_object() ? value : nullptr;
}

}  // namespace ZEL::Events::JSON
