// The filter decisions without widgets: the test, the ranges, the custom range, the
// "pull again?" comparison, entering, the counters and the toast rule.

#include "ZEL.Events.Filter.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace F = Events::Filter;
using S = TEventAlertState;

Time::TInstant At(int AY, int AM, int AD, int AH = 0, int AMin = 0, int ASec = 0) {
  return Time::FromLocal(AY, AM, AD, AH, AMin, ASec);
}

class ClockAt {
public:
  explicit ClockAt(Time::TInstant ANow) { Time::SetClock([ANow] { return ANow; }); }
  ~ClockAt() { Time::SetClock({}); }
};

TEST(EventsFilter, DefaultsLetEveryAlertPassUntilApplied) {
  ClockAt clock(At(2024, 3, 10, 15, 30));
  const TFilterOptions o;
  EXPECT_EQ(o.EdgeID, "*");
  EXPECT_EQ(o.DateRangeName, "Today");
  EXPECT_EQ(o.DateRangeBeginLocal(), At(2024, 3, 10));
  EXPECT_EQ(o.DateRangeEndLocal(), At(2024, 3, 10, 23, 59, 59));
  EXPECT_EQ(o.EventStates.size(), 3u);
  EXPECT_FALSE(o.Applied);
  TFilterSubject alien;
  alien.OriginatorID = "other";
  alien.State = S::easDismissed;
  alien.Viewed = true;
  EXPECT_TRUE(F::Allows(o, alien));  // "*" would match nothing, but nothing is in force
  TFilterOptions copy;
  copy.Assign(o);
  EXPECT_EQ(copy.DateRangeBegin, o.DateRangeBegin);
}

TEST(EventsFilter, AppliedOptionsTestEachFieldInTurn) {
  ClockAt clock(At(2024, 3, 10, 15, 30));
  TFilterOptions base;
  base.Applied = true;
  base.EdgeID = "";
  TFilterSubject ok;
  ok.OriginatorID = "COND-1";
  ok.OriginatorEdgeID = "EDGE-1";
  ok.DateTime = At(2024, 3, 10, 12);
  ok.Active = true;
  ok.Viewed = false;
  ok.State = S::easInitiated;

  struct TCase {
    const char* Name;
    std::function<void(TFilterOptions&, TFilterSubject&)> Change;
    bool Passes;
  };
  const TCase cases[] = {
      {"all edges", [](auto&, auto&) {}, true},
      {"edge by originator's edge", [](auto& o, auto&) { o.EdgeID = "EDGE-1"; }, true},
      {"edge by originator's own id", [](auto& o, auto& a) { o.EdgeID = "EDGE-1"; a.OriginatorID = "EDGE-1"; a.OriginatorEdgeID = ""; }, true},
      {"other edge", [](auto& o, auto&) { o.EdgeID = "EDGE-2"; }, false},
      {"edge id compared exactly", [](auto& o, auto&) { o.EdgeID = "edge-1"; }, false},
      {"today, yesterday's alert", [](auto&, auto& a) { a.DateTime = At(2024, 3, 9, 23, 59, 59); }, false},
      {"today, from midnight on", [](auto&, auto& a) { a.DateTime = At(2024, 3, 10); }, true},
      {"today, chosen the day before", [](auto& o, auto&) { F::ChooseRange(o, 0, At(2024, 3, 9, 10)); }, true},
      {"named range, inside", [](auto& o, auto&) { F::ChooseRange(o, 3, Time::Now()); }, true},
      {"named range, before", [](auto& o, auto& a) { F::ChooseRange(o, 1, Time::Now()); a.DateTime = At(2024, 3, 8, 23, 59, 59); }, false},
      {"named range, first instant", [](auto& o, auto& a) { F::ChooseRange(o, 1, Time::Now()); a.DateTime = At(2024, 3, 9); }, true},
      {"named range, last instant", [](auto& o, auto& a) { F::ChooseRange(o, 1, Time::Now()); a.DateTime = At(2024, 3, 9, 23, 59, 59); }, true},
      {"named range, after", [](auto& o, auto& a) { F::ChooseRange(o, 1, Time::Now()); a.DateTime = At(2024, 3, 10); }, false},
      {"named range, no date", [](auto& o, auto& a) { F::ChooseRange(o, 1, Time::Now()); a.DateTime = Time::MissingDate; }, false},
      {"only active, inactive", [](auto& o, auto& a) { o.OnlyActive = true; a.Active = false; }, false},
      {"only active, active", [](auto& o, auto&) { o.OnlyActive = true; }, true},
      {"only unseen, seen", [](auto& o, auto& a) { o.OnlyNonSeen = true; a.Viewed = true; }, false},
      {"state not chosen", [](auto& o, auto&) { o.EventStates = {S::easDismissed, S::easEscalated}; }, false},
      {"state chosen", [](auto& o, auto& a) { o.EventStates = {S::easEscalated}; a.State = S::easEscalated; }, true},
      {"no state chosen", [](auto& o, auto&) { o.EventStates = {}; }, false},
  };
  for (const TCase& c : cases) {
    TFilterOptions o = base;
    TFilterSubject a = ok;
    c.Change(o, a);
    EXPECT_EQ(F::Allows(o, a), c.Passes) << c.Name;
  }
}

