// The whole program against the local stack (identity emulator, backend and edge simulator,
// broker over TLS): RunApplication driven the way a user drives it, from the sign-in to the
// end of the program, and again with the saved token.

#include "TestSupport.h"
#include "ZEL.App.Instance.h"
#include "ZEL.App.Result.h"
#include "ZEL.App.Run.h"
#include "ZEL.ApplicationData.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.Frames.Wait.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"
#include "ZEL.SettingsFile.INIFile.h"
#include "ZEL.Toast.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Authorize.h"
#include "ZEL.View.Login.h"
#include "ZEL.View.Register.h"
#include "Core/ZEL.LogsPipe.TestFiles.h"
#include "services/ZEL.MQTT.TestSupport.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QStackedWidget>
#include <QSysInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <signal.h>

#include <nlohmann/json.hpp>

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

// What the user is told when the settings file cannot take a write for want of space.
std::string NotSavedOnAFullDisk() {
  return ApplicationData::NotSavedText("Cannot write file \"" + SettingsFile::INIFile::SettingsFilePath() + "\". " +
                                       std::strerror(EFBIG));
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

// The settings folder on a full disk, the file holding only a saved refresh token: the
// client signs in with it, syncs and connects; storing the device id and the preferences
// fails, the user is told once and the file keeps its old content.
TEST_F(AppStack, SettingsOnAFullDiskStillSignInAndConnectWithOneMessage) {
  const std::string LAnswer = Stack->Identity(
      "accounts:signInWithPassword",
      std::string(R"({"email":")") + cEmail + R"(","password":")" + cPassword + R"(","returnSecureToken":true})");
  const std::string LToken = nlohmann::json::parse(LAnswer, nullptr, false).value("refreshToken", "");
  ASSERT_FALSE(LToken.empty()) << LAnswer;
  const std::string LOld = "[Token]\nRefreshToken=" + LToken + "\n\n";
  std::ofstream(SettingsFile::INIFile::SettingsFilePath(), std::ios::binary) << LOld;

  TDriver LDriver;
  LDriver.Add("the main window opens by itself, syncs and connects", SessionRuns, 60s);
  LDriver.Add("the user is told", [this] { return !Dialogs.Service->Shown.empty(); });
  LDriver.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  int LResult = -1;
  {
    // Nothing bigger than the old file fits.
    const ZT::TFileSizeLimit LFull(LOld.size());
    LResult = RunWith(LDriver);
  }
  EXPECT_EQ(LResult, 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{NotSavedOnAFullDisk()});
  EXPECT_EQ(ZT::ReadFileBytes(SettingsFile::INIFile::SettingsFilePath()), LOld);
}

// One sign-in, typed or with the saved token, checks the token and fetches the user record at
// the backend once each: the identity service reports a new token twice, and each report must
// not ask again.
TEST_F(AppStack, EachSignInChecksTheTokenAndFetchesTheUserOnce) {
  const auto LCalls = [](const char* APath) {
    const auto LLog = nlohmann::json::parse(Stack->ControlBody("/calls"), nullptr, false);
    return LLog.is_object() ? LLog.value(APath, 0) : -1;
  };
  struct TCase {
    const char* Name;
    bool Typed;
  };
  for (const TCase& LCase : {TCase{"typed e-mail and password", true}, TCase{"saved refresh token", false}}) {
    SCOPED_TRACE(LCase.Name);
    const int LChecks = LCalls("/isValidToken");
    const int LRecords = LCalls("/authZelUser");
    ASSERT_GE(LChecks, 0) << Stack->ControlBody("/calls");
    TDriver LDriver;
    if (LCase.Typed) AddTypedSignIn(LDriver, cPassword);
    LDriver.Add("the main window syncs and connects", SessionRuns, 60s);
    // A repeated check may trail the first one; it gets the time to arrive.
    std::optional<std::chrono::steady_clock::time_point> LSince;
    LDriver.Add("a while later", [&] {
      if (!LSince) LSince = std::chrono::steady_clock::now();
      return std::chrono::steady_clock::now() - *LSince > 2s;
    });
    LDriver.Add("the main window is closed", [] {
      frmMain()->close();
      return true;
    });
    EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
    EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
    EXPECT_EQ(LCalls("/isValidToken") - LChecks, 1) << Stack->ControlBody("/calls");
    EXPECT_EQ(LCalls("/authZelUser") - LRecords, 1) << Stack->ControlBody("/calls");
    ASSERT_FALSE(SavedToken().empty()) << "the refresh token was not saved";
  }
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
  EXPECT_EQ(RunWith(LDriver), App::Result::SessionFailed) << LDriver.Failed;
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{LReason});
  EXPECT_EQ(frmMain(), nullptr);
  EXPECT_EQ(StartupWindow(), nullptr);
  EXPECT_FALSE(SavedToken().empty()) << "a broker loss is no reason to forget the token";
}

// The largest pause between two polls of a driver step: how long the UI thread was stuck.
class TPauseMeter {
public:
  void Tick() {
    const auto LNow = std::chrono::steady_clock::now();
    if (FLast.time_since_epoch().count() != 0) Longest = std::max(Longest, LNow - FLast);
    FLast = LNow;
  }
  std::chrono::steady_clock::duration Longest{};

private:
  std::chrono::steady_clock::time_point FLast{};
};

TEST_F(AppStack, SlowBackendDuringTheSignInLeavesTheWindowResponsive) {
  // The token check answers only after 8 s (and then with a time-out): the window must keep
  // turning meanwhile, under its overlay.
  constexpr auto cDelay = 8s;
  ASSERT_EQ(Stack->Control("POST", "/faults",
                           R"({"path":"/isValidToken","mode":"timeout","count":1,"delayMs":)" +
                               std::to_string(std::chrono::milliseconds(cDelay).count()) + "}"),
            "200");
  TPauseMeter LPauses;
  bool LOverlaySeen = false;
  TDriver LDriver;
  AddTypedSignIn(LDriver, cPassword);
  LDriver.Add("the slow check ends the attempt with its message", [&] {
    LPauses.Tick();
    TWaitFrame* LFrame = StartupWindow()->Overlay();
    LOverlaySeen |= LFrame && LFrame->isVisible();
    return Shown(*Dialogs.Service, "Firebase token invalid.");
  });
  LDriver.Add("the overlay is gone", [] { return !StartupWindow()->Overlay(); });
  // The fault was for one call: the next attempt goes through.
  AddTypedSignIn(LDriver, cPassword);
  LDriver.Add("the main window syncs and connects", SessionRuns);
  LDriver.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_TRUE(LOverlaySeen);
  // A blocking check would stop the UI thread for the whole hold; a loaded machine may pause it
  // for a while, but not for most of the hold.
  EXPECT_LT(LPauses.Longest, cDelay * 3 / 4) << "the UI thread stood still for "
                                         << std::chrono::duration_cast<std::chrono::milliseconds>(LPauses.Longest).count()
                                         << " ms";
}

TEST_F(AppStack, TermSignalEndsTheProgramAsClosingItsWindowDoes) {
  LogsPipe::TLogCapture LLog;
  TDriver LDriver;
  AddTypedSignIn(LDriver, cPassword);
  LDriver.Add("the main window syncs and connects", SessionRuns);
  LDriver.Add("TERM arrives", [] { return ::raise(SIGTERM) == 0; });
  LDriver.Add("the program ends", [] { return false; }, 30s);
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_EQ(frmMain(), nullptr);
  EXPECT_EQ(StartupWindow(), nullptr);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  std::vector<std::string> LLines;
  for (const auto& LEntry : LLog.WithTag("Application")) LLines.push_back(LEntry.Message);
  EXPECT_EQ(LLines, (std::vector<std::string>{"Signal 15 received: the application ends.", "Application.Run postcall."}));
  EXPECT_FALSE(SavedToken().empty()) << "the refresh token was not kept";
}

#ifdef ZEL_CLIENT_PROGRAM
TEST_F(AppStack, SecondClientForTheSameSettingsEndsWithItsMessage) {
  // This process is the first client: it holds the lock as the program's entry does.
  const std::unique_ptr<QLockFile> LLock = App::Instance::TakeLock();
  ASSERT_NE(LLock, nullptr);
  QProcess LSecond;
  QProcessEnvironment LEnv = QProcessEnvironment::systemEnvironment();
  LEnv.insert("QT_QPA_PLATFORM", "offscreen");
  LSecond.setProcessEnvironment(LEnv);
  TDriver LDriver;
  AddTypedSignIn(LDriver, cPassword);
  LDriver.Add("the main window syncs and connects", SessionRuns);
  LDriver.Add("a second client starts for the same settings folder", [&] {
    LSecond.start(ZEL_CLIENT_PROGRAM, {});
    return true;
  });
  std::string LTold;
  LDriver.Add("it tells the user", [&] {
    LTold += LSecond.readAllStandardError().toStdString();
    return LTold.find(App::Instance::AlreadyRunningText) != std::string::npos;
  }, 60s);
  LDriver.Add("the first keeps its session and connection a while", [] {
    static const auto LSince = std::chrono::steady_clock::now();
    if (!SessionRuns()) return false;
    return std::chrono::steady_clock::now() - LSince > 2s;
  });
  LDriver.Add("the second ends when told to", [&] {
    LSecond.terminate();
    return LSecond.waitForFinished(10000);
  });
  LDriver.Add("Devices is chosen, so that a new alert gets a toast", [] {
    QTest::mouseClick(frmMain()->findChild<QToolButton*>("sbtnDevices"), Qt::LeftButton);
    return frmMain()->CurrentView() == TView::EdgeDevcies;
  });
  LDriver.Add("an alert still reaches the first client", [] {
    return Stack->Control("POST", "/alerts", R"({"edge":"EDGE-NORTH-01"})") == "200";
  });
  LDriver.Add("its toast shows", [] { return frmMain()->Toast()->IsShowing(); });
  LDriver.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_EQ(LSecond.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(LSecond.exitCode(), 1);
  EXPECT_TRUE(ZT::ReadFileBytes(App::Instance::LockFilePath()).size() > 0);  // still the first's
}

// The program itself, started as a user starts it, with its own log folder.
class TClientProcess {
public:
  TClientProcess() : Logs(ZT::NewTempFolder("clientlogs")) {
    QProcessEnvironment LEnv = QProcessEnvironment::systemEnvironment();
    LEnv.insert("QT_QPA_PLATFORM", "offscreen");
    LEnv.insert("ZEL_LOGS_DIR", QString::fromStdString(Logs));
    Process.setProcessEnvironment(LEnv);
    Process.start(ZEL_CLIENT_PROGRAM, {});
  }
  ~TClientProcess() {
    if (Process.state() == QProcess::NotRunning) return;
    Process.kill();
    Process.waitForFinished(10000);
  }
  // The text of its current log file.
  std::string Log() const {
    for (const auto& LFile : std::filesystem::directory_iterator(Logs))
      if (LFile.path().filename().string().find(".00.") != std::string::npos) return ZT::LogFileText(LFile.path());
    return {};
  }
  bool Logged(const std::string& AText) const { return Log().find(AText) != std::string::npos; }

  const std::string Logs;
  QProcess Process;
};

TEST_F(AppStack, SignalsEndTheProgramAtOnceEvenWithARequestInFlightAndFreeItsLock) {
  // A saved token: the program signs in by itself at its start.
  const auto LSignIn = nlohmann::json::parse(Stack->Identity(
      "accounts:signInWithPassword",
      std::string(R"({"email":")") + cEmail + R"(","password":")" + cPassword + R"(","returnSecureToken":true})"));
  ASSERT_TRUE(LSignIn.contains("refreshToken")) << LSignIn.dump();
  TZELSettingsFileIni().WriteString(ApplicationData::SectionToken, ApplicationData::KeyRefreshToken,
                                    LSignIn["refreshToken"].get<std::string>());

  // The backend holds the token check of the sign-in far beyond the client's own time-out.
  ASSERT_EQ(Stack->Control("POST", "/faults", R"({"path":"/isValidToken","mode":"timeout","count":1,"delayMs":60000})"),
            "200");
  {
    TClientProcess LFirst;
    ASSERT_TRUE(ZT::WaitUntil([] { return Stack->ControlBody("/faults").find("/isValidToken") == std::string::npos; },
                              60s))
        << "the token check did not reach the backend";
    ASSERT_EQ(LFirst.Process.state(), QProcess::Running);
    const auto LSince = std::chrono::steady_clock::now();
    LFirst.Process.terminate();
    ASSERT_TRUE(LFirst.Process.waitForFinished(40000));
    const auto LTook = std::chrono::steady_clock::now() - LSince;
    EXPECT_LT(LTook, 2s) << "TERM took " << std::chrono::duration_cast<std::chrono::milliseconds>(LTook).count()
                         << " ms to end the program";
    EXPECT_EQ(LFirst.Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(LFirst.Process.exitCode(), App::Result::UserEnded);
    EXPECT_TRUE(LFirst.Logged("Signal 15 received: the application ends.")) << LFirst.Log();
  }

  // Started again at once, it runs: no lock is left. The terminal it was started from closes.
  TClientProcess LSecond;
  ASSERT_TRUE(ZT::WaitUntil([&] { return LSecond.Logged("OnMQTTConnectionChange event. AConnected = True"); }, 60s))
      << LSecond.Process.readAllStandardError().toStdString() << LSecond.Log();
  ASSERT_EQ(::kill(static_cast<pid_t>(LSecond.Process.processId()), SIGHUP), 0);
  ASSERT_TRUE(LSecond.Process.waitForFinished(10000));
  EXPECT_EQ(LSecond.Process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(LSecond.Process.exitCode(), App::Result::UserEnded);
  const std::string LLog = LSecond.Log();
  const auto LSignal = LLog.find("Signal 1 received: the application ends.");
  const auto LFreed = LLog.find("Releasing ZEL Services container... DONE.");
  const auto LPostcall = LLog.find("Application.Run postcall.");
  ASSERT_NE(LSignal, std::string::npos) << LLog;
  EXPECT_LT(LSignal, LFreed) << LLog;
  EXPECT_NE(LFreed, std::string::npos) << LLog;
  EXPECT_LT(LFreed, LPostcall) << LLog;
  EXPECT_NE(LPostcall, std::string::npos) << LLog;
  EXPECT_FALSE(std::filesystem::exists(App::Instance::LockFilePath()));
}
#endif

// The program without a stack.
class AppStart : public AppStackBase {};

// A read-only settings file holding both preferences, on a disk that takes no write: loading
// keeps only "all" and cannot write that back; the program starts all the same with the
// values read and tells the user why the settings were not saved.
TEST_F(AppStart, UnwritableSettingsWithBothPreferencesStillStart) {
  const std::string LPath = SettingsFile::INIFile::SettingsFilePath();
  const std::string LOld = "[UserPrefs]\nUserEscalatedSubscribe=1\nUserNonEscalatedSubscribe=1\n\n";
  std::ofstream(LPath, std::ios::binary) << LOld;
  std::filesystem::permissions(LPath, std::filesystem::perms::owner_read);
  TDriver LDriver;
  LDriver.Add("the Authorize view is shown and the user told",
              [this] { return StartupView() == TView::Authorize && !Dialogs.Service->Shown.empty(); });
  std::optional<std::pair<bool, bool>> LPreferences;
  LDriver.Add("the values read are in use", [&] {
    const auto LData = Services::Container::GlobalServiceLocator()->GetService<IApplicationData>();
    if (LData) LPreferences = {LData->GetUserEscalatedSubscribe(), LData->GetUserNonEscalatedSubscribe()};
    return true;
  });
  LDriver.Add("the user closes the start-up window", [] {
    StartupWindow()->close();
    return true;
  });
  int LResult = -1;
  {
    const ZT::TFileSizeLimit LReadOnly(0);
    LResult = RunWith(LDriver);
  }
  EXPECT_EQ(LResult, 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{NotSavedOnAFullDisk()});
  EXPECT_EQ(LPreferences, std::make_optional(std::make_pair(false, true)));
  EXPECT_EQ(ZT::ReadFileBytes(LPath), LOld);
}

// The stack as the demo command runs it: the identity emulator keeps its accounts in a
// folder from one stack to the next.
class AppDemoStack : public AppStackBase {
protected:
  static void SetUpTestSuite() { IdentityData = ZT::NewTempFolder("demo-identity"); }
  void TearDown() override {
    AppStackBase::TearDown();
    Stack.reset();
  }
  // Starts (or starts again) the stack and makes the demo account unless it exists.
  std::string StartStack() {
    Stack = std::make_unique<TAppStack>();
    std::string LError = Stack->TStackRun::Start("appdemo", ZT::QuickKeeper(), IdentityData);
    if (!LError.empty()) return LError;
    const std::string LAnswer = Stack->Identity("accounts:signUp", std::string(R"({"email":")") + cEmail +
                                                                       R"(","password":")" + cPassword +
                                                                       R"(","returnSecureToken":true})");
    if (LAnswer.find("idToken") == std::string::npos && LAnswer.find("EMAIL_EXISTS") == std::string::npos)
      return "the demo account could not be made: " + LAnswer;
    return {};
  }
  // The seed's invited users that have no account yet, as the demo command lists them:
  // code and e-mail address.
  static std::vector<std::pair<std::string, std::string>> Invitations() {
    std::vector<std::pair<std::string, std::string>> LOut;
    const auto LSeed = nlohmann::json::parse(ZT::ReadFileBytes(ZT::PeersDir() + "/sim/seed.json"));
    for (const auto& LUser : LSeed.at("users"))
      if (LUser.value("email", "") != cEmail) LOut.emplace_back(LUser.value("inviteCode", ""), LUser.value("email", ""));
    return LOut;
  }

  static inline std::string IdentityData;
  std::unique_ptr<TAppStack> Stack;
};

TEST_F(AppDemoStack, NewUserRegistersWithAPrintedInvitationCode) {
  ASSERT_EQ(StartStack(), "");
  const auto LInvitations = Invitations();
  ASSERT_FALSE(LInvitations.empty());
  for (const auto& [LCode, LEmail] : LInvitations) {
    // The codes a user is given are ones the registration view takes: six digits.
    EXPECT_EQ(LCode.size(), 6u) << LCode;
    EXPECT_TRUE(std::all_of(LCode.begin(), LCode.end(), [](char C) { return C >= '0' && C <= '9'; })) << LCode;
  }
  const auto& [LCode, LEmail] = LInvitations.back();
  TDriver LDriver;
  LDriver.Add("the Authorize view is shown", [] { return StartupView() == TView::Authorize; });
  LDriver.Add("Create account leads to the Register view", [] {
    auto* LAuthorize = static_cast<TAuthorizeViewForm*>(StartupWindow()->View(TView::Authorize));
    QTest::mouseClick(LAuthorize->btnRegister, Qt::LeftButton);
    return StartupView() == TView::Register;
  });
  LDriver.Add("the code is typed and checked", [Code = LCode] {
    auto* LRegister = static_cast<TRegisterForm*>(StartupWindow()->View(TView::Register));
    QTest::keyClicks(LRegister->editInvCode, QString::fromStdString(Code));
    QTest::mouseClick(LRegister->btnProcessRegister, Qt::LeftButton);
    return true;
  });
  LDriver.Add("the user step shows the invited address", [Email = LEmail] {
    auto* LRegister = static_cast<TRegisterForm*>(StartupWindow()->View(TView::Register));
    return LRegister->tcRegisterForms->currentWidget() == LRegister->tabUserInfo &&
           LRegister->editUsername->text().toStdString() == Email && !StartupWindow()->Overlay();
  });
  LDriver.Add("a password is chosen and the account registered", [] {
    auto* LRegister = static_cast<TRegisterForm*>(StartupWindow()->View(TView::Register));
    QTest::keyClicks(LRegister->editPassword, "new-user-pass");
    QTest::keyClicks(LRegister->editPasswordConfirm, "new-user-pass");
    QTest::mouseClick(LRegister->btnProcessRegister, Qt::LeftButton);
    return true;
  });
  LDriver.Add("the main window syncs and connects", SessionRuns, 60s);
  LDriver.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LDriver), 0) << LDriver.Failed;
  EXPECT_TRUE(LDriver.Done()) << LDriver.Failed;
  EXPECT_TRUE(Dialogs.Service->Shown.empty()) << Dialogs.Service->Shown.front();
  // The account now exists at the identity service.
  const std::string LSignIn = Stack->Identity(
      "accounts:signInWithPassword",
      R"({"email":")" + LEmail + R"(","password":"new-user-pass","returnSecureToken":true})");
  EXPECT_NE(LSignIn.find("idToken"), std::string::npos) << LSignIn;
}

TEST_F(AppDemoStack, AfterTheStackStartsAgainTheSavedTokenSignsInByItself) {
  ASSERT_EQ(StartStack(), "");
  TDriver LFirst;
  AddTypedSignIn(LFirst, cPassword);
  LFirst.Add("the main window syncs and connects", SessionRuns);
  LFirst.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LFirst), 0) << LFirst.Failed;
  ASSERT_TRUE(LFirst.Done()) << LFirst.Failed;
  ASSERT_FALSE(SavedToken().empty());

  // Stopped and started again as the demo command does: new ports, the accounts kept.
  Stack.reset();
  ASSERT_EQ(StartStack(), "");
  TDriver LSecond;
  bool LLoginSeen = false;
  LSecond.Add("the main window opens by itself", [&] {
    LLoginSeen |= StartupView() == TView::Login;
    return SessionRuns();
  }, 60s);
  LSecond.Add("the main window is closed", [] {
    frmMain()->close();
    return true;
  });
  EXPECT_EQ(RunWith(LSecond), 0) << LSecond.Failed;
  EXPECT_TRUE(LSecond.Done()) << LSecond.Failed;
  EXPECT_FALSE(LLoginSeen);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

TEST(InstanceLock, OneHolderPerSettingsFolderAndAStaleLockIsTakenOver) {
  const ZT::TScopedEnv LSettings("ZEL_SETTINGS_DIR", ZT::NewTempFolder("lock").c_str());
  std::string LContents;
  {
    const std::unique_ptr<QLockFile> LFirst = App::Instance::TakeLock();
    ASSERT_NE(LFirst, nullptr);
    EXPECT_EQ(App::Instance::TakeLock(), nullptr);
    LContents = ZT::ReadFileBytes(App::Instance::LockFilePath());
  }
  EXPECT_NE(App::Instance::TakeLock(), nullptr);  // released with its holder

  // Left behind by a client that crashed: the same lock, naming a process that is gone.
  QProcess LGone;
  LGone.start("sh", {"-c", "echo $$"});
  ASSERT_TRUE(LGone.waitForFinished(10000));
  const std::string LGonePid = LGone.readAllStandardOutput().trimmed().toStdString();
  ASSERT_FALSE(LGonePid.empty());
  const std::string LOwnPid = std::to_string(QCoreApplication::applicationPid());
  ASSERT_EQ(LContents.rfind(LOwnPid + "\n", 0), 0u) << LContents;
  std::ofstream(App::Instance::LockFilePath()) << LGonePid << LContents.substr(LOwnPid.size());
  EXPECT_NE(App::Instance::TakeLock(), nullptr);
}

}  // namespace
}  // namespace ZEL
