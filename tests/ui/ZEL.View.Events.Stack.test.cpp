// The Events view against the whole local stack (broker over TLS, backend and edge
// simulator), in a plain host window over a signed-in session: today's seed alerts newest
// first, a filter with its counter, a raised alert on top at once, and rows following
// changes made elsewhere (an item at the site, a dismiss from another operator's client).
// Needs a built simulator: ZEL_BACKEND_SIM (build define or
// environment variable); skipped without one.

#include "ZEL.Stack.SecondClient.h"
#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.Auth.Service.h"
#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.Edge.Types.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Frames.Filter.h"
#include "ZEL.JSON.Utils.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.REST.Service.h"
#include "ZEL.Session.h"
#include "ZEL.Style.h"
#include "ZEL.Utils.ObjectId.h"
#include "services/ZEL.Auth.TestSupport.h"
#include "services/ZEL.MQTT.TestSupport.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <unistd.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

class EventsViewStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (ZT::BackendSimulator().empty()) return;
    Stack = new ZT::TStackRun();
    Error = Stack->Start("events-stack");
  }
  static void TearDownTestSuite() {
    delete Stack;
    Stack = nullptr;
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
    Login.Release();
  }

  // The demo account signed in against the freshly reset stack; the services registered.
  void SignIn() {
    if (ZT::BackendSimulator().empty()) GTEST_SKIP() << "no simulator (ZEL_BACKEND_SIM)";
    ASSERT_TRUE(Error.empty()) << Error;
    ASSERT_EQ(Control("/reset", ""), "200");
    ASSERT_TRUE(Login.SignIn());
  }

  static std::string Control(const std::string& APath, const std::string& AData) {
    return Stack->Control("POST", APath, AData);
  }
  static std::string ControlBody(const std::string& APath) { return Stack->ControlBody(APath); }
  // What the simulator's edges did with the request of this id ("" when it never arrived).
  static std::string OutcomeOf(const std::string& ARequestID) {
    const TJSON log = TJSON::parse(ControlBody("/requests"), nullptr, false);
    if (log.is_array())
      for (const auto& r : log)
        if (r["payload"].is_object() && r["payload"].value("RequestId", "") == ARequestID)
          return r.value("outcome", "");
    return "";
  }

  // Another operator's client dismissing the alert (see ZEL.Stack.SecondClient.h).
  std::string DismissFromSecondClient(const std::string& AEventID, const std::string& AUser, const std::string& AName) {
    return ZT::DismissFromSecondClient(*Stack, *Session, AEventID, AUser, AName);
  }

  std::string TopID() const {
    return View->OnView()->index(0, 0).data(TEventsRowModel::IDRole).toString().toStdString();
  }
  int RowOf(const std::string& AID) const { return View->Rows()->IndexOf(AID); }
  std::string Counter() const { return View->FormContent()->findChild<QLabel*>("txtCount")->text().toStdString(); }
  // How many rows of AView show the caption.
  static int RowsWithCaption(TEventsViewForm& AView, const std::string& ACaption) {
    int n = 0;
    for (int i = 0; i < AView.Rows()->rowCount(); ++i)
      n += AView.Rows()->Row(i).Caption.toStdString() == ACaption ? 1 : 0;
    return n;
  }
  static int AlertsWithCaption(TZELEventList& AList, const std::string& ACaption) {
    int n = 0;
    for (TZELEvent* e : AList) n += e->Caption() == ACaption ? 1 : 0;
    return n;
  }
  static std::string Raise(const std::string& ACaption) {
    return Control("/alerts", R"({"edge":"EDGE-NORTH-01","caption":")" + ACaption + R"("})");
  }

  static ZT::TStackRun* Stack;
  static std::string Error;
  ZT::TStackSignIn Login;
  std::unique_ptr<TZELSession> Session;
  bool Synced = false;
  int Connections = 0;
  ZT::TRecordingHost Host;
  QWidget Window;
  std::unique_ptr<TEventsViewForm> View;
};

ZT::TStackRun* EventsViewStack::Stack = nullptr;
std::string EventsViewStack::Error;

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

