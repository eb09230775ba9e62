#include "ZEL.Events.Filter.h"

#include <fmt/format.h>

#include <chrono>

namespace ZEL {

namespace {

Time::TInstant ReadBound(const std::string& AText) {
  if (AText.empty()) return Time::MissingDate;
  return Time::ParseISO8601(AText);
}

// The local day ADaysBack days before the day of ANow, at the given time of day.
Time::TInstant LocalDay(Time::TInstant ANow, int ADaysBack, int AHour, int AMinute, int ASecond) {
  using namespace std::chrono;
  const Time::TLocalTime LNow = Time::ToLocal(ANow);
  const sys_days LDay = sys_days(year(LNow.Year) / month(static_cast<unsigned>(LNow.Month)) /
                                 day(static_cast<unsigned>(LNow.Day))) -
                        days(ADaysBack);
  const year_month_day LYMD(LDay);
  return Time::FromLocal(static_cast<int>(LYMD.year()), static_cast<int>(static_cast<unsigned>(LYMD.month())),
                         static_cast<int>(static_cast<unsigned>(LYMD.day())), AHour, AMinute, ASecond, 0);
}

void SetRange(TFilterOptions& AOptions, std::string_view AName, Time::TInstant ABegin, Time::TInstant AEnd) {
  AOptions.DateRangeName = std::string(AName);
  AOptions.DateRangeBegin = Time::FormatISO8601Local(ABegin);
  AOptions.DateRangeEnd = Time::FormatISO8601Local(AEnd);
}

void SetToday(TFilterOptions& AOptions, Time::TInstant ANow) {
  SetRange(AOptions, Events::Filter::cToday, LocalDay(ANow, 0, 0, 0, 0), LocalDay(ANow, 0, 23, 59, 59));
}

}  // namespace

TFilterOptions::TFilterOptions() { SetToday(*this, Time::Now()); }

Time::TInstant TFilterOptions::DateRangeBeginLocal() const { return ReadBound(DateRangeBegin); }

Time::TInstant TFilterOptions::DateRangeEndLocal() const { return ReadBound(DateRangeEnd); }

}  // namespace ZEL