TEST(EventsFilter, RangesAreComputedForTheDayTheyAreChosen) {
  ClockAt clock(At(2024, 3, 31, 8));  // daylight saving starts this night in Berlin
  struct TCase {
    int Index;
    const char* Name;
    Time::TInstant Begin, End;
  } const cases[] = {
      {0, "Today", At(2024, 3, 31), At(2024, 3, 31, 23, 59, 59)},
      {1, "Yesterday", At(2024, 3, 30), At(2024, 3, 30, 23, 59, 59)},
      {2, "Last 2 days", At(2024, 3, 30), At(2024, 3, 31, 23, 59, 59)},
      {3, "Last 7 days", At(2024, 3, 25), At(2024, 3, 31, 23, 59, 59)},
      {4, "Last 3 months", At(2024, 1, 2), At(2024, 3, 31, 23, 59, 59)},
      {-1, "Today", At(2024, 3, 31), At(2024, 3, 31, 23, 59, 59)},
  };
  for (const auto& c : cases) {
    TFilterOptions o;
    o.DateRangeName = "whatever";
    F::ChooseRange(o, c.Index, Time::Now());
    EXPECT_EQ(o.DateRangeName, c.Name) << c.Index;
    EXPECT_EQ(o.DateRangeBeginLocal(), c.Begin) << c.Index;
    EXPECT_EQ(o.DateRangeEndLocal(), c.End) << c.Index;
  }
  // The custom entry keeps name and bounds; empty bounds become "Today".
  TFilterOptions custom;
  F::ChooseRange(custom, 1, Time::Now());
  const TFilterOptions before = custom;
  F::ChooseRange(custom, F::cCustomRangeIndex, Time::Now());
  EXPECT_EQ(custom.DateRangeName, "Yesterday");
  EXPECT_EQ(custom.DateRangeBegin, before.DateRangeBegin);
  custom.DateRangeEnd.clear();
  F::ChooseRange(custom, F::cCustomRangeIndex, Time::Now());
  EXPECT_EQ(custom.DateRangeName, "Today");
  EXPECT_EQ(custom.DateRangeEndLocal(), At(2024, 3, 31, 23, 59, 59));
  EXPECT_EQ(F::RangeIndexOf("Last 7 days"), 3);
  EXPECT_EQ(F::RangeIndexOf("nonsense"), 0);
}

// A pull asks for a named range as it is at that moment: past midnight, "Today" is the new
// day (and "Last 7 days" moves with it); a custom range stays as typed.
TEST(EventsFilter, PullPeriodMovesNamedRangesOnAtMidnight) {
  TFilterOptions today, week, custom;
  {
    ClockAt evening(At(2024, 12, 10, 23, 0));
    today = TFilterOptions();
    F::ChooseRange(week, 3, Time::Now());
    custom.DateRangeName = std::string(F::cCustomRange);
    custom.IsCustomRange = true;
    custom.DateRangeBegin = Time::FormatISO8601Local(At(2024, 12, 1, 10));
    custom.DateRangeEnd = Time::FormatISO8601Local(At(2024, 12, 2, 10));
  }
  ClockAt night(At(2024, 12, 11, 0, 30));
  const TFilterOptions t = F::PullPeriod(today, Time::Now());
  EXPECT_EQ(t.DateRangeName, "Today");
  EXPECT_EQ(t.DateRangeBeginLocal(), At(2024, 12, 11));
  EXPECT_EQ(t.DateRangeEndLocal(), At(2024, 12, 11, 23, 59, 59));
  const TFilterOptions w = F::PullPeriod(week, Time::Now());
  EXPECT_EQ(w.DateRangeBeginLocal(), At(2024, 12, 5));
  EXPECT_EQ(w.DateRangeEndLocal(), At(2024, 12, 11, 23, 59, 59));
  const TFilterOptions c = F::PullPeriod(custom, Time::Now());
  EXPECT_EQ(c.DateRangeBegin, custom.DateRangeBegin);
  EXPECT_EQ(c.DateRangeEnd, custom.DateRangeEnd);

  // Back from a longer range to "Today": older alerts no longer pass, new ones do.
  TFilterOptions back = week;
  back.Applied = true;
  back.EdgeID = "";
  F::ChooseRange(back, 0, Time::Now());
  TFilterSubject alert;
  alert.DateTime = At(2024, 12, 8, 9);
  EXPECT_FALSE(F::Allows(back, alert));
  alert.DateTime = At(2024, 12, 10, 23, 30);
  EXPECT_FALSE(F::Allows(back, alert));
  alert.DateTime = At(2024, 12, 11, 0, 10);
  EXPECT_TRUE(F::Allows(back, alert));
}

