// The Events view against the whole local stack (broker over TLS, backend and edge
// simulator), in a plain host window over a signed-in session: today's seed alerts newest
// first, a filter with its counter, a raised alert on top at once, and rows following
// changes made elsewhere. Needs a built simulator: ZEL_BACKEND_SIM (build define or
// environment variable); skipped without one.

#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.Auth.Service.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Frames.Filter.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Session.h"
#include "ZEL.Style.h"
#include "services/ZEL.Auth.TestSupport.h"
#include "services/ZEL.MQTT.TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <unistd.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

std::string SimulatorPath() {
#ifdef ZEL_BACKEND_SIM
  return ZEL_BACKEND_SIM;
#else
  const char* env = std::getenv("ZEL_BACKEND_SIM");
  return env ? env : "";
#endif
}

class EventsViewStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (SimulatorPath().empty()) return;
    Run = new std::string(ZT::NewTempFolder("events-stack"));
    const std::string cmd = ZT::PeersDir() + "/stack.sh start '" + *Run + "' --sim '" + SimulatorPath() +
                            "' --owner " + std::to_string(getpid()) + " > '" + *Run + ".log' 2>&1";
    if (ZT::Shell(cmd) != 0) return;
    Env = new std::vector<std::unique_ptr<ZT::TScopedEnv>>();
    std::ifstream in(*Run + "/stack.env");
    for (std::string line; std::getline(in, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      Values[line.substr(0, eq)] = line.substr(eq + 1);
      Env->push_back(std::make_unique<ZT::TScopedEnv>(line.substr(0, eq), line.substr(eq + 1).c_str()));
    }
    Env->push_back(std::make_unique<ZT::TScopedEnv>("ZEL_MQTT_CONNECT_TIMEOUT_MS", "3000"));
    Env->push_back(std::make_unique<ZT::TScopedEnv>(
        "ZEL_MQTT_CERTS_DIR", ZT::CertsFolderOf(Values["ZEL_PKI_DIR"], "mobile_app").c_str()));
  }
  static void TearDownTestSuite() {
    if (Run) ZT::Shell(ZT::PeersDir() + "/stack.sh stop '" + *Run + "' > /dev/null 2>&1");
    delete Env;
    Env = nullptr;
    delete Run;
    Run = nullptr;
  }

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SignIn());
    if (IsSkipped()) return;
    Session = std::make_unique<TZELSession>();
    Session->OnSynced = [this](std::int32_t) { Synced = true; };
    Session->OnConnected = [this](bool) { ++Connections; };
    Session->StartSync();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Synced && Connections > 0; }, 20s));
    // The view in a plain host window, entered as the main window does first.
    Window.resize(444, 640);
    View = std::make_unique<TEventsViewForm>();
    View->InitView(TView::Events, &Host, &Window);
    View->Enter(TView::Host);
    View->ShowView();
    Window.show();
    ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Receiving(); }, 20s));
  }
  void TearDown() override {
    if (View) View->Leave(TView::Profile);
    View.reset();
    Session.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
  }

  // The demo account signed in against the freshly reset stack; the services registered.
  void SignIn() {
    if (SimulatorPath().empty()) GTEST_SKIP() << "no simulator (ZEL_BACKEND_SIM)";
    ASSERT_NE(Env, nullptr) << "the stack did not start, see " << *Run << ".log";
    ASSERT_EQ(Control("/reset", ""), "200");
    Firebase->SetNextIdToken(ZT::MakeIdToken(Time::Now() + std::chrono::hours(1)));
    Rest = std::make_shared<TZELRESTService>();
    Auth = std::make_shared<TAuthService>(Firebase);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
    GlobalContainer().RegisterInstance<IAuthService>("", Auth);
    Auth->OnLoginSuccess = [this](IAuthService*) { SignedIn = true; };
    Auth->LoginUser("demo@zel.test", "zel-demo-pass");
    ASSERT_TRUE(ZT::WaitUntil([this] { return SignedIn; }, 20s));
  }

  static std::string Control(const std::string& APath, const std::string& AData) {
    const std::string out = *Run + "/control.out";
    ZT::Shell("curl -s -o /dev/null -w '%{http_code}' -X POST -H 'Content-Type: application/json' -d '" + AData +
              "' '" + Values["ZEL_SIM_CONTROL_URL"] + APath + "' > '" + out + "'");
    return ZT::ReadFileBytes(out);
  }
  std::string TopID() const {
    return View->OnView()->index(0, 0).data(TEventsRowModel::IDRole).toString().toStdString();
  }
  int RowOf(const std::string& AID) const { return View->Rows()->IndexOf(AID); }
  std::string Counter() const { return View->FormContent()->findChild<QLabel*>("txtCount")->text().toStdString(); }

  static std::string* Run;
  static std::vector<std::unique_ptr<ZT::TScopedEnv>>* Env;
  static std::map<std::string, std::string> Values;
  std::shared_ptr<ZT::TInstantFirebase> Firebase = std::make_shared<ZT::TInstantFirebase>();
  std::shared_ptr<TZELRESTService> Rest;
  std::shared_ptr<TAuthService> Auth;
  std::unique_ptr<TZELSession> Session;
  bool SignedIn = false, Synced = false;
  int Connections = 0;
  ZT::TRecordingHost Host;
  QWidget Window;
  std::unique_ptr<TEventsViewForm> View;
};

