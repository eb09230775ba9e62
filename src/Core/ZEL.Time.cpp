#include "ZEL.Time.h"

#include <fmt/format.h>

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

namespace ZEL::Time {

using namespace std::chrono;

namespace {

std::mutex GClockLock;
std::shared_ptr<const std::function<TInstant()>> GClock;  // empty: the system clock

constexpr TLocalTime ZeroDateTime{1899, 12, 30, 0, 0, 0, 0, 0};

// The zone as last seen in TZ. tzset() rereads the zone and costs a lock and more on every
// call, and the log line needs the offset thousands of times a second: it runs only when
// the TZ text has changed (tests switch zones with setenv), and the last second's offset
// is kept.
struct TZoneCache {
  std::mutex Lock;
  bool Known = false;
  bool HasTZ = false;
  std::string TZ;
  std::uint64_t Generation = 0;
  std::int64_t Second = std::numeric_limits<std::int64_t>::min();
  long Offset = 0;

  // Call with Lock held.
  void Refresh() {
    const char* tz = std::getenv("TZ");
    if (Known && HasTZ == (tz != nullptr) && (!tz || TZ == tz)) return;
    ::tzset();
    Known = true;
    HasTZ = tz != nullptr;
    TZ = tz ? tz : "";
    ++Generation;
    Second = std::numeric_limits<std::int64_t>::min();
  }
};

TZoneCache& Zone() {
  static TZoneCache cache;
  return cache;
}

// Offset (seconds, east positive) of the process's zone at a UTC second.
long OffsetAt(std::int64_t AUnixSeconds) {
  TZoneCache& Z = Zone();
  std::lock_guard lock(Z.Lock);
  Z.Refresh();
  if (AUnixSeconds == Z.Second) return Z.Offset;
  const std::time_t t = static_cast<std::time_t>(AUnixSeconds);
  std::tm lt{};
  if (!::localtime_r(&t, &lt)) return 0;
  Z.Second = AUnixSeconds;
  Z.Offset = lt.tm_gmtoff;
  return Z.Offset;
}

// Seconds since 1970 of the civil date-time read as UTC; false for an impossible date.
bool CivilToUnix(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                 std::int64_t& ASeconds) {
  const year_month_day ymd{year{AYear}, month{static_cast<unsigned>(AMonth)},
                           day{static_cast<unsigned>(ADay)}};
  if (AMonth < 1 || AMonth > 12 || ADay < 1 || !ymd.ok()) return false;
  if (AHour < 0 || AHour > 23 || AMinute < 0 || AMinute > 59 || ASecond < 0 || ASecond > 59)
    return false;
  ASeconds = sys_days{ymd}.time_since_epoch().count() * 86400LL + AHour * 3600LL +
             AMinute * 60LL + ASecond;
  return true;
}

TLocalTime FieldsOf(TInstant AValue, long AOffsetSeconds) {
  const auto local = AValue + seconds{AOffsetSeconds};
  const auto dayStart = floor<days>(local);
  const year_month_day ymd{dayStart};
  const hh_mm_ss tod{local - dayStart};
  return TLocalTime{static_cast<int>(ymd.year()),
                    static_cast<int>(static_cast<unsigned>(ymd.month())),
                    static_cast<int>(static_cast<unsigned>(ymd.day())),
                    static_cast<int>(tod.hours().count()),
                    static_cast<int>(tod.minutes().count()),
                    static_cast<int>(tod.seconds().count()),
                    static_cast<int>(tod.subseconds().count()),
                    static_cast<int>(AOffsetSeconds / 60)};
}

std::string FormatFields(const TLocalTime& L) {
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}", L.Year, L.Month, L.Day,
                     L.Hour, L.Minute, L.Second, L.Millisecond);
}

// A small reader over the date text.
struct TCursor {
  std::string_view Text;
  size_t Pos = 0;

  bool AtEnd() const { return Pos >= Text.size(); }
  char Peek() const { return AtEnd() ? '\0' : Text[Pos]; }
  bool Take(char C) {
    if (Peek() != C) return false;
    ++Pos;
    return true;
  }
  static bool IsDigit(char C) { return C >= '0' && C <= '9'; }
  // Exactly ACount digits.
  bool Number(int ACount, int& AValue) {
    if (Pos + ACount > Text.size()) return false;
    int v = 0;
    for (int i = 0; i < ACount; ++i) {
      const char c = Text[Pos + i];
      if (!IsDigit(c)) return false;
      v = v * 10 + (c - '0');
    }
    Pos += ACount;
    AValue = v;
    return true;
  }
};

}  // namespace

TInstant Now() {
  std::shared_ptr<const std::function<TInstant()>> clock;
  {
    std::lock_guard lock(GClockLock);
    clock = GClock;
  }
  if (clock) return (*clock)();
  return time_point_cast<milliseconds>(system_clock::now());
}

void SetClock(std::function<TInstant()> AClock) {
  auto clock = AClock ? std::make_shared<const std::function<TInstant()>>(std::move(AClock)) : nullptr;
  std::lock_guard lock(GClockLock);
  GClock = std::move(clock);
}

TLocalTime ToLocal(TInstant AValue) {
  if (IsMissing(AValue)) return ZeroDateTime;
  const auto secs = floor<seconds>(AValue).time_since_epoch().count();
  return FieldsOf(AValue, OffsetAt(secs));
}

