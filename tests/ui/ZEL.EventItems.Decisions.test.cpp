// The timeline's and the reason frames' decisions without a window: the service rows and
// Actions by alert state and by the edge's services, the row texts, the fetch rule, each
// frame's content and each choice's outcome.

#include "Core/ZEL.Edge.TestFakes.h"
#include "ZEL.Edge.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.EventItems.Decisions.h"
#include "ZEL.Events.Item.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ZEL {
namespace {

namespace D = EventItems::Decisions;
using TJSON = nlohmann::ordered_json;
using S = TEventAlertState;

const char* cDismiss = R"({"Type": 1, "Index": 1, "Name": "Dismiss", "Description": "Dismiss an alert",
    "Params": {"Reasons": {"easInitiated": [{"Code": 1, "Reason": "False alarm"}, {"Code": 100, "Reason": "Other"}],
                           "easEscalated": [{"Code": 10, "Reason": "Resolved"}, {"Code": 200, "Reason": "Other"}]}}})";
const char* cDismissTwo = R"({"Type": 1, "Index": 5, "Name": "Dismiss B", "Description": "Second desk",
    "Params": {"Reasons": {"easInitiated": [{"Code": 7, "Reason": "Seven"}], "easEscalated": [{"Code": 8, "Reason": "Eight"}]}}})";
// Valid tables need a reason in both: this one is neither available nor valid.
const char* cDismissBroken = R"({"Type": 1, "Index": 6, "Name": "Dismiss C", "Description": "c",
    "Params": {"Reasons": {"easInitiated": [{"Code": 1, "Reason": "r"}], "easEscalated": []}}})";
const char* cEscalate = R"({"Type": 2, "Index": 2, "Name": "Escalate", "Description": "Escalate an alert",
    "Params": {"Reasons": [{"Code": 20, "Reason": "Intruder seen"}, {"Code": 300, "Reason": "Other"}]}})";
const char* cView = R"({"Type": 0, "Index": 0, "Name": "View", "Description": "v"})";
const char* cPause = R"({"Type": 15, "Index": 4, "Name": "Pause", "Description": "p"})";

std::unique_ptr<TZELEdgeObject> EdgeWith(std::vector<const char*> AServices) {
  TJSON element = Test::EdgeFixture();
  element["Services"] = TJSON::array();
  for (const char* s : AServices) element["Services"].push_back(TJSON::parse(s));
  return TZELEdgeObject::CreateFromJSON(element);
}

std::vector<std::string> Captions(const std::vector<D::TServiceRow>& ARows) {
  std::vector<std::string> out;
  for (const auto& r : ARows) out.push_back(r.Caption + " / " + r.Description + " #" + std::to_string(r.ServiceIndex));
  return out;
}

