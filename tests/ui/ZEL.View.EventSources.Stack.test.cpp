// The Devices and Profile views in the main window against the whole local stack (broker
// over TLS, backend and edge simulator): the seed's conditions and devices in their states,
// a pause sent by another operator's client followed without leaving the view, the demo
// account on the Profile view and its hidden "network error" stop bringing a reconnection.
// Needs a built simulator: ZEL_BACKEND_SIM (build define or environment variable); skipped
// without one. With ZEL_SCREENS_DIR set, pictures of both views go into that folder.

#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.Edge.Types.h"
#include "ZEL.EventSources.Rows.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.JSON.Utils.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Session.h"
#include "ZEL.Screens.TestSupport.h"
#include "ZEL.Style.h"
#include "ZEL.Utils.ObjectId.h"
#include "ZEL.View.EventSources.h"
#include "ZEL.View.Profile.h"
#include "ZEL.UI.TestSupport.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <unistd.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

class DevicesStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (ZT::BackendSimulator().empty()) return;
    Stack = new ZT::TStackRun();
    Error = Stack->Start("devices-stack", ZT::QuickKeeper());
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
    Main->resize(444, 640);
    Main->show();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Main->CurrentView() == TView::Events; }, 20s))
        << "messages: " << ::testing::PrintToString(Dialogs.Service->Shown);
  }
  void TearDown() override {
    EXPECT_TRUE(Dialogs.Service->Shown.empty()) << ::testing::PrintToString(Dialogs.Service->Shown);
    TZELMessager<TShowToastMessageEvent>::Unsubscribe(ToastRef);
    if (Main) Main->FreeServices();
    Main.reset();
    Login.Release();
  }

  TEventSourcesViewForm* Devices() const { return dynamic_cast<TEventSourcesViewForm*>(Main->View(TView::EdgeDevcies)); }
  TProfileViewForm* Profile() const { return dynamic_cast<TProfileViewForm*>(Main->View(TView::Profile)); }

  // "name | state" of every condition and device row, "# text" of headers.
  std::vector<std::string> Shown() const {
    std::vector<std::string> rows;
    const TEventSourcesRowModel& model = *Devices()->Rows();
    for (int i = 0; i < model.rowCount(); ++i) {
      const QModelIndex at = model.index(i, 0);
      const std::string name = at.data(TEventSourcesRowModel::NameRole).toString().toStdString();
      if (model.Row(i).Kind == TEventSourceRowKind::Header)
        rows.push_back("# " + name);
      else
        rows.push_back(name + " | " + at.data(TEventSourcesRowModel::StateTextRole).toString().toStdString());
    }
    return rows;
  }
  int RowOf(const std::string& AID) const {
    for (int i = 0; i < Devices()->Rows()->rowCount(); ++i)
      if (Devices()->Rows()->Row(i).ID == AID) return i;
    return -1;
  }
  QString RowText(const std::string& AID, int ARole) const {
    return Devices()->Rows()->index(RowOf(AID), 0).data(ARole).toString();
  }

  // Whether the row's time text is the whole of APattern.
  bool Matches(const std::string& AID, const char* APattern) const {
    const QString text = RowText(AID, TEventSourcesRowModel::TimeTextRole);
    const bool ok = QRegularExpression(QRegularExpression::anchoredPattern(QString::fromLatin1(APattern)))
                        .match(text)
                        .hasMatch();
    if (!ok) ADD_FAILURE() << AID << ": \"" << text.toStdString() << "\"";
    return ok;
  }

  // Another operator's client: its own connection to the broker publishing a pause of the
  // condition, built as our client builds it. The request id, empty when the publish failed.
  std::string PauseFromSecondClient(const std::string& AEdgeID, const std::string& AConditionID, int ASeconds) {
    auto edges = Main->Session()->EdgeService();
    TZELEdgeObject* edge = nullptr;
    for (int i = 0; i < edges->EdgeCount(); ++i)
      if (edges->GetEdge(i)->ID() == AEdgeID) edge = edges->GetEdge(i);
    TZELConditionObject* condition = nullptr;
    TZELEdgePauseService* pause = nullptr;
    if (!edge || !edge->HasCondition(AConditionID, condition) ||
        !condition->HasService(TEdgeServiceType::stPause, pause))
      return "";
    TZELServiceRequestDTO request;
    const std::string id = Utils::ZELObjectId();
    TGUID provider, source;
    if (!TGUID::TryParse(condition->GUID(), provider) || !TGUID::TryParse(edge->GUID(), source)) return "";
    request.SetRequestType(6);
    request.SetDateTime(Time::Now());
    request.SetObjectId(id);
    request.SetRequestId(id);
    request.SetServiceIndex(pause->SericeIndex());
    request.ServiceProvider().SetGUID(provider);
    request.ServiceProvider().SetID(condition->ID());
    request.Source().SetGUID(source);
    request.Source().SetSourceType(Edge::AgentTypeToWire(TEdgeAgentType::atUser));
    request.Source().SetID("supervisor@zel.test");
    request.Source().SetName("Sam Supervisor");
    request.RequestData().SetParams(JSON::Utils::VarArgsToJSONValue({"Interval", ASeconds}));
    const std::string file = Stack->Folder() + "/second-client.json";
    std::ofstream(file, std::ios::binary) << request.ToJSON();
    const std::string pki = Stack->Value("ZEL_PKI_DIR");
    const std::string cmd = "mosquitto_pub -h '" + Stack->Value("ZEL_MQTT_BROKER_HOST") + "' -p " +
                            Stack->Value("ZEL_MQTT_BROKER_PORT") + " --cafile '" + pki + "/ca.crt' --cert '" + pki +
                            "/mobile_app.crt' --key '" + pki + "/mobile_app.key' -i zel-second-client-" +
                            std::to_string(getpid()) + " -q 1 -t '" + edge->MQTTServicesRequestChannel() +
                            "' -f '" + file + "' > '" + Stack->Folder() + "/second-client.log' 2>&1";
    return ZT::Shell(cmd) == 0 ? id : "";
  }

  static ZT::TStackRun* Stack;
  static std::string Error;
  ZT::TDialogsInPlace Dialogs;
  ZT::TStackSignIn Login;
  std::unique_ptr<TfrmMain> Main;
  TZELMessagerRef ToastRef;
  std::vector<std::string> Toasts;
};

