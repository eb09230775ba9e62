#include "ZEL.Forms.Main.h"

#include "ZEL.ViewHost.Interf.h"
#include "ZEL.App.Result.h"
#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Events.Event.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Main.Decisions.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Style.h"
#include "ZEL.Toast.h"
#include "ZEL.UINotification.h"
#include "ZEL.View.EventSources.h"
#include "ZEL.View.Event.Item.Details.h"
#include "ZEL.View.Event.Items.h"
#include "ZEL.View.Events.h"
#include "ZEL.View.Pending.h"
#include "ZEL.View.Profile.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace ZEL {

namespace {

namespace Decisions = Main::Decisions;

constexpr std::string_view cMainTag = "MainForm";

TfrmMain* GfrmMain = nullptr;

bool GStandInViews = false;

TZELSession::TOptions& SessionOptions() {
  static TZELSession::TOptions options;
  return options;
}

ILogWriter& Log() { return LogsPipe::ZELLog(); }

QIcon MenuIcon(const char* AName) { return Style::Icon(AName); }

// What stands in each session slot until its own view exists.
struct TPendingSlot {
  const char* Caption;
  bool CanGoBack;
  bool WithSignOut;
};

TPendingSlot PendingSlotOf(TView AView) {
  switch (AView) {
    case TView::Profile: return {"Profile", false, true};
    case TView::Events: return {"Alerts", false, false};
    case TView::EventItems: return {"Alert timeline", true, false};
    case TView::EventItemDetails: return {"Alert details", true, false};
    default: return {"Devices", false, false};
  }
}

}  // namespace

TfrmMain::TfrmMain(QWidget* AParent) : TBaseBaseFormView(AParent) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Tarvelo Systems"));
  resize(444, 640);
  // Toasts exist only with this window; they write through the shared log while it lives.
  ZEL::Toast::SetLogWriter(&Log());
  BuildLayout();

  FToastMessageRef = TZELMessager<TShowToastMessageEvent>::Subscribe(this, &TfrmMain::Messaging_ShowToast);
  FToastEventMessageRef =
      TZELMessager<TNewEventToastMessageEvent>::Subscribe(this, &TfrmMain::Messaging_NewEventToast);
  FNewEventMsgRef = TZELMessager<TEventAddedMessage>::Subscribe(this, &TfrmMain::Messaging_NewEvent);
  FMsgCondStateChanged =
      TZELMessager<TConditionStateChangeMessage>::Subscribe(this, &TfrmMain::Messaging_ConditionStateChange);
  FPlatformPushClickedRef = TZELMessager<TPlatformFirebaseNotificationUserClicked>::Subscribe(
      this, &TfrmMain::HandlePlatformFirebaseNotificationUserClicked);
  FPushClickedRef = TZELMessager<TFirebaseNotificationUserClicked>::Subscribe(
      this, &TfrmMain::HandleFirebaseNotificationUserClicked);

  Log().Debug(cMainTag, "Main form is created!");
  FSession = std::make_unique<TZELSession>(SessionOptions());
  auto locator = Services::Container::ZELServiceLocator();
  FAppData = locator->GetService<IApplicationData>();
  FAuthService = locator->GetService<IAuthService>();
  FRESTService = locator->GetService<IZELRESTService>();

  FSession->OnSynced = [this](std::int32_t AInactive) {
    FInactConditionsCount = AInactive;
    UpdateDevicesWarnStatus();
  };
  FSession->OnSyncFailed = [this] {
    App::Result::Failed(App::Result::SessionFailed);
    Dialogs::Dialogs().ShowMessage(this, TZELSession::cSyncFailedMessage, [self = QPointer<TfrmMain>(this)] {
      if (self) self->close();
    });
  };
  FSession->OnConnected = [this](bool) {
    if (!FSwitcher.Current()) ChangeView(TView::Events);
    HideProgress();
  };

  tcViews->setCurrentWidget(FTabs[2]);
  sbtnEvents->setFocus();
}

