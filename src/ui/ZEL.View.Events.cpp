#include "ZEL.View.Events.h"

#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.RowDelegate.h"
#include "ZEL.Events.RowFilter.h"
#include "ZEL.Events.RowList.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.Events.Service.h"
#include "ZEL.Exceptions.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Frames.Filter.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"
#include "ZEL.UINotification.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <vector>

namespace ZEL {

namespace {

namespace F = Events::Filter;

constexpr std::string_view cPullTag = "TEventsViewForm.ReceiveEvents";
constexpr std::string_view cPullFailedReason = "The server could not be reached or refused the request.";

ILogWriter& Log() { return LogsPipe::ZELLog(); }

TCollectionNotifyEvent<TZELEvent> HandlerOf(TEventsViewForm* AView) {
  return TCollectionNotifyEvent<TZELEvent>::Of(AView, &TEventsViewForm::OnEventsListChange);
}

// The edge the alert's originator belongs to, or empty.
std::string OriginatorEdgeID(IZELEdgeService* AEdges, const TZELEvent& AEvent) {
  if (!AEdges) return {};
  try {
    if (TZELEdgeObject* LEdge = AEdges->GetEdgeFromOriginator(AEvent.OriginatorPtr())) return LEdge->ID();
  } catch (const std::exception& E) {
    Log().WarnFmt("TEventsViewForm.FillItem", "Originator of \"{}\" is unreadable. {}: {}", AEvent.LookupID(),
                  Exceptions::ClassNameOf(E), E.what());
  }
  return {};
}

std::shared_ptr<IZELEdgeService> EdgeService() {
  return Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
}

TEventRow RowOf(IZELEdgeService* AEdges, const TZELEvent& AEvent) {
  TEventRow LRow = TEventsRowModel::RowOf(AEvent, OriginatorEdgeID(AEdges, AEvent));
  Log().WarnFmt("TEventsViewForm.FillItem", "Item Caption = \"{}\" JSONDate = \"{}\"", LRow.Caption.toStdString(),
                AEvent.DateTimeStr());
  return LRow;
}

}  // namespace

TEventsViewForm::TEventsViewForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName(QStringLiteral("Events"));
  resize(412, 568);
  auto* LLayout = View::Base::AddContentsPanel(this, lyContents);

  tbEvents = new QWidget(lyContents);
  tbEvents->setObjectName(QStringLiteral("tbEvents"));
  tbEvents->setFixedHeight(48);
  auto* LBar = new QHBoxLayout(tbEvents);
  LBar->setContentsMargins(0, 0, 0, 0);
  sbtnUpdate = new QToolButton(tbEvents);
  sbtnUpdate->setObjectName(QStringLiteral("sbtnUpdate"));
  sbtnUpdate->setText(QStringLiteral("↻"));
  sbtnUpdate->setToolTip(QStringLiteral("Update"));
  sbtnUpdate->setFixedSize(48, 48);
  txtCount = new QLabel(tbEvents);
  txtCount->setObjectName(QStringLiteral("txtCount"));
  txtCount->setFixedWidth(165);
  txtCount->setContentsMargins(2, 2, 2, 2);
  txtCount->setAttribute(Qt::WA_TransparentForMouseEvents);
  sbrnFilter = new QToolButton(tbEvents);
  sbrnFilter->setObjectName(QStringLiteral("sbrnFilter"));
  sbrnFilter->setText(QStringLiteral("Filter..."));
  sbrnFilter->setFixedSize(76, 48);
  LBar->addWidget(sbtnUpdate);
  LBar->addWidget(txtCount);
  LBar->addStretch(1);
  LBar->addWidget(sbrnFilter);
  LLayout->addWidget(tbEvents);

  edtSearch = new QLineEdit(lyContents);
  edtSearch->setObjectName(QStringLiteral("edtSearch"));
  edtSearch->setPlaceholderText(QStringLiteral("Search"));
  edtSearch->setClearButtonEnabled(true);
  LLayout->addWidget(edtSearch);

