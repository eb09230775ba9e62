// The main window over a stand-in broker and stand-in global services: what it shows while
// syncing, its views with the bottom menu and Back, toasts, the Devices mark, and how its
// end frees the session and closes the start-up window.

#include "TestSupport.h"
#include "ZEL.App.Result.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Frames.Wait.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Toast.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.UINotification.h"
#include "ZEL.View.Pending.h"
#include "services/ZEL.Session.Fakes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using Forms::Main::frmMain;

constexpr const char* cGuidA = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";
constexpr const char* cGuidB = "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}";

class TSavingAppData : public ZT::TFakeApplicationData {
public:
  void SaveSettings() override { ++Saves; }
  int Saves = 0;
};

void DeleteLaterNow() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    // Edge A: one active and one paused condition; edge B: one disabled.
    G.REST->Edges = nlohmann::ordered_json::array(
        {ZT::MakeEdge("EDGE-A", cGuidA, "a", {1, 2}), ZT::MakeEdge("EDGE-B", cGuidB, "b", {0})});
    GlobalContainer().RegisterType<IApplicationData>([d = Data] { return d; });
    GlobalContainer().Build();
    TfrmMain::SetSessionOptionsForTests(G.Options());
    TfrmMain::SetStandInViewsForTests(true);
    Startup = new QWidget;
    Startup->setAttribute(Qt::WA_DeleteOnClose);
    Startup->show();
  }
  void TearDown() override {
    delete frmMain();
    DeleteLaterNow();
    delete Startup.data();
    TfrmMain::SetSessionOptionsForTests({});
    TfrmMain::SetStandInViewsForTests(false);
    GlobalContainer().Unregister<IApplicationData>();
  }

  // Opens the window and waits for the sync to start the connection.
  TfrmMain* Open() {
    TfrmMain::RunDialog(Startup);
    TfrmMain* window = frmMain();
    EXPECT_NE(window, nullptr);
    EXPECT_TRUE(ZT::WaitUntil([this] { return G.MQTT->Connects == 1; }));
    return window;
  }
  TfrmMain* OpenConnected() {
    TfrmMain* window = Open();
    G.MQTT->PlayStatus(true);
    return window;
  }
  template <class W = QWidget>
  static W* Find(TfrmMain* AWindow, const char* AName) {
    return AWindow->findChild<W*>(QString::fromLatin1(AName));
  }
  static QString Tab(TfrmMain* AWindow) {
    return Find<QStackedWidget>(AWindow, "tcViews")->currentWidget()->objectName();
  }
  std::vector<std::string> ViewSteps() const {
    std::vector<std::string> steps;
    for (const auto& entry : Log.WithTag("TPendingViewForm")) steps.push_back(entry.Message);
    return steps;
  }
  int Count(const std::string& ATag, const std::string& AText) const {
    int n = 0;
    for (const auto& entry : Log.WithTag(ATag))
      if (entry.Message == AText) ++n;
    return n;
  }

  ZT::TSessionGlobals G;
  std::shared_ptr<TSavingAppData> Data = std::make_shared<TSavingAppData>();
  ZT::TDialogsInPlace Dialogs;
  QPointer<QWidget> Startup;
  LogsPipe::TLogCapture Log;
};

TEST_F(MainWindow, SyncsUnderTheOverlayAndOpensAlertsAtTheFirstConnection) {
  TfrmMain::RunDialog(Startup);
  TfrmMain* w = frmMain();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), "Tarvelo Systems");
  EXPECT_EQ(w->size(), QSize(444, 640));
  EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
  ASSERT_NE(w->Overlay(), nullptr);
  EXPECT_EQ(w->Overlay()->MessageText(), "Syncing....");
  EXPECT_EQ(w->CurrentView(), TView::Host);

  ASSERT_TRUE(ZT::WaitUntil([this] { return G.MQTT->Connects == 1; }));
  EXPECT_EQ(Data->Saves, 1);  // the push preferences are applied and saved
  EXPECT_EQ(Find<QToolButton>(w, "sbtnDevices")->text(), "Devices (!)");
  EXPECT_EQ(w->InactConditionsCount(), 2);

  G.MQTT->PlayStatus(true);
  EXPECT_EQ(w->CurrentView(), TView::Events);
  EXPECT_EQ(w->Overlay(), nullptr);
  EXPECT_EQ(Tab(w), "tabEvents");
  EXPECT_TRUE(Find<QToolButton>(w, "sbtnEvents")->isChecked());
  EXPECT_FALSE(Find(w, "tbMainForm")->isVisible());

  // A later connection leaves the user where they are.
  w->ChangeView(TView::Profile);
  G.MQTT->PlayStatus(true);
  EXPECT_EQ(w->CurrentView(), TView::Profile);
}

