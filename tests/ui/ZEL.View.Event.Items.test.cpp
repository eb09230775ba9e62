// The alert timeline over the real events and edge services (stand-in backend and broker),
// on the offscreen platform: the fetch under the overlay, mark as viewed, live items, the
// item details hand-over, the actions panel and the reason frames with their requests.

#include "ZEL.ActionsPanel.h"
#include "ZEL.EventItems.Rows.h"
#include "ZEL.Frames.Reasons.h"
#include "ZEL.View.Event.Items.h"
#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.Edge.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.List.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Style.h"
#include "ZEL.UIThread.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QListWidget>

#include <atomic>
#include <functional>

#include <gtest/gtest.h>

namespace ZEL::Test {
namespace {

using TJSON = nlohmann::ordered_json;

TJSON ItemJSON(const std::string& AID, const std::string& AParent, const std::string& ACaption, bool AWithExtra = false) {
  TJSON item = {{"ObjectId", AID}, {"ParentObjectId", AParent}, {"ItemType", 1},
                {"DateTime", "2024-03-01T08:05:00Z"}, {"Caption", ACaption}, {"Text", "text of " + AID},
                {"Originator", {{"ID", "EDGE-1-COND-1"}, {"GUID", "{00000000-0000-0000-0000-000000000001}"},
                                {"Name", "c1"}, {"Description", "d"}, {"Type", 20}}}};
  if (AWithExtra)
    item["ExtraData"] = TJSON::array({{{"ObjectId", AID + "-x"}, {"State", 0}, {"DataType", 1}, {"Text", "t"},
                                       {"Caption", "c"},
                                       {"DataSource", {{"ID", "d"}, {"GUID", "{99999999-8888-7777-6666-555555555555}"},
                                                       {"Name", "n"}, {"Description", "d"}, {"Type", 30}}}}});
  return item;
}

// Broker payloads: a history entry (type 2) and an attachment's new state (type 5).
std::string EntryPayload(const std::string& AID, const std::string& AParent, const std::string& ACaption) {
  TJSON payload = ItemJSON(AID, AParent, ACaption);
  payload["Type"] = 2;
  return payload.dump();
}
std::string AttachmentPayload(const std::string& AExtraID, const std::string& AItemID, int AState) {
  return TJSON{{"Type", 5}, {"ObjectId", AExtraID}, {"ParentObjectId", AItemID}, {"State", AState},
               {"DateTime", "2024-03-01T08:06:00Z"}, {"Originator", {{"ID", "d"}, {"Name", "n"}, {"Type", 30}}}}
      .dump();
}

// Runs work queued on the UI thread the first time the items of an alert are replaced, so
// that it comes between the fetch's hand-overs to the UI thread.
struct TOnReplace {
  std::vector<std::function<void()>> Work;
  bool Queued = false;
  void OnItems(const void*, TZELEventItem* const&, TCollectionNotification) {
    if (Queued || Work.empty()) return;
    Queued = true;
    UIThread::RunAsync([Work = Work] {
      for (const auto& w : Work) w();
    });
  }
};

class EventItemsView : public ::testing::Test {
protected:
  void SetUp() override {
    TJSON edge = MakeEdge("EDGE-1", cEdgeGuid, "North", {1});
    edge["Services"] = EdgeFixture()["Services"];
    F.Edges->InitEdge(edge);
    List().Add(std::make_unique<TZELEvent>(AlertJSON("A1")));
    List().Add(std::make_unique<TZELEvent>(AlertJSON("A2", {.Caption = "Other"})));
    F.REST->Items = TJSON::array({ItemJSON("I1", "A1", "Raised", true), ItemJSON("I2", "A1", "Viewed")});
    View = std::make_unique<TEventItemsForm>();
    View->InitView(TView::EventItems, &Host, &Parent);
    View->resize(360, 600);
  }
  void TearDown() override { View.reset(); }

