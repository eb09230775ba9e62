#include "ZEL.Events.Extra.h"

#include <cstdlib>
#include <fmt/format.h>

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.JSON.Helpers.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"

namespace ZEL {

namespace {

constexpr std::string_view cInvalid = "TEventExtraDataItem json is not valid";
constexpr std::string_view cTag = "EventExtraDataItem object";
constexpr std::string_view cErr = "<ERR>";

// The number's text as written, for the range message.
std::string NumberTextOf(const TJSON& AObject, std::string_view AKey) {
  const auto it = AObject.find(AKey);
  return it == AObject.end() ? std::string() : ZEL::JSON::Helpers::NumberText(*it);
}

}  // namespace

TEventExtraDataItem::TEventExtraDataItem(std::string_view ARawJson)
    : FJSONObject(Events::JSON::ParseObject(ARawJson, cInvalid)) {
  Load();
}

TEventExtraDataItem::TEventExtraDataItem(const TJSON& AObject) {
  Events::JSON::CheckObject(AObject);
  FJSONObject = AObject;
  Load();
}

void TEventExtraDataItem::Load() {
  namespace J = Events::JSON;
  FState = TExtraDataState::edsUnavailable;
  // The later key wins.
  // Kept unchanged from here on: the originator reads its part in place.
  const TJSON* origin = J::Object(FJSONObject, "Originator");
  if (const TJSON* source = J::Object(FJSONObject, "DataSource")) origin = source;
  FOriginator = TZELOriginatorDevice::InPlace(origin);

  FID = J::Text(FJSONObject, "ObjectId", {cTag, "GetObjectID"}).value_or(std::string(cErr));
  // A number that is no whole 32-bit value is out of range as well.
  std::optional<std::int32_t> state;
  try {
    state = J::Int32(FJSONObject, "State", {cTag, "GetDataState"});
  } catch (const EJSONInvalidValue&) {
    throw EJSONInvalidValue("State", fmt::format("({})must be in range[{}..{}]", NumberTextOf(FJSONObject, "State"),
                                                 "0", "3"));
  }
  if (state) {
    if (*state < 0 || *state > 3)
      throw EJSONInvalidValue("State", fmt::format("({})must be in range[{}..{}]", *state, "0", "3"));
    FState = static_cast<TExtraDataState>(*state);
  }
  FDateTime = J::Text(FJSONObject, "DateTime", {cTag, "GetDateTime"}).value_or(std::string(cErr));
  std::optional<std::int32_t> dataType;
  try {
    dataType = J::Int32(FJSONObject, "DataType", {cTag, "GetDataType"});
  } catch (const EJSONInvalidValue&) {
    dataType = -1;
  }
  if (dataType) {
    if (*dataType < 1 || *dataType > 3)
      throw EJSONInvalidValue("DataType", fmt::format(" value ({}) must be in range[{}..{}]",
                                                      NumberTextOf(FJSONObject, "DataType"), "1", "3"));
    FDataType = static_cast<std::uint8_t>(*dataType);
  }
  FText = J::Text(FJSONObject, "Text", {cTag, "GetText"}).value_or(std::string(cErr));
  FCaption = J::Text(FJSONObject, "Caption", {cTag, "GetCaption"}).value_or(std::string(cErr));
}

Time::TInstant TEventExtraDataItem::DateTime() const {
  const std::string text =
      Events::JSON::Text(FJSONObject, "DateTime", {cTag, "GetDateTime"}).value_or(std::string(cErr));
  Time::TInstant result;
  if (!Time::TryParseISO8601(text, result)) throw EConvertError("Invalid date: '" + text + "'");
  return result;
}

std::string TEventExtraDataItem::GetDownloadURL() const {
  const std::string id =
      Events::JSON::Text(FJSONObject, "ObjectId", {cTag, "GetObjectID"}).value_or(std::string(cErr));
  std::string token;
  if (auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>()) token = auth->FirebaseToken();
  // Ids and tokens are plain ASCII of the unreserved set, so encoding changes nothing for
  // them; it only keeps an odd id from adding its own query parameters.
  return Events::BackendBaseURL() + "/extra?objectid=" + Events::EncodeQueryValue(id) +
         "&AuthToken=" + Events::EncodeQueryValue(token);
}

bool TEventExtraDataItem::IsPresentOnServer() const {
  auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  return rest && IsPresentOnServer(*rest, FID);
}

bool TEventExtraDataItem::IsPresentOnServer(IZELRESTService& ARest, const std::string& AID) {
  std::string contentType;
  std::int64_t size = -1;
  return ARest.GetExtraDataTypeAndSize(AID, contentType, size);
}

bool TEventExtraDataItem::DownloadStream(std::ostream& AReceiver) const {
  auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  if (!rest) return false;
  const std::string id =
      Events::JSON::Text(FJSONObject, "ObjectId", {cTag, "GetObjectID"}).value_or(std::string(cErr));
  std::string contentType;
  std::int64_t size = -1;
  return rest->GetExtraDataStream(id, AReceiver, contentType, size);
}

}  // namespace ZEL

namespace ZEL::Events {

std::string BackendBaseURL() {
  if (const char* env = std::getenv("ZEL_BACKEND_URL"); env && *env) {
    std::string url(env);
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
  }
  return "https://api.tarvelo.systems:8089";
}

std::string EncodeQueryValue(std::string_view AValue) {
  std::string out;
  out.reserve(AValue.size());
  for (const char ch : AValue) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '~';
    if (plain)
      out += ch;
    else
      out += fmt::format("%{:02X}", c);
  }
  return out;
}

}  // namespace ZEL::Events
