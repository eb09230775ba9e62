#include "ZEL.Edge.Base.h"

#include "ZEL.LogsPipe.h"

namespace ZEL {

namespace {
const TJSON& NoObject() {
  static const TJSON null;
  return null;
}
}  // namespace

bool TZELBaseJSONCastObject::LoadFromJSON(const TJSON&) { return true; }

void TZELBaseJSONCastObject::InitFromText(std::string_view ARawJSON) {
  FJSONObject = Edge::JSON::ParseObject(ARawJSON, true);
  LoadFromJSON(FJSONObject ? *FJSONObject : NoObject());
}

void TZELBaseJSONCastObject::InitFromValue(const TJSON& AValue) {
  if (!AValue.is_object()) throw EInvalidCast(std::string(Edge::JSON::InvalidCastMessage));
  FJSONObject = AValue;
  LoadFromJSON(*FJSONObject);
}

bool TZELBaseEdgeEntity::LoadFromJSON(const TJSON& AData) {
  const bool result = TZELBaseJSONCastObject::LoadFromJSON(AData);
  constexpr std::string_view Tag = "TZELBaseEdgeEntity.LoadFromJSON";
  ILogWriter& log = LogsPipe::ZELLog();

  FType = TEdgeAgentType::atUnknown;
  if (const auto code = Edge::JSON::TryGetInteger(AData, "Type")) {
    const auto type = Edge::AgentTypeFromWire(*code);
    if (!type) {
      log.FatalFmt(Tag, "Required \"{}\" value ({}) is unknown edge entity type to us.", "Type", *code);
      return result;
    }
    FType = *type;
  } else {
    log.Fatal(Tag, "Required \"Type\" property is not found.");
  }

  struct TField {
    std::string_view Key;
    std::string* Field;
  };
  for (const TField& f : {TField{"Name", &FName}, TField{"Description", &FDescription}, TField{"ID", &FID},
                          TField{"GUID", &FGUID}, TField{"Parent", &FParentGUID}}) {
    f.Field->clear();
    auto value = ZEL::JSON::Helpers::TryGetString(AData, f.Key);
    if (!value) {
      log.ErrorFmt(Tag, "Required \"{}\" property is not found.", f.Key);
      return result;
    }
    *f.Field = std::move(*value);
  }
  return result;
}

}  // namespace ZEL
