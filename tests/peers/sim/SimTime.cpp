#include "SimTime.h"

#include <cstdio>
#include <ctime>

namespace ZelSim {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool Digits(std::string_view AText, size_t APos, size_t ACount, int& AValue) {
  if (APos + ACount > AText.size()) return false;
  AValue = 0;
  for (size_t i = APos; i < APos + ACount; ++i) {
    if (AText[i] < '0' || AText[i] > '9') return false;
    AValue = AValue * 10 + (AText[i] - '0');
  }
  return true;
}

}  // namespace

TInstant Now() { return std::chrono::system_clock::now(); }

std::string FormatUTC(TInstant AValue) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(AValue.time_since_epoch()).count();
  long long secs = ms / 1000;
  int millis = static_cast<int>(ms % 1000);
  if (millis < 0) {
    millis += 1000;
    --secs;
  }
  const std::time_t t = static_cast<std::time_t>(secs);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buf;
}

bool ParseISO8601(std::string_view AText, TInstant& AValue) {
  int y, mo, d, h, mi, s;
  if (!Digits(AText, 0, 4, y) || AText.size() < 19 || AText[4] != '-' || !Digits(AText, 5, 2, mo) ||
      AText[7] != '-' || !Digits(AText, 8, 2, d) || (AText[10] != 'T' && AText[10] != ' ') ||
      !Digits(AText, 11, 2, h) || AText[13] != ':' || !Digits(AText, 14, 2, mi) ||
      AText[16] != ':' || !Digits(AText, 17, 2, s))
    return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
  size_t pos = 19;
  long long millis = 0;
  if (pos < AText.size() && AText[pos] == '.') {
    ++pos;
    int scale = 100;
    size_t start = pos;
    while (pos < AText.size() && AText[pos] >= '0' && AText[pos] <= '9') {
      millis += (AText[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == start) return false;
  }
  long long offsetMinutes = 0;
  if (pos < AText.size()) {
    const char sign = AText[pos];
    if (sign == 'Z' || sign == 'z') {
      ++pos;
    } else if (sign == '+' || sign == '-' || sign == ' ') {
      int oh, om;
      if (!Digits(AText, pos + 1, 2, oh)) return false;
      size_t mpos = pos + 3;
      if (mpos < AText.size() && AText[mpos] == ':') ++mpos;
      if (!Digits(AText, mpos, 2, om)) return false;
      offsetMinutes = (oh * 60 + om) * (sign == '-' ? -1 : 1);
      pos = mpos + 2;
    } else {
      return false;
    }
  }
  if (pos != AText.size()) return false;
  const long long days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  const long long secs = days * 86400 + h * 3600LL + mi * 60LL + s - offsetMinutes * 60;
  AValue = TInstant(std::chrono::milliseconds(secs * 1000 + millis));
  return true;
}

}  // namespace ZelSim
