#include "ZEL.View.Event.Items.h"

#include "ZEL.ActionsPanel.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Edge.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.EventItems.Rows.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Exceptions.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Frames.DismissReasons.h"
#include "ZEL.Frames.EscalateReasons.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdint>
#include <exception>

namespace ZEL {

namespace {

namespace D = EventItems::Decisions;

constexpr std::string_view cFetchTag = "TEventItemsForm.FillItems";
constexpr int cServiceRowHeight = 48;
constexpr int cHeaderHeight = 33;

ILogWriter& Log() { return LogsPipe::ZELLog(); }

QString Q(const std::string& AText) { return QString::fromStdString(AText); }

TCollectionNotifyEvent<TZELEventItem> HandlerOf(TEventItemsForm* AView) {
  return TCollectionNotifyEvent<TZELEventItem>::Of(AView, &TEventItemsForm::OnItemsListChange);
}

std::shared_ptr<IZELEdgeService> EdgeService() {
  return Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
}

// The edge of that id (compared without regard to case), or none.
TZELEdgeObject* EdgeByID(const std::string& AID) {
  std::shared_ptr<IZELEdgeService> LEdges = EdgeService();
  if (!LEdges || AID.empty()) return nullptr;
  const QString LID = Q(AID);
  for (std::int32_t i = 0; i < LEdges->EdgeCount(); ++i)
    if (TZELEdgeObject* LEdge = LEdges->GetEdge(i))
      if (Q(LEdge->ID()).compare(LID, Qt::CaseInsensitive) == 0) return LEdge;
  return nullptr;
}

}  // namespace

TEventItemsForm::TEventItemsForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName(QStringLiteral("EventItems"));
  setWindowTitle(QStringLiteral("Event Items"));
  resize(360, 456);
  auto* LLayout = View::Base::AddContentsPanel(this, lyContents);

  tbEventItems = new QWidget(lyContents);
  tbEventItems->setObjectName(QStringLiteral("tbEventItems"));
  tbEventItems->setFixedHeight(40);
  auto* LBar = new QHBoxLayout(tbEventItems);
  LBar->setContentsMargins(0, 0, 0, 0);
  Actions = new QToolButton(tbEventItems);
  Actions->setObjectName(QStringLiteral("Actions"));
  Actions->setText(QStringLiteral("Actions"));
  Actions->setFixedSize(80, 40);
  LBar->addWidget(Actions);
  LBar->addStretch(1);
  LLayout->addWidget(tbEventItems);

  FRows = new TTimelineRowModel(this);
  lbItems = new QListView(lyContents);
  lbItems->setObjectName(QStringLiteral("lbItems"));
  FDelegate = new TTimelineRowDelegate(lbItems);
  lbItems->setModel(FRows);
  lbItems->setItemDelegate(FDelegate);
  lbItems->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  lbItems->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lbItems->setResizeMode(QListView::Adjust);
  lbItems->setSelectionMode(QAbstractItemView::SingleSelection);
  lbItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lbItems->setFocusPolicy(Qt::NoFocus);
  lbItems->setStyleSheet(QStringLiteral("QListView { background: white; border: none; }"));
  LLayout->addWidget(lbItems, 1);