TEST(EventItemsDecisions, ServiceRowsByStateAndServices) {
  struct TCase {
    const char* Name;
    std::vector<const char*> Services;
    S State;
    std::vector<std::string> Rows;
  };
  const TCase cases[] = {
      {"initiated: both kinds in the edge's order", {cView, cDismiss, cEscalate, cPause}, S::easInitiated,
       {"Dismiss / Dismiss an alert #1", "Escalate / Escalate an alert #2"}},
      {"escalated: only dismiss, as incident close", {cView, cDismiss, cEscalate}, S::easEscalated,
       {"Incident close / Service is closing escalated incident by request. #1"}},
      {"dismissed: nothing", {cDismiss, cEscalate}, S::easDismissed, {}},
      {"two dismiss services keep their own places", {cDismiss, cEscalate, cDismissTwo}, S::easInitiated,
       {"Dismiss / Dismiss an alert #0", "Escalate / Escalate an alert #1", "Dismiss B / Second desk #2"}},
      {"no dismiss or escalate service", {cView, cPause}, S::easInitiated, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto edge = EdgeWith(c.Services);
    const auto rows = D::ServiceRows(edge.get(), c.State);
    EXPECT_EQ(Captions(rows), c.Rows);
    for (const auto& row : rows) {
      // Each row names exactly the service it shows.
      TZELServiceObject* service = D::ServiceOf(edge.get(), row);
      ASSERT_NE(service, nullptr);
      EXPECT_EQ(service->ServiceType(), row.Type);
      EXPECT_EQ(row.EdgeID, edge->ID());
    }
  }
  EXPECT_TRUE(D::ServiceRows(nullptr, S::easInitiated).empty());
  // The edge drops a service that is not valid when it loads; one that stops being so is
  // marked, with no blank before "(invalid)".
  auto broken = TZELEdgeDismissService::CreateFromJSON(TJSON::parse(cDismissBroken));
  ASSERT_NE(broken, nullptr);
  EXPECT_EQ(D::ServiceName(*broken, S::easInitiated), "Dismiss C (DISABLED)(invalid)");
  EXPECT_EQ(D::ServiceName(*broken, S::easEscalated), "Incident close (DISABLED)(invalid)");
  EXPECT_EQ(D::ServiceDescription(*broken, S::easInitiated), "c");
  // A row whose place now holds another kind of service names none.
  auto edge = EdgeWith({cDismiss, cEscalate});
  D::TServiceRow stale{edge->ID(), 1, TEdgeServiceType::stDismiss, "x", "y"};
  EXPECT_EQ(D::ServiceOf(edge.get(), stale), nullptr);
  stale.ServiceIndex = 9;
  EXPECT_EQ(D::ServiceOf(edge.get(), stale), nullptr);
}

TEST(EventItemsDecisions, ActionsAndFetchRule) {
  EXPECT_TRUE(D::ActionsVisible(S::easInitiated));
  EXPECT_TRUE(D::ActionsVisible(S::easEscalated));
  EXPECT_FALSE(D::ActionsVisible(S::easDismissed));

  struct TCase {
    const char* Name;
    TView From;
    const char* Filled;
    const char* Shown;
    bool Fetch;
  };
  const TCase cases[] = {
      {"first showing", TView::Events, "", "A", true},
      {"back from the item details of the same alert", TView::EventItemDetails, "A", "A", false},
      {"from the item details to another alert (a toast)", TView::EventItemDetails, "A", "B", true},
      {"the same alert again from the alerts list (a pull may have replaced it)", TView::Events, "A", "A", true},
      {"from any other view", TView::Profile, "A", "A", true},
      {"no alert", TView::EventItemDetails, "", "", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(D::NeedsFetch(c.From, c.Filled, c.Shown), c.Fetch);
  }
}

TEST(EventItemsDecisions, BubbleAndTimeTexts) {
  // TZ is Europe/Berlin in tests: UTC+1 in March.
  const Time::TInstant morning = Time::ParseISO8601("2024-03-01T08:05:00Z");  // 09:05 local
  const Time::TInstant evening = Time::ParseISO8601("2024-03-01T22:30:00Z");  // 23:30 local
  const Time::TInstant noon = Time::ParseISO8601("2024-03-01T11:00:00Z");     // 12:00 local
  const Time::TInstant midnight = Time::ParseISO8601("2024-03-01T23:15:00Z"); // 00:15 local
  EXPECT_EQ(D::ItemTimeText(morning), "09:05\r\nAM");
  EXPECT_EQ(D::ItemTimeText(evening), "11:30\r\nPM");
  EXPECT_EQ(D::ItemTimeText(noon), "12:00\r\nPM");
  EXPECT_EQ(D::ItemTimeText(midnight), "12:15\r\nAM");
  EXPECT_EQ(D::ItemTimeText(Time::MissingDate), "");
  EXPECT_EQ(D::BubbleText("Motion", "Gate camera", "Gate motion", evening),
            "Motion\r\nGate camera\r\n\r\n//Gate motion at 11:30 PM");
  EXPECT_FALSE(D::DateLineText(morning).empty());
  EXPECT_EQ(D::DateLineText(Time::MissingDate), "");
}

TEST(EventItemsDecisions, StatusLineAndCounters) {
  struct TCase {
    const char* Name;
    const char* Extra;  // the "ExtraData" array, or nullptr for none
    bool HasStatus;
    std::string Status;
    int Images, Videos;
  };
  const char* src = R"("DataSource": {"ID": "d", "GUID": "{99999999-8888-7777-6666-555555555555}", "Name": "n", "Description": "d", "Type": 30})";
  const std::string ready = std::string(R"([{"ObjectId": "x1", "State": 2, "DataType": 1, "Text": "t", "Caption": "c", )") + src + "}]";
  const std::string mixed = std::string(R"([{"ObjectId": "x1", "State": 1, "DataType": 1, "Text": "t", "Caption": "c", )") + src +
                            R"(}, {"ObjectId": "x2", "State": 3, "DataType": 2, "Text": "t", "Caption": "c", )" + src +
                            R"(}, {"ObjectId": "x3", "State": 2, "DataType": 3, "Text": "t", "Caption": "c", )" + src + "}]";
  const TCase cases[] = {
      {"no attachments: neither status nor counters", nullptr, false, "", 0, 0},
      {"all ready", ready.c_str(), true, "Ready to view.", 1, 0},
      {"uploading and failed", mixed.c_str(), true, "Uploading: 1 of 3 Failed: 1 of 3", 1, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TJSON json = {{"ObjectId", "I1"}, {"ParentObjectId", "A1"}, {"ItemType", 1}, {"DateTime", "2024-03-01T08:05:00Z"},
                  {"Caption", "<b>Viewed</b>"}, {"Text", "by Jane"},
                  {"Originator", {{"ID", "o"}, {"GUID", "{11111111-2222-3333-4444-555555555555}"}, {"Name", "n"},
                                  {"Description", "d"}, {"Type", 20}}}};
    if (c.Extra) json["ExtraData"] = TJSON::parse(c.Extra);
    TZELEventItem item(json);
    const D::TItemRow row = D::ItemRowOf(item);
    EXPECT_EQ(row.ID, "I1");
    EXPECT_EQ(row.Time, "09:05\r\nAM");
    EXPECT_EQ(row.Caption, "<b>Viewed</b>");  // kept as typed; painted as plain text
    EXPECT_EQ(row.HasStatus, c.HasStatus);
    EXPECT_EQ(row.Status, c.Status);
    EXPECT_EQ(row.Images, c.Images);
    EXPECT_EQ(row.Videos, c.Videos);
  }
}

std::vector<std::string> RowsText(const D::TReasonFrame& AFrame) {
  std::vector<std::string> out;
  for (const auto& r : AFrame.Rows) out.push_back(std::to_string(r.Code) + ":" + r.Text + (r.Custom ? ">" : ""));
  return out;
}

TEST(EventItemsDecisions, ReasonFramePerKindAndState) {
  auto edge = EdgeWith({cDismiss, cEscalate});
  auto bare = EdgeWith({cDismissTwo});  // no custom code in its tables
  TZELServiceObject* dismiss = edge->Services()[0];
  TZELServiceObject* escalate = edge->Services()[1];
  struct TCase {
    const char* Name;
    D::TReasonKind Kind;
    TZELServiceObject* Service;
    S State;
    std::string Prompt;
    std::vector<std::string> Rows;
    bool Empty;
  };
  const TCase cases[] = {
      {"dismiss an initiated alert", D::TReasonKind::Dismiss, dismiss, S::easInitiated,
       "Choose a reason to dismiss an alert:", {"1:False alarm", "100:Other>"}, false},
      {"close an escalated alert", D::TReasonKind::Dismiss, dismiss, S::easEscalated,
       "Choose a reason to close an alert:", {"10:Resolved", "200:Other>"}, false},
      {"a dismissed alert has no table", D::TReasonKind::Dismiss, dismiss, S::easDismissed,
       "Choose a reason to close an alert:", {}, true},
      {"escalate, any state", D::TReasonKind::Escalate, escalate, S::easEscalated, "Choose escalation reason: ",
       {"20:Intruder seen", "300:Other>"}, false},
      {"no custom code listed: no arrow", D::TReasonKind::Dismiss, bare->Services()[0], S::easInitiated,
       "Choose a reason to dismiss an alert:", {"7:Seven"}, false},
      {"no dismiss service", D::TReasonKind::Dismiss, nullptr, S::easInitiated,
       "Choose a reason to dismiss an alert:", {}, true},
      {"no escalate service", D::TReasonKind::Escalate, nullptr, S::easInitiated, "Choose escalation reason: ", {},
       true},
      {"a service of the other kind lists nothing", D::TReasonKind::Escalate, dismiss, S::easInitiated,
       "Choose escalation reason: ", {}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const D::TReasonFrame frame = D::ReasonFrameOf(c.Kind, c.Service, c.State);
    EXPECT_EQ(frame.Prompt, c.Prompt);
    EXPECT_EQ(RowsText(frame), c.Rows);
    EXPECT_EQ(frame.EmptyText.empty(), !c.Empty);
  }
}

TEST(EventItemsDecisions, ChoiceOutcomes) {
  const D::TReasonRow listed{1, "False alarm", false};
  const D::TReasonRow custom{100, "Other", true};
  struct TCase {
    const char* Name;
    D::TReasonRow Row;
    bool Ok;
    std::string Typed;
    D::TChoice Outcome;
  };
  const TCase cases[] = {
      {"a listed reason sends its text", listed, false, "", {true, 1, "False alarm"}},
      {"custom text confirmed", custom, true, "Just birds/rabbits. Nevermind.", {true, 100, "Just birds/rabbits. Nevermind."}},
      {"custom field emptied", custom, true, "", {true, 100, ""}},
      {"custom cancelled sends nothing", custom, false, "typed", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(D::ChoiceOf(c.Row, c.Ok, c.Typed), c.Outcome);
  }
  const D::TCustomDialog dismiss = D::CustomDialogOf(D::TReasonKind::Dismiss);
  EXPECT_STREQ(dismiss.Caption, "Custom reason");
  EXPECT_STREQ(dismiss.Default, "Just birds/rabbits. Nevermind.");
  EXPECT_EQ(dismiss.CancelMessage, nullptr);
  const D::TCustomDialog escalate = D::CustomDialogOf(D::TReasonKind::Escalate);
  EXPECT_STREQ(escalate.Caption, "Custom escalate reason");
  EXPECT_STREQ(escalate.Prompt, "Escalate reason");
  EXPECT_STREQ(escalate.Default, "Pay attention to this");
  EXPECT_STREQ(escalate.CancelMessage, "User canceled closure processing.");
}

}  // namespace
}  // namespace ZEL
