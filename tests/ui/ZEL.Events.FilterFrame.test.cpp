// The filter frame: what its controls show and what Apply, Cancel and Reset filter hand back.

#include "ZEL.Frames.Filter.h"
#include "ZEL.View.Events.TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTimeEdit>

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
namespace F = Events::Filter;

Time::TInstant At(int AY, int AM, int AD, int AH = 0, int AMin = 0, int ASec = 0) {
  return Time::FromLocal(AY, AM, AD, AH, AMin, ASec);
}

class EventsFilterFrame : public ::testing::Test {
protected:
  void SetUp() override {
    Services.Edges->InitEdge(ZT::MakeEdge("EDGE-1", ZT::cEdgeGuid, "Gate", {1}));
    Services.Edges->InitEdge(ZT::MakeEdge("EDGE-2", "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}", "Gate", {1}));
    SetNow(At(2024, 3, 10, 15));
    Frame.SetHandler([this](bool AApply) { Calls.push_back(AApply); });
  }
  void TearDown() override { Time::SetClock({}); }
  static void SetNow(Time::TInstant ANow) { Time::SetClock([ANow] { return ANow; }); }
  template <class W>
  W* Get(const char* AName) {
    return Frame.findChild<W*>(AName);
  }
  void Custom(QDate AFrom, QTime AFromTime, QDate ATo, QTime AToTime) {
    Get<QComboBox>("cbDateTimeFlt")->setCurrentIndex(F::cCustomRangeIndex);
    Get<QDateEdit>("dedtBegin")->setDate(AFrom);
    Get<QTimeEdit>("tedtBegin")->setTime(AFromTime);
    Get<QDateEdit>("dedtEnd")->setDate(ATo);
    Get<QTimeEdit>("tedtEnd")->setTime(AToTime);
  }

  ZT::TEventsServiceFixture Services;
  ZT::TDialogsInPlace Dialogs;
  TfraEventsFilter Frame;
  std::vector<bool> Calls;
};

TEST_F(EventsFilterFrame, ControlsShowTheOptionsAndApplyReadsThemBack) {
  TFilterOptions o;
  o.EventStates = {TEventAlertState::easEscalated};
  o.OnlyActive = true;
  Frame.FillData(o, false);
  EXPECT_EQ(Get<QComboBox>("cbIncidentEdgesFlt")->currentText(), "All");  // "*" is no edge
  EXPECT_EQ(Get<QComboBox>("cbIncidentEdgesFlt")->count(), 3);
  EXPECT_FALSE(Get<QCheckBox>("swInitial")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>("swEscalated")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>("swDismissed")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>("swActiveStateFlt")->isChecked());
  EXPECT_FALSE(Get<QCheckBox>("swViewedStateFlt")->isChecked());
  EXPECT_FALSE(Get<QDateEdit>("dedtBegin")->isEnabled());
  EXPECT_TRUE(Get<QWidget>("lyTimeInputs")->isHidden());

  // Two edges of one name: the second entry selects the second edge.
  Get<QComboBox>("cbIncidentEdgesFlt")->setCurrentIndex(2);
  Get<QCheckBox>("swDismissed")->setChecked(true);
  Get<QCheckBox>("swViewedStateFlt")->setChecked(true);
  Get<QPushButton>("btnApply")->click();
  ASSERT_EQ(Calls, (std::vector<bool>{true}));
  const TFilterOptions& got = Frame.CurrentOptions();
  EXPECT_EQ(got.EdgeID, "EDGE-2");
  EXPECT_EQ(got.EventStates, (TTEventAlertStates{TEventAlertState::easDismissed, TEventAlertState::easEscalated}));
  EXPECT_TRUE(got.OnlyNonSeen);
  EXPECT_TRUE(got.OnlyActive);
  EXPECT_FALSE(got.IsCustomRange);
  EXPECT_FALSE(got.Applied);  // the view sets it from the callback's argument
  // Opened again with that edge: its own entry is chosen; "All" writes an empty id.
  Frame.FillData(got, false);
  EXPECT_EQ(Get<QComboBox>("cbIncidentEdgesFlt")->currentIndex(), 2);
  Get<QComboBox>("cbIncidentEdgesFlt")->setCurrentIndex(0);
  Frame.btnApplyClick();
  EXPECT_EQ(Frame.CurrentOptions().EdgeID, "");
}

