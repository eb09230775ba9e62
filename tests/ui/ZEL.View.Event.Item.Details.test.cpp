// The item details view on the offscreen platform: its two tabs, live attachment states,
// opening attachments, the condition's services with the pause frame, and the text window.

#include "ZEL.ActionsPanel.h"
#include "ZEL.Forms.TextView.h"
#include "ZEL.Forms.WebView.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Frames.PauseVariants.h"
#include "ZEL.ItemDetails.Decisions.h"
#include "ZEL.ItemDetails.View.TestSupport.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace ZEL::Test {
namespace {

namespace D = ItemDetails::Decisions;

TItemSpec MediaItem() {
  TItemSpec given;
  given.Attachments = {{"x1", "CAM-X", "Gate camera", 2, 1},
                      {"x2", "CAM-Y", "Dock camera", 1, 1},
                      {"x3", "cam-x", "Gate camera", 3, 2},
                      {"x4", "CAM-Y", "Dock camera", 0, 2}};
  return given;
}

// The parameters of a published service request.
nlohmann::ordered_json ParamsOf(const std::string& APayload) {
  const auto request = nlohmann::ordered_json::parse(APayload, nullptr, false);
  return request.is_object() ? request["RequestData"]["Params"] : nlohmann::ordered_json();
}

std::vector<TfrmTextView*> TextWindows() {
  std::vector<TfrmTextView*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<TfrmTextView*>(w); t && !t->testAttribute(Qt::WA_WState_Hidden)) out.push_back(t);
  return out;
}

TEST_F(TItemDetailsViewTest, InfoPairsAndTheMediaTabOnlyWithMedia) {
  TItemSpec bare;
  bare.Caption = "Door opened";
  Choose(bare);
  View->Enter(TView::EventItems);
  EXPECT_EQ(View->FormCaption(), "Door opened");
  EXPECT_FALSE(View->MediaTabVisible());
  EXPECT_EQ(View->Tabs()->currentIndex(), 0);
  const auto info = Rows(View->InfoList());
  ASSERT_EQ(info.size(), 8u);
  EXPECT_EQ(info[0], "[H] Source:");
  EXPECT_EQ(info[4], "[H] Name:");
  View->Leave(TView::EventItems);
  EXPECT_EQ(View->FormCaption(), D::cNoItemCaption) << "the item is forgotten on leaving";
  EXPECT_EQ(F.Events->GetDetailedEventItem(), nullptr);

  TItemSpec media = MediaItem();
  media.ID = "17e4000000000000000000b2";
  Choose(media);
  View->Enter(TView::EventItems);
  EXPECT_TRUE(View->MediaTabVisible());
  EXPECT_EQ(Rows(View->InfoList()).size(), 12u) << "images and videos totals added";
}

TEST_F(TItemDetailsViewTest, AFailureLoadingTheChosenItemIsShownNotThrown) {
  // The alert left the list; the backend's answer for it cannot be read.
  F.REST->OneEventResult = true;
  F.REST->OneEvent = {{"not", "an array"}};
  F.Events->SetDetailedEvent("a1e7000000000000000000ee");
  F.Events->SetDetailedEventItem("17e4000000000000000000ee");
  EXPECT_NO_THROW(View->Enter(TView::EventItems));
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs.Service->Shown.empty(); }));
  ASSERT_EQ(Dialogs.Service->Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Service->Shown[0].rfind("Unable to show the item: ", 0), 0u) << Dialogs.Service->Shown[0];
  EXPECT_EQ(View->FormCaption(), D::cNoItemCaption);
  EXPECT_EQ(View->InfoList()->count(), 0);
  EXPECT_TRUE(View->ActionsButton()->isHidden());
}

