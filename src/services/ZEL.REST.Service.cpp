#include "ZEL.REST.Service.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Events.Extra.h"
#include "ZEL.Events.List.h"
#include "ZEL.JSON.Helpers.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Secrets.h"
#include "ZEL.Services.Container.h"

#include <fmt/format.h>

#include <charconv>
#include <ostream>

namespace ZEL {

namespace {

using LogsPipe::ZELLog;

constexpr const char* cTypecast = "Invalid class typecast";

std::string CurrentToken() {
  const auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>();
  return auth ? auth->FirebaseToken() : std::string();
}

// "Content-Length" as a number, -1 when absent or not a number.
std::int64_t ContentLength(const Http::Curl::TResponse& AResponse) {
  const std::string text = AResponse.Header("content-length");
  std::int64_t value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
  return value;
}

// What a list answer carries under its root element.
struct TListAnswer {
  const char* Tag;
  const char* Root;
  const char* LogName;  // "events", "EventAlertItems", ...; null: no log lines (Sync)
};

// Reads a 200 answer's array under its root; false when there is no JSON value there.
bool ReadRootArray(const TListAnswer& AAnswer, const std::string& ABody, TJSON& AOut) {
  if (!ZEL::JSON::Helpers::NestingAllowed(ABody, AAnswer.Tag)) return false;
  const TJSON body = TJSON::parse(ABody, nullptr, false);
  if (body.is_discarded() || !body.is_object()) return false;
  const auto it = body.find(AAnswer.Root);
  if (it == body.end() || it->is_null()) return false;
  if (!it->is_array()) throw EInvalidCast(cTypecast);
  if (AAnswer.LogName) {
    // The body is in the log once already ("Received content"): here only its size.
    ZELLog().DebugFmt(AAnswer.Tag, "{} array JSON = ({} elements)", AAnswer.LogName, it->size());
  }
  AOut = *it;
  if (AAnswer.LogName) ZELLog().DebugFmt(AAnswer.Tag, "{} array JSON parsed to result.", AAnswer.LogName);
  return true;
}

}  // namespace

TZELRESTService::TZELRESTService(std::string ABaseURL, Http::Curl::TLimits ALimits)
    : FBaseURL(ABaseURL.empty() ? Events::BackendBaseURL() : std::move(ABaseURL)), FLimits(ALimits) {}

Http::Curl::TResponse TZELRESTService::Get(const std::string& APathAndQuery, const std::string&) {
  Http::Curl::TRequest request;
  request.URL = FBaseURL + APathAndQuery;
  const std::string tag = "TZELRESTService.NewRequest";
  if (const auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>()) {
    ZELLog().Warn(tag, "Getting token from LFBService.");
    request.Headers.emplace_back("AuthToken", auth->FirebaseToken());
  } else {
    ZELLog().Warn(tag, "LFBService is not assigned.");
  }
  return Http::Curl::Perform(request, FLimits);
}

bool TZELRESTService::Sync(nlohmann::ordered_json& AEdgeControllers) {
  const std::string tag = "TZELRESTService.Sync";
  AEdgeControllers = nullptr;
  const auto response = Get("/sync", tag);
  if (response.Status != 200) return false;
  if (ReadRootArray({tag.c_str(), "Sync", nullptr}, response.Body, AEdgeControllers)) return true;
  // Without the edges the session would open empty: a failed sync instead.
  ZELLog().FatalFmt(tag, "Unable to get sync content. Bad response. Received data: {}", LogsPipe::Shortened(response.Body));
  return false;
}

bool TZELRESTService::GetEvent(const std::string& AID, nlohmann::ordered_json& AEventsArray) {
  const std::string tag = "TZELRESTService.GetEvent";
  AEventsArray = nullptr;
  ZELLog().Debug(tag, "ID(eventid) = " + AID);
  ZELLog().Debug(tag, "Sending request...");
  const auto response = Get("/eventAlerts?eventid=" + Events::EncodeQueryValue(AID), tag);
  ZELLog().DebugFmt(tag, "Request done. StatusCode {}", response.Status);
  if (response.Status != 200) return false;
  ZELLog().Debug(tag, "Received content = " + LogsPipe::Shortened(response.Body));
  if (!ReadRootArray({tag.c_str(), "EventAlerts", "events"}, response.Body, AEventsArray)) {
    AEventsArray = TJSON::array();
    ZELLog().FatalFmt(tag, "Unable to get event({}) content. Bad response. REceived data: {}", AID, LogsPipe::Shortened(response.Body));
  }
  TZELEventList::DropUnacceptable(AEventsArray, tag);
  return true;
}

bool TZELRESTService::GetEvents(nlohmann::ordered_json& AEventsArray, const std::string& ABeginPeriod,
                                const std::string& AEndPeriod) {
  const std::string tag = "TZELRESTService.GetEvents";
  AEventsArray = nullptr;
  std::string query;
  if (!ABeginPeriod.empty()) {
    ZELLog().Debug(tag, "beginPeriod argumant = " + ABeginPeriod);
    query += "beginPeriod=" + Events::EncodeQueryValue(ABeginPeriod);
  }
  if (!AEndPeriod.empty()) {
    ZELLog().Debug(tag, "endPeriod argumant = " + AEndPeriod);
    query += (query.empty() ? "" : "&") + std::string("endPeriod=") + Events::EncodeQueryValue(AEndPeriod);
  }
  ZELLog().Debug(tag, "Sending request...");
  const auto response = Get("/eventAlerts" + (query.empty() ? std::string() : "?" + query), tag);
  ZELLog().DebugFmt(tag, "Request done. StatusCode {}", response.Status);
  if (response.Status != 200) return false;
  ZELLog().Debug(tag, "Received content = " + LogsPipe::Shortened(response.Body));
  if (!ReadRootArray({tag.c_str(), "EventAlerts", "events"}, response.Body, AEventsArray)) {
    AEventsArray = TJSON::array();
    ZELLog().FatalFmt(tag, "Unable to get events content(begin: \"{}\" end: \"{}\"). Bad response. Received data: {}",
                      ABeginPeriod, AEndPeriod, LogsPipe::Shortened(response.Body));
  }
  // An alert without a usable id costs only itself, not the whole answer.
  TZELEventList::DropUnacceptable(AEventsArray, tag);
  return true;
}

bool TZELRESTService::GetEventItems(const std::string& AEventID, nlohmann::ordered_json& AItems) {
  const std::string tag = "TZELRESTService.GetEventItems";
  AItems = nullptr;
  const auto response = Get("/eventAlertItems?alertId=" + Events::EncodeQueryValue(AEventID), tag);
  if (response.Status != 200) return false;
  ZELLog().Debug(tag, "Received content = " + LogsPipe::Shortened(response.Body));
  if (!ReadRootArray({tag.c_str(), "EventAlertItems", "EventAlertItems"}, response.Body, AItems)) {
    AItems = TJSON::array();
    ZELLog().FatalFmt(tag, "Unable to get items for event \"{}\". Bad response. Received data: {}", AEventID,
                      LogsPipe::Shortened(response.Body));
  }
  return true;
}

bool TZELRESTService::GetEventItemDetails(const std::string& AEventItemID, nlohmann::ordered_json& AItems) {
  const std::string tag = "TZELRESTService.GetEventItemDetails";
  AItems = nullptr;
  const auto response = Get("/eventAlertItemExtra?alertItemId=" + Events::EncodeQueryValue(AEventItemID), tag);
  if (response.Status != 200) return false;
  ZELLog().Debug(tag, "Received content = " + LogsPipe::Shortened(response.Body));
  if (!ReadRootArray({tag.c_str(), "EventAlertItemExtra", "EventAlertItemExtra"}, response.Body, AItems)) {
    AItems = TJSON::array();
    ZELLog().FatalFmt(tag, "Unable to get extra from for event item \"{}\". Bad response. Received data: {}",
                      AEventItemID, LogsPipe::Shortened(response.Body));
  }
  return true;
}

bool TZELRESTService::GetExtraDataTypeAndSize(const std::string& AObjectID, std::string& AContentType,
                                              std::int64_t& ASize) {
  const std::string tag = "TZELRESTService.GetExtraDataTypeAndSize";
  AContentType.clear();
  ASize = -1;
  Http::Curl::TRequest request;
  request.Method = "HEAD";
  request.URL = FBaseURL + "/extra?objectid=" + Events::EncodeQueryValue(AObjectID);
  request.Headers.emplace_back("AuthToken", CurrentToken());
  ZELLog().Debug(tag, "URL = " + request.URL);
  const auto response = Http::Curl::Perform(request, FLimits);
  ZELLog().DebugFmt(tag, "StatusCode = {}", response.Status);
  if (response.Status != 200) return false;
  AContentType = response.Header("content-type");
  ASize = ContentLength(response);
  return true;
}

bool TZELRESTService::GetExtraDataStream(const std::string& AObjectID, std::ostream& AToStream,
                                         std::string& AContentType, std::int64_t& ASize) {
  const std::string tag = "TZELRESTService.GetExtraDataStream";
  AContentType.clear();
  ASize = -1;
  // The body's bytes stay raw; nothing here decodes them as text.
  const auto response = Get("/extra?objectid=" + Events::EncodeQueryValue(AObjectID), tag);
  if (response.Status != 200) return false;
  AContentType = response.Header("content-type");
  ASize = static_cast<std::int64_t>(response.Body.size());
  AToStream.write(response.Body.data(), static_cast<std::streamsize>(response.Body.size()));
  return true;
}

bool TZELRESTService::ValidateToken(const std::string& AFBToken) {
  const std::string tag = "TZELRESTService.ValidateToken";
  const auto response = Get("/isValidToken", tag);
  if (response.Status != 200) return false;
  ZELLog().DebugFmt(tag, "Token: {} Server respond: {}", Secrets::Mask(AFBToken), LogsPipe::Shortened(response.Body));
  if (!ZEL::JSON::Helpers::NestingAllowed(response.Body, tag)) return false;
  const TJSON body = TJSON::parse(response.Body, nullptr, false);
  if (body.is_discarded()) return true;
  if (!body.is_object()) throw EInvalidCast(cTypecast);
  const auto it = body.find("result");
  if (it == body.end()) return false;
  return (it->is_boolean() && it->get<bool>()) || (it->is_string() && it->get<std::string>() == "true");
}

std::unique_ptr<TZELUserRecord> TZELRESTService::ReadUserRecord(const std::string& APathAndQuery,
                                                                const std::string& ATag,
                                                                const std::string& ARespondPrefix) {
  const auto response = Get(APathAndQuery, ATag);
  if (response.Status != 200) return nullptr;
  // The record carries a password hash and salt: they reach the log masked.
  const std::string line = ARespondPrefix + "Server respond: " + LogsPipe::Shortened(CRM::Types::MaskedForLog(response.Body));
  ZELLog().Debug(ATag, line);
  if (!ZEL::JSON::Helpers::NestingAllowed(response.Body, ATag)) return nullptr;
  const TJSON body = TJSON::parse(response.Body, nullptr, false);
  if (body.is_discarded()) return nullptr;
  if (!body.is_object()) throw EInvalidCast(cTypecast);
  if (const auto it = body.find("result"); it != body.end() && it->is_boolean()) {
    ZELLog().Error(ATag, line);
    return nullptr;
  }
  return TZELUserRecord::FromJSON(body);
}

std::unique_ptr<TZELUserRecord> TZELRESTService::ValidateInviteCode(const std::string& ACode, std::string& AError) {
  AError.clear();
  return ReadUserRecord("/verifyZelInvite?inviteCode=" + Events::EncodeQueryValue(ACode),
                        "TZELRESTService.ValidateInviteCode", "ACode: " + Secrets::Mask(ACode) + " ");
}

std::unique_ptr<TZELUserRecord> TZELRESTService::AuthOnZELCRM(std::string& AError) {
  AError.clear();
  return ReadUserRecord("/authZelUser", "TZELRESTService.AuthOnZELCRM", "");
}

}  // namespace ZEL
