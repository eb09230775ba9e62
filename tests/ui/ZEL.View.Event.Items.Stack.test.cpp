// The alert timeline against the whole local stack (broker over TLS, backend and edge
// simulator), in the real main window of a signed-in session: a seed alert opened from the
// Events view with its history and its view request, a dismiss with a reason from the
// edge's table, an escalated alert's "Incident close", a refused request's toast, a dismiss
// that could not be sent while the broker was away, and a dismiss sent by another operator's
// client. Needs a built simulator: ZEL_BACKEND_SIM
// (build define or environment variable); skipped without one. With ZEL_SCREENS_DIR set it
// also pictures the timeline with its actions panel and a reason frame.

#include "ZEL.ActionsPanel.h"
#include "ZEL.EventItems.Rows.h"
#include "ZEL.Frames.Reasons.h"
#include "ZEL.Stack.SecondClient.h"
#include "ZEL.View.Event.Items.h"
#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.Forms.Main.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Screens.TestSupport.h"
#include "ZEL.Style.h"
#include "services/ZEL.Auth.TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <cstdlib>
#include <optional>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;
using TJSON = nlohmann::ordered_json;

class TimelineStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (ZT::BackendSimulator().empty()) return;
    Stack = new ZT::TStackRun();
    Error = Stack->Start("timeline-stack");
  }
  static void TearDownTestSuite() {
    delete Stack;
    Stack = nullptr;
  }

  void SetUp() override {
    if (ZT::BackendSimulator().empty()) GTEST_SKIP() << "no simulator (ZEL_BACKEND_SIM)";
    ASSERT_TRUE(Error.empty()) << Error;
    ASSERT_EQ(Stack->Control("POST", "/reset", ""), "200");
    ASSERT_TRUE(Login.SignIn());
    ToastRef = TZELMessager<TShowToastMessageEvent>::Subscribe(
        [this](TSender, const TShowToastMessageEvent& AMessage) { Toasts.push_back(AMessage.Value()); });
    Main = std::make_unique<TfrmMain>();
    Main->show();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Main->CurrentView() == TView::Events; }, 20s));
    Events = dynamic_cast<TEventsViewForm*>(Main->View(TView::Events));
    Timeline = dynamic_cast<TEventItemsForm*>(Main->View(TView::EventItems));
    ASSERT_NE(Events, nullptr);
    ASSERT_NE(Timeline, nullptr);
    ASSERT_TRUE(ZT::WaitUntil([this] { return !Events->Receiving() && Events->Rows()->rowCount() > 1; }, 20s));
  }
  void TearDown() override {
    TZELMessager<TShowToastMessageEvent>::Unsubscribe(ToastRef);
    if (Main) Main->FreeServices();
    Main.reset();
    Login.Release();
  }

  // The first seed alert on view in that state.
  std::string FirstInState(TEventAlertState AState) const {
    for (int i = 0; i < Events->OnView()->rowCount(); ++i) {
      const QModelIndex index = Events->OnView()->index(i, 0);
      if (index.data(TEventsRowModel::StateRole).toInt() == static_cast<int>(AState))
        return index.data(TEventsRowModel::IDRole).toString().toStdString();
    }
    return "";
  }
  // Double click on the alert's row in the Events view; waits for the timeline's rows.
  void Open(const std::string& AID) {
    int row = -1;
    for (int i = 0; i < Events->OnView()->rowCount(); ++i)
      if (Events->OnView()->index(i, 0).data(TEventsRowModel::IDRole).toString().toStdString() == AID) row = i;
    ASSERT_GE(row, 0) << AID;
    Events->OpenRow(row);
    ASSERT_EQ(Main->CurrentView(), TView::EventItems);
    ASSERT_TRUE(ZT::WaitUntil([this] { return !Timeline->Fetching() && Timeline->Rows()->rowCount() >= 3; }, 20s));
  }
  TZELEvent* Alert(const std::string& AID) const {
    return Main->Session()->EventsService()->GetEventsList()->FindEventByID(AID);
  }
  // How many history entries the backend holds for the alert now.
  int BackendItemsOf(const std::string& AID) const {
    int count = 0;
    const TJSON state = TJSON::parse(Stack->ControlBody("/state"), nullptr, false);
    if (state.is_object() && state["items"].is_array())
      for (const auto& i : state["items"])
        if (i.is_object() && i.value("ParentObjectId", "") == AID) ++count;
    return count;
  }
  // The service requests the simulator received for the alert, with what became of them.
  std::vector<TJSON> RequestsFor(const std::string& AID) const {
    std::vector<TJSON> out;
    const TJSON log = TJSON::parse(Stack->ControlBody("/requests"), nullptr, false);
    if (log.is_array())
      for (const auto& r : log)
        if (r["payload"].is_object() && r["payload"]["RequestData"]["Params"].value("IncidentId", "") == AID)
          out.push_back(r);
    return out;
  }
  // By value: opening the panel makes its rows again, so a caption taken from them would go.
  TfraReasonSelection* ChooseService(std::string ACaption) {
    if (!Timeline->ActionsPanelShown()) Timeline->ActionsClick();
    const auto& rows = Timeline->ServiceRows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].Caption == ACaption) {
        Timeline->ChooseService(static_cast<int>(i));
        return Timeline->OpenFrame();
      }
    return nullptr;
  }

  static ZT::TStackRun* Stack;
  static std::string Error;
  ZT::TStackSignIn Login;
  std::unique_ptr<TfrmMain> Main;
  TEventsViewForm* Events = nullptr;
  TEventItemsForm* Timeline = nullptr;
  TZELMessagerRef ToastRef;
  std::vector<std::string> Toasts;
};