  TZELEventList& List() { return *F.Events->GetEventsList(); }
  void Open(const std::string& AID, TView AFrom = TView::Events) {
    F.Events->SetDetailedEvent(AID);
    View->Enter(AFrom);
    ASSERT_TRUE(WaitUntil([this] { return !View->Fetching(); }));
  }
  std::vector<std::string> Tags() const {
    std::vector<std::string> out;
    for (int i = 0; i < View->Rows()->rowCount(); ++i) out.push_back(View->Rows()->Row(i).Tag());
    return out;
  }
  // The "Params" of every request published on the edge's request topic.
  std::vector<TJSON> Requests() const {
    std::vector<TJSON> out;
    for (const auto& p : F.MQTT->Published)
      if (p.Topic.find("/Service/Request") != std::string::npos) out.push_back(TJSON::parse(p.Payload));
    return out;
  }
  TfraReasonSelection* ChooseService(const std::string& ACaption) {
    View->ActionsClick();
    const auto& rows = View->ServiceRows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].Caption == ACaption) {
        View->ChooseService(static_cast<int>(i));
        return View->OpenFrame();
      }
    ADD_FAILURE() << "no service row " << ACaption;
    return nullptr;
  }

  TEventsServiceFixture F;
  TRecordingHost Host;
  TDialogsInPlace Dialogs;
  QWidget Parent;
  std::unique_ptr<TEventItemsForm> View;
};

TEST_F(EventItemsView, FirstShowingFetchesUnderTheOverlayAndMarksViewed) {
  Open("A1");
  EXPECT_EQ(Tags(), (std::vector<std::string>{"VIEWONLY", "VIEWONLY", "VIEWONLY", "I1", "I2"}));
  EXPECT_EQ(F.REST->LastItemsEventID, "A1");
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ShowProgress(Receiving event items...)", "HideProgress"}));
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["RequestData"]["Params"], (TJSON{{"IncidentId", "A1"}}));
  EXPECT_EQ(View->FilledWithEventID(), "A1");
  EXPECT_TRUE(View->ActionsButtonShown());
  // Rows hold copies: the item with attachments shows its status, the other none.
  EXPECT_TRUE(View->Rows()->Row(3).Item.HasStatus);
  EXPECT_EQ(View->Rows()->Row(3).Item.Status, "Uploading: 1 of 1");
  EXPECT_FALSE(View->Rows()->Row(4).Item.HasStatus);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

TEST_F(EventItemsView, FailedFetchShowsAMessageBuildsNothingAndFetchesAgainNextTime) {
  F.REST->ItemsResult = false;
  Open("A1");
  EXPECT_TRUE(Tags().empty());
  EXPECT_TRUE(Requests().empty());  // not marked as viewed
  EXPECT_EQ(Host.Calls.back(), "HideProgress");
  EXPECT_EQ(Dialogs.Service->Shown,
            (std::vector<std::string>{"Unable to receive the alert's history. Please try again."}));
  View->Leave(TView::EventItemDetails);
  F.REST->ItemsResult = true;
  F.REST->LastItemsEventID.clear();
  Open("A1", TView::EventItemDetails);
  EXPECT_EQ(F.REST->LastItemsEventID, "A1");
  EXPECT_EQ(Tags().size(), 5u);
}

TEST_F(EventItemsView, NoChosenAlertOrOneThatCannotBeLoadedShowsAnEmptyView) {
  Open("");
  EXPECT_TRUE(Tags().empty());
  EXPECT_FALSE(View->ActionsButtonShown());
  View->Leave(TView::Events);
  Open("GONE");  // the backend does not know it either
  EXPECT_TRUE(Tags().empty());
  EXPECT_FALSE(View->ActionsButtonShown());
  EXPECT_EQ(Dialogs.Service->Shown, (std::vector<std::string>{"The alert is not available."}));
}