// The chosen alert left the list: it comes from the backend on a pool task under the
// overlay, never on the UI thread.
TEST_F(TItemDetailsViewTest, AnAlertMissingFromTheListIsLoadedOffTheUIThread) {
  const TItemSpec given;
  nlohmann::ordered_json alert = {{"ObjectId", given.AlertID}, {"State", "easInitiated"}, {"Active", true},
                                  {"Viewed", false}, {"DateTime", given.DateTime}, {"Caption", "From backend"},
                                  {"Text", given.Text}, {"Originator", ItemJSON(given)["Originator"]}};
  F.REST->OneEventResult = true;
  F.REST->OneEvent = nlohmann::ordered_json::array({alert});
  F.Events->SetDetailedEvent(given.AlertID);
  F.Events->SetDetailedEventItem(given.ID);
  View->Enter(TView::EventItems);
  const std::string shown = "ShowProgress(" + std::string(TEventItemDetailsForm::cLoadingText) + ")";
  EXPECT_EQ(Host.Calls, std::vector<std::string>{shown});
  ASSERT_TRUE(WaitUntil([&] { return Host.Calls.size() == 2; }));
  EXPECT_EQ(Host.Calls.back(), "HideProgress");
  EXPECT_EQ(F.REST->OneEventCalls, 1);
  EXPECT_FALSE(F.REST->OneEventOnUIThread);
  EXPECT_NE(F.Events->GetEventsList()->FindEventByID(given.AlertID), nullptr);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

// Leaving, or the session ending, while the alert loads: the task ends quietly.
TEST_F(TItemDetailsViewTest, LeavingOrSigningOutWhileTheAlertLoadsIsHarmless) {
  F.REST->OneEventResult = true;
  F.REST->OneEvent = nlohmann::ordered_json::array();
  F.Events->SetDetailedEvent("a1e7000000000000000000c1");
  F.Events->SetDetailedEventItem("17e4000000000000000000c1");
  F.REST->DuringGetEvent = [this] { UIThread::RunSync([this] { View->Leave(TView::EventItems); }); };
  View->Enter(TView::EventItems);
  ASSERT_TRUE(WaitUntil([&] { return Host.Calls.size() == 2; }));
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  EXPECT_EQ(View->InfoList()->count(), 0);

  Host.Calls.clear();
  F.Events->SetDetailedEvent("a1e7000000000000000000c2");
  F.Events->SetDetailedEventItem("17e4000000000000000000c2");
  // The session's services are freed on the UI thread, as a sign-out does.
  F.REST->DuringGetEvent = [this] {
    UIThread::RunSync([this] {
      Services::Container::FreeZELServicesContainer();
      F.Events.reset();
    });
  };
  View->Enter(TView::EventItems);
  ASSERT_TRUE(WaitUntil([&] { return Host.Calls.size() == 2; }));
  EXPECT_EQ(Host.Calls.back(), "HideProgress");
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  EXPECT_EQ(View->InfoList()->count(), 0);
  F.REST->DuringGetEvent = nullptr;
}

TEST_F(TItemDetailsViewTest, AttachmentsByDeviceFollowTheirStateLiveForThisItemOnly) {
  TZELEventItem* item = Choose(MediaItem());
  View->Enter(TView::EventItems);
  QListWidget* list = View->AttachmentList();
  const std::vector<std::string> expected = {"[H] Gate camera", "x1", "x3", "[F]", "[H] Dock camera", "x2", "x4"};
  EXPECT_EQ(Rows(list), expected);
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 1), "READY");
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 5), "UPLOADING");
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 2), "N/A");
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 6), "PENDING");

  // The same attachment id under another item: nothing changes here.
  item->FindItem("x2")->SetState(TExtraDataState::edsAvailable);
  TZELMessager<TEventItemExtraRefreshMessage>::Send(
      [] { return std::make_unique<TEventItemExtraRefreshMessage>("17e4000000000000000000ff", "x2"); });
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 5), "UPLOADING");
  TZELMessager<TEventItemExtraRefreshMessage>::Send(
      [] { return std::make_unique<TEventItemExtraRefreshMessage>("17E4000000000000000000A1", "X2"); });
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 5), "READY") << "ids match whatever their case";
  // A broker update of this item's attachment shows at once.
  TEventExtraDataItem* moved = nullptr;
  item->UpdateExtraFromMQTTPayload({{"ObjectId", "x4"}, {"State", 1}, {"DateTime", "2025-03-01T08:01:00Z"}}, moved);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(TEventItemDetailsForm::StateTextOf(list, 6), "UPLOADING");
}