ZT::TStackRun* TimelineStack::Stack = nullptr;
std::string TimelineStack::Error;

TEST_F(TimelineStack, OpenASeedAlertThenDismissItWithAReasonFromTheEdgesTable) {
  const std::string id = FirstInState(TEventAlertState::easInitiated);
  ASSERT_FALSE(id.empty());
  // Counted before the opening: the view entry it causes may land while the rows are awaited.
  const int items = BackendItemsOf(id);
  ASSERT_GT(items, 0);
  ASSERT_NO_FATAL_FAILURE(Open(id));
  ASSERT_NE(Alert(id), nullptr);
  // Its history, or more: the view entry may have landed already.
  EXPECT_GE(Timeline->Rows()->rowCount(), 3 + items);

  // The view request, exactly; the simulator's view entry lands below the separator.
  ASSERT_TRUE(ZT::WaitUntil([&] { return !RequestsFor(id).empty(); }, 5s));
  const TJSON view = RequestsFor(id).front();
  EXPECT_EQ(view["payload"]["Type"], 6);
  EXPECT_EQ(view["payload"]["RequestData"]["Params"], (TJSON{{"IncidentId", id}}));
  EXPECT_EQ(view["payload"]["Source"]["Type"], 200);
  EXPECT_EQ(view["payload"]["Source"]["ID"], "demo@zel.test");
  ASSERT_TRUE(ZT::WaitUntil([&] { return Timeline->Rows()->rowCount() == 3 + items + 1; }, 5s))
      << view.dump();
  EXPECT_EQ(Timeline->Rows()->Row(3).Item.ID, Alert(id)->Items()[Alert(id)->Items().Count() - 1]->ID());

  // Dismiss with the table's first reason.
  TZELEdgeObject* edge = Main->Session()->EdgeService()->GetEdgeFromOriginator(Alert(id)->OriginatorPtr());
  ASSERT_NE(edge, nullptr);
  TZELEdgeDismissService* dismiss = nullptr;
  ASSERT_TRUE(edge->HasService(TEdgeServiceType::stDismiss, dismiss));
  const auto [code, reason] = *dismiss->InitReasons().begin();
  TfraReasonSelection* frame = ChooseService(dismiss->Name());
  ASSERT_NE(frame, nullptr);
  frame->ChooseRow(0);
  ASSERT_TRUE(ZT::WaitUntil([&] { return RequestsFor(id).size() == 2 && !RequestsFor(id)[1].value("outcome", "").empty(); }, 5s));
  const TJSON sent = RequestsFor(id)[1];
  EXPECT_EQ(sent["payload"]["ServiceIndex"], dismiss->SericeIndex());
  EXPECT_EQ(sent["payload"]["RequestData"]["Params"],
            (TJSON{{"IncidentId", id}, {"Reason", reason}, {"ReasonCode", code}}));
  EXPECT_EQ(sent.value("outcome", ""), "answered 200: OK");
  // The dismiss entry, the new state in the Events view, Actions gone.
  EXPECT_TRUE(ZT::WaitUntil([&] { return Timeline->Rows()->rowCount() == 3 + items + 2; }, 5s));
  EXPECT_TRUE(ZT::WaitUntil([&] { return !Timeline->ActionsButtonShown(); }, 5s));
  const int row = Events->Rows()->IndexOf(id);
  ASSERT_GE(row, 0);
  EXPECT_EQ(Events->Rows()->Row(row).Subject.State, TEventAlertState::easDismissed);
  EXPECT_TRUE(Toasts.empty()) << Toasts.front();

  // Back to the Events view.
  Main->Back();
  EXPECT_EQ(Main->CurrentView(), TView::Events);
}