TEST_F(EventItemsView, AnAlertMissingFromTheListIsLoadedOffTheUIThread) {
  F.REST->OneEventResult = true;
  F.REST->OneEvent = TJSON::array({AlertJSON("A9", {.Caption = "From backend"})});
  Open("A9");
  EXPECT_EQ(F.REST->OneEventCalls, 1);
  EXPECT_EQ(Tags().size(), 5u);
  EXPECT_NE(View->Rows()->Row(1).Text.find("From backend"), std::string::npos);
}

TEST_F(EventItemsView, LiveItemLandsBelowTheSeparatorAndAttachmentChangesUpdateTheRow) {
  Open("A1");
  TZELEvent* alert = List().FindEventByID("A1");
  alert->Items().Add(std::make_unique<TZELEventItem>(ItemJSON("I3", "A1", "Dismissed")));
  EXPECT_EQ(Tags(), (std::vector<std::string>{"VIEWONLY", "VIEWONLY", "VIEWONLY", "I3", "I1", "I2"}));
  // Another alert's new item does not reach these rows.
  List().FindEventByID("A2")->Items().Add(std::make_unique<TZELEventItem>(ItemJSON("J1", "A2", "x")));
  EXPECT_EQ(Tags().size(), 6u);

  TZELEventItem* item = alert->FindItem("I1");
  TEventExtraDataItem* extra = nullptr;
  item->UpdateExtraFromMQTTPayload(TJSON{{"ObjectId", "I1-x"}, {"ParentObjectId", "I1"}, {"State", 2}}, extra);
  TZELMessager<TEventItemExtraRefreshMessage>::Send(
      [] { return std::make_unique<TEventItemExtraRefreshMessage>("i1", "I1-x"); }, nullptr);
  EXPECT_EQ(View->Rows()->Row(4).Item.Status, "Ready to view.");
}

TEST_F(EventItemsView, DoubleClickOpensOnlyItemRowsThroughTheItemDetailsSlot) {
  Open("A1");
  Host.Calls.clear();
  for (int row : {0, 1, 2}) View->ViewItem(row);
  EXPECT_TRUE(Host.Calls.empty());
  View->ViewItem(4);
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ChangeView(EventItemDetails)"}));
  ASSERT_NE(F.Events->GetDetailedEventItem(), nullptr);
  EXPECT_EQ(F.Events->GetDetailedEventItem()->ID(), "I2");
}

TEST_F(EventItemsView, BackFromDetailsKeepsTheRowsAPullInBetweenFetchesAgain) {
  Open("A1");
  View->Leave(TView::EventItemDetails);
  F.REST->LastItemsEventID.clear();
  Open("A1", TView::EventItemDetails);
  EXPECT_EQ(F.REST->LastItemsEventID, "");  // no new fetch
  EXPECT_EQ(Tags().size(), 5u);

  // Details, then Alerts (a pull replaces the list), then the same alert again.
  View->Leave(TView::EventItemDetails);
  F.REST->Events = TJSON::array({AlertJSON("A1"), AlertJSON("A2")});
  ASSERT_TRUE(F.Events->PupulateEventsFromREST(false, "", ""));
  TZELMessager<TEventServiceActionPerformed>::Send(
      [] { return std::make_unique<TEventServiceActionPerformed>("A1", true, nullptr, false); }, nullptr);
  Open("A1", TView::Events);
  EXPECT_EQ(F.REST->LastItemsEventID, "A1");
  EXPECT_EQ(Tags().size(), 5u);
  // The new alert object holds the handler: a live item still lands.
  List().FindEventByID("A1")->Items().Add(std::make_unique<TZELEventItem>(ItemJSON("I3", "A1", "New")));
  EXPECT_EQ(Tags()[3], "I3");
}

