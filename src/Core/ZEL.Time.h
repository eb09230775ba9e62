#pragma once
// The one time module: instants inside, local time only at the edges (display, the log
// line, the wire forms that are given in local time). The clock can be set by tests.

#include <chrono>
#include <functional>
#include <string>

namespace ZEL::Time {

// A moment, in milliseconds since the Unix epoch (UTC).
using TInstant = std::chrono::sys_time<std::chrono::milliseconds>;

// The "no date" value (a date the backend did not give, or gave unreadable). Display
// helpers show it as a fixed text instead of a duration counted from 1899.
inline constexpr TInstant MissingDate = TInstant::min();
inline bool IsMissing(TInstant AValue) { return AValue == MissingDate; }

// The current moment from the program's clock.
TInstant Now();

// Replaces the clock (tests); an empty function puts the system clock back.
void SetClock(std::function<TInstant()> AClock);

// The local wall-clock fields of an instant in the process's time zone (TZ).
struct TLocalTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
  int OffsetMinutes;  // local minus UTC, east positive
};
TLocalTime ToLocal(TInstant AValue);

}  // namespace ZEL::Time
