#pragma once
// One entry of an alert's history: the event itself, a view, a dismissal, an escalation,
// an inactivation or a note, with the attachments it declares.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZEL.Events.Extra.h"
#include "ZEL.Events.JSON.h"
#include "ZEL.Events.Originator.h"
#include "ZEL.Events.Types.h"
#include "ZEL.Time.h"

namespace ZEL {

class TZELEventItem {
public:
  static constexpr std::string_view TypeName = "TZELEventItem";
  using TExtraList = std::vector<std::unique_ptr<TEventExtraDataItem>>;

  // Fails with "TZELEventItem json is not valid", EInvalidCast, the originator's failure or
  // an attachment's failure. A line feed + carriage return pair in any string value is
  // turned into carriage return + line feed.
  explicit TZELEventItem(std::string_view ARawJson, std::string AParentID = {});
  // Texts are raw JSON, never a JSON string value.
  explicit TZELEventItem(const std::string& ARawJson, std::string AParentID = {}) : TZELEventItem(std::string_view(ARawJson), std::move(AParentID)) {}
  explicit TZELEventItem(const char* ARawJson, std::string AParentID = {}) : TZELEventItem(std::string_view(ARawJson), std::move(AParentID)) {}
  explicit TZELEventItem(TJSON AObject, std::string AParentID = {});
  ~TZELEventItem();
  TZELEventItem(const TZELEventItem&) = delete;
  TZELEventItem& operator=(const TZELEventItem&) = delete;

  std::string ID() const;            // "ObjectId"
  std::string EventID() const;       // "ParentObjectId", else the parent id given
  std::string DateTimeStr() const;   // "DateTime"
  // DateTimeStr as an instant; EConvertError when it is no ISO 8601 text.
  Time::TInstant DateTime() const;
  std::string Caption() const;
  std::string Text() const;
  bool HasExtra() const;
  // "ItemType"; aitEvent when missing, EJSONInvalidValue outside 0..5.
  TEventAlertItemType ItemType() const;
  const TZELOriginatorDevice& Originator() const { return *FOriginator; }
  const TExtraList& ExtraData() const { return FExtraItems; }

  // The first attachment whose id equals AItemID exactly.
  bool FindItem(const std::string& AItemID, TEventExtraDataItem*& AItem) const;
  TEventExtraDataItem* FindItem(const std::string& AItemID) const;
  // "Uploading: n of N", "Failed: n of N", both, or "Ready to view.".
  std::string GetStatusStr() const;
  // -1 without attachments; else the declared images (DataType 1) / videos (above 1).
  int CountDeclaredImages() const;
  int CountDeclaredVideos() const;
  // Applies a type 5 attachment update; AItem is the attachment found, or nullptr.
  void UpdateExtraFromMQTT(const std::string& AJSON, TEventExtraDataItem*& AItem);
  void UpdateExtraFromMQTTPayload(const TJSON& APayload, TEventExtraDataItem*& AItem);

  std::string ToJSON() const;
  const TJSON& JSONObject() const { return FJSONObject; }
  // The id as built, without a log line for a missing one (for lookups).
  const std::string& LookupID() const { return FLookupID; }

private:
  void Load();
  int CountDeclared(bool AImages) const;

  TJSON FJSONObject;
  std::unique_ptr<TZELOriginatorDevice> FOriginator;
  TExtraList FExtraItems;
  std::string FParentId;
  std::string FLookupID;
};

}  // namespace ZEL
