#include "ZEL.Events.Originator.h"

#include <charconv>

namespace ZEL {

namespace {

constexpr std::string_view cInvalid = "TZELOriginatorDevice json is not valid";
constexpr std::string_view cTag = "TZELOriginatorDevice object";
constexpr std::string_view cErr = "<ERR>";

}  // namespace

TZELOriginatorDevice::TZELOriginatorDevice(std::string_view ARawJson)
    : FOwn(Events::JSON::ParseObject(ARawJson, cInvalid)) {}

TZELOriginatorDevice::TZELOriginatorDevice(const TJSON* AObject) {
  if (!AObject) throw EZELException(std::string(cInvalid));
  Events::JSON::CheckObject(*AObject);
  FOwn = *AObject;
}

std::unique_ptr<TZELOriginatorDevice> TZELOriginatorDevice::InPlace(const TJSON* AObject) {
  if (!AObject) throw EZELException(std::string(cInvalid));
  Events::JSON::CheckObject(*AObject);
  std::unique_ptr<TZELOriginatorDevice> result(new TZELOriginatorDevice());
  result->FObject = AObject;
  return result;
}

// A copy owns its object, so it may outlive the original's owner.
TZELOriginatorDevice::TZELOriginatorDevice(const TZELOriginatorDevice& AOther) : FOwn(*AOther.FObject) {}

std::string TZELOriginatorDevice::ID() const {
  return Events::JSON::Text(*FObject, "ID", {cTag, "GetObjectID"}).value_or(std::string(cErr));
}

std::string TZELOriginatorDevice::GUIDstring() const {
  return Events::JSON::Text(*FObject, "GUID", {cTag, "GetGUIDString"}).value_or(TGUID::Empty().ToString());
}

TGUID TZELOriginatorDevice::GUID() const {
  const std::string text = GUIDstring();
  TGUID result;
  if (text.empty()) return result;
  if (!TGUID::TryParse(text, result)) throw EConvertError("'" + text + "' is not a valid GUID value");
  return result;
}

std::string TZELOriginatorDevice::Name() const {
  return Events::JSON::Text(*FObject, "Name", {cTag, "GetName"}).value_or(std::string(cErr));
}

std::string TZELOriginatorDevice::Descriprion() const {
  return Events::JSON::Text(*FObject, "Description", {"Source object object", "GetDescr"})
      .value_or(std::string(cErr));
}

std::int32_t TZELOriginatorDevice::SourceType() const {
  const auto text = Events::JSON::Text(*FObject, "Type", {cTag, "GetType"});
  if (!text) return -1;
  std::int32_t value = 0;
  const char* first = text->data();
  const char* last = first + text->size();
  if (last - first > 1 && *first == '+' && first[1] != '-') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last)
    throw EConvertError("'" + *text + "' is not a valid integer value");
  return value;
}

}  // namespace ZEL
