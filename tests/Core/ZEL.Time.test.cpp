#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Time.h"

using namespace std::chrono;
using namespace std::chrono_literals;
using ZEL::Time::TInstant;

namespace {

TInstant Utc(int Y, unsigned M, unsigned D, int h = 0, int m = 0, int s = 0, int ms = 0) {
  return TInstant{sys_days{year{Y} / M / D}} + hours{h} + minutes{m} + seconds{s} +
         milliseconds{ms};
}

}  // namespace

TEST(Time, ParsesWireDatesWithAndWithoutZoneAndMilliseconds) {
  const TInstant ref = Utc(2025, 3, 3, 10, 15, 30, 123);
  const TInstant refWhole = Utc(2025, 3, 3, 10, 15, 30);
  const struct {
    const char* Text;
    TInstant Expected;
  } cases[] = {
      {"2025-03-03T10:15:30.123Z", ref},
      {"2025-03-03T10:15:30Z", refWhole},
      {"2025-03-03T11:15:30.123+01:00", ref},
      {"2025-03-03T00:15:30.123-10:00", ref},
      {"2025-03-03T15:45:30.123+0530", ref},
      {"2025-03-04T00:15:30.123+14", ref},
      {"2025-03-03T10:15:30.123456Z", ref},
      {"2025-03-03T10:15:30.5Z", Utc(2025, 3, 3, 10, 15, 30, 500)},
      {"2025-03-03 10:15:30Z", refWhole},
      {"2025-03-03T10:15:30.123", ref},  // no zone: UTC, as the backend writes
      {"2025-03-03T10:15Z", Utc(2025, 3, 3, 10, 15)},
      {"2025-03-03", Utc(2025, 3, 3)},
      {"2024-02-29T23:59:59.999Z", Utc(2024, 2, 29, 23, 59, 59, 999)},
      {"1960-01-01T00:00:00.001Z", Utc(1960, 1, 1, 0, 0, 0, 1)},
  };
  for (const auto& c : cases) {
    TInstant v{};
    EXPECT_TRUE(ZEL::Time::TryParseISO8601(c.Text, v)) << c.Text;
    EXPECT_EQ(v, c.Expected) << c.Text;
    EXPECT_EQ(ZEL::Time::ParseISO8601(c.Text), c.Expected) << c.Text;
  }
}

TEST(Time, UnreadableDatesAreMissing) {
  for (const char* text :
       {"", "<ERR>", "N/D", "2025-3-03T10:15:30Z", "2025-13-01T00:00:00Z", "2025-02-29T00:00:00Z",
        "2025-03-03T24:00:00Z", "2025-03-03T10:60:00Z", "2025-03-03T10:15:30.Z",
        "2025-03-03T10:15:30Zjunk", "2025-03-03T10:15:30+1", "2025-03-03T10:15:30+25:00",
        "2025-03-03T10", "2025-03-03X10:15:30Z", " 2025-03-03T10:15:30Z"}) {
    TInstant v = Utc(2000, 1, 1);
    EXPECT_FALSE(ZEL::Time::TryParseISO8601(text, v)) << text;
    EXPECT_EQ(v, Utc(2000, 1, 1)) << text;
    EXPECT_TRUE(ZEL::Time::IsMissing(ZEL::Time::ParseISO8601(text))) << text;
  }
}

TEST(Time, LocalFormsInZonesNearAndFarFromUtc) {
  const TInstant winter = Utc(2025, 3, 3, 10, 15, 30, 123);
  const TInstant summer = Utc(2025, 7, 1, 22, 5, 0, 7);
  const struct {
    const char* Zone;
    TInstant Value;
    const char* WithOffset;
    const char* LocalAsZulu;
  } cases[] = {
      {"Europe/Berlin", winter, "2025-03-03T11:15:30.123+01:00", "2025-03-03T11:15:30.123Z"},
      {"Europe/Berlin", summer, "2025-07-02T00:05:00.007+02:00", "2025-07-02T00:05:00.007Z"},
      {"UTC", winter, "2025-03-03T10:15:30.123+00:00", "2025-03-03T10:15:30.123Z"},
      {"Pacific/Kiritimati", winter, "2025-03-04T00:15:30.123+14:00", "2025-03-04T00:15:30.123Z"},
      {"America/St_Johns", winter, "2025-03-03T06:45:30.123-03:30", "2025-03-03T06:45:30.123Z"},
      {"Pacific/Pago_Pago", summer, "2025-07-01T11:05:00.007-11:00", "2025-07-01T11:05:00.007Z"},
  };
  for (const auto& c : cases) {
    ZEL::Test::TScopedEnv tz("TZ", c.Zone);
    EXPECT_EQ(ZEL::Time::FormatISO8601Local(c.Value), c.WithOffset) << c.Zone;
    EXPECT_EQ(ZEL::Time::FormatLocalAsZulu(c.Value), c.LocalAsZulu) << c.Zone;
    // What we write for the alert periods reads back as the same instant.
    EXPECT_EQ(ZEL::Time::ParseISO8601(ZEL::Time::FormatISO8601Local(c.Value)), c.Value) << c.Zone;
  }
  ZEL::Test::TScopedEnv tz("TZ", "UTC");
  EXPECT_EQ(ZEL::Time::FormatISO8601Local(winter, true), "2025-03-03T10:15:30.123Z");
  EXPECT_EQ(ZEL::Time::FormatISO8601UTC(summer), "2025-07-01T22:05:00.007Z");
}