  FRows = new TEventsRowModel(this);
  FOnView = new TEventsRowFilter(FRows, this);
  FDelegate = new TEventsRowDelegate(this);
  auto* LListArea = new QGridLayout();
  lvEvents = new TEventsRowList(lyContents);
  lvEvents->setObjectName(QStringLiteral("lvEvents"));
  lvEvents->setModel(FOnView);
  lvEvents->setItemDelegate(FDelegate);
  // Every row is equally high (the delegate's fixed height): a row's place is computed, so
  // a live alert on a long list costs what the rows in sight cost.
  lvEvents->setAlternatingRowColors(true);
  lvEvents->setSpacing(1);
  lvEvents->setSelectionMode(QAbstractItemView::SingleSelection);
  lvEvents->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvEvents->viewport()->installEventFilter(this);
  txtMessage = new QLabel(QString::fromUtf8(F::cEmptyText.data(), static_cast<qsizetype>(F::cEmptyText.size())),
                          lyContents);
  txtMessage->setObjectName(QStringLiteral("txtMessage"));
  txtMessage->setAlignment(Qt::AlignCenter);
  txtMessage->setWordWrap(true);
  txtMessage->setFixedSize(376, 106);
  txtMessage->setStyleSheet(QStringLiteral("font: bold 14pt \"Tahoma\"; color: #1E90FF;"));
  txtMessage->setAttribute(Qt::WA_TransparentForMouseEvents);
  txtMessage->hide();
  LListArea->addWidget(lvEvents, 0, 0);
  LListArea->addWidget(txtMessage, 0, 0, Qt::AlignCenter);
  LLayout->addLayout(LListArea, 1);

  connect(sbtnUpdate, &QToolButton::clicked, this, [this] { ReceiveEvents(); });
  connect(sbrnFilter, &QToolButton::clicked, this, [this] { sbrnFilterClick(); });
  connect(lvEvents, &QListView::doubleClicked, this, [this](const QModelIndex& AIndex) { OpenRow(AIndex.row()); });
  connect(edtSearch, &QLineEdit::textChanged, this, [this](const QString& AText) {
    FOnView->SetSearchText(AText);
    RefreshCounters();
  });

  FEventRefreshMsg = TZELMessager<TEventRefreshMessage>::Subscribe(this, &TEventsViewForm::Messaging_RefreshEvent);
  FNewEventMsg = TZELMessager<TEventAddedMessage>::Subscribe(this, &TEventsViewForm::Messaging_NewEvent);
  RefreshCounters();
}

TEventsViewForm::~TEventsViewForm() {
  FLife.reset();
  TZELMessager<TEventRefreshMessage>::Unsubscribe(FEventRefreshMsg);
  TZELMessager<TEventAddedMessage>::Unsubscribe(FNewEventMsg);
  // The list may outlive the view: it must not call a freed handler.
  ExceptionReporter::Guarded(std::string(TypeName), [this] { DetachListHandler(); });
}

void TEventsViewForm::InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) {
  TBaseFormView::InitView(AView, AViewHost, AParentControl);
  FFilterOptions = TFilterOptions();
}

QWidget* TEventsViewForm::FormContent() { return lyContents; }

// --- services ----------------------------------------------------------------------------

std::shared_ptr<IZELEventsService> TEventsViewForm::EventsService() {
  std::shared_ptr<IZELEventsService> LService = FEventsService.lock();
  if (!LService) {
    LService = Services::Container::ZELServiceLocator()->GetService<IZELEventsService>();
    FEventsService = LService;
  }
  return LService;
}

TZELEventList* TEventsViewForm::EventsList() {
  // Held weakly: a service being freed (its list announcing its last alerts) is not asked.
  std::shared_ptr<IZELEventsService> LService = FEventsService.lock();
  return LService ? LService->GetEventsList() : nullptr;
}