// What the broker brings while the history is fetched goes into the items the fetch then
// replaces: it is applied again to the fetched ones.
TEST_F(EventItemsView, BrokerEntriesDuringTheItemFetchStay) {
  F.REST->DuringGetEventItems = [this] {
    UIThread::RunSync([this] {
      F.Events->LoadEventFromMQTT(EntryPayload("I3", "A1", "Noted"));
      F.Events->LoadEventFromMQTT(AttachmentPayload("I1-x", "I1", 2));
    });
  };
  Open("A1");
  EXPECT_EQ(Tags(), (std::vector<std::string>{"VIEWONLY", "VIEWONLY", "VIEWONLY", "I1", "I2", "I3"}));
  EXPECT_EQ(View->Rows()->Row(3).Item.Status, "Ready to view.");
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  // The rows follow the alert again: a later entry lands live.
  F.Events->LoadEventFromMQTT(EntryPayload("I4", "A1", "Later"));
  EXPECT_EQ(Tags()[3], "I4");
}

// A notice for the alert shown, clicked while its history is fetched, has the host leave and
// enter the view again; Back and then the notice leaves it for the list before.
TEST_F(EventItemsView, ReEnteringDuringTheFetchEndsWithTheAlertsRows) {
  struct TCase {
    const char* Name;
    TView Away;
    bool LeaveDuringCall;  // else as the items are replaced
    bool EnterDuringCall;
  };
  const TCase cases[] = {
      {"notice while shown, during the backend call", TView::EventItems, true, true},
      {"notice while shown, as the items are replaced", TView::EventItems, false, false},
      {"Back during the backend call, the notice as the items are replaced", TView::Events, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::function<void()>> duringCall;
    TOnReplace onReplace;
    (c.LeaveDuringCall ? duringCall : onReplace.Work).push_back([this, c] { View->Leave(c.Away); });
    (c.EnterDuringCall ? duringCall : onReplace.Work).push_back([this, c] {
      F.Events->SetDetailedEvent("A1");
      View->Enter(c.Away);
    });
    std::atomic<bool> called{false};
    F.REST->DuringGetEventItems = [&] {
      if (!called.exchange(true))
        UIThread::RunSync([&] {
          for (const auto& w : duringCall) w();
        });
    };
    const auto handler = TCollectionNotifyEvent<TZELEventItem>::Of(&onReplace, &TOnReplace::OnItems);
    List().FindEventByID("A1")->Items().OnNotify().AddHandler(handler);
    Open("A1");
    EXPECT_EQ(Tags(), (std::vector<std::string>{"VIEWONLY", "VIEWONLY", "VIEWONLY", "I1", "I2"}));
    EXPECT_EQ(View->FilledWithEventID(), "A1");
    EXPECT_TRUE(Dialogs.Service->Shown.empty());

    List().FindEventByID("A1")->Items().OnNotify().RemoveHandler(handler);
    F.REST->DuringGetEventItems = nullptr;
    View->Leave(TView::Events);
    Dialogs.Service->Shown.clear();
  }
}

// Attachment changes reach no row while the item details are in front; Back shows them.
TEST_F(EventItemsView, AttachmentStateReachedWhileTheDetailsWereInFrontShowsAfterBack) {
  Open("A1");
  View->ViewItem(3);
  View->Leave(TView::EventItemDetails);
  F.Events->LoadEventFromMQTT(AttachmentPayload("I1-x", "I1", 2));
  F.REST->LastItemsEventID.clear();
  Open("A1", TView::EventItemDetails);
  EXPECT_EQ(F.REST->LastItemsEventID, "");  // no new fetch
  ASSERT_EQ(Tags().size(), 5u);
  EXPECT_EQ(View->Rows()->Row(3).Item.Status, "Ready to view.");
}

TEST_F(EventItemsView, ActionsPanelOffersTheEdgesServicesByState) {
  Open("A1");
  View->ActionsClick();
  EXPECT_TRUE(View->ActionsPanelShown());
  ASSERT_EQ(View->ServiceRows().size(), 2u);
  EXPECT_EQ(View->ServiceRows()[0].Caption, "Dismiss");
  EXPECT_EQ(View->ServiceRows()[1].Caption, "Escalate");
  View->HideShowActionsPanel(false);

  List().FindEventByID("A1")->SetState(TEventAlertState::easEscalated);
  List().FindEventByID("A1")->NotifyUIRefresh();
  EXPECT_TRUE(View->ActionsButtonShown());
  ASSERT_EQ(View->ServiceRows().size(), 1u);
  EXPECT_EQ(View->ServiceRows()[0].Caption, "Incident close");

  List().FindEventByID("A1")->SetState(TEventAlertState::easDismissed);
  List().FindEventByID("A1")->NotifyUIRefresh();
  EXPECT_FALSE(View->ActionsButtonShown());
  EXPECT_FALSE(View->ActionsPanelShown());
}

TEST_F(EventItemsView, AnEdgeWithoutServicesSaysSo) {
  TJSON edge = MakeEdge("EDGE-2", "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}", "South", {1});
  F.Edges->InitEdge(edge);
  List().Add(std::make_unique<TZELEvent>(AlertJSON("B1", {.OriginatorID = "EDGE-2-COND-1"})));
  Open("B1");
  View->ActionsClick();
  EXPECT_TRUE(View->ServiceRows().empty());
  EXPECT_FALSE(View->NoServicesText()->isHidden());
  EXPECT_TRUE(View->ServicesList()->isHidden());
}

TEST_F(EventItemsView, DismissWithAListedReasonSendsTheExactRequest) {
  Open("A1");
  F.MQTT->Published.clear();
  TfraReasonSelection* frame = ChooseService("Dismiss");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Prompt()->text().toStdString(), "Choose a reason to dismiss an alert:");
  ASSERT_EQ(frame->Reasons()->count(), 3);
  frame->ChooseRow(0);
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["Type"], 6);
  EXPECT_EQ(requests[0]["ServiceIndex"], 1);
  EXPECT_EQ(requests[0]["RequestData"]["Params"],
            (TJSON{{"IncidentId", "A1"}, {"Reason", "False alarm"}, {"ReasonCode", 1}}));
  EXPECT_FALSE(View->ActionsPanelShown());
}