TEST(Time, RequestDateTimeIsTheLocalClockWithZWhateverTheZone) {
  for (const char* zone : {"Europe/Berlin", "UTC", "Pacific/Kiritimati", "America/St_Johns"}) {
    ZEL::Test::TScopedEnv tz("TZ", zone);
    const TInstant made = ZEL::Time::FromLocal(2025, 3, 3, 10, 15, 30, 123);
    EXPECT_EQ(ZEL::Time::FormatLocalAsZulu(made), "2025-03-03T10:15:30.123Z") << zone;
  }
  EXPECT_EQ(ZEL::Time::FormatLocalAsZulu(ZEL::Time::MissingDate), "1899-12-30T00:00:00.000Z");
  EXPECT_EQ(ZEL::Time::FormatLocalDisplay(ZEL::Time::MissingDate), "N/D");
}

TEST(Time, FromLocalAcrossDaylightSavingChanges) {
  ZEL::Test::TScopedEnv tz("TZ", "Europe/Berlin");
  // 02:30 does not exist on 30 March 2025: it moves forward to 03:30 CEST.
  EXPECT_EQ(ZEL::Time::FromLocal(2025, 3, 30, 2, 30), Utc(2025, 3, 30, 1, 30));
  // 02:30 happens twice on 26 October 2025: the first one (CEST) is taken.
  EXPECT_EQ(ZEL::Time::FromLocal(2025, 10, 26, 2, 30), Utc(2025, 10, 26, 0, 30));
  EXPECT_EQ(ZEL::Time::FromLocal(2025, 10, 26, 3, 30), Utc(2025, 10, 26, 2, 30));
  EXPECT_EQ(ZEL::Time::StartOfLocalDay(Utc(2025, 3, 30, 20)), Utc(2025, 3, 29, 23));
  EXPECT_EQ(ZEL::Time::StartOfLocalDay(Utc(2025, 10, 26, 20)), Utc(2025, 10, 25, 22));
  const auto local = ZEL::Time::ToLocal(Utc(2025, 10, 26, 1, 30, 0, 9));
  EXPECT_EQ(local.Hour, 2);
  EXPECT_EQ(local.OffsetMinutes, 60);
  EXPECT_EQ(local.Millisecond, 9);
  EXPECT_TRUE(ZEL::Time::IsMissing(ZEL::Time::FromLocal(2025, 2, 29)));
  EXPECT_TRUE(ZEL::Time::IsMissing(ZEL::Time::FromLocal(2025, 1, 1, 0, 0, 0, 1000)));
}

TEST(Time, DistancesAreOnInstantsIn64Bits) {
  const TInstant a = Utc(2025, 3, 29, 12);
  const TInstant b = Utc(2025, 3, 30, 11);  // one local day apart in Berlin, 23 hours in fact
  EXPECT_EQ(ZEL::Time::SecondsBetween(a, b), 23 * 3600);
  EXPECT_EQ(ZEL::Time::SecondsBetween(b, a), 23 * 3600);
  EXPECT_EQ(ZEL::Time::SecondsBetween(a, a + 1999ms), 1);
  EXPECT_EQ(ZEL::Time::MinutesBetween(a, a + 20min - 1ms), 19);
  const TInstant zero = Utc(1899, 12, 30);
  EXPECT_EQ(ZEL::Time::SecondsBetween(zero, a), ZEL::Time::ToUnixSeconds(a) + 2209161600LL);
  EXPECT_EQ(ZEL::Time::FromUnixSeconds(1741000000), Utc(2025, 3, 3, 11, 6, 40));
}

TEST(Time, SetClockReplacesAndRestoresTheClock) {
  const TInstant fixed = Utc(2030, 1, 1);
  ZEL::Time::SetClock([fixed] { return fixed; });
  EXPECT_EQ(ZEL::Time::Now(), fixed);
  ZEL::Time::SetClock({});
  EXPECT_GT(ZEL::Time::Now(), Utc(2024, 1, 1));
}