TEST_F(TItemDetailsViewTest, OpeningAnAttachmentByItsState) {
  Choose(MediaItem());
  View->Enter(TView::EventItems);
  struct TCase {
    int Row;
    std::vector<std::string> Messages;
  };
  const TCase cases[] = {
      {0, {}},                              // a device header
      {3, {}},                              // a footer
      {5, {std::string(D::cNotReadyText)}}, // uploading
      {6, {std::string(D::cNotReadyText)}}, // pending
      {2, {std::string(D::cGoneText)}},     // failed
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Row);
    Dialogs.Service->Shown.clear();
    View->AttachmentRowDoubleClick(c.Row);
    EXPECT_EQ(Dialogs.Service->Shown, c.Messages);
  }
  EXPECT_TRUE(F.REST->LastExtraID.empty()) << "the backend is asked only for a ready file";

  // Ready, but gone from the backend: asked on a pool task under the overlay, then the message.
  F.REST->ExtraResult = false;
  Dialogs.Service->Shown.clear();
  View->AttachmentRowDoubleClick(1);
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs.Service->Shown.empty(); }));
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{std::string(D::cGoneText)});
  EXPECT_EQ(F.REST->LastExtraID, "x1");
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ShowProgress(" + std::string(TEventItemDetailsForm::cWaitText) + ")",
                                                  "HideProgress"}));
  EXPECT_EQ(Forms::WebView::WebViewForm(), nullptr);
}

TEST_F(TItemDetailsViewTest, AnAnswerAfterLeavingOpensNothing) {
  Choose(MediaItem());
  View->Enter(TView::EventItems);
  View->AttachmentRowDoubleClick(1);
  View->Leave(TView::EventItems);
  ASSERT_TRUE(WaitUntil([&] { return Host.Calls.size() == 2; }));
  EXPECT_EQ(Forms::WebView::WebViewForm(), nullptr);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

TEST_F(TItemDetailsViewTest, NoActionsForAnItemTheEdgeRaisedItself) {
  TItemSpec fromEdge;
  fromEdge.OriginatorID = "EDGE-1";
  fromEdge.OriginatorGUID = cDetailsEdgeGuid;
  fromEdge.OriginatorType = 10;
  Choose(fromEdge);
  View->Enter(TView::EventItems);
  EXPECT_TRUE(View->ActionsButton()->isHidden());
  EXPECT_TRUE(View->ServicesPanel()->isHidden());
}

TEST_F(TItemDetailsViewTest, SwitchingOffSendsTheRequestAndTheAnswerRefillsTheOpenPanel) {
  Choose(TItemSpec{});
  View->Enter(TView::EventItems);
  ASSERT_FALSE(View->ActionsButton()->isHidden());
  View->btnServicesClick();
  EXPECT_FALSE(View->ServicesPanel()->isHidden());
  EXPECT_TRUE(View->ActionsButton()->isHidden());
  EXPECT_EQ(ServiceCaptions(), (std::vector<std::string>{"Disable", "Pause"}));

  View->ServiceRowClick(RowOf(View->ServiceList(), "Disable"));
  ASSERT_EQ(F.MQTT->Published.size(), 1u);
  EXPECT_EQ(F.MQTT->Published[0].Topic, std::string(cDetailsEdgeGuid) + "/EDGE-1/Service/Request");
  EXPECT_EQ(ParamsOf(F.MQTT->Published[0].Payload), nlohmann::ordered_json({{"State", 0}}));
  EXPECT_TRUE(View->ServicesPanel()->isHidden()) << "the panel closes after a run";

  // Another condition's answer leaves the panel as it is; this one's refills it, open again.
  View->btnServicesClick();
  TZELConditionObject* other = Condition("EDGE-1-COND-2");
  const nlohmann::ordered_json disabled = {{"State", {{"Data", {{"State", 0}}}, {"LastState", "2025-03-01T08:00:00Z"}}}};
  other->UpdateStatusAndState(&disabled);
  TZELMessager<TConditionStateChangeMessage>::Send(
      [&] { return std::make_unique<TConditionStateChangeMessage>(other, disabled); });
  EXPECT_EQ(ServiceCaptions(), (std::vector<std::string>{"Disable", "Pause"}));
  TZELConditionObject* mine = Condition("EDGE-1-COND-1");
  const nlohmann::ordered_json paused = {
      {"State",
       {{"Data", {{"State", 2}, {"PauseInterval", 60}, {"PausedAt", Time::FormatISO8601UTC(Time::Now())}}},
        {"LastState", Time::FormatISO8601UTC(Time::Now())}}}};
  mine->UpdateStatusAndState(&paused);
  TZELMessager<TConditionStateChangeMessage>::Send(
      [&] { return std::make_unique<TConditionStateChangeMessage>(mine, paused); });
  EXPECT_FALSE(View->ServicesPanel()->isHidden());
  EXPECT_EQ(ServiceCaptions(), (std::vector<std::string>{"Resume", "Stop"}));

  View->ServiceRowClick(RowOf(View->ServiceList(), "Resume"));
  ASSERT_EQ(F.MQTT->Published.size(), 2u);
  EXPECT_EQ(ParamsOf(F.MQTT->Published[1].Payload), nlohmann::ordered_json({{"State", 1}}));
}

TEST_F(TItemDetailsViewTest, AServiceOfAnotherKindIsListedButNotRun) {
  TItemSpec given;
  given.OriginatorID = "edge-1-cond-3";  // the condition's id in other letter case
  Choose(given);
  View->Enter(TView::EventItems);
  View->btnServicesClick();
  ASSERT_EQ(ServiceCaptions(), std::vector<std::string>{"Look"});
  View->ServiceRowClick(0);
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{std::string(D::cUnknownServiceText)});
  EXPECT_TRUE(F.MQTT->Published.empty());
}

