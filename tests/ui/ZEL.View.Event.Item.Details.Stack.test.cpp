// The item details view against the whole local stack (broker over TLS, backend and edge
// simulator) in a plain host window over a signed-in session: an attachment turning ready
// live, a picture and a clip shown in the web view window under the stack's test CA, a
// backend failure on the presence check, and pausing and resuming the condition with the
// exact requests the edge receives. The chosen alert and item are set in the events service
// as the timeline sets them. Needs a built simulator (ZEL_BACKEND_SIM); skipped without one.

#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.WebView.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.View.Events.h"
#include "ZEL.Frames.PauseVariants.h"
#include "ZEL.FrameStand.h"
#include "ZEL.ItemDetails.Decisions.h"
#include "ZEL.ItemDetails.View.TestSupport.h"
#include "ZEL.JSON.Utils.h"
#include "ZEL.Session.h"
#include "ZEL.Style.h"
#include "services/ZEL.Stack.TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QScreen>

#include <optional>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
namespace D = ItemDetails::Decisions;
using namespace std::chrono_literals;

constexpr const char* cAlert = "a1e700000000000000000005";
constexpr const char* cItem = "17e400000000000000000004";
constexpr const char* cPicture = "a77ac4000000000000000001";
constexpr const char* cUploading = "a77ac4000000000000000002";
constexpr const char* cClip = "a77ac4000000000000000004";

// The result of a script in the open web view window ("" until it answered).
std::string RunScript(const std::string& AScript) {
  TWebViewForm* form = Forms::WebView::WebViewForm();
  if (!form) return "";
  std::string result;
  bool done = false;
  form->Player()->page()->runJavaScript(QString::fromStdString(AScript), [&](const QVariant& AValue) {
    result = AValue.toString().toStdString();
    done = true;
  });
  ZT::WaitUntil([&] { return done || !Forms::WebView::WebViewForm(); }, 5s);
  return result;
}

class ItemDetailsStack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (ZT::BackendSimulator().empty()) return;
    Stack = new ZT::TStackRun();
    Error = Stack->Start("details-stack");
  }
  static void TearDownTestSuite() {
    delete Stack;
    Stack = nullptr;
  }

  void SetUp() override {
    ZT::AllowWebEngineAsRoot();
    if (ZT::BackendSimulator().empty()) GTEST_SKIP() << "no simulator (ZEL_BACKEND_SIM)";
    ASSERT_TRUE(Error.empty()) << Error;
    ASSERT_EQ(Stack->Control("POST", "/reset", ""), "200");
    ASSERT_TRUE(Login.SignIn());
    Session = std::make_unique<TZELSession>();
    Session->OnSynced = [this](std::int32_t) { Synced = true; };
    Session->OnConnected = [this](bool) { ++Connections; };
    Session->StartSync();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Synced && Connections > 0; }, 20s));
    // The alert and item chosen as the timeline chooses them.
    auto events = Session->EventsService();
    events->SetDetailedEvent(cAlert);
    TZELEvent* alert = events->GetDetailedEvent();
    ASSERT_NE(alert, nullptr);
    if (!alert->FindItem(cItem)) {
      ASSERT_TRUE(alert->FetchItems());
    }
    events->SetDetailedEventItem(cItem);
    Window.resize(444, 640);
    View = std::make_unique<TEventItemDetailsForm>();
    View->InitView(TView::EventItemDetails, &Host, &Window);
    View->Enter(TView::EventItems);
    View->ShowView();
    Window.show();
  }
  void TearDown() override {
    if (View && View->NeedLeave()) View->Leave(TView::EventItems);
    View.reset();
    Session.reset();
    Login.Release();
  }

  int AttachmentRow(const std::string& AID) const {
    QListWidget* list = View->AttachmentList();
    for (int i = 0; i < list->count(); ++i)
      if (TEventItemDetailsForm::IdOf(list->item(i)) == AID) return i;
    return -1;
  }
  int ServiceRow(const std::string& ACaption) const {
    QListWidget* list = View->ServiceList();
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->data(Qt::AccessibleTextRole).toString().toStdString() == ACaption) return i;
    return -1;
  }
  // The requests the edges received, oldest first.
  static std::vector<nlohmann::ordered_json> Requests() {
    std::vector<nlohmann::ordered_json> out;
    const auto log = nlohmann::ordered_json::parse(Stack->ControlBody("/requests"), nullptr, false);
    if (log.is_array())
      for (const auto& r : log) out.push_back(r["payload"]);
    return out;
  }

  static inline ZT::TStackRun* Stack = nullptr;
  static inline std::string Error;
  ZT::TStackSignIn Login;
  std::unique_ptr<TZELSession> Session;
  bool Synced = false;
  int Connections = 0;
  ZT::TRecordingHost Host;
  ZT::TDialogsInPlace Dialogs;
  QWidget Window;
  std::unique_ptr<TEventItemDetailsForm> View;
};

