#include "ZEL.Backend.Proto.DTO.Base.h"

#include "ZEL.JSON.Writer.h"

namespace ZEL {

void TDTOBaseClass::WriteJSON(TZELJSONWriter& AWriter) const {
  AWriter.WriteStartObject();
  AWriter.WriteEndObject();
}

std::string TDTOBaseClass::DoToJSON() const { return "{}"; }

}  // namespace ZEL
