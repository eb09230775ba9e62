// The item details view's decisions, without a window: info pairs, device grouping, state
// looks, what opening an attachment leads to, a condition's service rows, the pause length.

#include "ZEL.ItemDetails.Decisions.h"
#include "ZEL.ItemDetails.TestSupport.h"

#include <gtest/gtest.h>

namespace ZEL::Test {
namespace {

namespace D = ItemDetails::Decisions;

TEST(ItemDetailsDecisions, InfoPairsCountDeclaredMediaAndTheTabFollowsThem) {
  TItemSpec given;
  given.Attachments = {{"x1", "CAM-1", "Gate", 2, 1}, {"x2", "CAM-1", "Gate", 0, 1}, {"x3", "CAM-1", "Gate", 0, 2}};
  const auto item = MakeItem(given);
  const std::vector<D::TInfoPair> expected = {{"Source:", "c1"},
                                              {"Received at:", Time::FormatLocalDisplay(item->DateTime())},
                                              {"Name:", "Yard motion"},
                                              {"Text:", "Person at the gate."},
                                              {"Images total:", "2"},
                                              {"Videos total:", "1"}};
  EXPECT_EQ(D::InfoPairs(*item), expected);
  EXPECT_TRUE(D::HasMedia(*item));

  const auto bare = MakeItem(TItemSpec{});
  ASSERT_EQ(D::InfoPairs(*bare).size(), 4u);
  EXPECT_FALSE(D::HasMedia(*bare));

  TItemSpec clipsOnly;
  clipsOnly.Attachments = {{"v1", "CAM-1", "Gate", 0, 3}};
  const auto clips = MakeItem(clipsOnly);
  EXPECT_EQ(D::InfoPairs(*clips).back(), (D::TInfoPair{"Videos total:", "1"}));
  EXPECT_TRUE(D::HasMedia(*clips));
}

TEST(ItemDetailsDecisions, AttachmentsGroupByDeviceInOrderOfFirstAppearanceWhateverTheCase) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Devices;  // one attachment each, ids x1, x2, ...
    std::vector<std::pair<std::string, std::vector<std::string>>> Groups;
  };
  const std::vector<TCase> cases = {
      {"X, Y, X", {"X", "Y", "X"}, {{"X", {"x1", "x3"}}, {"Y", {"x2"}}}},
      {"case differences are one device", {"Cam-A", "CAM-B", "cam-a"}, {{"Cam-A", {"x1", "x3"}}, {"CAM-B", {"x2"}}}},
      {"one device", {"X", "X"}, {{"X", {"x1", "x2"}}}},
      {"no attachments", {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TItemSpec given;
    for (std::size_t i = 0; i < c.Devices.size(); ++i)
      given.Attachments.push_back({"x" + std::to_string(i + 1), c.Devices[i], "Name of " + c.Devices[i]});
    const std::vector<D::TDeviceGroup> groups = D::GroupByDevice(*MakeItem(given));
    ASSERT_EQ(groups.size(), c.Groups.size());
    std::size_t listed = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      EXPECT_EQ(groups[g].ID, c.Groups[g].first);
      EXPECT_EQ(groups[g].Name, "Name of " + c.Groups[g].first);
      EXPECT_EQ(groups[g].ExtraIDs, c.Groups[g].second);
      listed += groups[g].ExtraIDs.size();
    }
    EXPECT_EQ(listed, c.Devices.size()) << "every attachment is listed once";
  }
}

TEST(ItemDetailsDecisions, StateTextsColoursAndWhatOpeningLeadsTo) {
  struct TCase {
    TExtraDataState State;
    std::string_view Text;
    QRgb Colour;
    bool Openable;
    D::TOpenStep Step;
  };
  const TCase cases[] = {
      {TExtraDataState::edsExpected, "PENDING", 0xFF708090, false, D::TOpenStep::NotReady},
      {TExtraDataState::edsUploading, "UPLOADING", 0xFF708090, false, D::TOpenStep::NotReady},
      {TExtraDataState::edsAvailable, "READY", 0xFF008000, true, D::TOpenStep::CheckPresence},
      {TExtraDataState::edsUnavailable, "N/A", 0xFFFF4500, false, D::TOpenStep::Gone},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text));
    const D::TStateLook look = D::StateLook(c.State);
    EXPECT_EQ(look.Text, c.Text);
    EXPECT_EQ(look.Colour, c.Colour);
    EXPECT_EQ(look.Openable, c.Openable);
    EXPECT_EQ(D::OpenStepOf(c.State), c.Step);
  }
  // After the backend's answer: a ready file that is gone is reported, never opened.
  EXPECT_EQ(D::OpenResultOf(false, 1), D::TOpenResult::Gone);
  EXPECT_EQ(D::OpenResultOf(false, 2), D::TOpenResult::Gone);
  EXPECT_EQ(D::OpenResultOf(true, 1), D::TOpenResult::Image);
  EXPECT_EQ(D::OpenResultOf(true, 2), D::TOpenResult::Video);
  EXPECT_EQ(D::OpenResultOf(true, 3), D::TOpenResult::Video);
  EXPECT_EQ(D::OpenResultOf(true, 9), D::TOpenResult::Nothing);
}

