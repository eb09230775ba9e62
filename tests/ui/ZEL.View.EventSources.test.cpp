// The Devices view: the rows made from the edge tree, the state texts at a fixed clock, and
// the view following condition changes while it is not in front.

#include "ZEL.Edge.h"
#include "ZEL.EventSources.Rows.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.EventSources.h"
#include "services/ZEL.Events.Service.Fakes.h"

#include <QColor>
#include <QListView>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
namespace ES = EventSources;
using namespace std::chrono_literals;
using TJ = nlohmann::ordered_json;

TJ Condition(const std::string& AID, const std::string& AName, TJ AState) {
  return {{"Type", 20}, {"Name", AName}, {"Description", AName + " rule"}, {"ID", AID},
          {"GUID", "{00000000-0000-0000-0000-0000000000C1}"}, {"Services", TJ::array()},
          {"Status", {{"Enabled", true}}}, {"State", std::move(AState)}};
}

TJ Device(const std::string& AID, const std::string& AName, TJ AStatus) {
  return {{"Type", 40}, {"Name", AName}, {"Description", AName + " device"}, {"ID", AID},
          {"GUID", "{00000000-0000-0000-0000-0000000000D1}"}, {"Services", TJ::array()},
          {"Status", std::move(AStatus)}};
}

TJ Provider(const std::string& AID, std::vector<TJ> ADevices) {
  TJ devices = TJ::array();
  for (TJ& d : ADevices) devices.push_back(std::move(d));
  return {{"Type", 30}, {"Name", AID}, {"Description", ""}, {"ID", AID},
          {"GUID", "{00000000-0000-0000-0000-0000000000E1}"}, {"Services", TJ::array()}, {"Devices", devices}};
}

TJ Edge(const std::string& AID, const std::string& AName, std::vector<TJ> AConditions, std::vector<TJ> AProviders) {
  TJ edge = {{"Type", 10}, {"Name", AName}, {"Description", "d"}, {"ID", AID},
             {"GUID", "{3F2504E0-4F89-11D3-9A0C-0305E82C33" + std::to_string(10 + AID.size()) + "}"},
             {"Parent", ""}, {"Services", TJ::array()}, {"Conditions", TJ::array()}, {"Providers", TJ::array()}};
  for (TJ& c : AConditions) edge["Conditions"].push_back(std::move(c));
  for (TJ& p : AProviders) edge["Providers"].push_back(std::move(p));
  return edge;
}

TJ Active() { return {{"Data", {{"State", 1}}}, {"LastState", "2025-03-01T08:00:00Z"}}; }
TJ Disabled(const char* AAt) { return {{"Data", {{"State", 0}}}, {"LastState", AAt}}; }
TJ Paused(const char* AAt, int AInterval) {
  return {{"Data", {{"State", 2}, {"PauseInterval", AInterval}, {"PausedAt", AAt}}}, {"LastState", AAt}};
}

// What a row shows, in one line: "name | state | time".
std::string Shown(const TEventSourcesRowModel& AModel, int ARow) {
  const QModelIndex at = AModel.index(ARow, 0);
  std::string text = at.data(TEventSourcesRowModel::NameRole).toString().toStdString();
  if (at.data(TEventSourcesRowModel::KindRole).toInt() == static_cast<int>(TEventSourceRowKind::Header))
    return "# " + text;
  return text + " | " + at.data(TEventSourcesRowModel::StateTextRole).toString().toStdString() + " | " +
         at.data(TEventSourcesRowModel::TimeTextRole).toString().toStdString();
}

std::vector<std::string> ShownAll(const TEventSourcesRowModel& AModel) {
  std::vector<std::string> rows;
  for (int i = 0; i < AModel.rowCount(); ++i) rows.push_back(Shown(AModel, i));
  return rows;
}

class EventSourcesRows : public ::testing::Test {
protected:
  void SetUp() override {
    Now = Time::ParseISO8601("2025-03-05T12:00:00Z");
    Time::SetClock([this] { return Now; });
  }
  void TearDown() override { Time::SetClock({}); }

  std::vector<std::string> RowsShown() {
    TEventSourcesRowModel model;
    model.Reset(ES::RowsOf(*F.Edges));
    return ShownAll(model);
  }
  static std::string At(const char* AISO) { return Time::FormatLocalDisplay(Time::ParseISO8601(AISO)); }

  Time::TInstant Now;
  ZT::TEventsServiceFixture F;
};