TfrmMain::~TfrmMain() {
  ReleaseViews();
  TZELMessager<TShowToastMessageEvent>::Unsubscribe(FToastMessageRef);
  TZELMessager<TNewEventToastMessageEvent>::Unsubscribe(FToastEventMessageRef);
  TZELMessager<TEventAddedMessage>::Unsubscribe(FNewEventMsgRef);
  TZELMessager<TConditionStateChangeMessage>::Unsubscribe(FMsgCondStateChanged);
  TZELMessager<TPlatformFirebaseNotificationUserClicked>::Unsubscribe(FPlatformPushClickedRef);
  TZELMessager<TFirebaseNotificationUserClicked>::Unsubscribe(FPushClickedRef);
  FSession.reset();
  if (GfrmMain == this) GfrmMain = nullptr;
  ZEL::Toast::SetLogWriter(nullptr);
}

void TfrmMain::BuildLayout() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  tbMainForm = new QWidget(this);
  tbMainForm->setObjectName(QStringLiteral("tbMainForm"));
  tbMainForm->setAttribute(Qt::WA_StyledBackground);
  tbMainForm->setFixedHeight(41);
  auto* bar = new QHBoxLayout(tbMainForm);
  bar->setContentsMargins(3, 0, 0, 0);
  sbtnBack = new QToolButton(tbMainForm);
  sbtnBack->setObjectName(QStringLiteral("sbtnBack"));
  sbtnBack->setText(QStringLiteral("Back"));
  sbtnBack->setIcon(MenuIcon("back"));
  sbtnBack->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbtnBack->setFixedWidth(81);
  bar->addWidget(sbtnBack);
  bar->addStretch(1);
  tbMainForm->setVisible(false);
  connect(sbtnBack, &QToolButton::clicked, this, [this] { Back(); });
  root->addWidget(tbMainForm);

  pnlDetails = new QWidget(this);
  pnlDetails->setObjectName(QStringLiteral("pnlDetails"));
  pnlDetails->setAttribute(Qt::WA_StyledBackground);
  auto* details = new QVBoxLayout(pnlDetails);
  details->setContentsMargins(0, 0, 0, 0);
  details->setSpacing(0);
  root->addWidget(pnlDetails, 1);

  tcViews = new QStackedWidget(pnlDetails);
  tcViews->setObjectName(QStringLiteral("tcViews"));
  for (std::size_t i = 0; i < Decisions::cTabs.size(); ++i) {
    auto* page = new QWidget(tcViews);
    page->setObjectName(QString::fromLatin1(Decisions::cTabs[i]));
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    tcViews->addWidget(page);
    FTabs[i] = page;
  }
  details->addWidget(tcViews, 1);

  PanelBottom = new QWidget(pnlDetails);
  PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
  PanelBottom->setAttribute(Qt::WA_StyledBackground);
  PanelBottom->setFixedHeight(60);
  auto* bottom = new QVBoxLayout(PanelBottom);
  bottom->setContentsMargins(0, 0, 0, 0);
  GridPanelLayout1 = new QWidget(PanelBottom);
  GridPanelLayout1->setObjectName(QStringLiteral("GridPanelLayout1"));
  GridPanelLayout1->setFixedHeight(60);
  bottom->addWidget(GridPanelLayout1);
  auto* grid = new QGridLayout(GridPanelLayout1);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  FBottomMenu = new QButtonGroup(this);
  FBottomMenu->setObjectName(QStringLiteral("BottomMenu"));
  FBottomMenu->setExclusive(true);
  sbtnEvents = MakeMenuButton("sbtnEvents", "Alerts", "alerts", 0);
  sbtnDevices = MakeMenuButton("sbtnDevices", "Devices", "devices", 1);
  sbtnProfile = MakeMenuButton("sbtnProfile", "Profile", "profile", 2);
  grid->addWidget(sbtnEvents, 0, 0);
  grid->addWidget(sbtnDevices, 0, 1);
  grid->addWidget(sbtnProfile, 0, 2);
  grid->setColumnStretch(0, 3356);
  grid->setColumnStretch(1, 3237);
  grid->setColumnStretch(2, 3408);
  sbtnEvents->setChecked(true);
  connect(sbtnEvents, &QToolButton::clicked, this, [this] { ChangeView(TView::Events); });
  connect(sbtnDevices, &QToolButton::clicked, this, [this] { ChangeView(TView::EdgeDevcies); });
  connect(sbtnProfile, &QToolButton::clicked, this, [this] { ChangeView(TView::Profile); });
  details->addWidget(PanelBottom);

  FToast = new TZELToast(this);
  FToast->setObjectName(QStringLiteral("Toast"));
  FToast->FontSize = 13;
  FToast->BackColor = QColor(QStringLiteral("limegreen"));
  FToast->ToastMessage = "Toast";
  FToast->Delay = 3.0;
  FToast->OnAlignment = [this](TZELToast* ASender, QMargins& AMargins, QPoint& APosition) {
    ToastAlignment(ASender, AMargins, APosition);
  };
  FToast->OnClick = [this](TZELToast* ASender) { ToastClick(ASender); };
  connect(FToast, &TZELToast::Finished, this, [this] {
    if (!FPendingAlertToast) return;
    const auto [text, id] = *std::exchange(FPendingAlertToast, std::nullopt);
    ShowAlertToast(text, id);
  });
}