TEST(ItemDetailsDecisions, ServiceRowsFollowTheConditionsState) {
  const auto sw = ServiceJSON(12, 0, "Switch");
  const auto pause = ServiceJSON(15, 1, "Pause it");
  const auto view = ServiceJSON(0, 2, "Look");
  using TRows = std::vector<std::pair<std::string, bool>>;  // caption, turns on
  struct TCase {
    const char* Name;
    int State;
    std::vector<nlohmann::ordered_json> Services;
    TRows Rows;
  };
  const std::vector<TCase> cases = {
      {"active", 1, {sw, pause}, {{"Disable", false}, {"Pause", false}}},
      {"active, another kind keeps its own name", 1, {view}, {{"Look", false}}},
      {"paused", 2, {sw, pause}, {{"Resume", true}, {"Stop", false}}},
      {"paused, a switch after a pause still counts", 2, {pause, view, sw}, {{"Resume", true}, {"Stop", false}}},
      {"disabled, a switch after a pause still counts", 0, {pause, sw}, {{"Enable", true}}},
      {"paused without a switch", 2, {pause}, {}},
      {"no services", 1, {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto condition = TZELConditionObject::CreateFromJSON(ConditionJSON("COND-1", c.State, c.Services));
    ASSERT_TRUE(condition);
    TRows rows;
    for (const D::TServiceRow& r : D::ServiceRows(*condition)) rows.emplace_back(r.Caption, r.TurnOn);
    EXPECT_EQ(rows, c.Rows);
  }
  const auto active = TZELConditionObject::CreateFromJSON(ConditionJSON("COND-1", 1, {sw, pause}));
  const auto rows = D::ServiceRows(*active);
  EXPECT_EQ(rows[0].Description, "Disable Gate triggers.");
  EXPECT_EQ(rows[0].Type, TEdgeServiceType::stSwitch);
  EXPECT_EQ(rows[1].Description, "Pause Gate triggers for desired time period.");
  EXPECT_EQ(rows[1].Type, TEdgeServiceType::stPause);
  const auto paused = TZELConditionObject::CreateFromJSON(ConditionJSON("COND-1", 2, {sw}));
  EXPECT_EQ(D::ServiceRows(*paused)[0].Description.rfind("Gate is paused for ", 0), 0u);
  EXPECT_NE(D::ServiceRows(*paused)[0].Description.find("resume at"), std::string::npos);
}

TEST(ItemDetailsDecisions, PauseSecondsFromDaysHoursAndMinutes) {
  struct TCase {
    int Days, Hours, Minutes;
    std::int32_t Seconds;
  };
  const TCase cases[] = {
      {0, 0, 1, 60},                                          // the smallest the frame allows
      {1, 2, 30, 95400},                                      // a typical choice
      {D::cDaysMax, D::cHoursMax, D::cMinutesMax, 2768400},  // the largest
      {0, 3, 1, 10860},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(D::PauseSeconds(c.Days, c.Hours, c.Minutes), c.Seconds) << c.Days << "d " << c.Hours << "h " << c.Minutes;
}

}  // namespace
}  // namespace ZEL::Test
