#pragma once
// The payload of a service request (Type 6) that the client publishes on an edge's
// "Service/Request" topic. Member names, order and value forms are what the edges read.

#include <cstdint>
#include <string>
#include <string_view>

#include "ZEL.Backend.Proto.DTO.Base.h"
#include "ZEL.GUID.h"
#include "ZEL.JSON.Helpers.h"
#include "ZEL.Time.h"

namespace ZEL {

// Who asks: the edge's GUID, the kind of party (200 for a user), account e-mail and name.
class TSource {
public:
  static constexpr std::string_view TypeName = "TSource";

  const TGUID& GUID() const { return FGUID; }
  void SetGUID(const TGUID& AValue) { FGUID = AValue; }
  std::int32_t SourceType() const { return FType; }
  void SetSourceType(std::int32_t AValue) { FType = AValue; }
  const std::string& ID() const { return FID; }
  void SetID(std::string AValue) { FID = std::move(AValue); }
  const std::string& Name() const { return FName; }
  void SetName(std::string AValue) { FName = std::move(AValue); }

  // {"GUID", "Type", "ID", "Name"}
  void WriteJSON(TZELJSONWriter& AWriter) const;

private:
  TGUID FGUID;
  std::int32_t FType = 0;
  std::string FID;
  std::string FName;
};

// The node that offers the service.
class TServiceProvider {
public:
  static constexpr std::string_view TypeName = "TServiceProvider";

  const TGUID& GUID() const { return FGUID; }
  void SetGUID(const TGUID& AValue) { FGUID = AValue; }
  const std::string& ID() const { return FID; }
  void SetID(std::string AValue) { FID = std::move(AValue); }

  // {"GUID", "ID"}
  void WriteJSON(TZELJSONWriter& AWriter) const;

private:
  TGUID FGUID;
  std::string FID;
};

// The service's parameters: any JSON value, null when there are none.
class TRequestData {
public:
  static constexpr std::string_view TypeName = "TRequestData";

  const TJSON& Params() const { return FParams; }
  // Replaces the value held before.
  void SetParams(TJSON AValue) { FParams = std::move(AValue); }
  // Back to null.
  void ReleaseParams() { FParams = nullptr; }

  // {"Params"}
  void WriteJSON(TZELJSONWriter& AWriter) const;

private:
  TJSON FParams;
};

class TZELServiceRequestDTO : public TDTOBaseClass {
public:
  static constexpr std::string_view TypeName = "TZELServiceRequestDTO";

  TSource& Source() { return FSource; }
  const TSource& Source() const { return FSource; }
  std::int32_t RequestType() const { return FType; }
  void SetRequestType(std::int32_t AValue) { FType = AValue; }
  // When the request was made. MissingDate (a fresh record) is written as the zero
  // date-time 1899-12-30T00:00:00.000Z.
  Time::TInstant DateTime() const { return FDateTime; }
  void SetDateTime(Time::TInstant AValue) { FDateTime = AValue; }
  // 24 lower-case hexadecimal digits; RequestId holds the same value.
  const std::string& ObjectId() const { return FObjectId; }
  void SetObjectId(std::string AValue) { FObjectId = std::move(AValue); }
  const std::string& RequestId() const { return FRequestId; }
  void SetRequestId(std::string AValue) { FRequestId = std::move(AValue); }
  TServiceProvider& ServiceProvider() { return FServiceProvider; }
  const TServiceProvider& ServiceProvider() const { return FServiceProvider; }
  std::int32_t ServiceIndex() const { return FServiceIndex; }
  void SetServiceIndex(std::int32_t AValue) { FServiceIndex = AValue; }
  TRequestData& RequestData() { return FRequestData; }
  const TRequestData& RequestData() const { return FRequestData; }

  // Every member in this order, also when empty or zero: "Source", "Type", "DateTime",
  // "ObjectId", "RequestId", "ServiceProvider", "ServiceIndex", "RequestData".
  void WriteJSON(TZELJSONWriter& AWriter) const override;

protected:
  // The serializer's indented text: the payload to publish.
  std::string DoToJSON() const override;

private:
  TSource FSource;
  std::int32_t FType = 0;
  Time::TInstant FDateTime = Time::MissingDate;
  std::string FObjectId;
  std::string FRequestId;
  TServiceProvider FServiceProvider;
  std::int32_t FServiceIndex = 0;
  TRequestData FRequestData;
};

}  // namespace ZEL
