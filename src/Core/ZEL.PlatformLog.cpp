#include "ZEL.PlatformLog.h"

#include <fmt/format.h>

#include <cstdint>
#include <cstdlib>

#include "ZEL.Time.h"

namespace ZEL {

// No system log on the desktop.
void TPlatformLog::Debug(std::string_view, std::string_view) {}
void TPlatformLog::Info(std::string_view, std::string_view) {}
void TPlatformLog::Warning(std::string_view, std::string_view) {}
void TPlatformLog::Error(std::string_view, std::string_view) {}
void TPlatformLog::Fatal(std::string_view, std::string_view) {}
void TPlatformLog::Verbose(std::string_view, std::string_view) {}

std::string TPlatformLog::FormatLogItem(const TLogItem& AItem, bool /*ALongFormat*/) {
  std::string out;
  AppendLogItem(out, AItem);
  return out;
}

namespace {

// A control character other than tab and the line breaks (a message may span lines) would
// reach the file raw: a NUL ends the line for most readers, others move the cursor.
bool IsRawControl(unsigned char C) { return (C < 0x20 && C != '\t' && C != '\n' && C != '\r') || C == 0x7F; }

// The text with each such character written as "\xNN".
void AppendEscaped(std::string& AOut, std::string_view AText) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const auto c = static_cast<unsigned char>(AText[i]);
    if (!IsRawControl(c)) continue;
    static constexpr char digits[] = "0123456789ABCDEF";
    AOut.append(AText.data() + from, i - from);
    AOut += "\\x";
    AOut += digits[c >> 4];
    AOut += digits[c & 0x0F];
    from = i + 1;
  }
  AOut.append(AText.data() + from, AText.size() - from);
}

}  // namespace

void TPlatformLog::AppendLogItem(std::string& AOut, const TLogItem& AItem) {
  PlatformLog::AppendLocalISO8601(AOut, AItem.TimeStamp);
  AOut += " [TID ";
  const fmt::format_int tid(AItem.ThreadID);
  AOut.append(tid.data(), tid.size());
  AOut += "] [";
  AOut += LogTypeName(AItem.LogType);
  AOut += "] [";
  AppendEscaped(AOut, AItem.Tag);
  AOut += "] ";
  AppendEscaped(AOut, AItem.Message);
}

}  // namespace ZEL

namespace ZEL::PlatformLog {

namespace {

// The text up to the milliseconds and the offset text change once a second, so each thread
// keeps the last second's (the writer thread renders thousands of lines in one).
struct TStampCache {
  std::int64_t Second = INT64_MIN;
  int OffsetMinutes = 0;
  std::uint64_t ZoneGeneration = 0;
  char Head[20] = {};  // "YYYY-MM-DDTHH:MM:SS."
  char Tail[8] = {};   // "Z" or "+HH:MM"
  std::size_t TailSize = 0;
};

void Digits(char* AOut, int AValue, int ACount) {
  for (int i = ACount - 1; i >= 0; --i) {
    AOut[i] = static_cast<char>('0' + AValue % 10);
    AValue /= 10;
  }
}

}  // namespace

void AppendLocalISO8601(std::string& AOut, std::chrono::system_clock::time_point ATime) {
  thread_local TStampCache C;
  const auto ms = std::chrono::floor<std::chrono::milliseconds>(ATime);
  const std::int64_t second = std::chrono::floor<std::chrono::seconds>(ms).time_since_epoch().count();
  const int milli = static_cast<int>(ms.time_since_epoch().count() - second * 1000);
  // A zone change (tests switch TZ) makes the cached text stale within the same second.
  const std::uint64_t generation = Time::ZoneGeneration();
  if (second != C.Second || generation != C.ZoneGeneration) {
    const Time::TLocalTime L = Time::ToLocal(ms);
    char* h = C.Head;
    Digits(h, L.Year, 4), h[4] = '-', Digits(h + 5, L.Month, 2), h[7] = '-';
    Digits(h + 8, L.Day, 2), h[10] = 'T', Digits(h + 11, L.Hour, 2), h[13] = ':';
    Digits(h + 14, L.Minute, 2), h[16] = ':', Digits(h + 17, L.Second, 2), h[19] = '.';
    if (L.OffsetMinutes == 0) {
      C.Tail[0] = 'Z';
      C.TailSize = 1;
    } else {
      const int offset = std::abs(L.OffsetMinutes);
      C.Tail[0] = L.OffsetMinutes > 0 ? '+' : '-';
      Digits(C.Tail + 1, offset / 60, 2), C.Tail[3] = ':', Digits(C.Tail + 4, offset % 60, 2);
      C.TailSize = 6;
    }
    C.Second = second;
    C.ZoneGeneration = generation;
  }
  char milliText[3];
  Digits(milliText, milli, 3);
  AOut.append(C.Head, sizeof C.Head);
  AOut.append(milliText, sizeof milliText);
  AOut.append(C.Tail, C.TailSize);
}

std::string LocalISO8601(std::chrono::system_clock::time_point ATime) {
  std::string out;
  AppendLocalISO8601(out, ATime);
  return out;
}

}  // namespace ZEL::PlatformLog