QToolButton* TfrmMain::MakeMenuButton(const char* AName, const char* AText, const char* AIcon, int ATag) {
  auto* button = new QToolButton(GridPanelLayout1);
  button->setObjectName(QString::fromLatin1(AName));
  button->setText(QString::fromLatin1(AText));
  button->setIcon(MenuIcon(AIcon));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setCheckable(true);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  FBottomMenu->addButton(button, ATag);
  return button;
}

void TfrmMain::SetSessionOptionsForTests(TZELSession::TOptions AOptions) { SessionOptions() = std::move(AOptions); }

void TfrmMain::SetStandInViewsForTests(bool AStandIns) { GStandInViews = AStandIns; }

void TfrmMain::RunDialog(QWidget* AStartupWindow) {
  if (TfrmMain* old = GfrmMain) {
    GfrmMain = nullptr;
    delete old;
  }
  auto* window = new TfrmMain(nullptr);
  GfrmMain = window;
  window->FStartupWindow = AStartupWindow;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowModality(Qt::ApplicationModal);
  try {
    window->show();
  } catch (...) {
    GfrmMain = nullptr;
    delete window;
    throw;
  }
}

void TfrmMain::showEvent(QShowEvent* AEvent) {
  TBaseBaseFormView::showEvent(AEvent);
  // The window system's own show (after a restore) is not a new show of the session.
  if (AEvent->spontaneous()) return;
  PopulateViews();
  ShowProgress("Syncing....", false);
  if (FSession) {
    FSession->StartSync();
    FSession->ApplyPushPreferences();
  }
}

void TfrmMain::closeEvent(QCloseEvent* AEvent) {
  AEvent->accept();
  Finish();
}

bool TfrmMain::event(QEvent* AEvent) {
  // No notification waits for the window on this desktop; activation is only logged.
  if (AEvent->type() == QEvent::WindowActivate) Log().Debug("TfrmMain.FormActivate", "ACTIVATE CALLED");
  return TBaseBaseFormView::event(AEvent);
}

void TfrmMain::Finish() {
  if (FFinished) return;
  FFinished = true;
  FreeServices();
  if (GfrmMain == this) GfrmMain = nullptr;
  // Later: the start-up window must not close inside this window's own close.
  if (QPointer<QWidget> startup = FStartupWindow) {
    QMetaObject::invokeMethod(
        qApp, [startup] {
          if (startup) startup->close();
        },
        Qt::QueuedConnection);
  }
}