TEST_F(ItemDetailsStack, AnAttachmentTurnsReadyLiveAndPicturesAndClipsShowInTheWebWindow) {
  const int uploading = AttachmentRow(cUploading);
  ASSERT_GT(uploading, 0);
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(View->AttachmentList(), uploading), "UPLOADING");
  ASSERT_EQ(Stack->Control("POST", "/attachments", std::string(R"({"objectId":")") + cUploading + R"(","state":2})"),
            "200");
  ASSERT_TRUE(ZT::WaitUntil(
      [&] { return TEventItemDetailsForm::StateTextOf(View->AttachmentList(), uploading) == "READY"; }, 10s));

  // The picture, loaded over TLS under the stack's test CA.
  View->AttachmentRowDoubleClick(AttachmentRow(cPicture));
  ASSERT_TRUE(ZT::WaitUntil([] { return Forms::WebView::WebViewForm() != nullptr; }, 10s));
  const std::string picture = "(function(){var i=document.querySelector('img');"
                              "return i&&i.complete?i.naturalWidth+'x'+i.naturalHeight:'';})()";
  EXPECT_TRUE(ZT::WaitUntil([&] { return RunScript(picture) == "160x120"; }, 20s)) << RunScript(picture);
  EXPECT_TRUE(Forms::WebView::WebViewForm()->RefusedText()->isHidden());

  // The clip replaces it and plays.
  QPointer<TWebViewForm> first = Forms::WebView::WebViewForm();
  View->AttachmentRowDoubleClick(AttachmentRow(cClip));
  ASSERT_TRUE(ZT::WaitUntil([&] { return first.isNull() && Forms::WebView::WebViewForm(); }, 10s));
  const std::string playing = "(function(){var v=document.querySelector('video');"
                              "return v&&!v.paused&&v.currentTime>0?'playing':'';})()";
  EXPECT_TRUE(ZT::WaitUntil([&] { return RunScript(playing) == "playing"; }, 20s));
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

TEST_F(ItemDetailsStack, ABackendFailureOnThePresenceCheckShowsTheMessageAndTheWindowStaysResponsive) {
  ASSERT_EQ(Stack->Control("POST", "/faults", R"({"path":"/extra","mode":"timeout","delayMs":1500,"count":1})"), "200");
  View->AttachmentRowDoubleClick(AttachmentRow(cPicture));
  // While the backend holds the answer back, the UI thread goes on with its work.
  bool ticked = false;
  QTimer::singleShot(50, [&] { ticked = true; });
  EXPECT_TRUE(ZT::WaitUntil([&] { return ticked; }, 1s));
  EXPECT_TRUE(Dialogs.Service->Shown.empty()) << "the answer is not in yet";
  ASSERT_TRUE(ZT::WaitUntil([&] { return !Dialogs.Service->Shown.empty(); }, 20s));
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{std::string(D::cGoneText)});
  EXPECT_EQ(Forms::WebView::WebViewForm(), nullptr);
  EXPECT_EQ(Host.Calls.back(), "HideProgress");
}

TEST_F(ItemDetailsStack, PausingForTheSmallestIntervalThenResumingSendsTheExactRequests) {
  ASSERT_FALSE(View->ActionsButton()->isHidden());
  View->btnServicesClick();
  ASSERT_EQ(ServiceRow("Disable"), 1) << "the pause service comes first in the seed";
  View->ServiceRowClick(ServiceRow("Pause"));
  auto* frame = View->FrameStand()->Find<TfraPauseIntervalSelection>();
  ASSERT_NE(frame, nullptr);
  frame->btnApplyClick();

  ASSERT_TRUE(ZT::WaitUntil([] { return Requests().size() == 1; }, 10s));
  const auto pause = Requests()[0];
  EXPECT_EQ(pause["Type"], 6);
  EXPECT_EQ(pause["ServiceIndex"], 3);
  EXPECT_EQ(pause["ServiceProvider"]["ID"], "COND-N-MOTION");
  EXPECT_EQ(pause["RequestData"]["Params"], nlohmann::ordered_json({{"Interval", 60}})) << pause.dump();
  // The edge's answer turns the rows into resume and stop.
  ASSERT_TRUE(ZT::WaitUntil([&] { return ServiceRow("Resume") == 0 && ServiceRow("Stop") == 1; }, 10s));
  EXPECT_TRUE(View->ServicesPanel()->isHidden());

  View->btnServicesClick();
  View->ServiceRowClick(ServiceRow("Resume"));
  ASSERT_TRUE(ZT::WaitUntil([] { return Requests().size() == 2; }, 10s));
  const auto resume = Requests()[1];
  EXPECT_EQ(resume["ServiceIndex"], 4);
  EXPECT_EQ(resume["ServiceProvider"]["ID"], "COND-N-MOTION");
  EXPECT_EQ(resume["RequestData"]["Params"], nlohmann::ordered_json({{"State", 1}})) << resume.dump();
  ASSERT_TRUE(ZT::WaitUntil([&] { return ServiceRow("Disable") >= 0 && ServiceRow("Pause") >= 0; }, 10s));
}

