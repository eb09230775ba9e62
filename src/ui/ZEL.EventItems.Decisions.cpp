#include "ZEL.EventItems.Decisions.h"

#include "ZEL.Edge.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.Events.Item.h"

#include <QDate>
#include <QLocale>

#include <exception>

namespace ZEL::EventItems::Decisions {

namespace {

std::string TwoDigits(int AValue) {
  std::string LText = std::to_string(AValue);
  return LText.size() < 2 ? "0" + LText : LText;
}

// "HH:MM" and "AM"/"PM" of a 12-hour clock.
void Clock(Time::TInstant AValue, std::string& AHourMinute, std::string& AHalf) {
  const Time::TLocalTime LLocal = Time::ToLocal(AValue);
  int LHour = LLocal.Hour % 12;
  if (LHour == 0) LHour = 12;
  AHourMinute = TwoDigits(LHour) + ":" + TwoDigits(LLocal.Minute);
  AHalf = LLocal.Hour < 12 ? "AM" : "PM";
}

}  // namespace

bool ActionsVisible(TEventAlertState AState) {
  return AState == TEventAlertState::easInitiated || AState == TEventAlertState::easEscalated;
}

bool NeedsFetch(TView AFromView, const std::string& AFilledWithEventID, const std::string& AEventID) {
  return AEventID.empty() || AFilledWithEventID != AEventID || AFromView != TView::EventItemDetails;
}

std::string DateLineText(Time::TInstant AValue) {
  if (Time::IsMissing(AValue)) return {};
  const Time::TLocalTime LLocal = Time::ToLocal(AValue);
  return QLocale::system().toString(QDate(LLocal.Year, LLocal.Month, LLocal.Day), QLocale::ShortFormat).toStdString();
}

std::string ClockText(Time::TInstant AValue) {
  if (Time::IsMissing(AValue)) return {};
  std::string LHourMinute, LHalf;
  Clock(AValue, LHourMinute, LHalf);
  return LHourMinute + " " + LHalf;
}

std::string BubbleText(const std::string& ACaption, const std::string& AText, const std::string& AOriginator,
                       Time::TInstant AValue) {
  return ACaption + "\r\n" + AText + "\r\n\r\n//" + AOriginator + " at " + ClockText(AValue);
}

std::string ItemTimeText(Time::TInstant AValue) {
  if (Time::IsMissing(AValue)) return {};
  std::string LHourMinute, LHalf;
  Clock(AValue, LHourMinute, LHalf);
  return LHourMinute + "\r\n" + LHalf;
}

void RefreshStatus(TItemRow& ARow, const TZELEventItem& AItem) {
  ARow.HasStatus = AItem.HasExtra();
  if (!ARow.HasStatus) {
    ARow.Status.clear();
    ARow.Images = ARow.Videos = 0;
    return;
  }
  ARow.Status = AItem.GetStatusStr();
  ARow.Images = AItem.CountDeclaredImages();
  ARow.Videos = AItem.CountDeclaredVideos();
}

TItemRow ItemRowOf(const TZELEventItem& AItem) {
  TItemRow LRow;
  LRow.ID = AItem.LookupID();
  try {
    LRow.Time = ItemTimeText(AItem.DateTime());
  } catch (const std::exception&) {
    // A history entry with an unreadable time is still shown, without one.
  }
  LRow.Caption = AItem.Caption();
  LRow.Text = AItem.Text();
  RefreshStatus(LRow, AItem);
  return LRow;
}

std::string ServiceName(const TZELServiceObject& AService, TEventAlertState AState) {
  std::string LName = AService.Name();
  if (AService.ServiceType() == TEdgeServiceType::stDismiss && AState == TEventAlertState::easEscalated)
    LName = "Incident close";
  if (!AService.IsAvailable()) LName += " (DISABLED)";
  if (!AService.IsValid()) LName += "(invalid)";
  return LName;
}

std::string ServiceDescription(const TZELServiceObject& AService, TEventAlertState AState) {
  if (AService.ServiceType() == TEdgeServiceType::stDismiss && AState == TEventAlertState::easEscalated)
    return "Service is closing escalated incident by request.";
  return AService.Description();
}

std::vector<TServiceRow> ServiceRows(const TZELEdgeObject* AEdge, TEventAlertState AState) {
  std::vector<TServiceRow> LRows;
  if (!AEdge || !ActionsVisible(AState)) return LRows;
  int LIndex = 0;
  for (const TZELServiceObject* LService : AEdge->Services()) {
    const TEdgeServiceType LType = LService->ServiceType();
    const bool LOffered = LType == TEdgeServiceType::stDismiss ||
                          (LType == TEdgeServiceType::stEscalate && AState != TEventAlertState::easEscalated);
    if (LOffered)
      LRows.push_back({AEdge->ID(), LIndex, LType, ServiceName(*LService, AState), ServiceDescription(*LService, AState)});
    ++LIndex;
  }
  return LRows;
}

TZELServiceObject* ServiceOf(TZELEdgeObject* AEdge, const TServiceRow& ARow) {
  if (!AEdge || ARow.ServiceIndex < 0 || ARow.ServiceIndex >= AEdge->Services().Count()) return nullptr;
  TZELServiceObject* LService = AEdge->Services()[ARow.ServiceIndex];
  return LService && LService->ServiceType() == ARow.Type ? LService : nullptr;
}

TReasonFrame ReasonFrameOf(TReasonKind AKind, const TZELServiceObject* AService, TEventAlertState AState) {
  TReasonFrame LFrame;
  const TZELReasonTable* LTable = nullptr;
  if (AKind == TReasonKind::Escalate) {
    LFrame.Prompt = cEscalatePrompt;
    if (const auto* LService = dynamic_cast<const TZELEdgeEscalateService*>(AService)) {
      LTable = &LService->Reasons();
      LFrame.CustomCode = 300;
    }
  } else {
    LFrame.Prompt = AState == TEventAlertState::easInitiated ? cDismissPrompt : cClosePrompt;
    if (const auto* LService = dynamic_cast<const TZELEdgeDismissService*>(AService)) {
      if (AState == TEventAlertState::easInitiated) {
        LTable = &LService->InitReasons();
        LFrame.CustomCode = 100;
      } else if (AState == TEventAlertState::easEscalated) {
        LTable = &LService->EscalatedReasons();
        LFrame.CustomCode = 200;
      }
    }
  }
  if (LTable)
    for (const auto& [LCode, LText] : *LTable) LFrame.Rows.push_back({LCode, LText, LCode == LFrame.CustomCode});
  if (LFrame.Rows.empty()) LFrame.EmptyText = cNoReasonsText;
  return LFrame;
}

TCustomDialog CustomDialogOf(TReasonKind AKind) {
  if (AKind == TReasonKind::Escalate)
    return {"Custom escalate reason", "Escalate reason", "Pay attention to this", "User canceled closure processing."};
  return {"Custom reason", "Reason", "Just birds/rabbits. Nevermind.", nullptr};
}

TChoice ChoiceOf(const TReasonRow& ARow, bool ADialogOk, const std::string& AValue) {
  if (!ARow.Custom) return {true, ARow.Code, ARow.Text};
  if (!ADialogOk) return {};
  return {true, ARow.Code, AValue};
}

}  // namespace ZEL::EventItems::Decisions
