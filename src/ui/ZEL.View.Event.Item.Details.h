#pragma once
// The details of one history entry of an alert: its source, time, name and text; its
// pictures and clips grouped by device with their live upload state (a ready one opens in the
// web view window after the backend confirmed it still has it); and the services of the
// condition that raised it (disable, pause, resume, stop, enable), pausing through the pause
// frame. Rows keep ids only: the item, its attachments and its condition are looked up afresh
// each time, so a changed alert list or edge tree never leaves a row pointing at freed memory.

#include "ZEL.Edge.Types.h"
#include "ZEL.Messaging.h"
#include "ZEL.View.Base.h"

#include <memory>
#include <string>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;

namespace ZEL::ActionsPanel {
class TRowFitter;
}

namespace ZEL {

class IZELEventsService;
class IZELEdgeService;
class TConditionStateChangeMessage;
class TEventItemExtraRefreshMessage;
class TFrameStand;
class TZELConditionObject;
class TZELEventItem;
class TfraPauseIntervalSelection;

class TEventItemDetailsForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TEventItemDetailsForm";
  static constexpr std::string_view cWaitText = "Checking the file...";
  static constexpr std::string_view cLoadingText = "Receiving the alert...";

  // What a row of the three lists is.
  enum class TRowKind { Header, Footer, Plain };

  explicit TEventItemDetailsForm(QWidget* AParent = nullptr);
  ~TEventItemDetailsForm() override;

  void InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) override;
  std::string FormCaption() override;
  QWidget* FormContent() override;
  void BackAction() override;
  bool CanGoBack() override { return true; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  // The item shown, looked up by its ids; none while not entered or once it left the list.
  TZELEventItem* CurrentItem() const;
  // The condition that raised the item, or none.
  TZELConditionObject* CurrentCondition() const;

  // Handlers (public for the tests).
  void btnServicesClick();
  void btnHideServicesPanelClick();
  void InfoRowDoubleClick(int ARow);
  void AttachmentRowDoubleClick(int ARow);
  void ServiceRowClick(int ARow);
  void UpdateItemStatus(const std::string& AItemID, const std::string& AExtraID);
  void ProcessServiceActionResult(const TZELConditionObject* ACondition);
  void HideShowServicesPanel(bool AShow);

  QTabWidget* Tabs() const { return tcMain; }
  QListWidget* InfoList() const { return lvEventInfo; }
  QListWidget* AttachmentList() const { return lvItemExtraList; }
  QListWidget* ServiceList() const { return lvServices; }
  QWidget* ServicesPanel() const { return lyServices; }
  QPushButton* ActionsButton() const { return btnServices; }
  QLabel* NoServicesText() const { return txtNoServices; }
  QWidget* ServiceFrameArea() const { return rectServiceFrame; }
  TFrameStand* FrameStand() const { return fraStand; }
  // Whether the Images/Clips tab is offered.
  bool MediaTabVisible() const;
  // The kind of a row, and its id (attachment rows: the attachment's id).
  static TRowKind KindOf(const QListWidgetItem* AItem);
  static std::string IdOf(const QListWidgetItem* AItem);
  // The "State" text an attachment row shows now.
  static std::string StateTextOf(QListWidget* AList, int ARow);

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  bool Active() const { return NeedLeave(); }
  std::shared_ptr<IZELEdgeService> EdgeService() const;
  void Cleanup();
  void ShowChosenItem();
  void StartLoadingEvent(const std::string& AEventID);
  void FillItemInfo();
  void FillAttachments();
  void FillServices();
  void LayoutAttachmentRow(QListWidgetItem* AItem);
  void HideShowServicesContent(bool AShow);
  void AdjustServicesPanelHeight();
  void PlaceActionsButton();
  void ShowPauseFrame(const std::string& AConditionID);
  void ClosePauseFrames();
  void OpenAttachment(const std::string& AExtraID);
  void Messaging_ExtraRefresh(TSender ASender, const TEventItemExtraRefreshMessage& AMessage);
  void Messaging_ConditionStateChange(TSender ASender, const TConditionStateChangeMessage& AMessage);

  QWidget* lyContents;
  QTabWidget* tcMain;
  QWidget* tabItemInfo;
  QListWidget* lvEventInfo;
  QWidget* lyServices;
  QWidget* lyServicesHeader;
  QPushButton* btnHideServicesPanel;
  QLabel* txtNoServices;
  QListWidget* lvServices;
  QPushButton* btnServices;
  QWidget* tabItemExtra;
  QListWidget* lvItemExtraList;
  QWidget* rectServiceFrame;
  TFrameStand* fraStand;
  ActionsPanel::TRowFitter* FServiceFitter;

  std::weak_ptr<IZELEventsService> FEventsService;
  std::string FEventID;  // the alert of the item shown
  std::string FItemID;   // the item shown
  TZELMessagerRef FIEventItemUpdate;
  TZELMessagerRef FServiceRequestPerformed;
  // Work handed back by a pool task checks this first: the view may be gone by then.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
};

}  // namespace ZEL