  lyServices = new QWidget(lyContents);
  lyServices->setObjectName(QStringLiteral("lyServices"));
  lyServices->setAttribute(Qt::WA_StyledBackground);
  lyServices->setStyleSheet(QStringLiteral("#lyServices { background: #F5F5F5; border-top: 1px solid #C8C8C8; }"));
  auto* LServices = new QVBoxLayout(lyServices);
  LServices->setContentsMargins(0, 0, 0, 0);
  LServices->setSpacing(0);
  lyServicesHeader = new QWidget(lyServices);
  lyServicesHeader->setObjectName(QStringLiteral("lyServicesHeader"));
  lyServicesHeader->setFixedHeight(cHeaderHeight);
  auto* LHeader = new QHBoxLayout(lyServicesHeader);
  LHeader->setContentsMargins(6, 0, 0, 0);
  auto* LTitle = new QLabel(QStringLiteral("Services:"), lyServicesHeader);
  LTitle->setStyleSheet(QStringLiteral("font: bold \"Tahoma\";"));
  LTitle->setFixedWidth(102);
  btnHideActionsPanel = new QToolButton(lyServicesHeader);
  btnHideActionsPanel->setObjectName(QStringLiteral("btnHideActionsPanel"));
  btnHideActionsPanel->setText(QStringLiteral("Hide"));
  btnHideActionsPanel->setFixedSize(80, 31);
  LHeader->addWidget(LTitle);
  LHeader->addStretch(1);
  LHeader->addWidget(btnHideActionsPanel);
  LServices->addWidget(lyServicesHeader);
  lyServicesContent = new QWidget(lyServices);
  lyServicesContent->setObjectName(QStringLiteral("lyServicesContent"));
  auto* LContent = new QGridLayout(lyServicesContent);
  LContent->setContentsMargins(0, 0, 0, 0);
  txtNoServices = new QLabel(QString::fromLatin1(D::cNoServicesText), lyServicesContent);
  txtNoServices->setObjectName(QStringLiteral("txtNoServices"));
  txtNoServices->setAlignment(Qt::AlignCenter);
  txtNoServices->setStyleSheet(QStringLiteral("font: bold italic \"Tahoma\";"));
  lvServices = new QListWidget(lyServicesContent);
  lvServices->setObjectName(QStringLiteral("lvServices"));
  // Rows as high as their wrapped descriptions; the panel follows while it shows the list.
  FServiceFitter = new ActionsPanel::TRowFitter(lvServices, cServiceRowHeight, [this](int AHeight) {
    if (ActionsPanelShown() && !OpenFrame() && !FServiceRows.empty()) AdjustActionsPanelHeight(AHeight);
  });
  LContent->addWidget(lvServices, 0, 0);
  LContent->addWidget(txtNoServices, 0, 0, Qt::AlignCenter);
  LServices->addWidget(lyServicesContent, 1);
  LLayout->addWidget(lyServices);
  lyServices->hide();
  fraStand = new TFrameStand(lyServicesContent);

  connect(Actions, &QToolButton::clicked, this, [this] { ActionsClick(); });
  connect(btnHideActionsPanel, &QToolButton::clicked, this, [this] { HideShowActionsPanel(false); });
  connect(lbItems, &QListView::doubleClicked, this, [this](const QModelIndex& AIndex) { ViewItem(AIndex.row()); });
  connect(lvServices, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* AItem) { ChooseService(lvServices->row(AItem)); });

  FEventRefreshMessageRef = TZELMessager<TEventRefreshMessage>::Subscribe(this, &TEventItemsForm::Messaging_Refresh);
  FIEventItemUpdate =
      TZELMessager<TEventItemExtraRefreshMessage>::Subscribe(this, &TEventItemsForm::Messaging_ItemExtra);
  FServiceRequestPerformed =
      TZELMessager<TEventServiceActionPerformed>::Subscribe(this, &TEventItemsForm::Messaging_ServiceAction);
  UpdateActionsButton();
}

TEventItemsForm::~TEventItemsForm() {
  FLife.reset();
  TZELMessager<TEventRefreshMessage>::Unsubscribe(FEventRefreshMessageRef);
  TZELMessager<TEventItemExtraRefreshMessage>::Unsubscribe(FIEventItemUpdate);
  TZELMessager<TEventServiceActionPerformed>::Unsubscribe(FServiceRequestPerformed);
  // The alert may outlive the view: it must not call a freed handler.
  ExceptionReporter::Guarded(std::string(TypeName), [this] { DetachItemsHandler(FHandlerEventID); });
}

void TEventItemsForm::InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) {
  TBaseFormView::InitView(AView, AViewHost, AParentControl);
}

// --- the alert ---------------------------------------------------------------------------

std::shared_ptr<IZELEventsService> TEventItemsForm::EventsService() const { return FEventService.lock(); }

TZELEvent* TEventItemsForm::FindEvent(const std::string& AID) const {
  if (AID.empty()) return nullptr;
  std::shared_ptr<IZELEventsService> LService = EventsService();
  TZELEventList* LList = LService ? LService->GetEventsList() : nullptr;
  return LList ? LList->FindEventByID(AID) : nullptr;
}

TZELEvent* TEventItemsForm::ShownEvent() const { return FindEvent(FEventID); }

void TEventItemsForm::DetachItemsHandler(const std::string& AEventID) {
  if (TZELEvent* LEvent = FindEvent(AEventID)) LEvent->Items().OnNotify().RemoveHandler(HandlerOf(this));
  if (AEventID == FHandlerEventID) FHandlerEventID.clear();
}

