#pragma once
// The one time module: instants inside, local time only at the edges (display, the log
// line, the wire forms that are given in local time). The clock can be set by tests.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ZEL::Time {

// A moment, in milliseconds since the Unix epoch (UTC).
using TInstant = std::chrono::sys_time<std::chrono::milliseconds>;

// The "no date" value (a date the backend did not give, or gave unreadable). Display
// helpers show it as a fixed text instead of a duration counted from 1899.
inline constexpr TInstant MissingDate = TInstant::min();
inline bool IsMissing(TInstant AValue) { return AValue == MissingDate; }

// What the display helpers show for MissingDate.
inline constexpr std::string_view MissingDateText = "N/D";

// The current moment from the program's clock.
TInstant Now();

// Replaces the clock (tests); an empty function puts the system clock back.
void SetClock(std::function<TInstant()> AClock);

// The local wall-clock fields of an instant in the process's time zone (TZ).
// MissingDate gives the zero date-time 1899-12-30 00:00:00.000 with offset 0, the value
// the wire forms write for "no date".
struct TLocalTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
  int OffsetMinutes;  // local minus UTC, east positive
};
TLocalTime ToLocal(TInstant AValue);

// Changes whenever the process's zone (TZ) has changed since the last call; lets callers
// keep local-time text they made until then.
std::uint64_t ZoneGeneration();

// The instant of a local wall-clock time in the process's time zone (OffsetMinutes is
// ignored). A time skipped by a daylight-saving change moves forward by the gap; a time
// that occurs twice takes the zone's choice. Out-of-range fields give MissingDate.
TInstant FromLocal(int AYear, int AMonth, int ADay, int AHour = 0, int AMinute = 0,
                   int ASecond = 0, int AMillisecond = 0);

// Local midnight of the day that holds AValue.
TInstant StartOfLocalDay(TInstant AValue);

// Seconds since 1970-01-01 UTC (the JWT "exp" claim) to an instant and back.
TInstant FromUnixSeconds(std::int64_t ASeconds);
std::int64_t ToUnixSeconds(TInstant AValue);  // floors; MissingDate not allowed

// Whole seconds / minutes between two instants, whichever comes first (never negative).
// Computed on instants, so a daylight-saving change does not shift them.
std::int64_t SecondsBetween(TInstant A, TInstant B);
std::int64_t MinutesBetween(TInstant A, TInstant B);

// Parses an ISO 8601 wire date: "YYYY-MM-DD", optionally followed by 'T' (or a blank) and
// "HH:NN", ":SS", a fraction ('.' or ',', any number of digits, kept to milliseconds) and a
// zone: "Z", "+HH:MM", "+HHMM" or "+HH" (or '-'). A text without zone is taken as UTC, as
// the backend's dates are. False (AValue untouched) for anything else.
bool TryParseISO8601(std::string_view AText, TInstant& AValue);
// Same, with MissingDate for an unreadable text.
TInstant ParseISO8601(std::string_view AText);

// Local ISO 8601 with the local offset: "YYYY-MM-DDTHH:NN:SS.ZZZ+HH:MM" ("+00:00" at UTC).
// With AZuluAtZeroOffset the offset 0 is written "Z" instead (the log line's form).
std::string FormatISO8601Local(TInstant AValue, bool AZuluAtZeroOffset = false);

// UTC ISO 8601: "YYYY-MM-DDTHH:NN:SS.ZZZZ".
std::string FormatISO8601UTC(TInstant AValue);

// The request "DateTime" form: the LOCAL clock time written with a final "Z" and no
// conversion, "YYYY-MM-DDTHH:NN:SS.ZZZZ" (what the peers expect). MissingDate gives
// "1899-12-30T00:00:00.000Z".
std::string FormatLocalAsZulu(TInstant AValue);

// Date and time in the user's regional short format (for display); MissingDateText for
// MissingDate.
std::string FormatLocalDisplay(TInstant AValue);

}  // namespace ZEL::Time