void TEventsViewForm::AttachListHandler() {
  if (TZELEventList* LList = EventsList()) LList->OnNotify().AddHandler(HandlerOf(this));
}

void TEventsViewForm::EnsureFollowingList() {
  TZELEventList* LList = EventsList();
  if (!LList || LList->OnNotify().HasHandler(HandlerOf(this))) return;
  // A bulk load dropped the handler: what came meanwhile has no row yet. The rows are
  // rebuilt from the list in the same step as the handler goes back, so nothing falls
  // between the two.
  Log().Debug("TEventsViewForm", "Rows rebuilt from the list: it was not followed.");
  FillEventsFromList();
  AttachListHandler();
}

void TEventsViewForm::DetachListHandler() {
  if (TZELEventList* LList = EventsList()) LList->OnNotify().RemoveHandler(HandlerOf(this));
}

// --- entering and leaving ----------------------------------------------------------------

void TEventsViewForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  frameController = new TFrameStand(lyContents);
  FEventsService = Services::Container::ZELServiceLocator()->GetService<IZELEventsService>();
  ClearDetailedChoice();
  // The rows match the list whatever happened while another view was in front.
  EnsureFollowingList();
  SetCatchUpPeriod();
  if (F::PullsOnEnter(AFromView, FFirstTime)) ReceiveEvents();
}

void TEventsViewForm::SetCatchUpPeriod() {
  auto* LService = dynamic_cast<TZELEventsService*>(EventsService().get());
  if (!LService) return;
  const std::weak_ptr<int> LLife = FLife;
  // A catch-up pulls the view's range as a pull would now ("Today" is today's); when the
  // list holds a wider period pulled before, that one, so that the list holds it whole.
  LService->SetPeriodSource([this, LLife]() -> std::pair<std::string, std::string> {
    if (LLife.expired()) return {};
    const Time::TInstant LNowTime = Time::Now();
    if (!F::NeedsPull(FFilterOptions, false, PulledPeriod(), LNowTime))
      return {Time::FormatISO8601Local(FPulledPeriod.Begin), Time::FormatISO8601Local(FPulledPeriod.End)};
    const TFilterOptions LNow = F::PullPeriod(FFilterOptions, LNowTime);
    return {LNow.DateRangeBegin, LNow.DateRangeEnd};
  });
}

Events::Filter::TPulledPeriod TEventsViewForm::PulledPeriod() const {
  const std::shared_ptr<IZELEventsService> LFrom = FPulledFrom.lock();
  return LFrom && LFrom == FEventsService.lock() ? FPulledPeriod : F::TPulledPeriod{};
}

void TEventsViewForm::ClearDetailedChoice() {
  try {
    std::shared_ptr<IZELEventsService> LService = FEventsService.lock();
    if (!LService) return;
    // Only the detail views add handlers to an alert's items. Clearing them on every alert
    // held asks nothing of the backend (the chosen alert may not be in the list at all).
    if (TZELEventList* LList = LService->GetEventsList())
      for (TZELEvent* LEvent : *LList) LEvent->Items().OnNotify().Clear();
    LService->SetDetailedEvent("");
    LService->SetDetailedEventItem("");
  } catch (const std::exception& E) {
    Log().FatalFmt("TEventsViewForm.Enter", "{}: {}", Exceptions::ClassNameOf(E), E.what());
  }
}

void TEventsViewForm::Leave(TView AToView) {
  if (frameController) {
    while (auto* LFrame = frameController->Find<TfraEventsFilter>()) frameController->Close(LFrame);
    delete frameController;
    frameController = nullptr;
  }
  // The list stays followed: alerts that come while another view is in front get their rows.
  TBaseFormView::Leave(AToView);
}

// --- the pull ----------------------------------------------------------------------------