void TEventItemsForm::AttachItemsHandler() {
  DetachItemsHandler(FHandlerEventID);
  if (TZELEvent* LEvent = ShownEvent()) {
    LEvent->Items().OnNotify().RemoveHandler(HandlerOf(this));
    LEvent->Items().OnNotify().AddHandler(HandlerOf(this));
    FHandlerEventID = FEventID;
  }
}

// --- entering and leaving ----------------------------------------------------------------

void TEventItemsForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  FEntered = true;
  try {
    HideShowActionsPanel(false);
    HideShowActionsContent(false);
    std::shared_ptr<IZELEventsService> LService =
        Services::Container::ZELServiceLocator()->GetService<IZELEventsService>();
    FEventService = LService;
    FEventID = LService ? LService->GetDetailedEventID() : std::string();
    FillItems(AFromView);
    FillServices();
    UpdateActionsButton();
  } catch (const std::exception& E) {
    Log().FatalFmt("TEventItemsForm.Enter", "{}: {}", Exceptions::ClassNameOf(E), E.what());
  } catch (...) {
    Log().Fatal("TEventItemsForm.Enter", "Unknown exception.");
  }
}

void TEventItemsForm::Leave(TView AToView) {
  FEntered = false;
  HideShowActionsPanel(false);
  if (AToView != TView::EventItemDetails) {
    ExceptionReporter::Guarded(std::string(TypeName), [this] { DetachItemsHandler(FHandlerEventID); });
    ClearRows();
  }
  TBaseFormView::Leave(AToView);
}

// --- fetching and building the rows --------------------------------------------------------

void TEventItemsForm::FillItems(TView AFromView) {
  if (FEventID.empty()) {
    Log().Error(cFetchTag, "No alert is chosen.");
    DetachItemsHandler(FHandlerEventID);
    ClearRows();
    return;
  }
  TZELEvent* LEvent = ShownEvent();
  if (LEvent && !D::NeedsFetch(AFromView, FFilledWithEventId, FEventID)) {
    AttachItemsHandler();
    // Attachments moved while the item details were in front reached no row then.
    for (int i = TTimelineRowModel::cFirstItemRow; i < FRows->rowCount(); ++i) UpdateRowStatus(i);
    return;
  }
  // Another alert's rows never stay under the overlay.
  if (FFilledWithEventId != FEventID) ClearRows();
  if (FFetching) {
    Log().Warn(cFetchTag, "A fetch runs already; its end builds the rows of the alert shown then.");
    return;
  }
  IViewHost* LHost = GetViewHost();
  if (LHost) LHost->ShowProgress(D::cReceivingText, false);
  StartFetchTask(FEventID, LEvent != nullptr);
}