TEST_F(TItemDetailsViewTest, PauseFrameSurvivesAnotherConditionAndSendsTheInterval) {
  Choose(TItemSpec{});
  View->Enter(TView::EventItems);
  View->btnServicesClick();
  View->ServiceRowClick(RowOf(View->ServiceList(), "Pause"));
  auto* frame = View->FrameStand()->Find<TfraPauseIntervalSelection>();
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(View->ServiceFrameArea()->isHidden());
  EXPECT_EQ(frame->EstimateInSeconds(), 60);

  TZELConditionObject* other = Condition("EDGE-1-COND-2");
  TZELMessager<TConditionStateChangeMessage>::Send(
      [&] { return std::make_unique<TConditionStateChangeMessage>(other, nlohmann::ordered_json::object()); });
  ASSERT_EQ(View->FrameStand()->Find<TfraPauseIntervalSelection>(), frame) << "another condition's change";

  // Cancel sends nothing; Apply sends the chosen seconds.
  frame->btnCancelClick();
  EXPECT_EQ(View->FrameStand()->Find<TfraPauseIntervalSelection>(), nullptr);
  EXPECT_TRUE(View->ServiceFrameArea()->isHidden());
  EXPECT_TRUE(F.MQTT->Published.empty());
  View->btnServicesClick();
  View->ServiceRowClick(RowOf(View->ServiceList(), "Pause"));
  frame = View->FrameStand()->Find<TfraPauseIntervalSelection>();
  ASSERT_NE(frame, nullptr);
  frame->Days()->setValue(1);
  frame->Hours()->setValue(2);
  frame->Minutes()->setValue(30);
  frame->findChild<QPushButton*>("btnApply")->click();
  ASSERT_EQ(F.MQTT->Published.size(), 1u);
  EXPECT_EQ(ParamsOf(F.MQTT->Published[0].Payload), nlohmann::ordered_json({{"Interval", 95400}}));
  EXPECT_EQ(View->FrameStand()->Find<TfraPauseIntervalSelection>(), nullptr);
  EXPECT_TRUE(View->ServicesPanel()->isHidden());
}

TEST_F(TItemDetailsViewTest, LongInfoValuesOpenTextWindowsThatOutliveTheView) {
  TItemSpec given;
  given.Text = std::string(300, 'w') + "\n<b>not bold</b>";
  Choose(given);
  View->Enter(TView::EventItems);
  const int text = RowOf(View->InfoList(), given.Text);
  ASSERT_GT(text, 0);
  View->InfoRowDoubleClick(text - 1);                             // its header
  View->InfoRowDoubleClick(RowOf(View->InfoList(), "Yard motion"));  // short: fits its row
  EXPECT_TRUE(TextWindows().empty());
  View->InfoRowDoubleClick(text);
  View->InfoRowDoubleClick(text);
  auto windows = TextWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0]->Memo()->toPlainText().toStdString(), given.Text);
  EXPECT_TRUE(windows[0]->Memo()->isReadOnly());
  EXPECT_TRUE(windows[0]->isWindow());
  View->Leave(TView::EventItems);
  EXPECT_EQ(TextWindows().size(), 2u) << "leaving the view keeps them";
  for (auto* w : windows) w->close();
}

