// The whole program against the local stack (identity emulator, backend and edge simulator,
// broker over TLS): RunApplication driven the way a user drives it, from the sign-in to the
// end of the program, and again with the saved token.

#include "TestSupport.h"
#include "ZEL.App.Run.h"
#include "ZEL.ApplicationData.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.Toast.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Authorize.h"
#include "ZEL.View.Login.h"
#include "services/ZEL.MQTT.TestSupport.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;
using Forms::Main::frmMain;

constexpr const char* cEmail = "demo@zel.test";
constexpr const char* cPassword = "zel-demo-pass";

// The local stack of a suite, with the demo account created at the identity emulator as the
// demo script does.
class TAppStack : public ZT::TStackRun {
public:
  std::string Start(const std::string& AName) {
    const std::string LError = TStackRun::Start(AName, ZT::QuickKeeper());
    if (!LError.empty()) return LError;
    const std::string LBody = std::string(R"({"email":")") + cEmail + R"(","password":")" + cPassword +
                              R"(","returnSecureToken":true})";
    if (Identity("accounts:signUp", LBody).find("idToken") == std::string::npos)
      return "the demo account could not be created";
    return {};
  }
  // An identity emulator call; its answer.
  std::string Identity(const std::string& AMethod, const std::string& ABody) const {
    const std::string LOut = Folder() + "/identity.out";
    ZT::Shell("curl -s --noproxy '*' -H 'Content-Type: application/json' -d '" + ABody + "' 'http://" +
              Value("FIREBASE_AUTH_EMULATOR_HOST") + "/identitytoolkit.googleapis.com/v1/" + AMethod +
              "?key=demo' > '" + LOut + "'");
    return ZT::ReadFileBytes(LOut);
  }
};

// Drives the running program from inside its event loop: one step after the other, each
// polled until it holds; a step that does not hold in time ends the program.
class TDriver {
public:
  using TStep = std::function<bool()>;
  void Add(std::string AName, TStep AStep, std::chrono::milliseconds ATimeout = 30s) {
    FSteps.push_back({std::move(AName), std::move(AStep), ATimeout});
  }
  // Starts polling once the program's loop runs.
  void Start() {
    FTimer = std::make_unique<QTimer>();
    FTimer->setInterval(50);
    QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Poll(); });
    FTimer->start();
    FSince = std::chrono::steady_clock::now();
  }
  // Empty when every step held.
  std::string Failed;
  bool Done() const { return FIndex == FSteps.size(); }

private:
  struct TEntry {
    std::string Name;
    TStep Step;
    std::chrono::milliseconds Timeout;
  };
  void Poll() {
    if (Done() || !Failed.empty()) return;
    TEntry& LEntry = FSteps[FIndex];
    if (LEntry.Step()) {
      ++FIndex;
      FSince = std::chrono::steady_clock::now();
      return;
    }
    if (std::chrono::steady_clock::now() - FSince > LEntry.Timeout) {
      Failed = "step \"" + LEntry.Name + "\" did not happen in time";
      FTimer->stop();
      QCoreApplication::exit(99);
    }
  }
  std::vector<TEntry> FSteps;
  std::size_t FIndex = 0;
  std::unique_ptr<QTimer> FTimer;
  std::chrono::steady_clock::time_point FSince;
};

TZELMainActivity* StartupWindow() {
  for (QWidget* LWidget : QApplication::topLevelWidgets())
    if (auto* LWindow = qobject_cast<TZELMainActivity*>(LWidget)) return LWindow;
  return nullptr;
}

TView StartupView() {
  TZELMainActivity* LWindow = StartupWindow();
  TBaseFormView* LView = LWindow ? LWindow->CurrentFormView() : nullptr;
  return LView ? LView->GetView() : TView::Host;
}

// The main window has synced and connected: its first view is in front.
bool SessionRuns() {
  TfrmMain* LMain = frmMain();
  return LMain && LMain->isVisible() && LMain->CurrentView() == TView::Events;
}

// The steps that sign in through the Login view with the typed account.
void AddTypedSignIn(TDriver& ADriver, const std::string& APassword) {
  ADriver.Add("the Authorize view is shown", [] { return StartupView() == TView::Authorize; });
  ADriver.Add("Enter credentials leads to the Login view", [] {
    auto* LAuthorize = static_cast<TAuthorizeViewForm*>(StartupWindow()->View(TView::Authorize));
    QTest::mouseClick(LAuthorize->btnLogin, Qt::LeftButton);
    return StartupView() == TView::Login;
  });
  ADriver.Add("the account is typed and sent", [APassword] {
    auto* LLogin = static_cast<TLoginForm*>(StartupWindow()->View(TView::Login));
    QTest::keyClicks(LLogin->editUsername, cEmail);
    QTest::keyClicks(LLogin->editPassword, QString::fromStdString(APassword));
    QTest::mouseClick(LLogin->btnLogin, Qt::LeftButton);
    return true;
  });
}

std::string SavedToken() {
  TApplicationData LData;
  return LData.GetFirebaseRefreshToken();
}