TEST_F(EventSourcesRows, HeadersConditionsAndDevicesOfEveryEdgeInListOrder) {
  EXPECT_TRUE(RowsShown().empty()) << "no edges, no rows";

  F.Edges->InitEdge(Edge("EDGE-A", "North gate", {}, {}));
  F.Edges->InitEdge(Edge("EDGE-B", "Warehouse",
                         {Condition("C-1", "Motion", Active()), Condition("C-2", "Fence", Active())},
                         {Provider("P-1", {Device("D-1", "Gate cam", {{"Online", true}, {"LastSeen", "2025-03-05T11:59:15Z"}})}),
                          Provider("P-2", {Device("D-2", "Yard cam", {{"Online", false}, {"LastSeen", "2025-03-05T10:00:00Z"}}),
                                           Device("D-3", "Dock cam", {{"Online", true}, {"LastSeen", "2025-03-05T11:00:00Z"}})})}));
  const std::vector<std::string> expected = {
      "# North gate",
      "# Conditions",
      "# Devices",  // an edge without conditions or devices: its headers one after the other
      "# Warehouse",
      "# Conditions",
      "Motion | Enabled | ",
      "Fence | Enabled | ",
      "# Devices",
      "Gate cam | Online | Seen: 45s ago...(" + At("2025-03-05T11:59:15Z") + ")",
      "Yard cam | Offline | Seen: 2h ago...(" + At("2025-03-05T10:00:00Z") + ")",
      "Dock cam | Online | Seen: 60m ago...(" + At("2025-03-05T11:00:00Z") + ")",
  };
  EXPECT_EQ(RowsShown(), expected);
}

TEST_F(EventSourcesRows, StateWordColourAndTimeOfEachState) {
  struct TCase {
    const char* Name;
    TJ Node;
    bool IsDevice;
    const char* Word;
    QRgb Colour;
    std::string Time;
  };
  const std::vector<TCase> cases = {
      {"enabled", Condition("C", "n", Active()), false, "Enabled", ES::cGreen, ""},
      {"disabled", Condition("C", "n", Disabled("2025-03-05T09:00:00Z")), false, "Disabled", ES::cRed,
       "When: 3h ago...(" + At("2025-03-05T09:00:00Z") + ")"},
      {"disabled without date", Condition("C", "n", {{"Data", {{"State", 0}}}}), false, "Disabled", ES::cRed,
       "When: N/D"},
      {"paused", Condition("C", "n", Paused("2025-03-05T11:30:00Z", 3600)), false, "Paused", ES::cGoldenrod,
       "For 30m (resume at: " + At("2025-03-05T12:30:00Z") + ")"},
      {"paused without date", Condition("C", "n", {{"Data", {{"State", 2}, {"PauseInterval", 3600}}}}), false,
       "Paused", ES::cGoldenrod, "For N/D"},
      {"online", Device("D", "n", {{"Online", true}, {"LastSeen", "2025-03-02T12:00:00Z"}}), true, "Online",
       ES::cGreen, "Seen: 3day(s) ago...(" + At("2025-03-02T12:00:00Z") + ")"},
      {"offline without date", Device("D", "n", {{"Online", false}}), true, "Offline", ES::cRed, "Seen: N/D"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TEventSourceRow row;
    if (c.IsDevice)
      row = ES::DeviceRow(*TZELDeviceObject::CreateFromJSON(c.Node));
    else
      row = ES::ConditionRow(*TZELConditionObject::CreateFromJSON(c.Node));
    const TEventSourceLook look = ES::LookOf(row);
    EXPECT_EQ(look.StateText.toStdString(), c.Word);
    EXPECT_EQ(look.Colour, c.Colour);
    EXPECT_EQ(look.TimeText.toStdString(), c.Time);
  }
}

TEST_F(EventSourcesRows, NamesFromTheNetworkStayPlainText) {
  F.Edges->InitEdge(Edge("EDGE-A", "<b>Gate</b>", {Condition("C-1", "<img src=x>", Active())}, {}));
  const std::vector<std::string> rows = RowsShown();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "# <b>Gate</b>");
  EXPECT_EQ(rows[2], "<img src=x> | Enabled | ");
}