namespace ZEL::Events::Filter {

Time::TInstant SetDTTimeValue(Time::TInstant AValue, int AHour, int AMinute, int ASecond) {
  return LocalDay(AValue, 0, AHour, AMinute, ASecond);
}

Time::TInstant DateAndTimeToDateTime(Time::TInstant ADate, Time::TInstant ATime, int ASecond) {
  const Time::TLocalTime LDate = Time::ToLocal(ADate);
  const Time::TLocalTime LTime = Time::ToLocal(ATime);
  return Time::FromLocal(LDate.Year, LDate.Month, LDate.Day, LTime.Hour, LTime.Minute, ASecond, LTime.Millisecond);
}

void ChooseRange(TFilterOptions& AOptions, int AIndex, Time::TInstant ANow) {
  switch (AIndex) {
    case 1:
      SetRange(AOptions, cRangeNames[1], LocalDay(ANow, 1, 0, 0, 0), LocalDay(ANow, 1, 23, 59, 59));
      break;
    case 2:
      SetRange(AOptions, cRangeNames[2], LocalDay(ANow, 1, 0, 0, 0), LocalDay(ANow, 0, 23, 59, 59));
      break;
    case 3:
      SetRange(AOptions, cRangeNames[3], LocalDay(ANow, 6, 0, 0, 0), LocalDay(ANow, 0, 23, 59, 59));
      break;
    case 4:
      SetRange(AOptions, cRangeNames[4], LocalDay(ANow, 89, 0, 0, 0), LocalDay(ANow, 0, 23, 59, 59));
      break;
    case cCustomRangeIndex:
      break;  // the stored bounds are the starting point
    default:
      SetToday(AOptions, ANow);
      break;
  }
  if (AOptions.DateRangeBegin.empty() || AOptions.DateRangeEnd.empty()) SetToday(AOptions, ANow);
}

TFilterOptions PullPeriod(TFilterOptions AOptions, Time::TInstant ANow) {
  if (!AOptions.IsCustomRange && AOptions.DateRangeName != cCustomRange)
    ChooseRange(AOptions, RangeIndexOf(AOptions.DateRangeName), ANow);
  return AOptions;
}

int RangeIndexOf(std::string_view AName) {
  for (std::size_t i = 0; i < cRangeNames.size(); ++i)
    if (cRangeNames[i] == AName) return static_cast<int>(i);
  return 0;
}

bool Allows(const TFilterOptions& AOptions, const TFilterSubject& AAlert) {
  if (!AOptions.Applied) return true;
  if (!AOptions.EdgeID.empty() && AAlert.OriginatorID != AOptions.EdgeID &&
      AAlert.OriginatorEdgeID != AOptions.EdgeID)
    return false;
  if (AOptions.DateRangeName == cToday) {
    // Today as of now, not as of the moment the range was chosen: alerts that arrive after
    // midnight pass, and yesterday's no longer do.
    if (AAlert.DateTime < Time::StartOfLocalDay(Time::Now())) return false;
  } else if (AAlert.DateTime < AOptions.DateRangeBeginLocal() || AAlert.DateTime > AOptions.DateRangeEndLocal()) {
    return false;
  }
  if (AOptions.OnlyActive && !AAlert.Active) return false;
  if (AOptions.OnlyNonSeen && AAlert.Viewed) return false;
  return AOptions.EventStates.count(AAlert.State) > 0;
}

bool CustomRange(Time::TInstant ADateBegin, Time::TInstant ATimeBegin, Time::TInstant ADateEnd,
                 Time::TInstant ATimeEnd, Time::TInstant& ABegin, Time::TInstant& AEnd) {
  ABegin = DateAndTimeToDateTime(ADateBegin, ATimeBegin, 0);
  AEnd = DateAndTimeToDateTime(ADateEnd, ATimeEnd, 59);
  return Time::SecondsBetween(ABegin, AEnd) >= 600;
}

TPulledPeriod PeriodOf(const std::string& ABegin, const std::string& AEnd) {
  return {ReadBound(ABegin), ReadBound(AEnd)};
}

bool NeedsPull(const TFilterOptions& AOptions, bool AListEmpty, const TPulledPeriod& APulled, Time::TInstant ANow) {
  if (AListEmpty || Time::IsMissing(APulled.Begin) || Time::IsMissing(APulled.End) || APulled.Begin > APulled.End)
    return true;
  const TFilterOptions LWanted = PullPeriod(AOptions, ANow);
  const Time::TInstant LBegin = LWanted.DateRangeBeginLocal();
  const Time::TInstant LEnd = LWanted.DateRangeEndLocal();
  if (Time::IsMissing(LBegin) || Time::IsMissing(LEnd)) return true;
  return LBegin < APulled.Begin || LEnd > APulled.End;
}

bool PullsOnEnter(TView AFromView, bool AFirstTime) {
  switch (AFromView) {
    case TView::Profile:
    case TView::EdgeDevcies:
      return false;
    case TView::EventItems:
      return AFirstTime;
    default:
      return true;
  }
}

std::string CounterText(bool AFiltered, int AOnView, int ATotal) {
  return AFiltered ? fmt::format("Filtered: {} Total: {}", AOnView, ATotal) : fmt::format("Total: {}", ATotal);
}

std::vector<TSourceEntry> SourceEntries(const std::vector<TSourceEntry>& AEdges) {
  std::vector<TSourceEntry> LEntries;
  LEntries.reserve(AEdges.size() + 1);
  LEntries.push_back({"All", ""});
  LEntries.insert(LEntries.end(), AEdges.begin(), AEdges.end());
  return LEntries;
}

int SourceIndexOf(const std::vector<TSourceEntry>& AEntries, const std::string& AEdgeID) {
  for (std::size_t i = 1; i < AEntries.size(); ++i)
    if (AEntries[i].EdgeID == AEdgeID) return static_cast<int>(i);
  return 0;
}

}  // namespace ZEL::Events::Filter
