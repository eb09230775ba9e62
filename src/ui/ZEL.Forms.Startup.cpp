#include "ZEL.Forms.Startup.h"

#include "ZEL.App.Result.h"
#include "ZEL.ApplicationData.h"
#include "ZEL.Dialogs.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Services.Factory.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.Style.h"
#include "ZEL.UIThread.h"
#include "ZEL.Utils.h"
#include "ZEL.View.Authorize.h"
#include "ZEL.View.Login.h"
#include "ZEL.View.Register.h"
#include "ZEL.Views.Types.h"


#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace ZEL {

namespace {

constexpr std::string_view cSetupTag = "TZELMainActivity.SetupServices";
constexpr std::string_view cTimerTag = "TZELMainActivity.Timer1Timer";
constexpr int cVersionHeight = 17;

const char* BoolText(bool AValue) { return AValue ? "True" : "False"; }

// The resolved service, or none when it is not registered or has no instance.
template <class I>
std::shared_ptr<I> Resolve() {
  try {
    return Services::Container::GlobalServiceLocator()->GetService<I>();
  } catch (const EIocResolverError&) {
    return nullptr;
  }
}

void InstallClipboard() {
  Utils::SetClipboardSetter([](const std::string& AText) {
    UIThread::RunSync([&AText] {
      if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::clipboard()->setText(QString::fromStdString(AText));
    });
  });
}

}  // namespace

TStartupServiceFactories TStartupServiceFactories::Default() {
  return {[] { return std::shared_ptr<IApplicationData>(std::make_shared<TApplicationData>()); },
          [] { return std::shared_ptr<IAuthService>(std::make_shared<TAuthService>()); },
          [] { return std::shared_ptr<IZELRESTService>(std::make_shared<TZELRESTService>()); }};
}

// The authentication service raises its start event on the token keeper's thread during a
// silent refresh. The overlay work is handed to the UI thread and waited for, but the wait
// ends when the window goes: the window's end may wait for that very thread.
struct TZELMainActivity::THandOff : std::enable_shared_from_this<THandOff> {
  QPointer<TZELMainActivity> Window;  // read on the UI thread only

  // Runs AWork with the window on the UI thread, at once when called there; nothing once
  // the window is gone.
  void Run(std::function<void(TZELMainActivity&)> AWork) {
    if (UIThread::IsUIThread()) {
      if (TZELMainActivity* LWindow = Window.data()) AWork(*LWindow);
      return;
    }
    UIThread::RunSync(
        [Self = shared_from_this(), Work = std::move(AWork)] {
          if (TZELMainActivity* LWindow = Self->Window.data())
            ExceptionReporter::Guarded("TZELMainActivity.OnUserAuthProcessStart", [&] { Work(*LWindow); });
        },
        FCancel);
  }

  void Close() { FCancel->Cancel(); }

private:
  std::shared_ptr<UIThread::TCancel> FCancel = std::make_shared<UIThread::TCancel>();
};