TEST_F(TimelineStack, AnEscalatedAlertOffersOnlyIncidentClose) {
  const std::string id = FirstInState(TEventAlertState::easEscalated);
  ASSERT_FALSE(id.empty());
  ASSERT_NO_FATAL_FAILURE(Open(id));
  EXPECT_TRUE(Timeline->ActionsButtonShown());
  Timeline->ActionsClick();
  ASSERT_FALSE(Timeline->ServiceRows().empty());
  for (const auto& row : Timeline->ServiceRows()) EXPECT_EQ(row.Caption, "Incident close");
  TfraReasonSelection* frame = ChooseService("Incident close");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Prompt()->text().toStdString(), "Choose a reason to close an alert:");
}

TEST_F(TimelineStack, ARefusedRequestShowsTheToast) {
  const std::string id = FirstInState(TEventAlertState::easInitiated);
  ASSERT_FALSE(id.empty());
  ASSERT_NO_FATAL_FAILURE(Open(id));
  ASSERT_TRUE(ZT::WaitUntil([&] { return !RequestsFor(id).empty(); }, 5s));
  ASSERT_EQ(Stack->Control("POST", "/requests/policy", R"({"mode":"fail","count":1,"code":409})"), "200");
  TfraReasonSelection* frame = ChooseService(Timeline->ServiceRows().front().Caption);
  ASSERT_NE(frame, nullptr);
  frame->ChooseRow(0);
  EXPECT_TRUE(ZT::WaitUntil([&] {
    return std::find(Toasts.begin(), Toasts.end(), "Last service request failed on server.") != Toasts.end();
  }, 5s));
  EXPECT_TRUE(Timeline->ActionsButtonShown());  // still initiated
}