TEST_F(EventItemsView, EscalateCustomReasonConfirmedOrCancelled) {
  // A table with the custom code, on an edge of its own.
  TJSON edge = MakeEdge("EDGE-3", "{3F2504E0-4F89-11D3-9A0C-0305E82C3303}", "East", {1});
  edge["Services"] = TJSON::array({TJSON::parse(
      R"({"Type": 2, "Index": 7, "Name": "Escalate", "Description": "e",
          "Params": {"Reasons": [{"Code": 20, "Reason": "Intruder"}, {"Code": 300, "Reason": "Other..."}]}})")});
  F.Edges->InitEdge(edge);
  List().Add(std::make_unique<TZELEvent>(AlertJSON("C1", {.OriginatorID = "EDGE-3-COND-1"})));
  Open("C1");
  F.MQTT->Published.clear();
  TfraReasonSelection* frame = ChooseService("Escalate");
  ASSERT_NE(frame, nullptr);
  Dialogs.Service->Cancel = true;
  frame->ChooseRow(1);
  EXPECT_EQ(Dialogs.Service->Asked, (std::vector<std::string>{"Custom escalate reason|Escalate reason|Pay attention to this"}));
  EXPECT_EQ(Dialogs.Service->Shown, (std::vector<std::string>{"User canceled closure processing."}));
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(View->OpenFrame(), frame);  // still open

  Dialogs.Service->Cancel = false;
  Dialogs.Service->Input = "Call the police";
  frame->ChooseRow(1);
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["ServiceIndex"], 7);
  EXPECT_EQ(requests[0]["RequestData"]["Params"],
            (TJSON{{"IncidentId", "C1"}, {"Reason", "Call the police"}, {"ReasonCode", 300}}));
}

