// The start-up window and data module over stand-in services: the global services' set-up
// and its failure, the sign-in view switching, the overlay texts while a sign-in runs, the
// sign-out handler for each kind of reason, and how a session's end waits for its message.

#include "TestSupport.h"
#include "ZEL.App.Result.h"
#include "ZEL.App.Run.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.DM.Startup.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.Frames.Wait.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.Utils.h"
#include "ZEL.Register.Decisions.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.View.Authorize.h"
#include "ZEL.View.Register.h"
#include "services/ZEL.Session.Fakes.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using Forms::Main::frmMain;

constexpr const char* cGuidA = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";
constexpr const char* cUnavailable = "Services is not available now. Please try again later.";

class TTokenAppData : public ZT::TFakeApplicationData {
public:
  std::string GetFirebaseRefreshToken() override { return Token; }
  void ForgetSavedFBToken() override {
    Token.clear();
    Calls.push_back("Forget");
  }
  void SaveSettings() override { Calls.push_back("Save"); }
  std::string Token;
  std::vector<std::string> Calls;
};

class TStartupAuth : public ZT::TRecordAuthService {
public:
  bool GetIsSignoutByUser() override { return ByUser; }
  void AuthWithToken(const std::string& AToken, bool ASilent) override {
    Calls.push_back("AuthWithToken(" + AToken + "," + (ASilent ? "true" : "false") + ")");
  }
  // Called on a pool thread; waits while held.
  bool ValidateInviteCode(const std::string&) override {
    ++InviteChecks;
    while (HoldInvite) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return false;
  }
  bool ByUser = false;
  std::vector<std::string> Calls;
  std::atomic<int> InviteChecks{0};
  std::atomic<bool> HoldInvite{false};
};

// Records, for each box, whether the window's overlay was showing beneath it.
class TOverlayWatchingDialogs : public ZT::TAnsweringDialogs {
public:
  explicit TOverlayWatchingDialogs(TZELMainActivity* AWindow) : FWindow(AWindow) {}
  void ShowMessage(QWidget* AParent, const std::string& AText, std::function<void()> AOnClosed) override {
    TWaitFrame* LFrame = FWindow ? FWindow->Overlay() : nullptr;
    OverlayBeneath.push_back(LFrame && LFrame->isVisible());
    ZT::TAnsweringDialogs::ShowMessage(AParent, AText, std::move(AOnClosed));
  }
  std::vector<bool> OverlayBeneath;

private:
  QPointer<TZELMainActivity> FWindow;
};

// Keeps each box open until the test closes it.
class THeldDialogs : public IDialogService {
public:
  void ShowMessage(QWidget*, const std::string& AText, std::function<void()> AOnClosed) override {
    Shown.push_back(AText);
    Open.push_back(std::move(AOnClosed));
  }
  void CloseAll() override {
    while (!Open.empty()) CloseFirst();
  }
  void CloseFirst() {
    std::function<void()> LDone = std::move(Open.front());
    Open.erase(Open.begin());
    if (LDone) LDone();
  }
  std::vector<std::string> Shown;
  std::vector<std::function<void()>> Open;
};

