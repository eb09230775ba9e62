#pragma once
// The alert timeline: one alert's history as a date line, the alert's bubble, a separator
// and one row per history entry. The first showing fetches the entries on a pool task under
// the overlay and marks the alert as viewed; new entries and attachment changes follow
// live; the actions panel offers the edge's dismiss and escalate services, whose reason
// frames send the user's choice to the edge.
//
// The view holds the alert by its id and looks it up in the alert list whenever it needs
// it: a pull may free the alert at any time the view is not looking.

#include "ZEL.EventItems.Decisions.h"
#include "ZEL.Generics.Collections.h"
#include "ZEL.Messaging.h"
#include "ZEL.View.Base.h"

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QListView;
class QListWidget;
class QListWidgetItem;
class QToolButton;

namespace ZEL::ActionsPanel {
class TRowFitter;
}

namespace ZEL {

class IZELEventsService;
class TEventItemExtraRefreshMessage;
class TEventRefreshMessage;
class TEventServiceActionPerformed;
class TFrameStand;
class TTimelineRowDelegate;
class TTimelineRowModel;
class TZELEvent;
class TZELEventItem;
class TfraReasonSelection;

class TEventItemsForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TEventItemsForm";

  explicit TEventItemsForm(QWidget* AParent = nullptr);
  ~TEventItemsForm() override;

  void InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) override;
  std::string FormCaption() override { return "Event Items"; }
  QWidget* FormContent() override { return lyContents; }
  bool CanGoBack() override { return true; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  // The alert shown, looked up by its id; none when it is not in the list.
  TZELEvent* ShownEvent() const;
  const std::string& ShownEventID() const { return FEventID; }
  const std::string& FilledWithEventID() const { return FFilledWithEventId; }
  bool Fetching() const { return FFetching; }

  // The actions panel.
  void ActionsClick();
  void HideShowActionsPanel(bool AShow);
  bool ActionsPanelShown() const;
  bool ActionsButtonShown() const;
  const std::vector<EventItems::Decisions::TServiceRow>& ServiceRows() const { return FServiceRows; }
  // Chooses the service row at AIndex as a click would.
  void ChooseService(int AIndex);
  // The reason frame now open, or none.
  TfraReasonSelection* OpenFrame() const;

  // Opens the entry of the row (the date line, bubble and separator open nothing).
  void ViewItem(int ARow);

  TTimelineRowModel* Rows() const { return FRows; }
  QListView* List() const { return lbItems; }
  QWidget* ServicesPanel() const { return lyServices; }
  QLabel* NoServicesText() const { return txtNoServices; }
  QListWidget* ServicesList() const { return lvServices; }

  // The handler on the shown alert's item list.
  void OnItemsListChange(const void* ASender, TZELEventItem* const& AItem, TCollectionNotification AAction);

private:
  std::shared_ptr<IZELEventsService> EventsService() const;
  TZELEvent* FindEvent(const std::string& AID) const;
  void DetachItemsHandler(const std::string& AEventID);
  void AttachItemsHandler();
  void FillItems(TView AFromView);
  void StartFetchTask(std::string AEventID, bool AInList);
  bool BuildRows();
  void ClearRows();
  void FillServices();
  void HideShowActionsContent(bool AShow);
  void AdjustActionsPanelHeight(int AContentHeight);
  void UpdateActionsButton();
  void UpdateItemStatus(const std::string& AItemID);
  void UpdateRowStatus(int ARow);
  void CloseFrames();
  void ShowReasonFrame(const EventItems::Decisions::TServiceRow& ARow);
  void ReasonChosen(const EventItems::Decisions::TServiceRow& ARow, TEventAlertState AFilledState, std::int32_t ACode,
                    const std::string& AReason);
  void ProcessResult(const std::string& AEventID);
  void Messaging_Refresh(TSender ASender, const TEventRefreshMessage& AMessage);
  void Messaging_ItemExtra(TSender ASender, const TEventItemExtraRefreshMessage& AMessage);
  void Messaging_ServiceAction(TSender ASender, const TEventServiceActionPerformed& AMessage);

  QWidget* lyContents;
  QWidget* tbEventItems;
  QToolButton* Actions;
  QListView* lbItems;
  QWidget* lyServices;
  QWidget* lyServicesHeader;
  QToolButton* btnHideActionsPanel;
  QWidget* lyServicesContent;
  QLabel* txtNoServices;
  QListWidget* lvServices;
  TFrameStand* fraStand;
  TTimelineRowModel* FRows;
  TTimelineRowDelegate* FDelegate;
  ActionsPanel::TRowFitter* FServiceFitter;

  std::weak_ptr<IZELEventsService> FEventService;
  std::string FEventID;            // the alert shown
  std::string FHandlerEventID;     // the alert whose item list holds our handler
  std::string FFilledWithEventId;  // the alert whose rows the list holds
  std::vector<EventItems::Decisions::TServiceRow> FServiceRows;
  bool FEntered = false;
  bool FFetching = false;
  TZELMessagerRef FIEventItemUpdate;
  TZELMessagerRef FServiceRequestPerformed;
  TZELMessagerRef FEventRefreshMessageRef;
  // Work handed back by a fetch checks this first: the view may be gone by then.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
};

}  // namespace ZEL