TZELMainActivity::TZELMainActivity(TStartupServiceFactories AFactories, QWidget* AParent)
    : TBaseBaseFormView(AParent), FFactories(std::move(AFactories)), FHandOff(std::make_shared<THandOff>()) {
  FHandOff->Window = this;
  setObjectName("ZELMainActivity");
  setWindowTitle(QStringLiteral("Tarvelo Systems"));
  resize(ClientWidth, ClientHeight);
  if (auto* LApp = qobject_cast<QApplication*>(QCoreApplication::instance())) Style::Apply(*LApp);
  InstallClipboard();

  lyContainer = new QWidget(this);
  lyContainer->setObjectName("lyContainer");
  rectContainer = new QWidget(this);
  rectContainer->setObjectName("rectContainer");
  rectContainer->setAttribute(Qt::WA_StyledBackground);
  rectContainer->setStyleSheet("#rectContainer { background-color: #F0F8FF; }");  // AliceBlue
  auto* LLayout = new QVBoxLayout(rectContainer);
  LLayout->setContentsMargins(0, 0, 0, 0);
  LLayout->setSpacing(0);

  lbVersion = new QLabel(QStringLiteral("Version: 0.0.1 (a2fdd3d)"), this);
  lbVersion->setObjectName("lbVersion");
  lbVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lbVersion->setFixedHeight(cVersionHeight);
  lbVersion->setCursor(Qt::PointingHandCursor);
  lbVersion->installEventFilter(this);

  tmrMainClose = new QTimer(this);
  tmrMainClose->setObjectName("tmrMainClose");
  tmrMainClose->setInterval(CloseDelayMs);
  tmrMainClose->setSingleShot(true);
  connect(tmrMainClose, &QTimer::timeout, this, &TZELMainActivity::tmrMainCloseTimer);

  // FormCreate
  lbVersion->setText(QString::fromStdString(Utils::GetAppVersionInfo()));
  CreateViews();
  // Before the global services are made: loading the settings may write them.
  FSettingsNotSavedRef =
      TZELMessager<TSettingsNotSavedMessage>::Subscribe(this, &TZELMainActivity::Messaging_SettingsNotSaved);

  if (QScreen* LScreen = screen()) move(LScreen->availableGeometry().center() - rect().center());
}

TZELMainActivity::~TZELMainActivity() {
  TZELMessager<TSettingsNotSavedMessage>::Unsubscribe(FSettingsNotSavedRef);
  FHandOff->Close();
  tmrMainClose->stop();
  // The shown view's content goes back to its view, so each view frees its own.
  if (IFormView* LCurrent = FSwitcher.Current()) LCurrent->HideView();
  for (auto& LView : FViews) LView.reset();
  // FormDestroy
  Services::Container::FreeGlobalServiceLocator();
}

void TZELMainActivity::CreateViews() {
  const auto LAdd = [this](TView AView, std::unique_ptr<TBaseFormView> AForm) {
    AForm->InitView(AView, this, rectContainer);
    FSwitcher.SetView(AView, AForm.get());
    FViews[static_cast<std::size_t>(AView)] = std::move(AForm);
  };
  LAdd(TView::Authorize, std::make_unique<TAuthorizeViewForm>());
  LAdd(TView::Login, std::make_unique<TLoginForm>());
  LAdd(TView::Register, std::make_unique<TRegisterForm>());
}

TBaseFormView* TZELMainActivity::View(TView AView) const { return FViews[static_cast<std::size_t>(AView)].get(); }

TBaseFormView* TZELMainActivity::CurrentFormView() const {
  IFormView* LCurrent = FSwitcher.Current();
  return LCurrent ? View(LCurrent->GetView()) : nullptr;
}

void TZELMainActivity::resizeEvent(QResizeEvent* AEvent) {
  TBaseBaseFormView::resizeEvent(AEvent);
  lyContainer->setGeometry(rect());
  rectContainer->setGeometry(rect());
  // At the very bottom, right margin 3, bottom margin 1, over the views.
  lbVersion->setGeometry(0, height() - cVersionHeight - 1, width() - 3, cVersionHeight);
  lbVersion->raise();
}

bool TZELMainActivity::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == lbVersion && AEvent->type() == QEvent::MouseButtonRelease) {
    lbVersionClick();
    return true;
  }
  return TBaseBaseFormView::eventFilter(AWatched, AEvent);
}

void TZELMainActivity::closeEvent(QCloseEvent* AEvent) {
  TBaseBaseFormView::closeEvent(AEvent);
  if (AEvent->isAccepted()) emit Closed();
}

void TZELMainActivity::ShowProgress(const std::string& AMessage, bool ASync) {
  TBaseBaseFormView::ShowProgress(AMessage, ASync);
}

void TZELMainActivity::HideProgress() { TBaseBaseFormView::HideProgress(); }

