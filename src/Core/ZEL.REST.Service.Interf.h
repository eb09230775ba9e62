#pragma once
// The REST backend client: sync, alerts and their items, attachments, tokens, invitations.

#include "ZEL.Services.ContainerKind.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class TZELUserRecord;

class IZELRESTService {
public:
  static constexpr std::string_view TypeName = "IZELRESTService";
  static constexpr const char* IID = "{B57BBA51-99EC-4D4A-8352-530708E5075E}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::Global;

  virtual ~IZELRESTService() = default;

  virtual bool Sync(nlohmann::ordered_json& AEdgeControllers) = 0;
  virtual bool GetEvent(const std::string& AID, nlohmann::ordered_json& AEventsArray) = 0;
  virtual bool GetEvents(nlohmann::ordered_json& AEventsArray, const std::string& ABeginPeriod,
                         const std::string& AEndPeriod) = 0;
  virtual bool GetEventItems(const std::string& AEventID, nlohmann::ordered_json& AItems) = 0;
  virtual bool GetEventItemDetails(const std::string& AEventItemID, nlohmann::ordered_json& AItems) = 0;
  virtual bool GetExtraDataTypeAndSize(const std::string& AObjectID, std::string& AContentType,
                                       std::int64_t& ASize) = 0;
  virtual bool GetExtraDataStream(const std::string& AObjectID, std::ostream& AToStream,
                                  std::string& AContentType, std::int64_t& ASize) = 0;
  virtual bool ValidateToken(const std::string& AFBToken) = 0;
  // A new record for the caller, or none (AError then says why).
  virtual std::unique_ptr<TZELUserRecord> ValidateInviteCode(const std::string& ACode, std::string& AError) = 0;
  virtual std::unique_ptr<TZELUserRecord> AuthOnZELCRM(std::string& AError) = 0;
};

}  // namespace ZEL