TEST_F(MainWindow, KeysUnderTheSyncOverlayReachNothing) {
  TfrmMain::RunDialog(Startup);
  TfrmMain* w = frmMain();
  ASSERT_NE(w, nullptr);
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  ASSERT_NE(w->Overlay(), nullptr);
  // Space and Return would press the focused "Alerts" before the first connection, while
  // the sync fills the edge list on its pool thread: the overlay holds the keyboard.
  EXPECT_EQ(QApplication::focusWidget(), w->Overlay());
  for (const Qt::Key LKey : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Space})
    QTest::keyClick(w->windowHandle(), LKey);
  EXPECT_EQ(w->CurrentView(), TView::Host);
  ASSERT_TRUE(ZT::WaitUntil([this] { return G.MQTT->Connects == 1; }));
  EXPECT_EQ(w->CurrentView(), TView::Host);
  G.MQTT->PlayStatus(true);
  EXPECT_EQ(w->CurrentView(), TView::Events);
  EXPECT_EQ(w->Overlay(), nullptr);
}

TEST_F(MainWindow, BottomMenuAndBackMoveBetweenViews) {
  TfrmMain* w = OpenConnected();
  QWidget* toolbar = Find(w, "tbMainForm");
  QToolButton* back = Find<QToolButton>(w, "sbtnBack");

  struct TStep {
    const char* Click;  // a button, or none for a change by the program
    TView ChangeTo;
    TView Expected;
    const char* Tab;
    const char* Pressed;
    bool Toolbar;
  };
  const TStep steps[] = {
      {"sbtnDevices", TView::Host, TView::EdgeDevcies, "tabEventSources", "sbtnDevices", false},
      {"sbtnProfile", TView::Host, TView::Profile, "tabProfile", "sbtnProfile", false},
      {"sbtnBack", TView::Host, TView::Profile, "tabProfile", "sbtnProfile", false},  // hidden: nothing
      {"sbtnEvents", TView::Host, TView::Events, "tabEvents", "sbtnEvents", false},
      {nullptr, TView::EventItems, TView::EventItems, "tabEventItems", "sbtnEvents", true},
      {nullptr, TView::EventItemDetails, TView::EventItemDetails, "tabEventItemDetails", "sbtnEvents", true},
      {"sbtnBack", TView::Host, TView::EventItems, "tabEventItems", "sbtnEvents", true},
      {"sbtnBack", TView::Host, TView::Events, "tabEvents", "sbtnEvents", false},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(std::string(step.Click ? step.Click : "ChangeView ") + std::string(ToString(step.Expected)));
    if (step.Click && std::string(step.Click) == "sbtnBack")
      w->Back();  // also what the button does; a hidden button takes no clicks
    else if (step.Click)
      QTest::mouseClick(Find<QToolButton>(w, step.Click), Qt::LeftButton);
    else
      w->ChangeView(step.ChangeTo);
    EXPECT_EQ(w->CurrentView(), step.Expected);
    EXPECT_EQ(Tab(w), step.Tab);
    EXPECT_TRUE(Find<QToolButton>(w, step.Pressed)->isChecked());
    EXPECT_EQ(toolbar->isVisible(), step.Toolbar);
    EXPECT_EQ(back->isVisible() && back->isEnabled(), step.Toolbar);
    // The view's content is in its own tab.
    EXPECT_EQ(w->View(step.Expected)->FormContent()->parentWidget()->objectName(), step.Tab);
  }

  // The Back button itself, clicked on the details.
  w->ChangeView(TView::EventItemDetails);
  QTest::mouseClick(back, Qt::LeftButton);
  EXPECT_EQ(w->CurrentView(), TView::EventItems);
  // A view the window does not host changes nothing.
  w->ChangeView(TView::Login);
  EXPECT_EQ(w->CurrentView(), TView::EventItems);
}

TEST_F(MainWindow, TheCurrentViewChosenAgainIsLeftAndEnteredAgain) {
  TfrmMain* w = OpenConnected();
  Log.Clear();
  QTest::mouseClick(Find<QToolButton>(w, "sbtnEvents"), Qt::LeftButton);
  EXPECT_EQ(ViewSteps(), (std::vector<std::string>{"Leave. Alerts to Events", "Enter. Alerts from Events"}));
  EXPECT_TRUE(w->View(TView::Events)->NeedLeave());
}

