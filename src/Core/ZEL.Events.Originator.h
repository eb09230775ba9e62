#pragma once
// Who produced an alert, an alert item or an attachment: an edge, a condition, a provider
// or a user. Reads everything from its JSON on demand: its own copy, or (InPlace) the
// object inside its owner's JSON, which the owner keeps unchanged while the originator lives.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ZEL.Events.JSON.h"
#include "ZEL.GUID.h"

namespace ZEL {

class TZELOriginatorDevice {
public:
  static constexpr std::string_view TypeName = "TZELOriginatorDevice";

  // A JSON object's text; anything else fails ("TZELOriginatorDevice json is not valid").
  explicit TZELOriginatorDevice(std::string_view ARawJson);
  // The object under an originator key, copied; nullptr (no such object) fails like an empty text.
  explicit TZELOriginatorDevice(const TJSON* AObject);
  // The same checks, reading AObject where it is instead of copying it.
  static std::unique_ptr<TZELOriginatorDevice> InPlace(const TJSON* AObject);
  // A copy owns a copy of the object.
  TZELOriginatorDevice(const TZELOriginatorDevice& AOther);
  TZELOriginatorDevice& operator=(const TZELOriginatorDevice&) = delete;

  std::string ID() const;          // "ID"
  std::string GUIDstring() const;  // "GUID"; the all-zero GUID's text when missing
  // GUIDstring parsed (braces required); empty gives the all-zero GUID, other text EConvertError.
  TGUID GUID() const;
  std::string Name() const;
  std::string Descriprion() const;  // "Description"
  // "Type" as an integer (10 edge, 20 condition, 30 provider); -1 when missing, EConvertError
  // for text that is no decimal integer.
  std::int32_t SourceType() const;

  const TJSON& JSONObject() const { return *FObject; }

private:
  TZELOriginatorDevice() = default;

  TJSON FOwn;
  const TJSON* FObject = &FOwn;
};

}  // namespace ZEL