void DeleteLaterNow() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class StartupWindow : public ::testing::Test {
protected:
  void SetUp() override {
    G.REST->Edges = nlohmann::ordered_json::array({ZT::MakeEdge("EDGE-A", cGuidA, "a", {1})});
    TfrmMain::SetSessionOptionsForTests(G.Options());
    // Registered afresh by the window, in its own order.
    GlobalContainer().Unregister<IZELRESTService>();
    GlobalContainer().Unregister<IAuthService>();
    Window = new TZELMainActivity(Factories());
    Window->show();
  }
  void TearDown() override {
    Dialogs::SetDialogService(nullptr);
    delete frmMain();
    DeleteLaterNow();
    delete Window.data();
    TfrmMain::SetSessionOptionsForTests({});
    GlobalContainer().Unregister<IApplicationData>();
    GlobalContainer().Unregister<IFirebaseCloudMessaging>();
  }

  TStartupServiceFactories Factories() {
    return {[d = Data] { return std::shared_ptr<IApplicationData>(d); },
            [a = Auth] { return std::shared_ptr<IAuthService>(a); },
            [r = G.REST] { return std::shared_ptr<IZELRESTService>(r); }};
  }
  std::vector<std::string> Messages(const char* ATag) const {
    std::vector<std::string> LOut;
    for (const auto& LEntry : Log.WithTag(ATag)) LOut.push_back(LEntry.Message);
    return LOut;
  }
  std::string OverlayText() const {
    TWaitFrame* LFrame = Window->Overlay();
    return LFrame && LFrame->isVisible() ? LFrame->MessageText() : std::string("<hidden>");
  }
  TView Current() const {
    TBaseFormView* LView = Window->CurrentFormView();
    return LView ? LView->GetView() : TView::Host;
  }
  // Signs in (as far as the window sees it) and waits until the session has synced.
  void OpenSession() {
    ASSERT_TRUE(Window->SetupServices());
    Window->OnUserLoggedIn(Auth.get());
    ASSERT_NE(frmMain(), nullptr);
    ASSERT_TRUE(ZT::WaitUntil([this] { return G.MQTT->Connects == 1; }));
    Data->Calls.clear();
  }

  ZT::TSessionGlobals G;
  std::shared_ptr<TTokenAppData> Data = std::make_shared<TTokenAppData>();
  std::shared_ptr<TStartupAuth> Auth = std::make_shared<TStartupAuth>();
  QPointer<TZELMainActivity> Window;
  LogsPipe::TLogCapture Log;
};

TEST_F(StartupWindow, DataModuleSetsUpServicesChannelsAndSignsInWithTheSavedToken) {
  Data->Token = "saved-refresh-token";
  auto LModule = std::make_unique<TDMStartup>(Window);

  EXPECT_EQ(Messages("DMStartup"), (std::vector<std::string>{"Creating...", "I was born!"}));
  EXPECT_EQ(Messages("TZELMainActivity.SetupServices"),
            (std::vector<std::string>{"START", "Setting up global container...", "Creating TApplicationData...",
                                      "Creating TApplicationData... done.", "Creating TAuthService...",
                                      "Creating TAuthService... done.", "Creating TZELRESTService...",
                                      "Creating TZELRESTService... done.", "Setting up global container... done.",
                                      "FAppData assigned = True", "FAuthService assigned = True",
                                      "FRESTService assigned = True", "END"}));
  EXPECT_NE(Services::Container::GlobalServiceLocator()->GetService<IFirebaseCloudMessaging>(), nullptr);
  EXPECT_EQ(Window->AppData(), Data);
  EXPECT_EQ(Window->AuthService(), Auth);
  EXPECT_EQ(Window->RESTService(), G.REST);

  std::vector<std::string> LChannels;
  for (const TNotificationChannel& C : LModule->NotificationCenter.Channels())
    LChannels.push_back(C.Id + "|" + C.Title + "|" + C.Description + "|" +
                        std::string(NotificationCenter::ToString(C.LockscreenVisibility)));
  EXPECT_EQ(LChannels, (std::vector<std::string>{"zeldefault|Default|Other uncategorized notifications.|Public",
                                                 "Events|Events|New events (alarms).|Private",
                                                 "EventUpdates|Updates|Event acknowledgement.|Private"}));

  // The first view, entered from no view, signs in at once with the saved token.
  EXPECT_EQ(Current(), TView::Authorize);
  EXPECT_EQ(Auth->Calls, std::vector<std::string>{"AuthWithToken(saved-refresh-token,false)"});

  LModule->NotificationCenter.RequestPermission();
  LModule->NotificationCenter.PresentNotification({"alarm", "Gate", 7, true, "Events"});
  LModule->NotificationCenter.PresentNotification({"", "", 0, false, "zeldefault"});
  EXPECT_EQ(Messages("Notifications Center").size(), 6u);  // three channels, three events
  const std::vector<std::string> LEvents = [&] {
    auto LAll = Messages("Notifications Center");
    return std::vector<std::string>(LAll.end() - 3, LAll.end());
  }();
  EXPECT_EQ(LEvents, (std::vector<std::string>{
                         "Grant to notifications center = True",
                         "Received a notification: \r\nName: \"alarm\"\r\nTitle: \"Gate\"\r\nNumber: \"7\"\r\n"
                         "HasAction: \"-1\"\r\nChannel ID: \"Events\"",
                         "Received a notification: \r\nName: \"\"\r\nTitle: \"\"\r\nNumber: \"0\"\r\n"
                         "HasAction: \"0\"\r\nChannel ID: \"zeldefault\""}));
  LModule.reset();
  EXPECT_EQ(Messages("DMStartup").back(), "I died successfully!");
}