void TfrmMain::FreeServices() {
  if (IFormView* current = FSwitcher.Current()) {
    if (current->NeedLeave()) current->Leave(TView::Host);
    current->HideView();
  }
  if (FSession) FSession->FreeServices();
}

void TfrmMain::ShowProgress(const std::string& AMessage, bool ASync) {
  TBaseBaseFormView::ShowProgress(AMessage, ASync);
}

void TfrmMain::HideProgress() { TBaseBaseFormView::HideProgress(); }

void TfrmMain::Signout() {
  if (auto auth = Services::Container::ZELServiceLocator()->GetService<IAuthService>()) auth->Logout(true, "");
}

void TfrmMain::PopulateViews() {
  if (FPupuplated) return;
  Log().Debug(cMainTag, "Populating views!");
  for (const Decisions::THostedView& hosted : Decisions::cHostedViews) {
    TBaseFormView* view = nullptr;
    if (hosted.View == TView::Events && !GStandInViews) {
      view = new TEventsViewForm(this);
    } else if (hosted.View == TView::EdgeDevcies && !GStandInViews) {
      view = new TEventSourcesViewForm(this);
    } else if (hosted.View == TView::Profile && !GStandInViews) {
      view = new TProfileViewForm(this);
    } else if (hosted.View == TView::EventItemDetails && !GStandInViews) {
      view = new TEventItemDetailsForm(this);
    } else if (hosted.View == TView::EventItems && !GStandInViews) {
      view = new TEventItemsForm(this);
    } else {
      const TPendingSlot slot = PendingSlotOf(hosted.View);
      view = new TPendingViewForm(slot.Caption, slot.CanGoBack, slot.WithSignOut, this);
    }
    view->InitView(hosted.View, this, tcViews->findChild<QWidget*>(QString::fromLatin1(hosted.Tab)));
    FViews[static_cast<std::size_t>(hosted.View)] = view;
    FSwitcher.SetView(hosted.View, view);
  }
  FPupuplated = true;
}

void TfrmMain::ReleaseViews() {
  FSwitcher.ReleaseAll();
  for (TBaseFormView*& view : FViews) {
    if (!view) continue;
    // Content lent to a tab lives there, not in the view.
    QWidget* content = view->FormContent();
    if (content && content != view && !view->isAncestorOf(content)) delete content;
    delete view;
    view = nullptr;
  }
}

void TfrmMain::ChangeView(TView ATo) { InternChangeView(ATo); }

void TfrmMain::InternChangeView(TView ATo) {
  TBaseFormView* target = View(ATo);
  if (!target || !FSwitcher.ChangeView(ATo)) return;
  const bool back = Decisions::BackBarVisible(target->CanGoBack());
  sbtnBack->setEnabled(back);
  sbtnBack->setVisible(back);
  tbMainForm->setVisible(back);
  if (QWidget* tab = target->ParentControl()) tcViews->setCurrentWidget(tab);
  switch (Decisions::MenuButtonOf(ATo)) {
    case Decisions::TMenuButton::Events: sbtnEvents->setChecked(true); break;
    case Decisions::TMenuButton::Devices: sbtnDevices->setChecked(true); break;
    case Decisions::TMenuButton::Profile: sbtnProfile->setChecked(true); break;
    case Decisions::TMenuButton::None: break;
  }
}

void TfrmMain::Back() {
  IFormView* current = FSwitcher.Current();
  if (!current) return;
  const Decisions::TBackStep step = Decisions::BackOf(current->GetView(), current->CanGoBack());
  switch (step.Kind) {
    case Decisions::TBackStep::TKind::ChangeView: ChangeView(step.Target); break;
    case Decisions::TBackStep::TKind::BackAction: current->BackAction(); break;
    case Decisions::TBackStep::TKind::Nothing: break;
  }
}

void TfrmMain::UpdateDevicesWarnStatus() {
  sbtnDevices->setText(QString::fromStdString(Decisions::DevicesButtonText(FInactConditionsCount)));
}