std::uint64_t ZoneGeneration() {
  TZoneCache& Z = Zone();
  std::lock_guard lock(Z.Lock);
  Z.Refresh();
  return Z.Generation;
}

TInstant FromLocal(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                   int AMillisecond) {
  std::int64_t wall = 0;
  if (!CivilToUnix(AYear, AMonth, ADay, AHour, AMinute, ASecond, wall) || AMillisecond < 0 ||
      AMillisecond > 999)
    return MissingDate;
  // The zone's offsets a day either side cover any single change around this time.
  const long before = OffsetAt(wall - 86400);
  const long after = OffsetAt(wall + 86400);
  const std::int64_t candidates[2] = {wall - before, wall - after};
  std::int64_t best = 0;
  bool found = false;
  for (std::int64_t c : candidates) {
    if (c - wall + OffsetAt(c) != 0) continue;  // does not read back as the wall time
    if (!found || c < best) best = c;           // twice: take the first occurrence
    found = true;
  }
  if (!found) best = wall - before;  // skipped by the change: move forward by the gap
  return TInstant{milliseconds{best * 1000 + AMillisecond}};
}

TInstant StartOfLocalDay(TInstant AValue) {
  const TLocalTime l = ToLocal(AValue);
  return FromLocal(l.Year, l.Month, l.Day);
}

TInstant FromUnixSeconds(std::int64_t ASeconds) {
  return TInstant{duration_cast<milliseconds>(seconds{ASeconds})};
}

std::int64_t ToUnixSeconds(TInstant AValue) {
  return floor<seconds>(AValue).time_since_epoch().count();
}

std::int64_t SecondsBetween(TInstant A, TInstant B) {
  if (IsMissing(A) || IsMissing(B)) return std::numeric_limits<std::int64_t>::max();
  const auto diff = (A > B ? A - B : B - A).count();
  return diff / 1000;
}

std::int64_t MinutesBetween(TInstant A, TInstant B) {
  const auto s = SecondsBetween(A, B);
  return s == std::numeric_limits<std::int64_t>::max() ? s : s / 60;
}

bool TryParseISO8601(std::string_view AText, TInstant& AValue) {
  TCursor c{AText};
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (!c.Number(4, y) || !c.Take('-') || !c.Number(2, mo) || !c.Take('-') || !c.Number(2, d))
    return false;
  long offset = 0;
  if (!c.AtEnd()) {
    if (!c.Take('T') && !c.Take(' ')) return false;
    if (!c.Number(2, h) || !c.Take(':') || !c.Number(2, mi)) return false;
    if (c.Take(':')) {
      if (!c.Number(2, s)) return false;
      if (c.Take('.') || c.Take(',')) {
        int digits = 0;
        while (TCursor::IsDigit(c.Peek())) {
          if (digits < 3) ms = ms * 10 + (c.Peek() - '0');
          ++digits;
          ++c.Pos;
        }
        if (digits == 0) return false;
        for (int i = digits; i < 3; ++i) ms *= 10;
      }
    }
    if (c.Take('Z') || c.Take('z')) {
    } else if (c.Peek() == '+' || c.Peek() == '-') {
      const int sign = c.Peek() == '-' ? -1 : 1;
      ++c.Pos;
      int oh = 0, om = 0;
      if (!c.Number(2, oh)) return false;
      if (c.Take(':')) {
        if (!c.Number(2, om)) return false;
      } else if (!c.AtEnd() && !c.Number(2, om)) {
        return false;
      }
      if (oh > 23 || om > 59) return false;
      offset = sign * (oh * 3600L + om * 60L);
    }
    if (!c.AtEnd()) return false;
  }
  std::int64_t wall = 0;
  if (!CivilToUnix(y, mo, d, h, mi, s, wall)) return false;
  AValue = TInstant{milliseconds{(wall - offset) * 1000 + ms}};
  return true;
}

TInstant ParseISO8601(std::string_view AText) {
  TInstant v = MissingDate;
  return TryParseISO8601(AText, v) ? v : MissingDate;
}

std::string FormatISO8601Local(TInstant AValue, bool AZuluAtZeroOffset) {
  const TLocalTime l = ToLocal(AValue);
  if (l.OffsetMinutes == 0 && AZuluAtZeroOffset) return FormatFields(l) + "Z";
  const int off = std::abs(l.OffsetMinutes);
  return fmt::format("{}{}{:02}:{:02}", FormatFields(l), l.OffsetMinutes < 0 ? '-' : '+',
                     off / 60, off % 60);
}

std::string FormatISO8601UTC(TInstant AValue) {
  return FormatFields(IsMissing(AValue) ? ZeroDateTime : FieldsOf(AValue, 0)) + "Z";
}

std::string FormatLocalAsZulu(TInstant AValue) { return FormatFields(ToLocal(AValue)) + "Z"; }

std::string FormatLocalDisplay(TInstant AValue) {
  if (IsMissing(AValue)) return std::string(MissingDateText);
  const TLocalTime l = ToLocal(AValue);
  const QLocale locale = QLocale::system();
  QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
  if (!timeFormat.contains(QLatin1Char('s')))  // regional short forms often drop seconds
    timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
  const QString text = locale.toString(QDate(l.Year, l.Month, l.Day), QLocale::ShortFormat) +
                       QLatin1Char(' ') +
                       locale.toString(QTime(l.Hour, l.Minute, l.Second), timeFormat);
  return text.toStdString();
}

}  // namespace ZEL::Time