TEST_F(EventsViewStack, RaisedAlertIsOnTopAtOnceAndFollowsChanges) {
  const int before = View->Rows()->rowCount();
  // "At once" is by the broker's push, not by a pull of the list (no wall-clock bound: a
  // loaded machine may take more than a second for the push, and that is no fault).
  LogsPipe::TLogCapture pulls;
  ASSERT_EQ(Control("/alerts", R"({"edge":"EDGE-NORTH-01","caption":"Raised by the test"})"), "200");
  ASSERT_TRUE(ZT::WaitUntil([&] { return View->Rows()->rowCount() > before; }, 20s));
  for (const auto& e : pulls.WithTag("TZELEventsService.PupulateEventsFromREST"))
    EXPECT_EQ(e.Message.find("Getting events"), std::string::npos) << "a pull began";
  const std::string id = TopID();
  EXPECT_EQ(View->OnView()->index(0, 0).data(TEventsRowModel::CaptionRole).toString(), "Raised by the test");
  EXPECT_EQ(View->Rows()->Row(RowOf(id)).Subject.State, TEventAlertState::easInitiated);

  // An escalation item added at the site changes the row.
  ASSERT_EQ(Control("/items", R"({"alertId":")" + id + R"(","itemType":3})"), "200");
  EXPECT_TRUE(ZT::WaitUntil(
      [&] { return View->Rows()->Row(RowOf(id)).Subject.State == TEventAlertState::easEscalated; }, 20s));
  // Another operator dismisses it from a second client; the edge answers that client and
  // publishes the change, which moves our row's state and active mark.
  const std::string request = DismissFromSecondClient(id, "supervisor@zel.test", "Sam Supervisor");
  ASSERT_FALSE(request.empty()) << ZT::ReadFileBytes(Stack->Folder() + "/second-client.log");
  const auto shown = [&](int ARole) {
    const int row = View->OnView()->mapFromSource(View->Rows()->index(RowOf(id), 0)).row();
    return View->OnView()->index(row, 0).data(ARole);
  };
  EXPECT_TRUE(ZT::WaitUntil(
      [&] { return shown(TEventsRowModel::StateRole).toInt() == static_cast<int>(TEventAlertState::easDismissed); },
      20s))
      << "the edge: " << OutcomeOf(request);
  EXPECT_EQ(OutcomeOf(request), "answered 200: OK");
  EXPECT_FALSE(shown(TEventsRowModel::ActiveRole).toBool());
  EXPECT_FALSE(View->Rows()->Row(RowOf(id)).Subject.Active);
  EXPECT_EQ(View->Rows()->rowCount(), before + 1);  // one alert, one row
}