void TfrmMain::Messaging_ShowToast(TSender, const TShowToastMessageEvent& AMessage) {
  Log().DebugFmt("FToastMessageRef", "Showing toast \"{}\".", AMessage.Value());
  FToast->ToastMessage = AMessage.Value();
  FToastForAlert = false;
  FToast->Show(this);
}

void TfrmMain::Messaging_NewEventToast(TSender, const TNewEventToastMessageEvent& AMessage) {
  // Another message (a failure, most often) is read to its end; the alert's toast follows.
  // Only the latest alert waits: each new one replaces the one before, as on screen.
  if (FToast->IsShowing() && !FToastForAlert) {
    FPendingAlertToast.emplace(AMessage.Value(), AMessage.EventID());
    return;
  }
  ShowAlertToast(AMessage.Value(), AMessage.EventID());
}

void TfrmMain::ShowAlertToast(const std::string& AText, const std::string& AEventID) {
  Log().DebugFmt("FToastEventMessageRef", "Showing toast \"{}\" for event \"{}\"", AText, AEventID);
  FToast->LinkData(std::make_shared<TMessage<std::string>>(AEventID), true);
  FToast->ToastMessage = AText;
  FToastForAlert = true;
  FToast->Show(this);
}

void TfrmMain::Messaging_NewEvent(TSender, const TEventAddedMessage& AMessage) {
  TZELEvent* event = AMessage.Value();
  if (!event) return;
  Log().DebugFmt("TfrmMain.Messaging_NewEvent", "Event \"{}\" added from HTTP/MQTT.", event->ID());
  if (Decisions::ToastForNewAlert(CurrentView())) TZELUINotification::ShowNewEventToast(*event);
}

void TfrmMain::Messaging_ConditionStateChange(TSender, const TConditionStateChangeMessage&) {
  // Counted afresh from the edges: the same condition reported twice counts once.
  if (auto edges = FSession ? FSession->EdgeService() : nullptr) FInactConditionsCount = edges->InactiveConditionsCount();
  UpdateDevicesWarnStatus();
}

void TfrmMain::HandlePlatformFirebaseNotificationUserClicked(TSender,
                                                             const TPlatformFirebaseNotificationUserClicked&) {
  Log().Debug("TfrmMain.HandlePushMessageClicked", "Processing clicked push");
}

void TfrmMain::HandleFirebaseNotificationUserClicked(TSender, const TFirebaseNotificationUserClicked& AMessage) {
  Log().Debug("TfrmMain.HandlePushMessageClicked", "Processing clicked push = " + AMessage.Value().Json.dump());
  const std::string id = Decisions::ProcessPushNotification(&AMessage.Value());
  if (id.empty()) return;
  if (auto events = FSession ? FSession->EventsService() : nullptr) events->SetDetailedEvent(id);
  ChangeView(TView::EventItems);
}

void TfrmMain::ToastClick(TZELToast* ASender) {
  constexpr std::string_view tag = "TfrmMain.ToastClick";
  if (ASender != FToast) return;
  Log().DebugFmt(tag, "Clicked on toast \"{}\"", FToast->ToastMessage);
  if (!FToast->HasLinkedData()) {
    Log().Debug(tag, "Toast has no linked data!");
    return;
  }
  const std::string id = FToast->LinkedData<TMessage<std::string>>()->Value();
  Log().DebugFmt(tag, "Toast provided EventID = \"{}\"!", id);
  if (id.empty()) return;
  if (auto events = FSession ? FSession->EventsService() : nullptr) events->SetDetailedEvent(id);
  ChangeView(TView::EventItems);
}

void TfrmMain::ToastAlignment(TZELToast* ASender, QMargins& AMargins, QPoint&) {
  if (ASender != FToast || FToast->Align != TToastAlign::Bottom) return;
  AMargins.setBottom(Decisions::ToastBottomMargin(PanelBottom->height()));
}

}  // namespace ZEL

namespace ZEL::Forms::Main {

TfrmMain* frmMain() { return GfrmMain; }

}  // namespace ZEL::Forms::Main