TEST_F(StartupWindow, ViewSwitchLeavesTheCurrentViewAlwaysAndBackLeadsToAuthorize) {
  ASSERT_TRUE(Window->SetupServices());
  Data->Token = "tok";
  auto* LAuthorize = static_cast<TAuthorizeViewForm*>(Window->View(TView::Authorize));
  Window->ChangeView(TView::Authorize);
  // Authorize again: left and entered from itself, so no second sign-in; the card offers the token.
  Window->ChangeView(TView::Authorize);
  EXPECT_EQ(Auth->Calls, std::vector<std::string>{"AuthWithToken(tok,false)"});
  EXPECT_TRUE(LAuthorize->NeedLeave());
  EXPECT_EQ(LAuthorize->btnLogin->text(), "Log-in with saved token.");
  Data->Token.clear();
  Window->ChangeView(TView::Authorize);
  EXPECT_EQ(LAuthorize->btnLogin->text(), "Enter credentials");

  struct TStep {
    const char* Action;
    TView Expected;
  };
  const TStep LSteps[] = {{"Login", TView::Login},       {"Back", TView::Authorize}, {"Back", TView::Authorize},
                          {"Register", TView::Register}, {"Back", TView::Authorize}, {"Login", TView::Login},
                          {"Authorize", TView::Authorize}};
  for (const TStep& LStep : LSteps) {
    const TView LBefore = Current();
    const std::string LAction = LStep.Action;
    if (LAction == "Back") {
      Window->Back();
    } else {
      Window->ChangeView(LAction == "Login" ? TView::Login : LAction == "Register" ? TView::Register : TView::Authorize);
    }
    ASSERT_EQ(Current(), LStep.Expected) << LAction << " from " << ToString(LBefore);
    // Only the current view is active and lends its content to the window.
    for (TView LView : {TView::Authorize, TView::Login, TView::Register}) {
      TBaseFormView* LForm = Window->View(LView);
      ASSERT_NE(LForm, nullptr);
      EXPECT_EQ(LForm->NeedLeave(), LView == LStep.Expected) << ToString(LView);
      EXPECT_EQ(LForm->FormContent()->parentWidget() == Window->rectContainer, LView == LStep.Expected)
          << ToString(LView);
    }
  }
  EXPECT_EQ(Auth->Calls.size(), 1u);
}

TEST_F(StartupWindow, SignInStartShowsTheStateTextAlsoFromAWorkerThread) {
  const std::pair<TAuthServiceState, const char*> LCases[] = {
      {TAuthServiceState::asLogin, "Logging into existing account.."},
      {TAuthServiceState::asLoginViaToken, "Authorizing session..."},
      {TAuthServiceState::asRegister, "Creating new profile..."},
      {TAuthServiceState::asLogout, "Auth state [asLogout]..."}};
  for (const auto& [LState, LText] : LCases) {
    Window->OnUserAuthProcessStart(Auth.get(), LState);
    EXPECT_EQ(OverlayText(), LText);
  }
  Window->HideProgress();

  // The token keeper's thread: the overlay is up by the time the call returns there.
  std::atomic<bool> LReturned{false};
  std::thread LKeeper([&] {
    Window->OnUserAuthProcessStart(Auth.get(), TAuthServiceState::asExpireTokenRefresh);
    LReturned = true;
  });
  const bool LDone = ZT::WaitUntil([&] { return LReturned.load(); });
  LKeeper.join();
  ASSERT_TRUE(LDone);
  EXPECT_EQ(OverlayText(), "Auth state [asExpireTokenRefresh]...");
}