TEST_F(EventsFilterFrame, CustomRangeOfUnderTenMinutesIsRefused) {
  Frame.FillData(TFilterOptions(), false);
  Custom(QDate(2024, 3, 10), QTime(10, 0), QDate(2024, 3, 10), QTime(10, 9));
  EXPECT_FALSE(Get<QWidget>("lyTimeInputs")->isHidden());
  EXPECT_TRUE(Get<QDateEdit>("dedtBegin")->isEnabled());
  Frame.btnApplyClick();
  EXPECT_TRUE(Calls.empty());
  EXPECT_EQ(Dialogs.Service->Shown, (std::vector<std::string>{"Minimum allowed time range is 10 minutes."}));
  EXPECT_FALSE(Frame.CurrentOptions().IsCustomRange);

  Custom(QDate(2024, 3, 10), QTime(10, 0), QDate(2024, 3, 10), QTime(10, 10));
  Frame.btnApplyClick();
  ASSERT_EQ(Calls, (std::vector<bool>{true}));
  EXPECT_TRUE(Frame.CurrentOptions().IsCustomRange);
  EXPECT_EQ(Frame.CurrentOptions().DateRangeName, "Custom range...");
  EXPECT_EQ(Frame.CurrentOptions().DateRangeBeginLocal(), At(2024, 3, 10, 10, 0, 0));
  EXPECT_EQ(Frame.CurrentOptions().DateRangeEndLocal(), At(2024, 3, 10, 10, 10, 59));
  // Reopened, the custom range keeps its bounds; a named range hides the time row again.
  TFilterOptions custom = Frame.CurrentOptions();
  Frame.FillData(custom, false);
  EXPECT_EQ(Get<QTimeEdit>("tedtEnd")->time(), QTime(10, 10, 59));
  Get<QComboBox>("cbDateTimeFlt")->setCurrentIndex(1);
  EXPECT_TRUE(Get<QWidget>("lyTimeInputs")->isHidden());
  EXPECT_EQ(Get<QDateEdit>("dedtBegin")->date(), QDate(2024, 3, 9));
}

TEST_F(EventsFilterFrame, ChoosingCustomStartsFromThePreviousRange) {
  TFilterOptions o;
  F::ChooseRange(o, 3, Time::Now());  // last 7 days
  Frame.FillData(o, false);
  Get<QComboBox>("cbDateTimeFlt")->setCurrentIndex(F::cCustomRangeIndex);
  EXPECT_EQ(Get<QDateEdit>("dedtBegin")->date(), QDate(2024, 3, 4));
  EXPECT_EQ(Get<QDateEdit>("dedtEnd")->date(), QDate(2024, 3, 10));
  EXPECT_EQ(Get<QTimeEdit>("tedtEnd")->time(), QTime(23, 59, 59));
}

TEST_F(EventsFilterFrame, OpeningOnALaterDayAndCancelUseTodaysBounds) {
  TFilterOptions o;
  F::ChooseRange(o, 1, Time::Now());  // yesterday as of 2024-03-10
  o.Applied = true;
  o.OnlyActive = true;
  SetNow(At(2024, 3, 12, 9));
  Frame.FillData(o, false);
  EXPECT_EQ(Frame.CurrentOptions().DateRangeBeginLocal(), At(2024, 3, 11));
  EXPECT_EQ(Get<QDateEdit>("dedtBegin")->date(), QDate(2024, 3, 11));
  // Reset filter, then Cancel: the options the frame opened with, with today's bounds,
  // applied again because they were in force.
  Get<QPushButton>("BtnResetFilter")->click();
  EXPECT_TRUE(Calls.empty());
  EXPECT_EQ(Frame.CurrentOptions().DateRangeName, "Today");
  EXPECT_FALSE(Get<QCheckBox>("swActiveStateFlt")->isChecked());
  Get<QPushButton>("btnCancel")->click();
  ASSERT_EQ(Calls, (std::vector<bool>{true}));
  EXPECT_EQ(Frame.CurrentOptions().DateRangeName, "Yesterday");
  EXPECT_EQ(Frame.CurrentOptions().DateRangeBeginLocal(), At(2024, 3, 11));
  EXPECT_TRUE(Frame.CurrentOptions().OnlyActive);
  EXPECT_TRUE(Frame.PrevOptions().Applied);
  // Options not in force: Cancel reports them as not applied.
  o.Applied = false;
  Frame.FillData(o, false);
  Frame.btnCancelClick();
  EXPECT_EQ(Calls, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace ZEL