std::string* EventsViewStack::Run = nullptr;
std::vector<std::unique_ptr<ZT::TScopedEnv>>* EventsViewStack::Env = nullptr;
std::map<std::string, std::string> EventsViewStack::Values;

TEST_F(EventsViewStack, TodaysSeedAlertsNewestFirstAndAFilterCountsThem) {
  const int total = View->Rows()->rowCount();
  ASSERT_GT(total, 1);
  EXPECT_EQ(Counter(), "Total: " + std::to_string(total));
  for (int i = 1; i < total; ++i)
    EXPECT_GE(View->Rows()->Row(i - 1).Subject.DateTime, View->Rows()->Row(i).Subject.DateTime) << i;

  // Only active alerts, through the frame.
  int active = 0;
  for (int i = 0; i < total; ++i) active += View->Rows()->Row(i).Subject.Active ? 1 : 0;
  ASSERT_GT(active, 0);
  ASSERT_LT(active, total);
  View->sbrnFilterClick();
  auto* frame = View->FrameController()->Find<TfraEventsFilter>();
  ASSERT_NE(frame, nullptr);
  frame->findChild<QCheckBox*>("swActiveStateFlt")->setChecked(true);
  frame->btnApplyClick();
  ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Receiving(); }, 20s));
  EXPECT_EQ(Counter(), "Filtered: " + std::to_string(active) + " Total: " + std::to_string(total));
}

TEST_F(EventsViewStack, RaisedAlertIsOnTopWithinASecondAndFollowsChanges) {
  const int before = View->Rows()->rowCount();
  QElapsedTimer clock;
  clock.start();
  ASSERT_EQ(Control("/alerts", R"({"edge":"EDGE-NORTH-01","caption":"Raised by the test"})"), "200");
  ASSERT_TRUE(ZT::WaitUntil([&] { return View->Rows()->rowCount() > before; }, 5s));
  EXPECT_LT(clock.elapsed(), 1000);
  const std::string id = TopID();
  EXPECT_EQ(View->OnView()->index(0, 0).data(TEventsRowModel::CaptionRole).toString(), "Raised by the test");
  EXPECT_EQ(View->Rows()->Row(RowOf(id)).Subject.State, TEventAlertState::easInitiated);

  // An escalation item added at the site changes the row.
  ASSERT_EQ(Control("/items", R"({"alertId":")" + id + R"(","itemType":3})"), "200");
  EXPECT_TRUE(ZT::WaitUntil(
      [&] { return View->Rows()->Row(RowOf(id)).Subject.State == TEventAlertState::easEscalated; }, 5s));
  // A dismiss by another operator's client reaches us as its item: state and active mark move.
  ASSERT_EQ(Control("/items", R"({"alertId":")" + id + R"(","itemType":2,"user":"supervisor@zel.test"})"), "200");
  EXPECT_TRUE(ZT::WaitUntil(
      [&] { return View->Rows()->Row(RowOf(id)).Subject.State == TEventAlertState::easDismissed; }, 5s));
  EXPECT_FALSE(View->Rows()->Row(RowOf(id)).Subject.Active);
  EXPECT_EQ(View->Rows()->rowCount(), before + 1);  // one alert, one row
}

// Only with ZEL_SCREENS_DIR set (scripts/render-screens.sh sets it): the main window over
// the stack, pictured into that folder with today's seed alerts and with the filter open.
class EventsScreens : public EventsViewStack {
protected:
  static const char* Folder() { return std::getenv("ZEL_SCREENS_DIR"); }
  static void SetUpTestSuite() {
    if (Folder()) EventsViewStack::SetUpTestSuite();
  }
  void SetUp() override {
    if (!Folder()) GTEST_SKIP() << "pictures only with ZEL_SCREENS_DIR";
    ASSERT_NO_FATAL_FAILURE(SignIn());
    // The look the start-up window gives the program; the other tests run without it.
    PrevSheet = qApp->styleSheet();
    Style::Apply(*qApp);
  }
  void TearDown() override {
    if (Main) Main->FreeServices();
    Main.reset();
    if (PrevSheet) qApp->setStyleSheet(*PrevSheet);
    EventsViewStack::TearDown();
  }
  void Save(const char* AName) {
    QTest::qWait(400);  // layout, style and the frame's own show settle
    const QString path = QDir(QString::fromLocal8Bit(Folder())).filePath(QString::fromLatin1(AName));
    EXPECT_TRUE(Main->grab().save(path, "PNG")) << path.toStdString();
  }
  std::unique_ptr<TfrmMain> Main;
  std::optional<QString> PrevSheet;
};

TEST_F(EventsScreens, EventsViewAndItsOpenFilter) {
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(Folder())));
  Main = std::make_unique<TfrmMain>();
  Main->show();
  ASSERT_TRUE(ZT::WaitUntil([this] { return Main->CurrentView() == TView::Events; }, 20s));
  auto* view = dynamic_cast<TEventsViewForm*>(Main->View(TView::Events));
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(ZT::WaitUntil([view] { return !view->Receiving() && view->Rows()->rowCount() > 1; }, 20s));
  Save("events-view.png");

  view->sbrnFilterClick();
  ASSERT_NE(view->FrameController()->Find<TfraEventsFilter>(), nullptr);
  Save("events-filter.png");
}

}  // namespace
}  // namespace ZEL