TEST_F(EventItemsView, TwoDismissServicesEachSendTheirOwn) {
  TJSON edge = MakeEdge("EDGE-4", "{3F2504E0-4F89-11D3-9A0C-0305E82C3304}", "West", {1});
  edge["Services"] = TJSON::array(
      {TJSON::parse(R"({"Type": 1, "Index": 3, "Name": "Desk A", "Description": "a",
          "Params": {"Reasons": {"easInitiated": [{"Code": 1, "Reason": "A1"}], "easEscalated": [{"Code": 2, "Reason": "A2"}]}}})"),
       TJSON::parse(R"({"Type": 1, "Index": 4, "Name": "Desk B", "Description": "b",
          "Params": {"Reasons": {"easInitiated": [{"Code": 5, "Reason": "B1"}], "easEscalated": [{"Code": 6, "Reason": "B2"}]}}})")});
  F.Edges->InitEdge(edge);
  List().Add(std::make_unique<TZELEvent>(AlertJSON("D1", {.OriginatorID = "EDGE-4-COND-1"})));
  Open("D1");
  F.MQTT->Published.clear();
  TfraReasonSelection* frame = ChooseService("Desk B");
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->Reasons()->count(), 1);
  EXPECT_EQ(frame->Reasons()->item(0)->text().toStdString(), "B1");
  frame->ChooseRow(0);
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["ServiceIndex"], 4);
  EXPECT_EQ(requests[0]["RequestData"]["Params"]["ReasonCode"], 5);
}

TEST_F(EventItemsView, AnotherAlertsRefreshKeepsTheFrameOpenAStateChangeClosesIt) {
  Open("A1");
  TfraReasonSelection* frame = ChooseService("Dismiss");
  ASSERT_NE(frame, nullptr);
  List().FindEventByID("A2")->SetState(TEventAlertState::easDismissed);
  List().FindEventByID("A2")->NotifyUIRefresh();
  TZELMessager<TEventServiceActionPerformed>::Send(
      [] { return std::make_unique<TEventServiceActionPerformed>("A2", true, nullptr, false); }, nullptr);
  EXPECT_EQ(View->OpenFrame(), frame);
  // In front: the last of its parent's children.
  const auto InFront = [frame] { return frame->parentWidget()->children().last() == frame; };
  EXPECT_TRUE(InFront());
  // The same alert refreshed without a state change keeps the frame in front of the list.
  List().FindEventByID("A1")->NotifyUIRefresh();
  EXPECT_EQ(View->OpenFrame(), frame);
  EXPECT_TRUE(InFront());
  // Escalated by someone else meanwhile: the initiated table's frame closes.
  List().FindEventByID("A1")->SetState(TEventAlertState::easEscalated);
  List().FindEventByID("A1")->NotifyUIRefresh();
  EXPECT_EQ(View->OpenFrame(), nullptr);
  EXPECT_FALSE(View->ActionsPanelShown());
}

TEST_F(EventItemsView, ServiceResultAfterAPullWithTheViewNotEnteredIsHarmless) {
  Open("A1");
  View->Leave(TView::Events);
  F.REST->Events = TJSON::array({AlertJSON("A2")});
  ASSERT_TRUE(F.Events->PupulateEventsFromREST(false, "", ""));  // A1 is freed
  const auto Captions = [this] {
    std::vector<std::string> out;
    for (const auto& row : View->ServiceRows()) out.push_back(row.Caption);
    return out;
  };
  const std::vector<std::string> services = Captions();
  const bool button = View->ActionsButtonShown();
  const std::size_t published = F.MQTT->Published.size();
  TZELMessager<TEventServiceActionPerformed>::Send(
      [] { return std::make_unique<TEventServiceActionPerformed>("A1", true, nullptr, false); }, nullptr);
  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("A1"); }, nullptr);
  // Nothing is built from the freed alert: the view stays as it was left.
  EXPECT_TRUE(Tags().empty());
  EXPECT_EQ(Captions(), services);
  EXPECT_EQ(View->ActionsButtonShown(), button);
  EXPECT_EQ(View->OpenFrame(), nullptr);
  EXPECT_EQ(F.MQTT->Published.size(), published);
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
}