void TEventItemsForm::StartFetchTask(std::string AEventID, bool AInList) {
  FFetching = true;
  const std::weak_ptr<int> LLife = FLife;
  const std::weak_ptr<IZELEventsService> LWeakService = FEventService;
  QThreadPool::globalInstance()->start([this, LLife, LWeakService, AEventID = std::move(AEventID), AInList] {
    // Taken for the fetch, released on the UI thread: the service is never freed here.
    std::shared_ptr<IZELEventsService> LService;
    bool LFetched = false;  // the alert's items are the backend's now
    bool LQuiet = false;    // the session went meanwhile: nothing to tell
    // The broker's entries from here on are applied again after the items are replaced.
    std::uint64_t LMark = 0;
    bool LJournaled = false;
    try {
      UIThread::RunSync([&] {
        if (LLife.expired()) return;
        // Built once, from the complete list: no live row while the items are replaced.
        DetachItemsHandler(FHandlerEventID);
        DetachItemsHandler(AEventID);
        LService = LWeakService.lock();
        if (LService) {
          LMark = LService->BeginItemsJournal();
          LJournaled = true;
        }
      });
      if (!LService) {
        LQuiet = true;
      } else {
        if (!AInList) {
          // The alert left the list (or never was in it): load it, off the UI thread.
          nlohmann::ordered_json LEvents;
          auto LRest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
          if (LRest && LRest->GetEvent(AEventID, LEvents)) {
            UIThread::RunSync([&] {
              if (LLife.expired()) return;
              TZELEventList* LList = LService->GetEventsList();
              if (LList && !LList->EventExists(AEventID)) LList->ReadFromJSONArray(std::move(LEvents), true);
            });
          } else {
            Log().Error(cFetchTag, "Unable to get event with ID \"" + AEventID + "\"!");
          }
        }
        TZELEvent::TItemBatch LItems;
        if (TZELEvent::FetchItemsOf(AEventID, LItems)) {
          UIThread::RunSync([&] {
            if (LLife.expired()) return;
            TZELEvent* LEvent = FindEvent(AEventID);
            if (!LEvent) return;
            LEvent->ReplaceItems(std::move(LItems));
            LJournaled = false;
            LService->EndItemsJournal(LMark, true);
            LFetched = true;
          });
        } else {
          Log().Error(cFetchTag, "Unable to receive items of event \"" + AEventID + "\".");
        }
      }
    } catch (const std::exception& E) {
      Log().FatalFmt(cFetchTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      Log().Fatal(cFetchTag, "Unknown exception.");
    }
    try {
      UIThread::RunSync([&] {
        if (LJournaled && LService) LService->EndItemsJournal(LMark, false);
        LService.reset();
        if (LLife.expired()) return;
        FFetching = false;
        if (IViewHost* LHost = GetViewHost()) LHost->HideProgress();
        // Left meanwhile: no rows and no view request for an alert no longer shown.
        if (!FEntered) return;
        if (FEventID != AEventID) {
          // Another alert was chosen meanwhile: its own fetch now.
          if (!FEventID.empty() && FFilledWithEventId != FEventID) {
            if (IViewHost* LHost = GetViewHost()) LHost->ShowProgress(D::cReceivingText, false);
            StartFetchTask(FEventID, ShownEvent() != nullptr);
          }
          return;
        }
        // Built here, from the state now: a leave and re-entry during the fetch (which
        // started none of its own) emptied the list box.
        const bool LBuilt = LFetched && BuildRows();
        AttachItemsHandler();
        FillServices();
        UpdateActionsButton();
        if (!LBuilt && !LQuiet && FEntered && EventsService())
          Dialogs::Dialogs().ShowMessage(this, ShownEvent() ? D::cFetchFailedText : D::cNoAlertText, {});
      });
    } catch (const std::exception& E) {
      Log().FatalFmt(cFetchTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      Log().Fatal(cFetchTag, "Unknown exception.");
    }
  });
}

bool TEventItemsForm::BuildRows() {
  TZELEvent* LEvent = ShownEvent();
  if (!LEvent) return false;
  std::vector<TTimelineRow> LRows;
  LRows.reserve(static_cast<std::size_t>(LEvent->Items().Count()) + TTimelineRowModel::cFirstItemRow);
  const Time::TInstant LWhen = LEvent->DateTime();
  LRows.push_back({TTimelineRow::TKind::DateLine, D::DateLineText(LWhen), {}});
  LRows.push_back({TTimelineRow::TKind::Bubble,
                   D::BubbleText(LEvent->Caption(), LEvent->Text(), LEvent->Originator().Name(), LWhen), {}});
  LRows.push_back({TTimelineRow::TKind::Separator, {}, {}});
  for (const TZELEventItem* LItem : LEvent->Items())
    LRows.push_back({TTimelineRow::TKind::Item, {}, D::ItemRowOf(*LItem)});
  FRows->Reset(std::move(LRows));
  FFilledWithEventId = FEventID;
  LEvent->MarkAsViewed();
  return true;
}

void TEventItemsForm::ClearRows() {
  FRows->Clear();
  FFilledWithEventId.clear();
}

void TEventItemsForm::OnItemsListChange(const void* ASender, TZELEventItem* const& AItem,
                                        TCollectionNotification AAction) {
  if (AAction != TCollectionNotification::cnAdded || !AItem || FFilledWithEventId != FEventID) return;
  TZELEvent* LEvent = ShownEvent();
  // Only the shown alert's list adds rows.
  if (!LEvent || ASender != static_cast<const void*>(&LEvent->Items())) return;
  FRows->AddItem(D::ItemRowOf(*AItem), true);
}

void TEventItemsForm::UpdateItemStatus(const std::string& AItemID) {
  const int LRow = FRows->IndexOfItem(AItemID);
  if (LRow >= 0) UpdateRowStatus(LRow);
}

void TEventItemsForm::UpdateRowStatus(int ARow) {
  TZELEvent* LEvent = ShownEvent();
  TZELEventItem* LItem = LEvent ? LEvent->FindItem(FRows->Row(ARow).Item.ID) : nullptr;
  if (!LItem) return;
  D::TItemRow LValue = FRows->Row(ARow).Item;
  D::RefreshStatus(LValue, *LItem);
  FRows->UpdateItem(ARow, std::move(LValue));
}

void TEventItemsForm::ViewItem(int ARow) {
  if (ARow < 0 || ARow >= FRows->rowCount()) return;
  const std::string LTag = FRows->Row(ARow).Tag();
  if (LTag == D::cViewOnly || LTag.empty()) return;
  if (std::shared_ptr<IZELEventsService> LService = EventsService()) LService->SetDetailedEventItem(LTag);
  if (IViewHost* LHost = GetViewHost()) LHost->ChangeView(TView::EventItemDetails);
}

// --- the actions panel ---------------------------------------------------------------------

void TEventItemsForm::FillServices() {
  FServiceRows.clear();
  lvServices->clear();
  if (TZELEvent* LEvent = ShownEvent()) {
    TZELEdgeObject* LEdge = nullptr;
    if (std::shared_ptr<IZELEdgeService> LEdges = EdgeService())
      LEdge = LEdges->GetEdgeFromOriginator(LEvent->OriginatorPtr());
    if (!LEdge)
      Log().Fatal("TEventItemsForm.FillServices", "[FATAL ERROR] Unable to locate edge for item: " + LEvent->ToJSON());
    FServiceRows = D::ServiceRows(LEdge, LEvent->State());
  }
  for (const D::TServiceRow& LRow : FServiceRows) {
    auto* LItem = new QListWidgetItem(lvServices);
    LItem->setSizeHint(QSize(0, cServiceRowHeight));
    LItem->setData(Qt::AccessibleTextRole, Q(LRow.Caption));
    lvServices->setItemWidget(LItem, ActionsPanel::RowWidget(LRow.Caption, LRow.Description));
  }
  FServiceFitter->Fit();
  HideShowActionsContent(!FServiceRows.empty());
}

void TEventItemsForm::HideShowActionsContent(bool AShow) {
  lvServices->setVisible(AShow);
  txtNoServices->setVisible(!AShow);
  if (AShow) {
    lvServices->raise();
  } else {
    txtNoServices->raise();
  }
  // A reason frame stays in front of the list it was chosen from.
  if (TfraReasonSelection* LFrame = fraStand->Find<TfraReasonSelection>()) LFrame->raise();
}

void TEventItemsForm::HideShowActionsPanel(bool AShow) {
  lyServices->setVisible(AShow);
  HideShowActionsContent(!FServiceRows.empty());
  if (!AShow) return;
  CloseFrames();
  // Laid out now, so that the rows are fitted to the list's real width.
  if (QLayout* LLayout = lyContents->layout()) LLayout->activate();
  AdjustActionsPanelHeight(FServiceRows.empty() ? cServiceRowHeight : FServiceFitter->Fit());
}

void TEventItemsForm::AdjustActionsPanelHeight(int AContentHeight) {
  lyServices->setFixedHeight(lyServicesHeader->height() + AContentHeight);
}

bool TEventItemsForm::ActionsPanelShown() const { return !lyServices->isHidden(); }

bool TEventItemsForm::ActionsButtonShown() const { return !tbEventItems->isHidden(); }

void TEventItemsForm::ActionsClick() {
  const bool LShow = lyServices->isHidden();
  // Opened with rows made now, from the edge's services as they are now.
  if (LShow) FillServices();
  HideShowActionsPanel(LShow);
}

void TEventItemsForm::UpdateActionsButton() {
  TZELEvent* LEvent = ShownEvent();
  const bool LShow = LEvent && D::ActionsVisible(LEvent->State());
  tbEventItems->setVisible(LShow);
  if (!LShow) HideShowActionsPanel(false);
}

void TEventItemsForm::CloseFrames() {
  while (auto* LFrame = fraStand->Find<TfraReasonSelection>()) fraStand->Close(LFrame);
}

TfraReasonSelection* TEventItemsForm::OpenFrame() const {
  TfraReasonSelection* LFrame = fraStand->Find<TfraReasonSelection>();
  return LFrame && ActionsPanelShown() ? LFrame : nullptr;
}

void TEventItemsForm::ChooseService(int AIndex) {
  if (AIndex < 0 || AIndex >= static_cast<int>(FServiceRows.size())) return;
  const D::TServiceRow LRow = FServiceRows[static_cast<std::size_t>(AIndex)];
  if (LRow.Type != TEdgeServiceType::stDismiss && LRow.Type != TEdgeServiceType::stEscalate) {
    Dialogs::Dialogs().ShowMessage(this, D::cUnknownServiceText, {});
    return;
  }
  ShowReasonFrame(LRow);
}

void TEventItemsForm::ShowReasonFrame(const D::TServiceRow& ARow) {
  CloseFrames();
  TZELEvent* LEvent = ShownEvent();
  if (!LEvent) return;
  TfraReasonSelection* LFrame = nullptr;
  if (ARow.Type == TEdgeServiceType::stDismiss)
    LFrame = fraStand->Create<TfraDismissReasonSelection>();
  else
    LFrame = fraStand->Create<TfraEscalateReasonSelection>();
  TZELServiceObject* LService = D::ServiceOf(EdgeByID(ARow.EdgeID), ARow);
  LFrame->FillReasons(*LEvent, LService);
  // The frame sends with the table it was filled from, whatever the state is by then.
  const TEventAlertState LState = LFrame->FilledState();
  LFrame->SetHandler([this, ARow, LState](std::int32_t ACode, const std::string& AReason) {
    ReasonChosen(ARow, LState, ACode, AReason);
  });
  fraStand->Show(LFrame);
  AdjustActionsPanelHeight(LFrame->GetFrameHeight());
}

void TEventItemsForm::ReasonChosen(const D::TServiceRow& ARow, TEventAlertState AFilledState, std::int32_t ACode,
                                   const std::string& AReason) {
  bool LSent = true;
  if (ACode != -1) {
    TZELEvent* LEvent = ShownEvent();
    TZELServiceObject* LService = D::ServiceOf(EdgeByID(ARow.EdgeID), ARow);
    if (!LEvent || !LService) {
      Log().ErrorFmt("TEventItemsForm.ReasonChosen", "Service \"{}\" of edge \"{}\" is no longer offered.",
                     ARow.Caption, ARow.EdgeID);
      Dialogs::Dialogs().ShowMessage(this, D::cUnknownServiceText, {});
    } else if (auto* LDismiss = dynamic_cast<TZELEdgeDismissService*>(LService)) {
      LSent = LDismiss->Dismiss(AFilledState, LEvent->ID(), ACode, AReason);
    } else if (auto* LEscalate = dynamic_cast<TZELEdgeEscalateService*>(LService)) {
      LSent = LEscalate->Escalate(LEvent->ID(), ACode, AReason);
    }
  }
  if (!LSent) {
    // Nothing went out: the frame stays, so the user may choose again.
    Dialogs::Dialogs().ShowMessage(this, ActionsPanel::cNotSentText, {});
    return;
  }
  // The frame is closed the next time the panel opens (this runs inside its own click).
  HideShowActionsPanel(false);
}

// --- messages ------------------------------------------------------------------------------

void TEventItemsForm::ProcessResult(const std::string& AEventID) {
  // Only the alert shown, looked up again: the list may hold another object by now.
  if (AEventID.empty() || AEventID != FEventID) return;
  TZELEvent* LEvent = ShownEvent();
  if (!LEvent) return;
  // A frame filled for another state would offer the wrong reasons: it closes.
  if (TfraReasonSelection* LFrame = fraStand->Find<TfraReasonSelection>())
    if (LFrame->FilledState() != LEvent->State()) {
      HideShowActionsPanel(false);
      CloseFrames();
    }
  FillServices();
  UpdateActionsButton();
}

void TEventItemsForm::Messaging_Refresh(TSender, const TEventRefreshMessage& AMessage) {
  if (FEntered) ProcessResult(AMessage.Value());
}

void TEventItemsForm::Messaging_ItemExtra(TSender, const TEventItemExtraRefreshMessage& AMessage) {
  if (FEntered && !AMessage.EventItemID.empty()) UpdateItemStatus(AMessage.EventItemID);
}

void TEventItemsForm::Messaging_ServiceAction(TSender, const TEventServiceActionPerformed& AMessage) {
  ProcessResult(AMessage.EventID());
}

}  // namespace ZEL
