#pragma once
// How the alert model reads its JSON: parsing with the model's own failure texts, the
// getters' Fatal entries for a missing value, and the text form the model writes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "ZEL.Edge.JSON.h"  // EInvalidCast
#include "ZEL.Exceptions.h"

namespace ZEL {

using TJSON = nlohmann::ordered_json;

// A text that does not convert (a date, a GUID, an integer).
ZEL_DECLARE_EXCEPTION(EConvertError, EZELException)

}  // namespace ZEL

namespace ZEL::Events::JSON {

// The text parsed as a JSON object. Unparsable (or empty) text raises EZELException with
// AInvalidMessage; another JSON value raises EInvalidCast.
TJSON ParseObject(std::string_view ARaw, std::string_view AInvalidMessage);
// The same check for a value parsed already.
void CheckObject(const TJSON& AValue);

// Every string value (not the names) with each line feed + carriage return pair turned into
// carriage return + line feed. Done on values after parsing, so escaped backslashes stay.
void RepairLineBreaks(TJSON& AValue);

// The object's text with every character below 32 and above 127 escaped.
std::string ToJSONText(const TJSON& AValue);

// Lookups that log a missing (or ill-typed) value at Fatal. Form A names the getter:
// "[<getter>] Unable to get data from \"<key>\". JSON Object: <text>"; form B does not.
// <text> is the object's JSON text, or with ByID only its id ({"ObjectId":...}) when it has
// one: an alert not yet viewed misses two values as its normal state, and its whole text
// twice per alert filled the log files of a large load until they rotated away all history.
struct TGetterLog {
  std::string_view Tag;
  std::string_view Getter;  // empty: form B
  bool ByID = false;
};
// What a missing-value line shows of AObject (see TGetterLog).
std::string LoggedObjectText(const TJSON& AObject, bool AByID);
void LogMissing(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog);

std::optional<std::string> Text(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog);
std::optional<bool> Bool(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog);
// A JSON number as a 32-bit integer; EJSONInvalidValue for one that is not a whole 32-bit value.
std::optional<std::int32_t> Int32(const TJSON& AObject, std::string_view AKey, const TGetterLog& ALog);

// The member when it is an object, else nullptr (no log).
const TJSON* Object(const TJSON& AObject, std::string_view AKey);

}  // namespace ZEL::Events::JSON