TEST_F(StartupWindow, WorkerWaitingForTheOverlayIsReleasedWhenTheWindowGoes) {
  // The UI thread does not turn while the window is freed: the worker must not wait for it.
  std::atomic<bool> LReturned{false};
  std::thread LKeeper([&] {
    Window->OnUserAuthProcessStart(Auth.get(), TAuthServiceState::asExpireTokenRefresh);
    LReturned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  delete Window.data();
  LKeeper.join();  // hangs here when the worker still waits
  EXPECT_TRUE(LReturned);
  QCoreApplication::processEvents();  // the queued overlay work finds no window
}

TEST_F(StartupWindow, SignOutHandlerByReason) {
  ASSERT_TRUE(Window->SetupServices());
  struct TCase {
    const char* Reason;
    bool ByUser;
    const char* Shown;  // nullptr: no box
    std::vector<std::string> TokenCalls;
  };
  const TCase LCases[] = {
      // An identity-service code becomes its sentence and the saved token is forgotten.
      {"INVALID_PASSWORD", false, "Provided passoword is incorrect.", {"Forget", "Save"}},
      {"  invalid_password : too many tries", false, "Provided passoword is incorrect.", {"Forget", "Save"}},
      // Any other reason is shown as it is and the token kept.
      {cUnavailable, false, cUnavailable, {}},
      {"  The backend refused the user.  ", false, "  The backend refused the user.  ", {}},
      // Blank: nothing to show.
      {"", false, nullptr, {}},
      {" \t ", false, nullptr, {}},
      // The user's own sign-out forgets the token without a message.
      {"", true, nullptr, {"Forget", "Save"}},
  };
  QSignalSpy LClosed(Window.data(), &TZELMainActivity::Closed);
  App::Result::Take();
  for (const TCase& LCase : LCases) {
    ZT::TDialogsInPlace LDialogs;
    Data->Calls.clear();
    Data->Token = "tok";
    Auth->ByUser = LCase.ByUser;
    Window->ChangeView(TView::Login);
    Window->OnUserLoggedOut(Auth.get(), TAuthServiceState::asLogin, LCase.Reason);

    const std::vector<std::string> LShown = LCase.Shown ? std::vector<std::string>{LCase.Shown} : std::vector<std::string>{};
    EXPECT_EQ(LDialogs.Service->Shown, LShown) << "[" << LCase.Reason << "]";
    EXPECT_EQ(Data->Calls, LCase.TokenCalls) << "[" << LCase.Reason << "]";
    EXPECT_EQ(Current(), TView::Authorize);
    EXPECT_EQ(OverlayText(), "<hidden>");
    EXPECT_FALSE(Window->LoggingOut());
    // Without a session nothing is to be closed: the program keeps running.
    EXPECT_FALSE(Window->tmrMainClose->isActive());
  }
  QTest::qWait(300);
  EXPECT_EQ(LClosed.count(), 0);
  EXPECT_TRUE(Window->isVisible());
  // A failed sign-in attempt is no failure of the program: the user may try again.
  EXPECT_EQ(App::Result::Take(), App::Result::UserEnded);
}

TEST_F(StartupWindow, FailureMessageShowsWithoutTheOverlayBeneath) {
  ASSERT_TRUE(Window->SetupServices());
  auto LDialogs = std::make_shared<TOverlayWatchingDialogs>(Window.data());
  Dialogs::SetDialogService(LDialogs);
  for (const char* LReason : {"INVALID_PASSWORD", cUnavailable}) {
    Window->ChangeView(TView::Login);
    Window->OnUserAuthProcessStart(Auth.get(), TAuthServiceState::asLogin);
    ASSERT_EQ(OverlayText(), "Logging into existing account..");
    Window->OnUserLoggedOut(Auth.get(), TAuthServiceState::asLogin, LReason);
  }
  EXPECT_EQ(LDialogs->Shown.size(), 2u);
  EXPECT_EQ(LDialogs->OverlayBeneath, (std::vector<bool>{false, false}));
  EXPECT_EQ(OverlayText(), "<hidden>");
  EXPECT_EQ(Current(), TView::Authorize);
}

TEST_F(StartupWindow, KeysUnderTheInvitationCheckReachNothing) {
  ZT::TDialogsInPlace LDialogs;
  ASSERT_TRUE(Window->SetupServices());
  Window->ChangeView(TView::Register);
  auto* LRegister = static_cast<TRegisterForm*>(Window->View(TView::Register));
  Window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.data()));
  QTest::keyClicks(LRegister->editInvCode, "123456");
  LRegister->btnProcessRegister->setFocus();
  Auth->HoldInvite = true;
  // Space on the focused "Next", as the keyboard sends it: the check starts under the overlay.
  QTest::keyClick(Window->windowHandle(), Qt::Key_Space);
  ASSERT_EQ(OverlayText(), "Verifying invitation code...");
  ASSERT_TRUE(ZT::WaitUntil([this] { return Auth->InviteChecks == 1; }));
  for (const Qt::Key LKey : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Space, Qt::Key_1})
    QTest::keyClick(Window->windowHandle(), LKey);
  EXPECT_EQ(QApplication::focusWidget(), Window->Overlay());
  Auth->HoldInvite = false;
  ASSERT_TRUE(ZT::WaitUntil([this] { return OverlayText() == "<hidden>"; }));
  QTest::qWait(50);
  EXPECT_EQ(Auth->InviteChecks, 1);
  EXPECT_EQ(LDialogs.Service->Shown, std::vector<std::string>{Register::InvalidCodeText});
  EXPECT_EQ(LRegister->editInvCode->text(), "123456");
  EXPECT_EQ(QApplication::focusWidget(), LRegister->btnProcessRegister);  // the focus is back
}