TEST_F(MainWindow, NewAlertToastUnlessAlertsAreInFrontAndItsClickOpensTheAlert) {
  TfrmMain* w = OpenConnected();
  const auto payloads = ZT::LoadFixture("alert-payloads.json");
  const std::string org = w->Session()->EdgeService()->MQTTOrgEventChannel();
  ASSERT_FALSE(org.empty());

  G.MQTT->PlayMessage(org, payloads["Type1"].dump());
  EXPECT_EQ(Count("TfrmMain.Messaging_NewEvent", "Event \"64b000000000000000000010\" added from HTTP/MQTT."), 1);
  EXPECT_FALSE(w->Toast()->IsShowing());

  w->ChangeView(TView::Profile);
  auto second = payloads["Type1"];
  second["ObjectId"] = "64b000000000000000000077";
  G.MQTT->PlayMessage(org, second.dump());
  ASSERT_TRUE(w->Toast()->IsShowing());
  EXPECT_EQ(w->Toast()->ToastMessage, "(New) Intruder");
  EXPECT_EQ(w->Toast()->ToastRect()->text(), "(New) Intruder");

  QTest::mouseClick(w->Toast()->ToastRect(), Qt::LeftButton);
  EXPECT_EQ(Count("TfrmMain.ToastClick", "Toast provided EventID = \"64b000000000000000000077\"!"), 1);
  EXPECT_EQ(w->CurrentView(), TView::EventItems);
  TZELEvent* detailed = w->Session()->EventsService()->GetDetailedEvent();
  ASSERT_NE(detailed, nullptr);
  EXPECT_EQ(detailed->ID(), "64b000000000000000000077");
}

TEST_F(MainWindow, PlainToastSitsAboveTheMenuAndOpensNothing) {
  TfrmMain* w = OpenConnected();
  w->ChangeView(TView::Profile);
  TZELUINotification::ShowToast("Request failed");
  ASSERT_TRUE(w->Toast()->IsShowing());
  EXPECT_EQ(Count("FToastMessageRef", "Showing toast \"Request failed\"."), 1);
  EXPECT_EQ(Find(w, "PanelBottom")->height(), 60);
  const QRect band = w->Toast()->ToastRect()->geometry();
  EXPECT_EQ(w->height() - (band.y() + band.height()), 70);
  EXPECT_EQ(w->Toast()->ToastRect()->palette().window().color(), QColor("limegreen"));

  QTest::mouseClick(w->Toast()->ToastRect(), Qt::LeftButton);
  EXPECT_EQ(Count("TfrmMain.ToastClick", "Toast has no linked data!"), 1);
  EXPECT_EQ(w->CurrentView(), TView::Profile);
}

// A control of the view where the new-alert toast would sit (a frame's Apply, a panel's last
// row): the press reaches the control, and the toast, clear of it, still opens its alert.
TEST_F(MainWindow, APressOnAControlUnderANewAlertToastReachesTheControl) {
  TfrmMain* w = OpenConnected();
  w->ChangeView(TView::Profile);
  QWidget* tab = Find(w, "tabProfile");
  auto* apply = new QPushButton("Apply", tab);
  apply->setGeometry(0, tab->height() - 45, tab->width(), 40);
  apply->show();
  QSignalSpy applied(apply, &QPushButton::clicked);

  TZELUINotification::ShowNewEventToast("Intruder", "64b000000000000000000077");
  ASSERT_TRUE(w->Toast()->IsShowing());
  const QRect band = w->Toast()->ToastRect()->geometry();
  const QRect control(apply->mapTo(w, QPoint(0, 0)), apply->size());
  EXPECT_FALSE(band.intersects(control));
  QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, control.center());
  EXPECT_EQ(applied.count(), 1);
  EXPECT_EQ(w->CurrentView(), TView::Profile);

  QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, band.center());
  EXPECT_EQ(Count("TfrmMain.ToastClick", "Toast provided EventID = \"64b000000000000000000077\"!"), 1);
  EXPECT_EQ(w->CurrentView(), TView::EventItems);
}

// A failure is read to its end: a new alert's toast waits for it, then follows with its link.
TEST_F(MainWindow, AFailureToastOutlastsANewAlertWhoseToastFollows) {
  TfrmMain* w = OpenConnected();
  w->ChangeView(TView::Profile);
  const std::string failure =
      "Unable to update the alerts; the list may be out of date. The server could not be reached.";
  TZELUINotification::ShowToast(failure);
  TZELUINotification::ShowNewEventToast("Intruder", "64b000000000000000000077");
  TZELUINotification::ShowNewEventToast("Gate open", "64b000000000000000000078");
  ASSERT_TRUE(w->Toast()->IsShowing());
  EXPECT_EQ(w->Toast()->ToastMessage, failure);
  EXPECT_FALSE(w->Toast()->HasLinkedData());

  w->Toast()->Close();  // as its fade-out ends
  ASSERT_TRUE(w->Toast()->IsShowing());
  EXPECT_EQ(w->Toast()->ToastMessage, "(New) Gate open");
  ASSERT_TRUE(w->Toast()->HasLinkedData());
  EXPECT_EQ(w->Toast()->LinkedData<TMessage<std::string>>()->Value(), "64b000000000000000000078");
  // An alert after an alert replaces it at once, as before.
  TZELUINotification::ShowNewEventToast("Intruder", "64b000000000000000000077");
  EXPECT_EQ(w->Toast()->ToastMessage, "(New) Intruder");
  w->Toast()->Close();
  EXPECT_FALSE(w->Toast()->IsShowing());
}

