#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Messaging.h"
#include "ZEL.Utils.h"

#include <QCoreApplication>

#include <regex>

using namespace std::chrono;
using namespace std::chrono_literals;
using ZEL::Time::TInstant;

namespace {

TInstant Utc(int Y, unsigned M, unsigned D, int h = 0, int m = 0, int s = 0) {
  return TInstant{sys_days{year{Y} / M / D}} + hours{h} + minutes{m} + seconds{s};
}

// Fixes the program's clock for one test.
class ReadableDates : public ::testing::Test {
protected:
  void SetNow(TInstant ANow) {
    FNow = ANow;
    ZEL::Time::SetClock([this] { return FNow; });
  }
  void TearDown() override { ZEL::Time::SetClock({}); }
  TInstant FNow{};
};

}  // namespace

TEST_F(ReadableDates, ThresholdsAreStrictAndAPassedResumeTimeLeavesNone) {
  SetNow(Utc(2025, 6, 15, 12));
  const struct {
    std::int64_t Seconds;
    const char* Text;
  } cases[] = {{0, "0s"},    {45, "45s"},   {60, "60s"},     {61, "1m"},
               {90, "1m"},   {3600, "60m"}, {3601, "1h"},    {7500, "2h"},
               {86400, "24h"}, {86401, "1day(s)"}, {3 * 86400 + 5, "3day(s)"}};
  for (const auto& c : cases) {
    const TInstant past = FNow - seconds{c.Seconds};
    const TInstant future = FNow + seconds{c.Seconds};
    EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(past, false), std::string(c.Text) + " ago...");
    EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(future, false), std::string(c.Text) + " ago...");
    EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(future, false), c.Text);
    // A resume time behind us leaves no time, however long ago it was.
    EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(past, false), "0s");
  }
  // A 60 s pause looked at 80 s after it began.
  const TInstant resumed = FNow - 20s;
  EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(resumed, true),
            "0s (resume at: " + ZEL::Time::FormatLocalDisplay(resumed) + ")");
  // Part of a second does not count.
  EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(FNow + 60999ms, false), "60s");
}

TEST_F(ReadableDates, AppendedDateAndMissingDate) {
  SetNow(Utc(2025, 6, 15, 12));
  const TInstant threeDaysAgo = FNow - 72h;
  const std::string shown = ZEL::Time::FormatLocalDisplay(threeDaysAgo);
  EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(threeDaysAgo, true), "3day(s) ago...(" + shown + ")");
  const TInstant resume = FNow + 90s;
  EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(resume, true),
            "1m (resume at: " + ZEL::Time::FormatLocalDisplay(resume) + ")");
  // The shown date is the local one (Berlin, summer time).
  EXPECT_NE(shown.find("14:00"), std::string::npos) << shown;
  // A date the backend did not give is not a distance from 1899.
  for (bool append : {false, true}) {
    EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(ZEL::Time::MissingDate, append), "N/D");
    EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(ZEL::Time::MissingDate, append), "N/D");
  }
  // Beyond 68 years the count does not wrap.
  EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(Utc(1899, 12, 30), false), "45823day(s) ago...");
}

TEST_F(ReadableDates, DaylightSavingChangesDoNotShiftDurations) {
  ZEL::Test::TScopedEnv tz("TZ", "Europe/Berlin");
  // Spring: from Saturday noon to Sunday noon local is 23 hours.
  SetNow(ZEL::Time::FromLocal(2025, 3, 30, 12));
  EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(ZEL::Time::FromLocal(2025, 3, 29, 12), false),
            "23h ago...");
  // Autumn: the same local span is 25 hours.
  SetNow(ZEL::Time::FromLocal(2025, 10, 26, 12));
  EXPECT_EQ(ZEL::Utils::DateToReadableLastSeen(ZEL::Time::FromLocal(2025, 10, 25, 12), false),
            "1day(s) ago...");
  EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(FNow + 3601s, false), "1h");
  // A pause across the change: 01:30 CEST to 02:30 CET is two hours, not the wall clock's 60m.
  SetNow(ZEL::Time::ParseISO8601("2025-10-26T01:30:00+02:00"));
  EXPECT_EQ(ZEL::Utils::DateToReadableUnpause(ZEL::Time::ParseISO8601("2025-10-26T02:30:00+01:00"), false),
            "2h");
}

TEST(Utils, SmallTexts) {
  EXPECT_STREQ(ZEL::Utils::BoolToStrUF(true), "Yes");
  EXPECT_STREQ(ZEL::Utils::BoolToStrUF(false), "No");
  EXPECT_TRUE(std::regex_match(ZEL::Utils::GetAppVersionInfo(), std::regex(R"([^ ]+\.DEV \([^/]+/[^)]+\))")))
      << ZEL::Utils::GetAppVersionInfo();
  const std::string certs = ZEL::Utils::AppCertsStoragePath();
  EXPECT_EQ(certs, QCoreApplication::applicationDirPath().toStdString() + "/");
}

TEST(Utils, CopyVersionInfoSaysWhetherTheClipboardTookIt) {
  std::vector<std::string> toasts;
  auto ref = ZEL::TZELMessager<ZEL::TShowToastMessageEvent>::Subscribe(
      [&](ZEL::TSender, const ZEL::TShowToastMessageEvent& M) { toasts.push_back(M.Value()); });
  const std::string v = ZEL::Utils::GetAppVersionInfo();

  ZEL::Utils::SetClipboardSetter({});
  ZEL::Utils::CopyVersionInfoToUser();
  std::string copied;
  ZEL::Utils::SetClipboardSetter([&](const std::string& AText) { copied = AText; });
  ZEL::Utils::CopyVersionInfoToUser();
  ZEL::Utils::SetClipboardSetter({});
  ZEL::TZELMessager<ZEL::TShowToastMessageEvent>::Unsubscribe(ref, true);

  ASSERT_EQ(toasts.size(), 2u);
  EXPECT_EQ(toasts[0], "Value \"" + v + "\" not copied to clipboard (Clipboard not supported by platform)");
  EXPECT_EQ(toasts[1], "Value \"" + v + "\" copied to clipboard.");
  EXPECT_EQ(copied, v);
}