TEST_F(StartupWindow, NoTextShowsADoubledApostrophe) {
  // A doubled apostrophe is an escape of a string syntax, never a text a user is shown.
  ASSERT_TRUE(Window->SetupServices());
  std::vector<std::string> LTexts;
  const auto LCollect = [&LTexts](QWidget* ARoot) {
    QList<QWidget*> LAll = ARoot->findChildren<QWidget*>();
    LAll.prepend(ARoot);
    for (QWidget* LWidget : LAll) {
      LTexts.push_back(LWidget->windowTitle().toStdString());
      LTexts.push_back(LWidget->toolTip().toStdString());
      if (auto* LLabel = qobject_cast<QLabel*>(LWidget)) LTexts.push_back(LLabel->text().toStdString());
      if (auto* LButton = qobject_cast<QAbstractButton*>(LWidget)) LTexts.push_back(LButton->text().toStdString());
      if (auto* LEdit = qobject_cast<QLineEdit*>(LWidget)) LTexts.push_back(LEdit->placeholderText().toStdString());
    }
  };
  // Each view in each of its states: the Authorize card with and without a saved token.
  for (const char* LToken : {"", "tok"}) {
    Data->Token = LToken;
    for (TView LView : {TView::Authorize, TView::Login, TView::Register, TView::Authorize}) {
      Window->ChangeView(LView);
      LCollect(Window.data());
    }
  }
  // The texts the views and the window decide without widgets.
  for (const TAuthServiceState LState : {TAuthServiceState::asLogin, TAuthServiceState::asLoginViaToken,
                                          TAuthServiceState::asRegister, TAuthServiceState::asExpireTokenRefresh})
    LTexts.push_back(SignIn::AuthStartText(LState));
  for (const bool LSaved : {false, true}) {
    const SignIn::TAuthorizeEntry LEntry = SignIn::AuthorizeOnEnter(TView::Login, LSaved);
    LTexts.push_back(LEntry.LoginNote);
    LTexts.push_back(LEntry.LoginButton);
  }
  for (const char* LText : {Register::InvalidCodeText, Register::NoRecordText, Register::NoEmailText,
                            Register::VerifyingText, TZELMainActivity::ServicesMissingText})
    LTexts.push_back(LText);
  ASSERT_GT(LTexts.size(), 40u);
  for (const std::string& LText : LTexts) EXPECT_EQ(LText.find("''"), std::string::npos) << LText;
  const bool LShown = std::find(LTexts.begin(), LTexts.end(), "If you're already registered:") != LTexts.end() &&
                      std::find(LTexts.begin(), LTexts.end(), "You're authorized already:") != LTexts.end();
  EXPECT_TRUE(LShown);
}