// Back to today's alerts after a custom range and a live alert: every alert the simulator
// has of today is on view again.
TEST_F(EventsViewStack, TodayAfterACustomRangeShowsEveryAlertOfToday) {
  // The simulator's alerts of today, by id.
  const auto todays = [] {
    const Time::TInstant start = Time::StartOfLocalDay(Time::Now());
    const Time::TInstant end = Time::FromLocal(Time::ToLocal(start).Year, Time::ToLocal(start).Month,
                                               Time::ToLocal(start).Day, 23, 59, 59);
    std::vector<std::pair<Time::TInstant, std::string>> alerts;
    const TJSON state = TJSON::parse(ControlBody("/state"), nullptr, false);
    if (state.is_object())
      for (const auto& a : state.value("alerts", TJSON::array())) {
        const Time::TInstant at = Time::ParseISO8601(a.value("DateTime", ""));
        if (at >= start && at <= end) alerts.emplace_back(at, a.value("ObjectId", ""));
      }
    std::sort(alerts.begin(), alerts.end());
    return alerts;
  };
  const auto ids = [](std::vector<std::string> AIds) {
    std::sort(AIds.begin(), AIds.end());
    return AIds;
  };
  const auto rows = [this] {
    std::vector<std::string> r;
    for (int i = 0; i < View->Rows()->rowCount(); ++i) r.push_back(View->Rows()->Row(i).ID);
    std::sort(r.begin(), r.end());
    return r;
  };
  const auto apply = [this](const std::function<void(TfraEventsFilter&)>& AEdit) {
    View->sbrnFilterClick();
    TfraEventsFilter* frame = View->FrameController()->Find<TfraEventsFilter>();
    ASSERT_NE(frame, nullptr);
    AEdit(*frame);
    frame->btnApplyClick();
    ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Receiving(); }, 20s));
  };
  const auto seed = todays();
  ASSERT_FALSE(seed.empty());
  // Ten minutes around the oldest alert of today: it alone (the seed's are further apart).
  const Time::TLocalTime from = Time::ToLocal(seed.front().first);
  const Time::TLocalTime to = Time::ToLocal(seed.front().first + std::chrono::minutes(10));
  apply([&](TfraEventsFilter& AFrame) {
    AFrame.findChild<QComboBox*>("cbDateTimeFlt")->setCurrentIndex(Events::Filter::cCustomRangeIndex);
    AFrame.findChild<QDateEdit*>("dedtBegin")->setDate(QDate(from.Year, from.Month, from.Day));
    AFrame.findChild<QTimeEdit*>("tedtBegin")->setTime(QTime(from.Hour, from.Minute));
    AFrame.findChild<QDateEdit*>("dedtEnd")->setDate(QDate(to.Year, to.Month, to.Day));
    AFrame.findChild<QTimeEdit*>("tedtEnd")->setTime(QTime(to.Hour, to.Minute));
  });
  const auto onView = [this] {
    std::vector<std::string> r;
    for (int i = 0; i < View->OnView()->rowCount(); ++i)
      r.push_back(View->OnView()->index(i, 0).data(TEventsRowModel::IDRole).toString().toStdString());
    std::sort(r.begin(), r.end());
    return r;
  };
  ASSERT_EQ(onView(), std::vector<std::string>{seed.front().second});
  const int held = View->Rows()->rowCount();
  ASSERT_EQ(Raise("After the range"), "200");
  ASSERT_TRUE(ZT::WaitUntil([&] { return View->Rows()->rowCount() == held + 1; }, 20s));

  apply([](TfraEventsFilter& AFrame) { AFrame.findChild<QPushButton*>("BtnResetFilter")->click(); });
  std::vector<std::string> expected;
  for (const auto& a : todays()) expected.push_back(a.second);
  EXPECT_EQ(rows(), ids(expected));
  EXPECT_EQ(onView(), ids(expected));
  EXPECT_EQ(Counter(), "Filtered: " + std::to_string(expected.size()) + " Total: " + std::to_string(expected.size()));
}

// A pull whose answer is slow: alerts that arrive meanwhile (not in the answer) are kept
// through the swap, each with one row.
TEST_F(EventsViewStack, AlertsRaisedDuringASlowPullAreKept) {
  ASSERT_EQ(Control("/faults", R"({"path":"/eventAlerts","mode":"slow","delayMs":2500,"count":1})"), "200");
  View->ReceiveEvents();
  ASSERT_TRUE(View->Receiving());
  ZT::WaitUntil([] { return false; }, 300ms);  // the request is out, its answer made
  TZELEventList& list = *Session->EventsService()->GetEventsList();
  for (const char* caption : {"During-1", "During-2"}) {
    ASSERT_EQ(Raise(caption), "200");
    ASSERT_TRUE(ZT::WaitUntil([&] { return AlertsWithCaption(list, caption) == 1; }, 5s)) << caption;
  }
  EXPECT_TRUE(View->Receiving()) << "the pull was to be still running";
  ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Receiving(); }, 20s));
  for (const char* caption : {"During-1", "During-2"}) {
    EXPECT_EQ(AlertsWithCaption(list, caption), 1) << caption;
    EXPECT_EQ(RowsWithCaption(*View, caption), 1) << caption;
  }
  EXPECT_EQ(View->Rows()->rowCount(), list.Count());
}