class AppStackBase : public ::testing::Test {
protected:
  void SetUp() override { Settings = std::make_unique<ZT::TScopedEnv>("ZEL_SETTINGS_DIR", ZT::NewTempFolder("settings").c_str()); }
  void TearDown() override {
    delete frmMain();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // Runs the program with the driver; RunApplication's result.
  int RunWith(TDriver& ADriver) {
    ADriver.Start();
    return App::Run::RunApplication();
  }
  static bool Shown(const ZT::TAnsweringDialogs& ADialogs, const std::string& AText) {
    return std::find(ADialogs.Shown.begin(), ADialogs.Shown.end(), AText) != ADialogs.Shown.end();
  }

  std::unique_ptr<ZT::TScopedEnv> Settings;
  ZT::TDialogsInPlace Dialogs;
};

// One stack per suite, started in a folder named after ASuite::cFolder.
template <typename ASuite>
class AppStackSuite : public AppStackBase {
protected:
  static void SetUpTestSuite() {
    Stack = std::make_unique<TAppStack>();
    Error = Stack->Start(ASuite::cFolder);
  }
  static void TearDownTestSuite() { Stack.reset(); }
  void SetUp() override {
    ASSERT_TRUE(Error.empty()) << Error;
    AppStackBase::SetUp();
  }
  static inline std::unique_ptr<TAppStack> Stack;
  static inline std::string Error;
};

class AppStack : public AppStackSuite<AppStack> {
public:
  static constexpr const char* cFolder = "appstack";
};

TEST_F(AppStack, SignInToastAndCloseThenSignedInWithTheSavedTokenAndSignOut) {
  // First run: typed sign-in, a toast for a new alert, the main window closed by the user.
  TDriver LFirst;
  AddTypedSignIn(LFirst, cPassword);
  LFirst.Add("the main window syncs and connects", SessionRuns);
  LFirst.Add("Devices is chosen, so that a new alert gets a toast", [] {
    QTest::mouseClick(frmMain()->findChild<QToolButton*>("sbtnDevices"), Qt::LeftButton);
    return frmMain()->CurrentView() == TView::EdgeDevcies;
  });
  LFirst.Add("an alert raised at a site",
             [] { return Stack->Control("POST", "/alerts", R"({"edge":"EDGE-NORTH-01"})") == "200"; });
  LFirst.Add("its toast shows", [] { return frmMain()->Toast()->IsShowing(); });
  LFirst.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LFirst), 0) << LFirst.Failed;
  EXPECT_TRUE(LFirst.Done()) << LFirst.Failed;
  EXPECT_EQ(frmMain(), nullptr);
  EXPECT_EQ(StartupWindow(), nullptr);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  ASSERT_FALSE(SavedToken().empty()) << "the refresh token was not saved";

  // Second run: signed in at once with the saved token, without a click; then the user signs out.
  TDriver LSecond;
  bool LLoginSeen = false;
  LSecond.Add("the main window opens by itself", [&] {
    LLoginSeen |= StartupView() == TView::Login;
    return SessionRuns();
  });
  LSecond.Add("the user signs out", [] {
    frmMain()->Signout();
    return true;
  });
  EXPECT_EQ(RunWith(LSecond), 0) << LSecond.Failed;
  EXPECT_TRUE(LSecond.Done()) << LSecond.Failed;
  EXPECT_FALSE(LLoginSeen);
  EXPECT_EQ(StartupWindow(), nullptr);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());  // the user's own sign-out shows nothing
  EXPECT_TRUE(SavedToken().empty()) << "the refresh token was kept after the sign-out";
}

TEST_F(AppStack, WrongPasswordShowsTheSentenceAndTheProgramKeepsRunning) {
  // The emulator's own code for a wrong password, and our sentence for it.
  const std::string LAnswer = Stack->Identity(
      "accounts:signInWithPassword",
      std::string(R"({"email":")") + cEmail + R"(","password":"wrong-pass-1","returnSecureToken":true})");
  const auto LAt = LAnswer.find("\"message\"");
  ASSERT_NE(LAt, std::string::npos) << LAnswer;
  const auto LOpen = LAnswer.find('"', LAnswer.find(':', LAt) + 1);
  const std::string LCode = LAnswer.substr(LOpen + 1, LAnswer.find('"', LOpen + 1) - LOpen - 1);
  ASSERT_TRUE(Auth::Service::IsFirebaseSeviceMessage(LCode)) << LCode;
  const std::string LSentence = Auth::Service::UserFriendlifyServiceMessage(LCode);

  TDriver LDriver;
  AddTypedSignIn(LDriver, "wrong-pass-1");
  LDriver.Add("the sentence is shown", [&] { return Shown(*Dialogs.Service, LSentence); });
  LDriver.Add("back on the Authorize view, overlay gone, no main window", [] {
    return StartupView() == TView::Authorize && !StartupWindow()->Overlay() && !frmMain();
  });
  bool LStillRunning = false;
  LDriver.Add("the program still runs a while later", [&] {
    static auto LSince = std::chrono::steady_clock::now();
    if (std::chrono::steady_clock::now() - LSince < 1s) return false;
    LStillRunning = StartupWindow() && StartupWindow()->isVisible() && !frmMain();
    return true;
  });
  LDriver.Add("the user closes the start-up window", [] {
    StartupWindow()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_TRUE(LStillRunning);
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{LSentence});
}

// Its own stack: the broker goes for good.
class AppStackBrokerLoss : public AppStackSuite<AppStackBrokerLoss> {
public:
  static constexpr const char* cFolder = "appbroker";
};

TEST_F(AppStackBrokerLoss, BrokerGoneForGoodEndsTheSessionWithItsMessage) {
  const std::string LReason = "Services is not available now. Please try again later.";
  TDriver LDriver;
  AddTypedSignIn(LDriver, cPassword);
  LDriver.Add("the main window syncs and connects", SessionRuns);
  LDriver.Add("the broker stops for good", [] { return Stack->StopBroker(); });
  // The answering box is closed at once: the program ends by itself from here; a driver
  // step that waits longer than this ends it instead.
  LDriver.Add("the program ends", [] { return false; }, 60s);
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{LReason});
  EXPECT_EQ(frmMain(), nullptr);
  EXPECT_EQ(StartupWindow(), nullptr);
  EXPECT_FALSE(SavedToken().empty()) << "a broker loss is no reason to forget the token";
}

}  // namespace
}  // namespace ZEL