TEST_F(StartupWindow, SessionEndWaitsForTheReasonBoxThenEndsTheProgram) {
  auto LHeld = std::make_shared<THeldDialogs>();
  Dialogs::SetDialogService(LHeld);
  OpenSession();
  App::Result::Take();
  QPointer<TfrmMain> LMain = frmMain();
  QSignalSpy LClosed(Window.data(), &TZELMainActivity::Closed);

  Data->Token = "tok";
  Window->OnUserLoggedOut(Auth.get(), TAuthServiceState::asAuthorized, cUnavailable);
  // The main window's services go at once; the box stays open, with no spinner beneath it.
  EXPECT_FALSE(Services::Container::ZELServicesContainerExists());
  EXPECT_EQ(LHeld->Shown, std::vector<std::string>{cUnavailable});
  EXPECT_EQ(OverlayText(), "<hidden>");
  EXPECT_TRUE(Window->LoggingOut());
  EXPECT_TRUE(Window->tmrMainClose->isActive());

  // Well past the close timer: nothing ends while the reason is on screen.
  QTest::qWait(3 * TZELMainActivity::CloseDelayMs);
  EXPECT_EQ(frmMain(), LMain.data());
  EXPECT_EQ(LClosed.count(), 0);
  const std::vector<std::string> LTimer = Messages("TZELMainActivity.Timer1Timer");
  ASSERT_EQ(LTimer.size(), 2u);
  EXPECT_EQ(LTimer[0], "Self.visible = True");
  EXPECT_EQ(LTimer[1].rfind("Self.Active = ", 0), 0u);

  LHeld->CloseFirst();
  EXPECT_EQ(Current(), TView::Authorize);
  EXPECT_EQ(OverlayText(), "<hidden>");
  EXPECT_EQ(frmMain(), nullptr);
  ASSERT_TRUE(ZT::WaitUntil([&] { return LClosed.count() == 1; }));
  EXPECT_EQ(Data->Token, "tok");  // a plain reason keeps the token
  EXPECT_TRUE(Data->Calls.empty());
  DeleteLaterNow();
  EXPECT_TRUE(LMain.isNull());
  // A supervising script sees the failure in the program's result.
  EXPECT_EQ(App::Result::Take(), App::Result::SessionFailed);
}

TEST_F(StartupWindow, UsersSignOutClosesTheSessionAfterTheTimerAndForgetsTheToken) {
  ZT::TDialogsInPlace LDialogs;
  OpenSession();
  App::Result::Take();
  QSignalSpy LClosed(Window.data(), &TZELMainActivity::Closed);
  Auth->ByUser = true;
  Data->Token = "tok";
  Window->OnUserLoggedOut(Auth.get(), TAuthServiceState::asLogout, "");
  EXPECT_TRUE(LDialogs.Service->Shown.empty());
  EXPECT_EQ(Data->Calls, (std::vector<std::string>{"Forget", "Save"}));
  EXPECT_NE(frmMain(), nullptr);  // closed by the timer, not at once
  ASSERT_TRUE(ZT::WaitUntil([&] { return LClosed.count() == 1; }, std::chrono::seconds(3)));
  EXPECT_EQ(frmMain(), nullptr);
  EXPECT_EQ(Messages("TZELMainActivity.Timer1Timer").size(), 2u);
  EXPECT_EQ(App::Result::Take(), App::Result::UserEnded);
}