TEST_F(TimelineStack, ADismissWithTheBrokerStoppedIsToldAndNeverReachesTheEdge) {
  // The reconnection after the broker is back comes soon.
  ZT::TScopedEnv wait("ZEL_MQTT_KEEPER_WAIT_MS", "500");
  ZT::TDialogsInPlace dialogs;
  const std::string id = FirstInState(TEventAlertState::easInitiated);
  ASSERT_FALSE(id.empty());
  ASSERT_NO_FATAL_FAILURE(Open(id));
  ASSERT_TRUE(ZT::WaitUntil([&] { return !RequestsFor(id).empty(); }, 5s));
  // The dismiss requests the simulator received for the alert.
  const auto Dismisses = [&] {
    std::vector<TJSON> out;
    for (const TJSON& r : RequestsFor(id))
      if (r["payload"]["RequestData"]["Params"].contains("ReasonCode")) out.push_back(r);
    return out;
  };
  std::shared_ptr<IZELMQTTService> mqtt = Main->Session()->MQTTService();
  ASSERT_NE(mqtt, nullptr);
  // The other tests of the suite need the broker whatever happens here.
  struct TBrokerBack {
    ZT::TStackRun* Run;
    bool Stopped = false;
    ~TBrokerBack() {
      if (Stopped) Run->RestartBroker();
    }
  } broker{Stack};
  broker.Stopped = Stack->StopBroker();
  ASSERT_TRUE(broker.Stopped);
  ASSERT_TRUE(ZT::WaitUntil([&] { return !mqtt->IsConnected(); }, 10s));

  TZELEdgeObject* edge = Main->Session()->EdgeService()->GetEdgeFromOriginator(Alert(id)->OriginatorPtr());
  ASSERT_NE(edge, nullptr);
  TZELEdgeDismissService* dismiss = nullptr;
  ASSERT_TRUE(edge->HasService(TEdgeServiceType::stDismiss, dismiss));
  const std::string name = dismiss->Name();
  TfraReasonSelection* frame = ChooseService(name);
  ASSERT_NE(frame, nullptr);
  frame->ChooseRow(0);
  EXPECT_EQ(dialogs.Service->Shown, std::vector<std::string>{ActionsPanel::cNotSentText});
  EXPECT_EQ(Timeline->OpenFrame(), frame) << "the frame stays for another try";
  EXPECT_TRUE(Timeline->ActionsButtonShown());

  // The broker back: the dismiss chosen again goes out and is answered; the one that could
  // not be sent never arrives.
  ASSERT_TRUE(Stack->RestartBroker()) << ZT::ReadFileBytes(Stack->BrokerFolder() + "/broker.log");
  broker.Stopped = false;
  ASSERT_TRUE(ZT::WaitUntil([&] { return mqtt->IsConnected(); }, 30s));
  // The edges' own connection is back too, their request topics subscribed.
  ASSERT_TRUE(ZT::WaitUntil(
      [&] { return TJSON::parse(Stack->ControlBody("/health"), nullptr, false).value("subscribed", false); }, 20s))
      << Stack->ControlBody("/health");
  frame = ChooseService(name);
  ASSERT_NE(frame, nullptr);
  frame->ChooseRow(0);
  ASSERT_TRUE(ZT::WaitUntil([&] { return !Dismisses().empty() && !Dismisses()[0].value("outcome", "").empty(); }, 10s));
  EXPECT_TRUE(ZT::WaitUntil([&] { return !Timeline->ActionsButtonShown(); }, 5s));
  EXPECT_EQ(Dismisses().size(), 1u);
  EXPECT_EQ(Dismisses()[0].value("outcome", ""), "answered 200: OK");
  EXPECT_EQ(dialogs.Service->Shown.size(), 1u);
}

TEST_F(TimelineStack, ASecondClientsDismissUpdatesTheTimelineShown) {
  const std::string id = FirstInState(TEventAlertState::easInitiated);
  ASSERT_FALSE(id.empty());
  ASSERT_NO_FATAL_FAILURE(Open(id));
  ASSERT_TRUE(ZT::WaitUntil([&] { return !RequestsFor(id).empty(); }, 5s));
  const int before = Timeline->Rows()->rowCount();
  const std::string request =
      ZT::DismissFromSecondClient(*Stack, *Main->Session(), id, "supervisor@zel.test", "Sam Supervisor");
  ASSERT_FALSE(request.empty()) << ZT::ReadFileBytes(Stack->Folder() + "/second-client.log");
  EXPECT_TRUE(ZT::WaitUntil([&] { return !Timeline->ActionsButtonShown(); }, 5s));
  EXPECT_TRUE(ZT::WaitUntil([&] { return Timeline->Rows()->rowCount() > before; }, 5s));
}

// Only with ZEL_SCREENS_DIR set (scripts/render-screens.sh sets it).
class TimelineScreens : public ZEL::Test::TScreensOf<TimelineStack> {};

TEST_F(TimelineScreens, TimelineWithActionsAndAReasonFrame) {
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(Folder())));
  const std::string id = FirstInState(TEventAlertState::easInitiated);
  ASSERT_FALSE(id.empty());
  ASSERT_NO_FATAL_FAILURE(Open(id));
  QTest::qWait(1000);  // the view entry lands
  Timeline->ActionsClick();
  Save("timeline-actions.png");
  ASSERT_NE(ChooseService(Timeline->ServiceRows().front().Caption), nullptr);
  Save("timeline-reason-frame.png");
}

}  // namespace
}  // namespace ZEL
