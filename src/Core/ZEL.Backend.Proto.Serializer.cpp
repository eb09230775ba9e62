#include "ZEL.Backend.Proto.Serializer.h"

namespace ZEL {

std::string TZELProtoSerializer::Serialize(const TDTOBaseClass& ARecord) {
  return Serialize(TJSonSerializerConfigProc{}, ARecord);
}

std::string TZELProtoSerializer::Serialize(const TJSonSerializerConfigProc& AConfig,
                                           const TDTOBaseClass& ARecord) {
  TZELJSONSerializerSettings settings;
  if (AConfig) AConfig(settings);
  TZELJSONWriter writer(settings.Formatting);
  ARecord.WriteJSON(writer);
  return writer.Text();
}

}  // namespace ZEL
