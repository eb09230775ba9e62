#include "ZEL.ItemDetails.Decisions.h"

#include "ZEL.Edge.JSON.h"
#include "ZEL.Edge.h"
#include "ZEL.Events.Item.h"
#include "ZEL.Time.h"
#include "ZEL.Utils.h"

namespace ZEL::ItemDetails::Decisions {

using Edge::JSON::SameID;

std::vector<TInfoPair> InfoPairs(const TZELEventItem& AItem) {
  std::vector<TInfoPair> LPairs;
  std::string LSource = AItem.Originator().Name();
  LPairs.push_back({"Source:", LSource.empty() ? std::string("<ERR>") : LSource});
  LPairs.push_back({"Received at:", Time::FormatLocalDisplay(AItem.DateTime())});
  LPairs.push_back({"Name:", AItem.Caption()});
  LPairs.push_back({"Text:", AItem.Text()});
  if (const int LImages = AItem.CountDeclaredImages(); LImages > 0)
    LPairs.push_back({"Images total:", std::to_string(LImages)});
  if (const int LVideos = AItem.CountDeclaredVideos(); LVideos > 0)
    LPairs.push_back({"Videos total:", std::to_string(LVideos)});
  return LPairs;
}

bool HasMedia(const TZELEventItem& AItem) {
  return AItem.CountDeclaredImages() > 0 || AItem.CountDeclaredVideos() > 0;
}

std::vector<TDeviceGroup> GroupByDevice(const TZELEventItem& AItem) {
  std::vector<TDeviceGroup> LGroups;
  for (const auto& LExtra : AItem.ExtraData()) {
    const std::string LID = LExtra->Originator().ID();
    TDeviceGroup* LGroup = nullptr;
    for (TDeviceGroup& LKnown : LGroups)
      if (SameID(LKnown.ID, LID)) {
        LGroup = &LKnown;
        break;
      }
    if (!LGroup) {
      LGroups.push_back({LID, LExtra->Originator().Name(), {}});
      LGroup = &LGroups.back();
    }
    LGroup->ExtraIDs.push_back(LExtra->ID());
  }
  return LGroups;
}

TStateLook StateLook(TExtraDataState AState) {
  switch (AState) {
    case TExtraDataState::edsExpected: return {"PENDING", 0xFF708090, false};
    case TExtraDataState::edsUploading: return {"UPLOADING", 0xFF708090, false};
    case TExtraDataState::edsAvailable: return {"READY", 0xFF008000, true};
    case TExtraDataState::edsUnavailable: break;
  }
  return {"N/A", 0xFFFF4500, false};
}

TOpenStep OpenStepOf(TExtraDataState AState) {
  switch (AState) {
    case TExtraDataState::edsExpected:
    case TExtraDataState::edsUploading: return TOpenStep::NotReady;
    case TExtraDataState::edsAvailable: return TOpenStep::CheckPresence;
    case TExtraDataState::edsUnavailable: break;
  }
  return TOpenStep::Gone;
}

TOpenResult OpenResultOf(bool APresent, std::uint8_t ADataType) {
  if (!APresent) return TOpenResult::Gone;
  if (ADataType == 1) return TOpenResult::Image;
  if (ADataType == 2 || ADataType == 3) return TOpenResult::Video;
  return TOpenResult::Nothing;
}

std::vector<TServiceRow> ServiceRows(const TZELConditionObject& ACondition) {
  std::vector<TServiceRow> LRows;
  const std::string& LName = ACondition.Name();
  const TEdgeConditionState LState = ACondition.State();
  for (const TZELServiceObject* LService : ACondition.Services()) {
    const TEdgeServiceType LType = LService->ServiceType();
    TServiceRow LRow{LType, LService->Name(), LService->Description(), false};
    switch (LState) {
      case TEdgeConditionState::ecsActive:
        if (LType == TEdgeServiceType::stSwitch) {
          LRow.Caption = "Disable";
          LRow.Description = "Disable " + LName + " triggers.";
        } else if (LType == TEdgeServiceType::stPause) {
          LRow.Caption = "Pause";
          LRow.Description = "Pause " + LName + " triggers for desired time period.";
        }
        LRows.push_back(std::move(LRow));
        break;
      case TEdgeConditionState::ecsPaused:
        if (LType != TEdgeServiceType::stSwitch) break;  // shown only while active; the walk goes on
        LRow.Caption = "Resume";
        LRow.Description = LName + " is paused for " + Utils::DateToReadableUnpause(ACondition.UnpauseDateTime(), true);
        LRow.TurnOn = true;
        LRows.push_back(LRow);
        LRows.push_back({LType, "Stop", "Disable " + LName + " triggers.", false});
        break;
      case TEdgeConditionState::ecsDisabled:
        if (LType != TEdgeServiceType::stSwitch) break;
        LRow.Caption = "Enable";
        LRow.Description = "Enable " + LName + " triggers.";
        LRow.TurnOn = true;
        LRows.push_back(std::move(LRow));
        break;
    }
  }
  return LRows;
}

std::int32_t PauseSeconds(int ADays, int AHours, int AMinutes) {
  std::int32_t LSeconds = 0;
  if (ADays >= 1) LSeconds += ADays * 86400;
  if (AHours >= 1) LSeconds += AHours * 3600;
  if (AMinutes >= 1) LSeconds += AMinutes * 60;
  return LSeconds;
}

}  // namespace ZEL::ItemDetails::Decisions