TEST_F(MainWindow, DevicesMarkFollowsTheEdgesCount) {
  TfrmMain* w = OpenConnected();
  QToolButton* devices = Find<QToolButton>(w, "sbtnDevices");
  TZELEdgeService& edges = *w->Session()->EdgeService();
  TZELConditionObject* paused = edges.GetEdge(0)->Conditions()[1];
  TZELConditionObject* disabled = edges.GetEdge(1)->Conditions()[0];
  const auto report = [](TZELConditionObject* ACondition, int AState) {
    const nlohmann::ordered_json data = {{"Status", {{"Enabled", true}}},
                                         {"State", {{"Data", {{"State", AState}}}, {"LastState", "2025-03-01T08:00:00Z"}}}};
    ACondition->UpdateStatusAndState(&data);
    TZELMessager<TConditionStateChangeMessage>::Send(
        [&] { return std::make_unique<TConditionStateChangeMessage>(ACondition, data); });
  };

  // The same paused condition reported twice is still one.
  report(paused, 2);
  report(paused, 2);
  EXPECT_EQ(w->InactConditionsCount(), 2);
  EXPECT_EQ(devices->text(), "Devices (!)");
  report(paused, 1);
  EXPECT_EQ(devices->text(), "Devices (!)");
  report(disabled, 1);
  EXPECT_EQ(devices->text(), "Devices");
  report(disabled, 1);
  EXPECT_EQ(w->InactConditionsCount(), 0);
  EXPECT_EQ(devices->text(), "Devices");
}

TEST_F(MainWindow, FreeServicesTwiceThenTheCloseEndsTheProgram) {
  TfrmMain* w = OpenConnected();
  w->ChangeView(TView::Profile);
  Log.Clear();
  w->FreeServices();
  w->FreeServices();
  EXPECT_EQ(ViewSteps(), std::vector<std::string>{"Leave. Profile to Host"});
  EXPECT_FALSE(w->View(TView::Profile)->NeedLeave());
  EXPECT_EQ(G.MQTT->Disconnects, std::vector<bool>{false});
  EXPECT_EQ(Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>(), nullptr);

  // The start-up window's close timer after a sign-out closes this window.
  QPointer<TfrmMain> window = w;
  w->close();
  EXPECT_EQ(frmMain(), nullptr);
  ASSERT_TRUE(ZT::WaitUntil([this] {
    DeleteLaterNow();
    return Startup.isNull();
  }));
  DeleteLaterNow();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(G.MQTT->Disconnects, std::vector<bool>{false});
}

TEST_F(MainWindow, FailedSyncShowsItsMessageAndClosingItEndsTheProgram) {
  G.REST->SyncResult = false;
  App::Result::Take();
  TfrmMain::RunDialog(Startup);
  QPointer<TfrmMain> window = frmMain();
  ASSERT_TRUE(ZT::WaitUntil([this] {
    DeleteLaterNow();
    return Startup.isNull();
  }));
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{"Unable to sync with server. Aborting."});
  EXPECT_EQ(frmMain(), nullptr);
  DeleteLaterNow();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(G.MQTT->Connects, 0);
  EXPECT_EQ(App::Result::Take(), App::Result::SessionFailed);
}

TEST_F(MainWindow, SignOutsReachTheAuthenticationService) {
  TfrmMain* w = OpenConnected();
  w->ChangeView(TView::Profile);
  auto* view = static_cast<TPendingViewForm*>(w->View(TView::Profile));
  ASSERT_NE(view->SignOutButton(), nullptr);
  QTest::mouseClick(view->SignOutButton(), Qt::LeftButton);
  EXPECT_EQ(G.Auth->Logouts, (std::vector<std::pair<bool, std::string>>{{true, ""}}));

  // The broker out of reach for the third attempt: the session's forced sign-out.
  G.MQTT->Attempts = 3;
  G.MQTT->PlayStatus(false);
  ASSERT_TRUE(ZT::WaitUntil([this] { return G.Auth->Logouts.size() == 2; }));
  EXPECT_EQ(G.Auth->Logouts[1], std::make_pair(false, std::string("Services is not available now. Please try again later.")));
}

}  // namespace
}  // namespace ZEL