// Only with ZEL_SCREENS_DIR set (scripts/render-screens.sh sets it): the main window over the
// stack with the item details in its slot (chosen as the timeline chooses), both tabs and the
// services panel, and the web view window showing a picture.
class ItemDetailsScreens : public ::testing::Test {
protected:
  static const char* Folder() { return std::getenv("ZEL_SCREENS_DIR"); }
  static void SetUpTestSuite() {
    if (!Folder() || ZT::BackendSimulator().empty()) return;
    Stack = new ZT::TStackRun();
    Error = Stack->Start("details-screens");
  }
  static void TearDownTestSuite() {
    delete Stack;
    Stack = nullptr;
  }
  void SetUp() override {
    ZT::AllowWebEngineAsRoot();
    if (!Folder() || ZT::BackendSimulator().empty()) GTEST_SKIP() << "pictures only with ZEL_SCREENS_DIR";
    ASSERT_TRUE(Error.empty()) << Error;
    ASSERT_EQ(Stack->Control("POST", "/reset", ""), "200");
    ASSERT_TRUE(Login.SignIn());
    PrevSheet = qApp->styleSheet();
    Style::Apply(*qApp);
  }
  void TearDown() override {
    Forms::WebView::CloseWebView();
    if (Main) Main->FreeServices();
    Main.reset();
    if (PrevSheet) qApp->setStyleSheet(*PrevSheet);
    Login.Release();
  }
  static QString PathOf(const char* AName) {
    return QDir(QString::fromLocal8Bit(Folder())).filePath(QString::fromLatin1(AName));
  }
  void Save(QWidget* AWidget, const char* AName) {
    QTest::qWait(400);  // layout and style settle
    EXPECT_TRUE(AWidget->grab().save(PathOf(AName), "PNG")) << AName;
  }

  static inline ZT::TStackRun* Stack = nullptr;
  static inline std::string Error;
  ZT::TStackSignIn Login;
  ZT::TDialogsInPlace Dialogs;
  std::unique_ptr<TfrmMain> Main;
  std::optional<QString> PrevSheet;
};

TEST_F(ItemDetailsScreens, ItemDetailsTabsServicesAndTheWebWindow) {
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(Folder())));
  Main = std::make_unique<TfrmMain>();
  Main->show();
  ASSERT_TRUE(ZT::WaitUntil([this] { return Main->CurrentView() == TView::Events; }, 20s));
  // The Events view's first pull replaces the alert list: choose once it is in.
  auto* list = dynamic_cast<TEventsViewForm*>(Main->View(TView::Events));
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(ZT::WaitUntil([list] { return !list->Receiving() && list->Rows()->rowCount() > 1; }, 20s));
  auto events = Main->Session()->EventsService();
  events->SetDetailedEvent(cAlert);
  TZELEvent* alert = events->GetDetailedEvent();
  ASSERT_NE(alert, nullptr);
  if (!alert->FindItem(cItem)) {
    ASSERT_TRUE(alert->FetchItems());
  }
  events->SetDetailedEventItem(cItem);
  Main->ChangeView(TView::EventItemDetails);
  auto* view = dynamic_cast<TEventItemDetailsForm*>(Main->View(TView::EventItemDetails));
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(Main->CurrentView(), TView::EventItemDetails);
  EXPECT_EQ(view->Tabs()->currentIndex(), 0);
  EXPECT_TRUE(view->MediaTabVisible());
  Save(Main.get(), "item-details-info.png");
  view->btnServicesClick();
  Save(Main.get(), "item-details-services.png");
  view->btnHideServicesPanelClick();
  view->Tabs()->setCurrentIndex(1);
  Save(Main.get(), "item-details-media.png");

  view->AttachmentRowDoubleClick(1);
  ASSERT_TRUE(ZT::WaitUntil([] { return Forms::WebView::WebViewForm() != nullptr; }, 10s))
      << (Dialogs.Service->Shown.empty() ? "" : Dialogs.Service->Shown[0]);
  const std::string picture = "(function(){var i=document.querySelector('img');"
                              "return i&&i.complete?i.naturalWidth+'x'+i.naturalHeight:'';})()";
  ASSERT_TRUE(ZT::WaitUntil([&] { return RunScript(picture) == "160x120"; }, 20s));
  TWebViewForm* web = Forms::WebView::WebViewForm();
  QTest::qWait(800);  // the page paints
  const QImage shot = web->screen()->grabWindow(web->winId()).toImage();
  EXPECT_TRUE(shot.save(PathOf("web-view-picture.png"), "PNG"));
}

}  // namespace
}  // namespace ZEL
