#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"

#include "ZEL.Backend.Proto.Serializer.h"

namespace ZEL {

void TSource::WriteJSON(TZELJSONWriter& AWriter) const {
  AWriter.WriteStartObject();
  AWriter.WritePropertyName("GUID");
  AWriter.WriteValue(FGUID.ToString());
  AWriter.WritePropertyName("Type");
  AWriter.WriteValue(FType);
  AWriter.WritePropertyName("ID");
  AWriter.WriteValue(FID);
  AWriter.WritePropertyName("Name");
  AWriter.WriteValue(FName);
  AWriter.WriteEndObject();
}

void TServiceProvider::WriteJSON(TZELJSONWriter& AWriter) const {
  AWriter.WriteStartObject();
  AWriter.WritePropertyName("GUID");
  AWriter.WriteValue(FGUID.ToString());
  AWriter.WritePropertyName("ID");
  AWriter.WriteValue(FID);
  AWriter.WriteEndObject();
}

void TRequestData::WriteJSON(TZELJSONWriter& AWriter) const {
  AWriter.WriteStartObject();
  AWriter.WritePropertyName("Params");
  TZELJSONWriterHelper::WriteAncestor(AWriter, FParams);
  AWriter.WriteEndObject();
}

void TZELServiceRequestDTO::WriteJSON(TZELJSONWriter& AWriter) const {
  AWriter.WriteStartObject();
  AWriter.WritePropertyName("Source");
  FSource.WriteJSON(AWriter);
  AWriter.WritePropertyName("Type");
  AWriter.WriteValue(FType);
  AWriter.WritePropertyName("DateTime");
  // The local clock time with a "Z" and no conversion to UTC: the edges read the field
  // that way, so it is kept although the "Z" is not true.
  AWriter.WriteValue(Time::FormatLocalAsZulu(FDateTime));
  AWriter.WritePropertyName("ObjectId");
  AWriter.WriteValue(FObjectId);
  AWriter.WritePropertyName("RequestId");
  AWriter.WriteValue(FRequestId);
  AWriter.WritePropertyName("ServiceProvider");
  FServiceProvider.WriteJSON(AWriter);
  AWriter.WritePropertyName("ServiceIndex");
  AWriter.WriteValue(FServiceIndex);
  AWriter.WritePropertyName("RequestData");
  FRequestData.WriteJSON(AWriter);
  AWriter.WriteEndObject();
}

std::string TZELServiceRequestDTO::DoToJSON() const { return TZELProtoSerializer::Serialize(*this); }

}  // namespace ZEL