// The broker away for 5 seconds while three alerts are raised: with a clean session they
// never come over the broker, so the catch-up after the reconnection brings them, without
// any user action and without showing any alert twice.
TEST_F(EventsViewStack, AlertsRaisedDuringABrokerOutageAppearAfterTheReconnection) {
  // One attempt fails while the broker is away, the next finds it back.
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "4000");
  LogsPipe::TLogCapture log;
  const int before = View->Rows()->rowCount();
  ASSERT_TRUE(Stack->StopBroker());
  TZELMQTTService& mqtt = dynamic_cast<TZELMQTTService&>(*Session->MQTTService());
  ASSERT_TRUE(ZT::WaitUntil([&] { return !mqtt.IsConnected(); }, 5s));
  QElapsedTimer away;
  away.start();
  const std::vector<std::string> captions = {"Outage-1", "Outage-2", "Outage-3"};
  for (const std::string& caption : captions) {
    ASSERT_EQ(Raise(caption), "200");
    ZT::WaitUntil([] { return false; }, 500ms);
  }
  ZT::WaitUntil([] { return false; }, std::chrono::milliseconds(std::max<qint64>(0, 5000 - away.elapsed())));
  ASSERT_TRUE(Stack->RestartBroker()) << ZT::ReadFileBytes(Stack->BrokerFolder() + "/broker.log");
  ASSERT_TRUE(ZT::WaitUntil(
      [&] {
        return std::all_of(captions.begin(), captions.end(),
                           [&](const std::string& c) { return RowsWithCaption(*View, c) == 1; });
      },
      30s))
      << "rows: " << View->Rows()->rowCount();
  TZELEventList& list = *Session->EventsService()->GetEventsList();
  for (const std::string& caption : captions) EXPECT_EQ(AlertsWithCaption(list, caption), 1) << caption;
  EXPECT_EQ(View->Rows()->rowCount(), before + 3);
  EXPECT_EQ(View->Rows()->rowCount(), list.Count());
  EXPECT_TRUE(ZT::WaitUntil(
      [&] {
        for (const auto& e : log.Entries())
          if (e.Message == "Catch-up ran: 3 alert(s) added.") return true;
        return false;
      },
      5s));
}

// The real main window: alerts raised while the Devices view, the profile or the timeline
// stand-in is in front have their rows when the user comes back to the alerts.
class EventsMainWindowStack : public EventsViewStack {
protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(SignIn()); }
  void TearDown() override {
    if (Main) Main->FreeServices();
    Main.reset();
    EventsViewStack::TearDown();
  }
  std::unique_ptr<TfrmMain> Main;
};

TEST_F(EventsMainWindowStack, AlertsRaisedWhileAnotherViewIsInFrontHaveRowsOnReturn) {
  Main = std::make_unique<TfrmMain>();
  Main->show();
  ASSERT_TRUE(ZT::WaitUntil([this] { return Main->CurrentView() == TView::Events; }, 20s));
  auto* view = dynamic_cast<TEventsViewForm*>(Main->View(TView::Events));
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(ZT::WaitUntil([view] { return !view->Receiving() && view->Rows()->rowCount() > 1; }, 20s));
  TZELEventList& list = *Main->Session()->EventsService()->GetEventsList();
  for (TView other : {TView::EdgeDevcies, TView::Profile, TView::EventItems, TView::EdgeDevcies}) {
    const std::string name(ToString(other));
    SCOPED_TRACE(name);
    Main->ChangeView(other);
    ASSERT_EQ(Main->CurrentView(), other);
    for (int i = 1; i <= 3; ++i) {
      const std::string caption = name + "-" + std::to_string(i) + "-" + std::to_string(list.Count());
      ASSERT_EQ(Raise(caption), "200");
      ASSERT_TRUE(ZT::WaitUntil([&] { return AlertsWithCaption(list, caption) == 1; }, 5s)) << caption;
    }
    Main->ChangeView(TView::Events);
    ASSERT_TRUE(ZT::WaitUntil([view] { return !view->Receiving(); }, 20s));
    EXPECT_EQ(view->Rows()->rowCount(), list.Count());
    for (TZELEvent* e : list) EXPECT_EQ(RowsWithCaption(*view, e->Caption()), AlertsWithCaption(list, e->Caption()));
  }
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