TEST_F(StartupWindow, MissingGlobalServiceEndsTheProgramWithOneFatalLineAndOneMessage) {
  struct TCase {
    const char* Failing;
    bool Raises;  // else the factory gives nothing
  };
  const TCase LCases[] = {{"TApplicationData", true}, {"TAuthService", true}, {"TZELRESTService", true},
                          {"TAuthService", false}};
  for (const TCase& LCase : LCases) {
    SCOPED_TRACE(std::string(LCase.Failing) + (LCase.Raises ? " raises" : " gives nothing"));
    TStartupServiceFactories LFactories = Factories();
    const auto LFail = [LCase]() {
      if (LCase.Raises) throw EZELException("disk full");
    };
    const std::string LFailing = LCase.Failing;
    if (LFailing == "TApplicationData")
      LFactories.AppData = [LFail] { LFail(); return std::shared_ptr<IApplicationData>(); };
    if (LFailing == "TAuthService")
      LFactories.Auth = [LFail] { LFail(); return std::shared_ptr<IAuthService>(); };
    if (LFailing == "TZELRESTService")
      LFactories.REST = [LFail] { LFail(); return std::shared_ptr<IZELRESTService>(); };

    ZT::TDialogsInPlace LDialogs;
    Log.Clear();
    Data->Token = "tok";
    Auth->Calls.clear();
    auto* LWindow = new TZELMainActivity(LFactories);
    LWindow->show();
    QSignalSpy LClosed(LWindow, &TZELMainActivity::Closed);
    { TDMStartup LModule(LWindow); }

    EXPECT_EQ(LDialogs.Service->Shown, std::vector<std::string>{TZELMainActivity::ServicesMissingText});
    EXPECT_EQ(LClosed.count(), 1);
    EXPECT_EQ(App::Result::Take(), App::Result::StartFailed);
    int LFatal = 0;
    for (const auto& LEntry : Log.Entries()) LFatal += LEntry.Type == TLogType::Fatal ? 1 : 0;
    EXPECT_EQ(LFatal, LCase.Raises ? 1 : 0);
    if (LCase.Raises) {
      bool LFound = false;
      for (const auto& LEntry : Log.WithTag("TZELMainActivity.SetupServices"))
        LFound |= LEntry.Message ==
                  "Exception at " + LFailing + ": " + Exceptions::ClassNameOf(EZELException("")) + " Message: disk full";
      EXPECT_TRUE(LFound);
    }
    bool LEndLine = false;
    for (const auto& LEntry : Log.WithTag("TZELMainActivity.SetupServices"))
      LEndLine |= LEntry.Type == TLogType::Error && LEntry.Message.find("could not be made") != std::string::npos;
    EXPECT_TRUE(LEndLine);
    // No sign-in is tried and no view shown.
    EXPECT_TRUE(Auth->Calls.empty());
    EXPECT_EQ(LWindow->CurrentFormView(), nullptr);
    delete LWindow;
    // A failed registration would be made again by the next build.
    GlobalContainer().Unregister<IApplicationData>();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
  }
}

TEST_F(StartupWindow, VersionLabelShowsAndCopiesTheVersion) {
  const QString LVersion = QString::fromStdString(Utils::GetAppVersionInfo());
  EXPECT_EQ(Window->lbVersion->text(), LVersion);
  EXPECT_EQ(Window->windowTitle(), "Tarvelo Systems");
  EXPECT_EQ(Window->size(), QSize(380, 536));
  QGuiApplication::clipboard()->setText("something else");
  QTest::mouseClick(Window->lbVersion, Qt::LeftButton);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), LVersion);
}

TEST(StartupSequence, LogsTheBrokerFilesAndWhetherTheyExist) {
  const ZT::TScopedEnv LNoOverride("ZEL_MQTT_CERTS_DIR", nullptr);
  const std::string LDir = Utils::AppCertsStoragePath();
  const std::string LKey = LDir + "mobile_app.key";
  ASSERT_FALSE(std::filesystem::exists(LKey)) << "a key file lies beside the test program";
  std::ofstream(LKey) << "key";
  LogsPipe::TLogCapture LLog;
  App::Run::LogStartupSequence();
  std::filesystem::remove(LKey);
  std::vector<std::string> LLines;
  for (const auto& LEntry : LLog.WithTag("Application")) LLines.push_back(LEntry.Message);
  EXPECT_EQ(LLines, (std::vector<std::string>{"MQTT SSL Key file = \"" + LKey + "\" Exists = \"True\"",
                                              "MQTT SSL Cert file = \"" + LDir + "mobile_app.crt\" Exists = \"False\"",
                                              "Application startup sequence...."}));
}

TEST(StartupSequence, NamesTheFilesOfTheCertificatesFolderInUse) {
  // The broker connection takes its files from $ZEL_MQTT_CERTS_DIR: so does the log.
  const std::string LDir = ZT::NewTempFolder("certs-in-use");
  const ZT::TScopedEnv LOverride("ZEL_MQTT_CERTS_DIR", LDir.c_str());
  std::ofstream(LDir + "/mobile_app.key") << "key";
  std::ofstream(LDir + "/mobile_app.crt") << "crt";
  LogsPipe::TLogCapture LLog;
  App::Run::LogStartupSequence();
  std::vector<std::string> LLines;
  for (const auto& LEntry : LLog.WithTag("Application")) LLines.push_back(LEntry.Message);
  EXPECT_EQ(LLines, (std::vector<std::string>{"MQTT SSL Key file = \"" + LDir + "/mobile_app.key\" Exists = \"True\"",
                                              "MQTT SSL Cert file = \"" + LDir + "/mobile_app.crt\" Exists = \"True\"",
                                              "Application startup sequence...."}));
}

}  // namespace
}  // namespace ZEL