void TEventsViewForm::ReceiveEvents() {
  Log().Debug(cPullTag, "START");
  IViewHost* LHost = GetViewHost();
  if (!LHost) {
    Log().Fatal(cPullTag, "ViewHost is null");
    return;
  }
  if (FReceiving) {
    Log().Warn(cPullTag, "FReceiving is TRUE now. Skipping...");
    return;
  }
  // Edges first: a refused pull leaves the list's handler attached, so live alerts (also
  // those of the organisation's topic, which need no edge) still get rows.
  std::shared_ptr<IZELEdgeService> LEdges = EdgeService();
  if (!LEdges || LEdges->EdgeCount() == 0) {
    Log().Fatal(cPullTag, "LEdgeSvc.EdgeCount is 0");
    return;
  }
  if (!EventsService()) {
    Log().Fatal(cPullTag, "IZELEventsService is null");
    return;
  }
  Log().Debug(cPullTag, "Going to receive events...");
  FReceiving = true;
  LHost->ShowProgress("Receiving events...", false);
  // A named range is the range as of now (after midnight "Today" is the new day).
  FFilterOptions = F::PullPeriod(FFilterOptions, Time::Now());
  std::string LBegin = FFilterOptions.DateRangeBegin;
  std::string LEnd = FFilterOptions.DateRangeEnd;
  Log().Debug(cPullTag, "Filtering tag = " + FFilterOptions.DateRangeName);
  Log().Debug(cPullTag, "LRangeStart = " + LBegin);
  Log().Debug(cPullTag, "LRangeEnd = " + LEnd);
  StartPullTask(std::move(LBegin), std::move(LEnd));
  Log().Debug(cPullTag, "FINISH");
}