TEST(EventsFilter, CustomRangeNeedsTenMinutes) {
  const auto day = At(2024, 3, 10);
  const auto time = [](int AH, int AM) { return At(2000, 1, 1, AH, AM, 33); };  // its seconds are ignored
  Time::TInstant b, e;
  EXPECT_FALSE(F::CustomRange(day, time(10, 0), day, time(10, 9), b, e));  // 10:00:00 to 10:09:59
  EXPECT_EQ(Time::SecondsBetween(b, e), 599);
  EXPECT_TRUE(F::CustomRange(day, time(10, 0), day, time(10, 10), b, e));
  EXPECT_EQ(b, At(2024, 3, 10, 10, 0, 0));
  EXPECT_EQ(e, At(2024, 3, 10, 10, 10, 59));
  // Reversed by more than ten minutes: accepted as it is.
  EXPECT_TRUE(F::CustomRange(day, time(12, 0), day, time(11, 0), b, e));
  EXPECT_GT(b, e);
  EXPECT_EQ(F::DateAndTimeToDateTime(At(2024, 5, 6, 1, 2, 3), At(2000, 1, 1, 7, 8, 9), 42), At(2024, 5, 6, 7, 8, 42));
  EXPECT_EQ(F::SetDTTimeValue(At(2024, 5, 6, 1, 2, 3), 23, 59, 59), At(2024, 5, 6, 23, 59, 59));
}

TEST(EventsFilter, PullAgainWhenTheRangeIsNotInsideThePeriodPulled) {
  ClockAt clock(At(2024, 3, 10, 15));
  TFilterOptions today;  // 2024-03-10
  TFilterOptions last7;
  F::ChooseRange(last7, 3, Time::Now());  // 2024-03-04 .. 2024-03-10
  TFilterOptions hour = today;  // a custom range, 10:00:00 .. 11:00:59
  hour.DateRangeName = std::string(F::cCustomRange);
  hour.IsCustomRange = true;
  hour.DateRangeBegin = Time::FormatISO8601Local(At(2024, 3, 10, 10));
  hour.DateRangeEnd = Time::FormatISO8601Local(At(2024, 3, 10, 11, 0, 59));
  const auto pulled = [](const TFilterOptions& A) { return F::PeriodOf(A.DateRangeBegin, A.DateRangeEnd); };
  const F::TPulledPeriod yesterday = {At(2024, 3, 9), At(2024, 3, 9, 23, 59, 59)};
  struct TCase {
    const char* Name;
    const TFilterOptions* Options;
    bool Empty;
    F::TPulledPeriod Pulled;
    bool Pull;
  } const cases[] = {
      {"empty list", &today, true, pulled(today), true},
      {"nothing pulled yet", &today, false, {}, true},
      {"today again", &today, false, pulled(today), false},
      {"today inside the week pulled", &today, false, pulled(last7), false},
      {"an hour of today inside today pulled", &hour, false, pulled(today), false},
      {"the week after today", &last7, false, pulled(today), true},
      // The list holds the hour's alerts only, although they fall on today.
      {"today after an hour of it", &today, false, pulled(hour), true},
      // "Today" moved on at midnight since the pull.
      {"today after yesterday's today", &today, false, yesterday, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(F::NeedsPull(*c.Options, c.Empty, c.Pulled, Time::Now()), c.Pull) << c.Name;
}

TEST(EventsFilter, EnteringPullsUnlessComingBackToKeptRows) {
  struct TCase {
    TView From;
    bool FirstTime, Pull;
  } const cases[] = {
      {TView::Host, true, true},          {TView::Events, false, true},   {TView::EventItemDetails, false, true},
      {TView::Profile, true, false},      {TView::EdgeDevcies, true, false}, {TView::EventItems, false, false},
      {TView::EventItems, true, true},
  };
  for (const auto& c : cases) EXPECT_EQ(F::PullsOnEnter(c.From, c.FirstTime), c.Pull) << ToString(c.From);
}

TEST(EventsFilter, CountersToastAndSourceList) {
  EXPECT_EQ(F::CounterText(false, 0, 0), "Total: 0");
  EXPECT_EQ(F::CounterText(true, 0, 12), "Filtered: 0 Total: 12");
  EXPECT_FALSE(F::ToastWanted(true, false));
  EXPECT_TRUE(F::ToastWanted(false, false));
  EXPECT_TRUE(F::ToastWanted(true, true));
  // Two edges of one name: each entry keeps its own edge.
  const auto entries = F::SourceEntries({{"Gate", "E-1"}, {"Gate", "E-2"}});
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Name, "All");
  EXPECT_EQ(entries[0].EdgeID, "");
  EXPECT_EQ(F::SourceIndexOf(entries, "E-2"), 2);
  EXPECT_EQ(F::SourceIndexOf(entries, "*"), 0);
  EXPECT_EQ(F::SourceIndexOf(entries, ""), 0);
}

}  // namespace
}  // namespace ZEL