void TZELMainActivity::Back() {
  IFormView* LCurrent = FSwitcher.Current();
  if (!LCurrent) return;
  const TView LView = LCurrent->GetView();
  if ((LView == TView::Login || LView == TView::Register) && LCurrent->CanGoBack()) ChangeView(TView::Authorize);
}

void TZELMainActivity::ChangeView(TView ATo) { FSwitcher.ChangeView(ATo); }

bool TZELMainActivity::SetupServices() {
  ILogWriter& LLog = LogsPipe::ZELLog();
  LLog.Debug(cSetupTag, "START");
  LLog.Debug(cSetupTag, "Setting up global container...");
  TIocContainer& LContainer = GlobalContainer();
  Services::Factory::RegisterLogged<IApplicationData>(LContainer, std::string(cSetupTag), "TApplicationData",
                                                      FFactories.AppData);
  Services::Factory::RegisterLogged<IAuthService>(LContainer, std::string(cSetupTag), "TAuthService", FFactories.Auth);
  Services::Factory::RegisterLogged<IZELRESTService>(LContainer, std::string(cSetupTag), "TZELRESTService",
                                                     FFactories.REST);
  LContainer.Build();
  LLog.Debug(cSetupTag, "Setting up global container... done.");

  FAppData = Resolve<IApplicationData>();
  LLog.DebugFmt(cSetupTag, "FAppData assigned = {}", BoolText(FAppData != nullptr));
  FAuthService = Resolve<IAuthService>();
  LLog.DebugFmt(cSetupTag, "FAuthService assigned = {}", BoolText(FAuthService != nullptr));
  FRESTService = Resolve<IZELRESTService>();
  LLog.DebugFmt(cSetupTag, "FRESTService assigned = {}", BoolText(FRESTService != nullptr));

  std::vector<std::string> LMissing;
  if (!FAppData) LMissing.emplace_back(IApplicationData::TypeName);
  if (!FAuthService) LMissing.emplace_back(IAuthService::TypeName);
  if (!FRESTService) LMissing.emplace_back(IZELRESTService::TypeName);
  if (!LMissing.empty()) {
    std::string LNames;
    for (const std::string& LName : LMissing) LNames += (LNames.empty() ? "" : ", ") + LName;
    EndForMissingServices(LNames);
    LLog.Debug(cSetupTag, "END");
    return false;
  }
  AttachAuthHandlers();
  LLog.Debug(cSetupTag, "END");
  return true;
}

void TZELMainActivity::AttachAuthHandlers() {
  auto* LAuth = dynamic_cast<TAuthService*>(FAuthService.get());
  if (!LAuth) return;  // a stand-in: its events are raised by calling the handlers
  // The service may outlive this window: each handler finds the window through a guard,
  // read on the UI thread only.
  const std::shared_ptr<THandOff> LHandOff = FHandOff;
  LAuth->OnAuthStart = [LHandOff](IAuthService* ASender, TAuthServiceState AState) {
    LHandOff->Run([ASender, AState](TZELMainActivity& AWindow) { AWindow.OnUserAuthProcessStart(ASender, AState); });
  };
  LAuth->OnLoginSuccess = [LHandOff](IAuthService* ASender) {
    if (TZELMainActivity* LWindow = LHandOff->Window.data()) LWindow->OnUserLoggedIn(ASender);
  };
  LAuth->OnLoginFailure = [LHandOff](IAuthService* ASender, TAuthServiceState AState, const std::string& AReason) {
    if (TZELMainActivity* LWindow = LHandOff->Window.data()) LWindow->OnUserLoggedOut(ASender, AState, AReason);
  };
}

void TZELMainActivity::EndForMissingServices(const std::string& AMissing) {
  // Error, not Fatal: a factory that raised has logged its Fatal line already.
  LogsPipe::ZELLog().ErrorFmt(cSetupTag, "Global services could not be made: {}. The application ends.", AMissing);
  App::Result::Failed(App::Result::StartFailed);
  QPointer<TZELMainActivity> LSelf(this);
  Dialogs::Dialogs().ShowMessage(this, ServicesMissingText, [LSelf] {
    if (LSelf) LSelf->close();
  });
}