ZT::TStackRun* DevicesStack::Stack = nullptr;
std::string DevicesStack::Error;

TEST_F(DevicesStack, SeedStatesAndAPauseFromAnotherClientFollowedInTheView) {
  Main->ChangeView(TView::EdgeDevcies);
  ASSERT_EQ(Main->CurrentView(), TView::EdgeDevcies);
  ASSERT_NE(Devices(), nullptr);
  const std::vector<std::string> seed = {
      "# Warehouse North", "# Conditions", "Yard motion | Enabled", "Hall door | Paused",
      "Cold room temperature | Disabled", "# Devices", "Gate camera | Online", "Dock camera | Offline",
      "Hall door contact | Online", "Cold room probe | Offline", "# Office South", "# Conditions",
      "Entrance after hours | Enabled", "Smoke detector | Enabled", "# Devices", "Lobby camera | Online",
      "Stairs camera | Offline"};
  EXPECT_EQ(Shown(), seed);
  // The seed's times count from the simulator's start: minutes may have passed since.
  EXPECT_TRUE(Matches("COND-N-DOOR", R"(For (4\d|50)m \(resume at: .+\))"));
  EXPECT_TRUE(Matches("COND-N-TEMP", R"(When: (24h|1day\(s\)) ago\.\.\.\(.+\))"));
  EXPECT_TRUE(Matches("DEV-N-CAM2", R"(Seen: 2h ago\.\.\.\(.+\))"));

  const std::string request = PauseFromSecondClient("EDGE-NORTH-01", "COND-N-MOTION", 1800);
  ASSERT_FALSE(request.empty()) << ZT::ReadFileBytes(Stack->Folder() + "/second-client.log");
  EXPECT_TRUE(ZT::WaitUntil(
      [this] { return RowText("COND-N-MOTION", TEventSourcesRowModel::StateTextRole) == "Paused"; }, 5s));
  EXPECT_TRUE(Matches("COND-N-MOTION", R"(For (29|30)m \(resume at: .+\))"));
  EXPECT_EQ(Main->CurrentView(), TView::EdgeDevcies);
}

TEST_F(DevicesStack, ProfileShowsTheDemoAccountAndANetworkStopReconnects) {
  Main->ChangeView(TView::Profile);
  ASSERT_NE(Profile(), nullptr);
  EXPECT_EQ(Profile()->FormContent()->findChild<QLineEdit*>("editAccountID")->text(), "demo@zel.test");

  auto mqtt = Main->Session()->MQTTService();
  ASSERT_TRUE(mqtt->IsConnected());
  Profile()->btnMQTTStopLikeErrorClick();
  EXPECT_TRUE(ZT::WaitUntil([&] { return !mqtt->IsConnected(); }, 5s));
  EXPECT_TRUE(ZT::WaitUntil(
      [this] {
        for (const std::string& text : Toasts)
          if (text.rfind("MQTT reconnect attempt(", 0) == 0) return true;
        return false;
      },
      10s));
  EXPECT_TRUE(ZT::WaitUntil([&] { return mqtt->IsConnected(); }, 15s));
  EXPECT_EQ(Main->CurrentView(), TView::Profile);
}

// Only with ZEL_SCREENS_DIR set (scripts/render-screens.sh sets it).
class DevicesScreens : public ZEL::Test::TScreensOf<DevicesStack> {};

TEST_F(DevicesScreens, DevicesAndProfileViews) {
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(Folder())));
  Main->ChangeView(TView::EdgeDevcies);
  Save("devices-view.png");
  Main->ChangeView(TView::Profile);
  Save("profile-view.png");
}

}  // namespace
}  // namespace ZEL
