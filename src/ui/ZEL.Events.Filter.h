#pragma once
// The Events view's filter options and every decision about them that needs no widget:
// which alert passes, the date ranges of the range list, a custom range, whether applied
// options need a new pull, the counters' texts and the new-alert toast.

#include "ZEL.Events.Types.h"
#include "ZEL.Time.h"
#include "ZEL.Views.Types.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

// The options the view keeps and the filter frame edits; copied by value.
struct TFilterOptions {
  TFilterOptions();  // the defaults, with today's bounds

  std::string EdgeID = "*";  // empty: any edge; "*" matches none but never reaches the test in force
  std::string DateRangeName = "Today";
  std::string DateRangeBegin;  // local ISO 8601 with the local offset
  std::string DateRangeEnd;
  bool IsCustomRange = false;
  bool OnlyActive = false;
  bool OnlyNonSeen = false;
  TTEventAlertStates EventStates = {TEventAlertState::easInitiated, TEventAlertState::easDismissed,
                                    TEventAlertState::easEscalated};
  bool Applied = false;

  void Assign(const TFilterOptions& ASource) { *this = ASource; }
  // The bounds read back; MissingDate for an empty or unreadable text.
  Time::TInstant DateRangeBeginLocal() const;
  Time::TInstant DateRangeEndLocal() const;
};

// What the filter test reads of an alert (a row's snapshot holds it).
struct TFilterSubject {
  std::string OriginatorID;
  // The edge the originator belongs to; empty when it belongs to no known edge.
  std::string OriginatorEdgeID;
  Time::TInstant DateTime = Time::MissingDate;
  bool Active = false;
  bool Viewed = false;
  TEventAlertState State = TEventAlertState::easInitiated;
};

// One entry of the frame's source list: its text and the edge behind it (empty for "All").
struct TSourceEntry {
  std::string Name;
  std::string EdgeID;
};

}  // namespace ZEL

namespace ZEL::Events::Filter {

inline constexpr std::string_view cToday = "Today";
inline constexpr std::string_view cCustomRange = "Custom range...";
inline constexpr int cCustomRangeIndex = 5;
inline constexpr std::array<std::string_view, 6> cRangeNames = {"Today",       "Yesterday",     "Last 2 days",
                                                                "Last 7 days", "Last 3 months", "Custom range..."};
inline constexpr std::string_view cMinRangeMessage = "Minimum allowed time range is 10 minutes.";
inline constexpr std::string_view cEmptyText = "There are no incidents matching your request.";

// The date of AValue (local) at the given time of day, milliseconds 0.
Time::TInstant SetDTTimeValue(Time::TInstant AValue, int AHour, int AMinute, int ASecond);
// The date of ADate with the hour, minute and milliseconds of ATime and the second ASecond.
Time::TInstant DateAndTimeToDateTime(Time::TInstant ADate, Time::TInstant ATime, int ASecond);

// Sets name, begin and end of AOptions for the range list's entry AIndex (-1: none chosen)
// as of ANow; the custom entry changes nothing. An empty bound afterwards makes it "Today".
void ChooseRange(TFilterOptions& AOptions, int AIndex, Time::TInstant ANow);
// The range list's index of a range name; "Today" for an unknown one.
int RangeIndexOf(std::string_view AName);

// The options with a named range's bounds as of ANow (a custom range as it stands): a pull
// asks for the range as it is at that moment, so "Today" moves on at midnight.
TFilterOptions PullPeriod(TFilterOptions AOptions, Time::TInstant ANow);

// The alert passes the options. "Today" is the local day of the clock's now.
bool Allows(const TFilterOptions& AOptions, const TFilterSubject& AAlert);

// A custom range from the frame's controls: begin at second 0, end at second 59. False
// when the two are less than 10 minutes apart (either order).
bool CustomRange(Time::TInstant ADateBegin, Time::TInstant ATimeBegin, Time::TInstant ADateEnd,
                 Time::TInstant ATimeEnd, Time::TInstant& ABegin, Time::TInstant& AEnd);

// The period of the last pull that loaded the list (both bounds MissingDate before any).
struct TPulledPeriod {
  Time::TInstant Begin = Time::MissingDate;
  Time::TInstant End = Time::MissingDate;
};

// The period of a pull's begin and end texts.
TPulledPeriod PeriodOf(const std::string& ABegin, const std::string& AEnd);

// Newly applied options need a pull: the list is empty, or the options' period as a pull
// would ask for it at ANow is not inside the period the list was pulled for. The alerts
// held say nothing of what the backend left out of the last answer.
bool NeedsPull(const TFilterOptions& AOptions, bool AListEmpty, const TPulledPeriod& APulled, Time::TInstant ANow);

// Entering the view pulls unless it comes back from a view that keeps the rows.
bool PullsOnEnter(TView AFromView, bool AFirstTime);

// "Filtered: n Total: m" while the row filter is on, else "Total: m".
std::string CounterText(bool AFiltered, int AOnView, int ATotal);

// A new alert asks for a toast when it fails the filter or the top row is out of sight.
inline bool ToastWanted(bool APasses, bool AFirstRowInvisible) { return !APasses || AFirstRowInvisible; }

// The frame's source list: "All", then every edge in order, each with its id.
std::vector<TSourceEntry> SourceEntries(const std::vector<TSourceEntry>& AEdges);
// The index in that list whose edge id is AEdgeID, else 0 ("All").
int SourceIndexOf(const std::vector<TSourceEntry>& AEntries, const std::string& AEdgeID);

}  // namespace ZEL::Events::Filter