void TZELMainActivity::OnUserAuthProcessStart(IAuthService*, TAuthServiceState AState) {
  // From any thread: the overlay is shown on the UI thread.
  FHandOff->Run([AState](TZELMainActivity& AWindow) { AWindow.ShowProgress(SignIn::AuthStartText(AState), false); });
}

void TZELMainActivity::OnUserLoggedIn(IAuthService*) {
  ShowProgress("Authorized.", false);
  HideProgress();
  // One session at a time: a second success while the main window is open opens nothing.
  if (Forms::Main::frmMain()) return;
  TfrmMain::RunDialog(this);
}

void TZELMainActivity::OnUserLoggedOut(IAuthService*, TAuthServiceState, const std::string& AReason) {
  ShowProgress("User logging out...", false);
  FLoggingOut = true;
  if (TfrmMain* LMain = Forms::Main::frmMain()) {
    // The session ends, and with it the program: by a failure unless the user signed out.
    if (!FAuthService || !FAuthService->GetIsSignoutByUser()) App::Result::Failed(App::Result::SessionFailed);
    LMain->FreeServices();
    tmrMainClose->start();
  }
  ActivateSelf();
  const SignIn::TSignOutMessage LMessage = SignIn::SignOutMessage(AReason);
  QPointer<TZELMainActivity> LSelf(this);
  auto LFinish = [LSelf, LForget = LMessage.ForgetToken] {
    if (LSelf) LSelf->FinishSignOut(LForget);
  };
  if (LMessage.Text) {
    // No spinner turns under the message: the attempt is over.
    HideProgress();
    Dialogs::Dialogs().ShowMessage(this, *LMessage.Text, std::move(LFinish));
  } else {
    LFinish();
  }
}

void TZELMainActivity::FinishSignOut(bool AForgetToken) {
  const bool LByUser = FAuthService && FAuthService->GetIsSignoutByUser();
  // Once: each forget writes the file, and a write that fails is told to the user.
  if (AForgetToken || LByUser) ForgetToken();
  if (LByUser) ActivateSelf();
  ChangeView(TView::Authorize);
  HideProgress();
  FLoggingOut = false;
  if (FCloseDue) tmrMainCloseTimer();
}

void TZELMainActivity::ForgetToken() {
  if (!FAppData) return;
  FAppData->ForgetSavedFBToken();
  ApplicationData::WriteOrReport("TZELMainActivity.ForgetToken", [this] { FAppData->SaveSettings(); });
}

void TZELMainActivity::Messaging_SettingsNotSaved(TSender, const TSettingsNotSavedMessage& AMessage) {
  // Later, on the UI thread: the write may run inside a constructor or a show event.
  UIThread::RunAsync([LSelf = QPointer<TZELMainActivity>(this), LText = AMessage.Value()] {
    if (!LSelf) return;
    QWidget* LParent = Forms::Main::frmMain();
    Dialogs::Dialogs().ShowMessage(LParent ? LParent : LSelf.data(), LText, {});
  });
}

void TZELMainActivity::ActivateSelf() {
  if (!isActiveWindow()) activateWindow();
}

void TZELMainActivity::tmrMainCloseTimer() {
  ILogWriter& LLog = LogsPipe::ZELLog();
  LLog.DebugFmt(cTimerTag, "Self.visible = {}", BoolText(isVisible()));
  LLog.DebugFmt(cTimerTag, "Self.Active = {}", BoolText(isActiveWindow()));
  tmrMainClose->stop();
  // The session ends only once the sign-out's message is closed: the handler closes the
  // main window itself when it is done.
  FCloseDue = FLoggingOut;
  if (FCloseDue) return;
  if (TfrmMain* LMain = Forms::Main::frmMain()) LMain->close();
  HideProgress();
}

void TZELMainActivity::lbVersionClick() { Utils::CopyVersionInfoToUser(); }

}  // namespace ZEL
