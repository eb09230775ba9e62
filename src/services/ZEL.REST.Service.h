#pragma once
// The backend's REST client: one blocking HTTPS request per call, on the caller's thread,
// authenticated by the current ID token in the "AuthToken" header. Only status 200 counts as
// an answer; transport errors and answers that cannot be converted raise to the caller.

#include "ZEL.Edge.JSON.h"  // EInvalidCast: an answer of the wrong JSON shape
#include "ZEL.Http.Curl.h"
#include "ZEL.REST.Service.Interf.h"

#include <string>
#include <string_view>

namespace ZEL {

class TZELRESTService : public IZELRESTService {
public:
  static constexpr std::string_view TypeName = "TZELRESTService";

  // ABaseURL empty: the backend's configured address (ZEL::Events::BackendBaseURL).
  explicit TZELRESTService(std::string ABaseURL = {}, Http::Curl::TLimits ALimits = {});

  bool Sync(nlohmann::ordered_json& AEdgeControllers) override;
  bool GetEvent(const std::string& AID, nlohmann::ordered_json& AEventsArray) override;
  bool GetEvents(nlohmann::ordered_json& AEventsArray, const std::string& ABeginPeriod,
                 const std::string& AEndPeriod) override;
  bool GetEventItems(const std::string& AEventID, nlohmann::ordered_json& AItems) override;
  bool GetEventItemDetails(const std::string& AEventItemID, nlohmann::ordered_json& AItems) override;
  bool GetExtraDataTypeAndSize(const std::string& AObjectID, std::string& AContentType,
                               std::int64_t& ASize) override;
  bool GetExtraDataStream(const std::string& AObjectID, std::ostream& AToStream, std::string& AContentType,
                          std::int64_t& ASize) override;
  bool ValidateToken(const std::string& AFBToken) override;
  std::unique_ptr<TZELUserRecord> ValidateInviteCode(const std::string& ACode, std::string& AError) override;
  std::unique_ptr<TZELUserRecord> AuthOnZELCRM(std::string& AError) override;

  const std::string& BaseURL() const { return FBaseURL; }

private:
  // A GET on APath (with its query already encoded) carrying the "AuthToken" header.
  Http::Curl::TResponse Get(const std::string& APathAndQuery, const std::string& ATag);
  std::unique_ptr<TZELUserRecord> ReadUserRecord(const std::string& APathAndQuery, const std::string& ATag,
                                                 const std::string& ARespondPrefix);

  const std::string FBaseURL;
  const Http::Curl::TLimits FLimits;
};

}  // namespace ZEL