// What a service row's description reads.
std::string DescriptionOf(QListWidget* AList, int ARow) {
  QWidget* row = AList->itemWidget(AList->item(ARow));
  auto* label = row ? row->findChild<QLabel*>("Description") : nullptr;
  return label ? label->text().toStdString() : std::string();
}

// The broker does not take the request: the user is told and the panel (or the pause
// frame) stays for another try; nothing is left waiting for an answer.
TEST_F(TItemDetailsViewTest, ARequestThatWasNotSentIsToldAndThePanelStays) {
  struct TCase {
    const char* Row;
    bool Frame;  // chosen through the pause frame
  };
  const TCase cases[] = {{"Disable", false}, {"Pause", true}};
  const std::string item = Choose(TItemSpec{})->ID();
  TZELEdgeObject* edge = F.Edges->GetEdge(0);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Row);
    F.Events->SetDetailedEventItem(item);  // leaving forgets it
    View->Enter(TView::EventItems);
    Dialogs.Service->Shown.clear();
    F.MQTT->PublishResult = false;
    View->btnServicesClick();
    View->ServiceRowClick(RowOf(View->ServiceList(), c.Row));
    auto* frame = View->FrameStand()->Find<TfraPauseIntervalSelection>();
    if (c.Frame) {
      ASSERT_NE(frame, nullptr);
      frame->btnApplyClick();
      EXPECT_EQ(View->FrameStand()->Find<TfraPauseIntervalSelection>(), frame) << "the frame stays";
      EXPECT_FALSE(View->ServiceFrameArea()->isHidden());
    }
    EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{ActionsPanel::cNotSentText});
    EXPECT_FALSE(View->ServicesPanel()->isHidden());
    EXPECT_TRUE(edge->ServiceRequests().empty());

    // Once the broker takes it, the same choice goes out and the panel closes.
    F.MQTT->PublishResult = true;
    if (c.Frame)
      frame->btnApplyClick();
    else
      View->ServiceRowClick(RowOf(View->ServiceList(), c.Row));
    EXPECT_EQ(Dialogs.Service->Shown.size(), 1u);
    EXPECT_TRUE(View->ServicesPanel()->isHidden());
    EXPECT_EQ(edge->ServiceRequests().size(), 1u);
    edge->ServiceRequests().clear();
    View->Leave(TView::EventItems);
  }
}

// A 60 s pause looked at again 80 s later: its time is up, though the condition stays paused
// until the edge says otherwise; the rows are made again when the panel opens.
TEST_F(TItemDetailsViewTest, AnEndedPauseShowsNoTimeLeftWhenThePanelOpensAgain) {
  const Time::TInstant start = Time::ParseISO8601("2025-03-01T08:00:00Z");
  Time::TInstant now = start;
  Time::SetClock([&now] { return now; });
  struct TRestore {
    ~TRestore() { Time::SetClock({}); }
  } restore;
  const nlohmann::ordered_json paused = {
      {"State",
       {{"Data", {{"State", 2}, {"PauseInterval", 60}, {"PausedAt", "2025-03-01T08:00:00Z"}}},
        {"LastState", "2025-03-01T08:00:00Z"}}}};
  ASSERT_TRUE(Condition("EDGE-1-COND-1")->UpdateStatusAndState(&paused));
  Choose(TItemSpec{});
  View->Enter(TView::EventItems);
  const std::string resume = " (resume at: " + Time::FormatLocalDisplay(start + std::chrono::seconds(60)) + ")";
  View->btnServicesClick();
  ASSERT_EQ(ServiceCaptions(), (std::vector<std::string>{"Resume", "Stop"}));
  EXPECT_EQ(DescriptionOf(View->ServiceList(), 0), "Gate is paused for 60s" + resume);
  View->btnHideServicesPanelClick();

  now = start + std::chrono::seconds(80);
  View->btnServicesClick();
  ASSERT_EQ(ServiceCaptions(), (std::vector<std::string>{"Resume", "Stop"}));
  EXPECT_EQ(DescriptionOf(View->ServiceList(), 0), "Gate is paused for 0s" + resume);
}

}  // namespace
}  // namespace ZEL::Test