// The view in a plain parent over the fixture's services.
class EventSourcesView : public EventSourcesRows {
protected:
  void SetUp() override {
    EventSourcesRows::SetUp();
    F.Edges->InitEdge(Edge("EDGE-A", "North gate",
                           {Condition("cond-1", "Motion", Active()), Condition("COND-2", "Fence", Active())},
                           {Provider("P-1", {Device("D-1", "Gate cam", {{"Online", true}})})}));
    View = std::make_unique<TEventSourcesViewForm>();
    View->InitView(TView::EdgeDevcies, &Host, &Parent);
  }
  void TearDown() override {
    View.reset();
    EventSourcesRows::TearDown();
  }
  // As the edge announces a condition answered with a new state.
  static void Announce(TZELConditionObject* ACondition, const TJ& AState) {
    TJ data = {{"State", AState}};
    ACondition->UpdateStatusAndState(&data);
    TZELMessager<TConditionStateChangeMessage>::Send(
        [ACondition] { return std::make_unique<TConditionStateChangeMessage>(ACondition, TJ::object()); });
  }
  TZELConditionObject* ConditionOf(int AIndex) { return F.Edges->GetEdge(0)->Conditions()[AIndex]; }

  ZT::TRecordingHost Host;
  QWidget Parent;
  std::unique_ptr<TEventSourcesViewForm> View;
};

TEST_F(EventSourcesView, AConditionChangeRefreshesItsRowsAlsoWhileTheViewIsNotInFront) {
  View->Enter(TView::Events);
  View->ShowView();
  EXPECT_EQ(View->FormCaption(), "Devices");
  EXPECT_EQ(View->List()->parentWidget()->parentWidget(), &Parent);
  ASSERT_EQ(Shown(*View->Rows(), 2), "Motion | Enabled | ");
  View->Leave(TView::Events);
  View->HideView();

  // Matched by upper-cased id; the other condition's row stays as it was.
  Announce(ConditionOf(0), Paused("2025-03-05T11:50:00Z", 1800));
  EXPECT_EQ(Shown(*View->Rows(), 2), "Motion | Paused | For 20m (resume at: " + At("2025-03-05T12:20:00Z") + ")");
  EXPECT_EQ(View->Rows()->Row(2).ID, "cond-1");
  EXPECT_EQ(Shown(*View->Rows(), 3), "Fence | Enabled | ");

  // The next entry reads the tree again.
  Announce(ConditionOf(1), Disabled("2025-03-05T11:00:00Z"));
  View->Enter(TView::Events);
  EXPECT_EQ(Shown(*View->Rows(), 3), "Fence | Disabled | When: 60m ago...(" + At("2025-03-05T11:00:00Z") + ")");
  View->Leave(TView::Profile);
}

TEST_F(EventSourcesView, RowsOutliveTheTreeTheyWereBuiltFromAndEachFollowsItsOwnCondition) {
  // The same condition id on a second edge: each row keeps its own name and follows only
  // its own condition's state.
  F.Edges->InitEdge(Edge("EDGE-B", "Yard", {Condition("COND-1", "Motion B", Disabled("2025-03-05T11:00:00Z"))}, {}));
  View->Enter(TView::Host);
  const int before = View->Rows()->rowCount();
  ASSERT_EQ(Shown(*View->Rows(), 6), "# Yard");
  const std::string pausedA = "Motion | Paused | For 20m (resume at: " + At("2025-03-05T12:20:00Z") + ")";
  const std::string disabledB = "Motion B | Disabled | When: 60m ago...(" + At("2025-03-05T11:00:00Z") + ")";
  struct TCase {
    const char* Name;
    TZELConditionObject* Condition;
    TJ State;
    std::string RowA, RowB;
  } const cases[] = {
      {"edge A's changes", ConditionOf(0), Paused("2025-03-05T11:50:00Z", 1800), pausedA, disabledB},
      {"edge B's changes", F.Edges->GetEdge(1)->Conditions()[0], Active(), pausedA, "Motion B | Enabled | "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Announce(c.Condition, c.State);
    EXPECT_EQ(Shown(*View->Rows(), 2), c.RowA);
    EXPECT_EQ(Shown(*View->Rows(), 8), c.RowB);
    EXPECT_EQ(View->Rows()->Row(8).ID, "COND-1");
    EXPECT_EQ(View->Rows()->Row(8).Description.toStdString(), "Motion B rule");
  }

  // A new sync frees the tree; the rows keep their snapshots and the view paints them.
  F.Edges->ClearEdges();
  EXPECT_EQ(View->Rows()->rowCount(), before);
  View->List()->resize(375, 600);
  View->List()->grab();
  EXPECT_EQ(Shown(*View->Rows(), 0), "# North gate");
  View->Enter(TView::Host);
  EXPECT_EQ(View->Rows()->rowCount(), 0);
  View->Leave(TView::Profile);
}

}  // namespace
}  // namespace ZEL
