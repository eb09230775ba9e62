#pragma once
// What the alert timeline and its reason frames decide without widgets: the texts of the
// rows, the service rows an alert's edge offers, when Actions shows, when the items are
// fetched, and what each reason frame lists and asks.

#include "ZEL.Edge.Types.h"
#include "ZEL.Events.Types.h"
#include "ZEL.Time.h"
#include "ZEL.Views.Types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZEL {
class TZELEdgeObject;
class TZELEvent;
class TZELEventItem;
class TZELServiceObject;
}  // namespace ZEL

namespace ZEL::EventItems::Decisions {

// The tag of the date line, the bubble and the separator.
inline constexpr const char* cViewOnly = "VIEWONLY";
inline constexpr const char* cReceivingText = "Receiving event items...";
inline constexpr const char* cNoServicesText = "No services available.";
inline constexpr const char* cUnknownServiceText = "Unknown service or not implemented call process.";
inline constexpr const char* cFetchFailedText = "Unable to receive the alert's history. Please try again.";
inline constexpr const char* cNoAlertText = "The alert is not available.";

// Actions shows for an initiated or escalated alert only.
bool ActionsVisible(TEventAlertState AState);

// The items are fetched unless the view comes back from the item details of the alert whose
// rows it still holds.
bool NeedsFetch(TView AFromView, const std::string& AFilledWithEventID, const std::string& AEventID);

// The date line: the alert's date in the user's short date format.
std::string DateLineText(Time::TInstant AValue);
// "HH:MM AM/PM" (12-hour clock).
std::string ClockText(Time::TInstant AValue);
// The bubble: caption CR LF text CR LF CR LF "//" originator " at " clock.
std::string BubbleText(const std::string& ACaption, const std::string& AText, const std::string& AOriginator,
                       Time::TInstant AValue);
// An item's time: "HH:MM" CR LF "AM/PM"; empty for an unreadable time.
std::string ItemTimeText(Time::TInstant AValue);

// What an item row shows, copied from the item.
struct TItemRow {
  std::string ID;
  std::string Time;
  std::string Caption;
  std::string Text;
  bool HasStatus = false;  // attachments: the status line and the counters show
  std::string Status;
  int Images = 0;
  int Videos = 0;
  bool operator==(const TItemRow&) const = default;
};
TItemRow ItemRowOf(const TZELEventItem& AItem);
// Only the status line and counters, for an attachment change.
void RefreshStatus(TItemRow& ARow, const TZELEventItem& AItem);

// One row of the actions panel; the service is named by its edge and its place among the
// edge's services, so the row sends exactly the service it shows.
struct TServiceRow {
  std::string EdgeID;
  int ServiceIndex = -1;
  TEdgeServiceType Type = TEdgeServiceType::stUnknown;
  std::string Caption;
  std::string Description;
  bool operator==(const TServiceRow&) const = default;
};
std::string ServiceName(const TZELServiceObject& AService, TEventAlertState AState);
std::string ServiceDescription(const TZELServiceObject& AService, TEventAlertState AState);
// The dismiss and escalate services of the edge (none without an edge), in the edge's
// order; no escalate service for an escalated alert; none for a dismissed one.
std::vector<TServiceRow> ServiceRows(const TZELEdgeObject* AEdge, TEventAlertState AState);
// The service a row names, when the edge still offers it at that place with that type.
TZELServiceObject* ServiceOf(TZELEdgeObject* AEdge, const TServiceRow& ARow);

// A reason frame's content.
enum class TReasonKind { Dismiss, Escalate };
struct TReasonRow {
  std::int32_t Code = 0;
  std::string Text;
  bool Custom = false;  // the row that asks for a typed reason
  bool operator==(const TReasonRow&) const = default;
};
struct TReasonFrame {
  std::string Prompt;
  std::vector<TReasonRow> Rows;
  std::int32_t CustomCode = -1;  // -1: the state has no reason table
  std::string EmptyText;         // shown when no row is listed
};
inline constexpr const char* cDismissPrompt = "Choose a reason to dismiss an alert:";
inline constexpr const char* cClosePrompt = "Choose a reason to close an alert:";
inline constexpr const char* cEscalatePrompt = "Choose escalation reason: ";
inline constexpr const char* cNoReasonsText = "No reasons available.";
// AService is the service of the chosen row (none: the edge offers no such service).
TReasonFrame ReasonFrameOf(TReasonKind AKind, const TZELServiceObject* AService, TEventAlertState AState);

// The custom-reason dialog of a frame.
struct TCustomDialog {
  const char* Caption;
  const char* Prompt;
  const char* Default;
  const char* CancelMessage;  // nullptr: a cancel says nothing
};
TCustomDialog CustomDialogOf(TReasonKind AKind);

// What choosing a row ends in: a reason sent (code and text) or nothing (cancelled).
struct TChoice {
  bool Send = false;
  std::int32_t Code = 0;
  std::string Text;
  bool operator==(const TChoice&) const = default;
};
// A listed row sends its text; the custom row sends what the dialog gave (ADialogOk, AValue).
TChoice ChoiceOf(const TReasonRow& ARow, bool ADialogOk, const std::string& AValue);

}  // namespace ZEL::EventItems::Decisions