// The broker does not take the request: the user is told, the frame stays for another try,
// and nothing is left waiting for an answer.
TEST_F(EventItemsView, ARequestThatWasNotSentIsToldAndTheFrameStays) {
  const char* services[] = {"Dismiss", "Escalate"};
  for (const char* service : services) {
    SCOPED_TRACE(service);
    Open("A1");
    TZELEdgeObject* edge = F.Edges->GetEdge(0);
    const std::size_t pending = edge->ServiceRequests().size();
    Dialogs.Service->Shown.clear();
    F.MQTT->PublishResult = false;
    TfraReasonSelection* frame = ChooseService(service);
    ASSERT_NE(frame, nullptr);
    frame->ChooseRow(0);
    EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{ActionsPanel::cNotSentText});
    EXPECT_TRUE(View->ActionsPanelShown());
    EXPECT_EQ(View->OpenFrame(), frame);
    EXPECT_EQ(edge->ServiceRequests().size(), pending);

    // Once the broker takes it, the same frame sends and the panel closes without a word.
    F.MQTT->PublishResult = true;
    frame->ChooseRow(0);
    EXPECT_EQ(Dialogs.Service->Shown.size(), 1u);
    EXPECT_FALSE(View->ActionsPanelShown());
    EXPECT_EQ(edge->ServiceRequests().size(), pending + 1);
    View->Leave(TView::Events);
  }
}

TEST_F(EventItemsView, ALongServiceDescriptionWrapsAndIsShownWhole) {
  const std::string description =
      "Closes the alert for the whole site and tells every operator on duty that nothing needs to be done";
  TJSON edge = MakeEdge("EDGE-5", "{3F2504E0-4F89-11D3-9A0C-0305E82C3305}", "Long", {1});
  TJSON dismiss = EdgeFixture()["Services"][1];
  dismiss["Description"] = description;
  edge["Services"] = TJSON::array({dismiss});
  F.Edges->InitEdge(edge);
  List().Add(std::make_unique<TZELEvent>(AlertJSON("E1", {.OriginatorID = "EDGE-5-COND-1"})));
  // The program's own style: its list items are padded, so a row is narrower than its list.
  const QString sheet = qApp->styleSheet();
  struct TSheetBack {
    QString Sheet;
    ~TSheetBack() { qApp->setStyleSheet(Sheet); }
  } sheetBack{sheet};
  Style::Apply(*qApp);
  View->show();  // 360 wide
  Open("E1");
  View->ActionsClick();
  ASSERT_EQ(View->ServicesList()->count(), 1);
  QWidget* row = View->ServicesList()->itemWidget(View->ServicesList()->item(0));
  ASSERT_NE(row, nullptr);
  auto* shown = row->findChild<QLabel*>("Description");
  ASSERT_NE(shown, nullptr);
  QWidget* viewport = View->ServicesList()->viewport();
  // Whole: every line of the wrapped text inside the row, the row inside the list.
  const auto Whole = [&] {
    const int bottom = shown->mapTo(viewport, QPoint(0, shown->height())).y();
    return shown->isVisible() && shown->width() > 0 && shown->height() >= shown->heightForWidth(shown->width()) &&
           bottom <= viewport->height();
  };
  ASSERT_TRUE(WaitUntil(Whole)) << "visible " << shown->isVisible() << " size " << shown->width() << "x"
                                << shown->height() << " needs " << shown->heightForWidth(shown->width())
                                << " bottom " << shown->mapTo(viewport, QPoint(0, shown->height())).y() << " of "
                                << viewport->height();
  EXPECT_EQ(shown->text().toStdString(), description);
  EXPECT_TRUE(shown->wordWrap());
  EXPECT_GE(shown->height(), 2 * shown->fontMetrics().lineSpacing()) << "it takes more than one line";
  EXPECT_LT(shown->width(), shown->fontMetrics().horizontalAdvance(shown->text()));
}

}  // namespace
}  // namespace ZEL::Test