void TEventsViewForm::StartPullTask(std::string ABegin, std::string AEnd) {
  const std::weak_ptr<int> LLife = FLife;
  const std::weak_ptr<IZELEventsService> LWeakService = FEventsService;
  QThreadPool::globalInstance()->start([this, LLife, LWeakService, ABegin = std::move(ABegin),
                                        AEnd = std::move(AEnd)] {
    // Taken for the call, released on the UI thread: the service is never freed here.
    std::shared_ptr<IZELEventsService> LService;
    std::string LFailure = std::string(cPullFailedMessage) + " " + std::string(cPullFailedReason);
    try {
      bool LAlive = false;
      bool LFirstTime = true;
      UIThread::RunSync([&] {
        if (LLife.expired()) return;
        LAlive = true;
        LFirstTime = FFirstTime;  // read here, where it is written
      });
      if (LAlive) {
        Log().Debug(cPullTag, "Getting events from REST...");
        LService = LWeakService.lock();
        if (LService && LService->PupulateEventsFromREST(LFirstTime, ABegin, AEnd)) {
          LFailure.clear();
          UIThread::RunSync([&] {
            if (LLife.expired()) return;
            FFirstTime = false;
            FPulledPeriod = F::PeriodOf(ABegin, AEnd);
            FPulledFrom = LService;
            Log().Debug(cPullTag, "Events received. Filling list...");
            // The swap dropped the handler; rows and handler come back in one step.
            FillEventsFromList();
            AttachListHandler();
          });
          Log().Debug(cPullTag, "Events list filled.");
        }
        Log().Debug(cPullTag, "Threaded events pull task done.");
      }
    } catch (const std::exception& E) {
      Log().FatalFmt(cPullTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
      LFailure = std::string(cPullFailedMessage) + " " + E.what();
    } catch (...) {
      Log().Fatal(cPullTag, "Unknown exception.");
    }
    try {
      UIThread::RunSync([&] {
        LService.reset();
        if (LLife.expired()) return;
        Log().Debug(cPullTag, "hiding progress, adding  list handler.");
        if (IViewHost* LHost = GetViewHost()) LHost->HideProgress();
        EnsureFollowingList();
        FReceiving = false;
        // The rows stay as they were; the user must know they may be out of date.
        if (!LFailure.empty()) {
          Log().Warn(cPullTag, LFailure);
          TZELUINotification::ShowToast(LFailure);
        }
      });
    } catch (const std::exception& E) {
      Log().FatalFmt(cPullTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      Log().Fatal(cPullTag, "Unknown exception.");
    }
  });
}

// --- rows --------------------------------------------------------------------------------

void TEventsViewForm::FillEventsFromList() {
  TZELEventList* LList = EventsList();
  std::vector<TEventRow> LRows;
  if (LList) {
    const std::shared_ptr<IZELEdgeService> LEdges = EdgeService();
    LRows.reserve(static_cast<std::size_t>(LList->Count()));
    for (TZELEvent* LEvent : *LList)
      if (!LEvent->Invisible()) LRows.push_back(RowOf(LEdges.get(), *LEvent));
  }
  // A rebuild keeps the filter's state but not the rows kept on view.
  FFilterKeepList.clear();
  FRows->Reset(std::move(LRows));
  lvEvents->scrollToTop();
  RefreshCounters();
}

void TEventsViewForm::AddEvent(const TZELEvent& AEvent, bool AToTop) {
  if (AEvent.Invisible()) return;
  FRows->Add(RowOf(EdgeService().get(), AEvent), AToTop);
  RefreshCounters();
}

void TEventsViewForm::RemoveEvent(const std::string& AID) {
  FRows->Remove(AID);
  RefreshCounters();
}

void TEventsViewForm::RefreshEvent(const std::string& AID, const TZELEvent& AItem) {
  const int LRow = FRows->IndexOf(AID);
  if (LRow >= 0) {
    const bool LOnView = !FRowFilterOn || FOnView->mapFromSource(FRows->index(LRow)).isValid();
    TEventRow LNew = RowOf(EdgeService().get(), AItem);
    // A row in sight stays in sight until the filter is switched off or the rows rebuilt.
    if (FRowFilterOn && LOnView && !F::Allows(FFilterOptions, LNew.Subject)) FFilterKeepList.insert(AID);
    // The proxy tests the changed row again: a hidden row that now passes shows at once.
    FRows->Update(LRow, std::move(LNew));
  }
  RefreshCounters();
}

void TEventsViewForm::OnEventsListChange(const void* ASender, TZELEvent* const& AItem,
                                         TCollectionNotification AAction) {
  // Also while a pull runs: the pull keeps what arrives meanwhile and rebuilds afterwards.
  if (!AItem || AItem->Invisible()) return;
  TZELEventList* LList = EventsList();
  if (!LList || ASender != static_cast<const TDelegatedObjectList<TZELEvent>*>(LList)) {
    // The list is being freed with its service: its last announcements concern no row
    // that will stay.
    if (FRows->rowCount() > 0) {
      FRows->Reset({});
      RefreshCounters();
    }
    return;
  }
  if (AAction == TCollectionNotification::cnAdded)
    AddEvent(*AItem, true);
  else if (AAction == TCollectionNotification::cnRemoved)
    RemoveEvent(AItem->ID());
}

// --- filter ------------------------------------------------------------------------------

bool TEventsViewForm::AllowItemOnView(const TZELEvent& AEvent) const {
  return F::Allows(FFilterOptions, TEventsRowModel::RowOf(AEvent, OriginatorEdgeID(EdgeService().get(), AEvent)).Subject);
}

void TEventsViewForm::ApplyFilter() {
  FRowFilterOn = true;
  FOnView->SetRawFilter([this](const TEventRow& ARow) {
    if (FFilterKeepList.count(ARow.ID)) return true;
    // A row whose alert left the list is hidden.
    TZELEventList* LList = EventsList();
    if (!LList || !LList->EventExists(ARow.ID)) return false;
    return F::Allows(FFilterOptions, ARow.Subject);
  });
  RefreshCounters();
}

void TEventsViewForm::ResetFilter(bool AKeep) {
  FRowFilterOn = false;
  FOnView->SetRawFilter({});
  if (!AKeep) FFilterKeepList.clear();
  RefreshCounters();
}

void TEventsViewForm::RefreshCounters() {
  const int LOnView = FOnView->rowCount();
  txtCount->setText(QString::fromStdString(F::CounterText(FOnView->Filtering(), LOnView, FRows->rowCount())));
  txtMessage->setVisible(LOnView == 0);
}

void TEventsViewForm::sbrnFilterClick() {
  if (!frameController) return;
  while (auto* LOld = frameController->Find<TfraEventsFilter>()) frameController->Close(LOld);
  TfraEventsFilter* LFrame = frameController->Create<TfraEventsFilter>();
  LFrame->FillData(FFilterOptions, false);
  LFrame->SetHandler([this, LFrame](bool AApply) { FilterFrameDone(LFrame, AApply); });
  frameController->Show(LFrame);
}

void TEventsViewForm::FilterFrameDone(TfraEventsFilter* AFrame, bool AApply) {
  FFilterOptions.Assign(AFrame->CurrentOptions());
  FFilterOptions.Applied = AApply;
  if (!AApply) {
    ResetFilter(false);
  } else {
    TZELEventList* LList = EventsList();
    if (!LList || F::NeedsPull(FFilterOptions, LList->IsEmpty(), PulledPeriod(), Time::Now())) ReceiveEvents();
    ApplyFilter();
  }
  // Closed from inside its own button's click: the stand deletes it later.
  if (frameController) frameController->Close(AFrame);
}

// --- toasts, opening, the pull gesture -----------------------------------------------------

bool TEventsViewForm::IsFirstItemInvisible() const {
  if (!lvEvents || FOnView->rowCount() == 0) return true;
  const QRect LFirst = lvEvents->visualRect(FOnView->index(0, 0));
  return LFirst.isEmpty() || LFirst.bottom() < 0;
}

void TEventsViewForm::Messaging_NewEvent(TSender, const TEventAddedMessage& AMessage) {
  const TZELEvent* LEvent = AMessage.Value();
  if (!LEvent) return;
  if (F::ToastWanted(AllowItemOnView(*LEvent), IsFirstItemInvisible()))
    TZELUINotification::ShowNewEventToast(*LEvent);
}

void TEventsViewForm::Messaging_RefreshEvent(TSender, const TEventRefreshMessage& AMessage) {
  // The alert is looked up by the message's id rather than trusting the sender's pointer.
  TZELEventList* LList = EventsList();
  if (!LList) return;
  if (const TZELEvent* LEvent = LList->FindEventByID(AMessage.Value())) RefreshEvent(AMessage.Value(), *LEvent);
}

void TEventsViewForm::OpenRow(int AOnViewRow) {
  const QModelIndex LSource = FOnView->mapToSource(FOnView->index(AOnViewRow, 0));
  if (!LSource.isValid()) return;
  std::shared_ptr<IZELEventsService> LService = EventsService();
  if (!LService) return;
  LService->SetDetailedEvent(FRows->Row(LSource.row()).ID);
  if (IViewHost* LHost = GetViewHost()) LHost->ChangeView(TView::EventItems);
}

bool TEventsViewForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == lvEvents->viewport()) {
    switch (AEvent->type()) {
      case QEvent::MouseButtonPress: {
        const auto* LMouse = static_cast<QMouseEvent*>(AEvent);
        FPulled = false;
        FPressY = (LMouse->button() == Qt::LeftButton && lvEvents->verticalScrollBar()->value() == 0)
                      ? static_cast<int>(LMouse->position().y())
                      : -1;
        break;
      }
      case QEvent::MouseMove: {
        const auto* LMouse = static_cast<QMouseEvent*>(AEvent);
        if (FPressY >= 0 && (LMouse->buttons() & Qt::LeftButton) &&
            LMouse->position().y() - FPressY >= cPullDistance)
          FPulled = true;
        break;
      }
      case QEvent::MouseButtonRelease:
        if (FPulled) {
          FPulled = false;
          FPressY = -1;
          ReceiveEvents();
          return true;
        }
        FPressY = -1;
        break;
      default:
        break;
    }
  }
  return TBaseFormView::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL
