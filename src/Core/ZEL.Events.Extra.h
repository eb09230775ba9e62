#pragma once
// One attachment (an image or a video) of an alert item, with its upload state. Its id,
// state, date text, data type, text and caption are copied when it is built; later only
// broker updates change them.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "ZEL.Events.JSON.h"
#include "ZEL.Events.Originator.h"
#include "ZEL.Events.Types.h"
#include "ZEL.Time.h"

namespace ZEL {

class IZELRESTService;

class TEventExtraDataItem {
public:
  static constexpr std::string_view TypeName = "TEventExtraDataItem";

  // Fails with "TEventExtraDataItem json is not valid", EInvalidCast, the originator's
  // failure, or EJSONInvalidValue for a "State" outside 0..3 or a "DataType" outside 1..3.
  explicit TEventExtraDataItem(std::string_view ARawJson);
  // Texts are raw JSON, never a JSON string value.
  explicit TEventExtraDataItem(const std::string& ARawJson) : TEventExtraDataItem(std::string_view(ARawJson)) {}
  explicit TEventExtraDataItem(const char* ARawJson) : TEventExtraDataItem(std::string_view(ARawJson)) {}
  explicit TEventExtraDataItem(const TJSON& AObject);

  const std::string& ID() const { return FID; }
  void SetID(std::string AValue) { FID = std::move(AValue); }
  const TZELOriginatorDevice& Originator() const { return *FOriginator; }
  // "DateTime" as built (not the updated DateTimeStr); EConvertError when it is no ISO 8601 text.
  Time::TInstant DateTime() const;
  const std::string& DateTimeStr() const { return FDateTime; }
  void SetDateTimeStr(std::string AValue) { FDateTime = std::move(AValue); }
  TExtraDataState State() const { return FState; }
  void SetState(TExtraDataState AValue) { FState = AValue; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string AValue) { FCaption = std::move(AValue); }
  const std::string& Text() const { return FText; }
  void SetText(std::string AValue) { FText = std::move(AValue); }
  // 1 an image; 2 and 3 videos.
  std::uint8_t DataType() const { return FDataType; }

  // The address the attachment is shown from. It carries the current ID token in its query
  // (the backend wants it there): never log it.
  std::string GetDownloadURL() const;
  // Whether the backend has the bytes (HEAD answered with 200).
  bool IsPresentOnServer() const;
  // The same check for an attachment id through a given backend client (for a pool task,
  // which holds no attachment of the alert list).
  static bool IsPresentOnServer(IZELRESTService& ARest, const std::string& AID);
  // The bytes into AReceiver; the backend's result.
  bool DownloadStream(std::ostream& AReceiver) const;

  const TJSON& JSONObject() const { return FJSONObject; }

private:
  void Load();

  TJSON FJSONObject;
  std::unique_ptr<TZELOriginatorDevice> FOriginator;
  TExtraDataState FState = TExtraDataState::edsUnavailable;
  std::string FID;
  std::string FDateTime;
  std::uint8_t FDataType = 1;
  std::string FText;
  std::string FCaption;
};

}  // namespace ZEL

namespace ZEL::Events {

// The backend's base address ("https://<host>:8089"), shared with the REST client;
// $ZEL_BACKEND_URL overrides it for tests and the demo stack.
std::string BackendBaseURL();

// Query-safe form of a value: unreserved characters stay, the rest is percent-encoded.
std::string EncodeQueryValue(std::string_view AValue);

}  // namespace ZEL::Events
