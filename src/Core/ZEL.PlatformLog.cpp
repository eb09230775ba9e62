#include "ZEL.PlatformLog.h"

#include <fmt/format.h>

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
  return fmt::format("{} [TID {}] [{}] [{}] {}", PlatformLog::LocalISO8601(AItem.TimeStamp),
                     AItem.ThreadID, LogTypeName(AItem.LogType), AItem.Tag, AItem.Message);
}

}  // namespace ZEL

namespace ZEL::PlatformLog {

std::string LocalISO8601(std::chrono::system_clock::time_point ATime) {
  const Time::TLocalTime L =
      Time::ToLocal(std::chrono::floor<std::chrono::milliseconds>(ATime));
  std::string out = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}", L.Year, L.Month,
                                L.Day, L.Hour, L.Minute, L.Second, L.Millisecond);
  if (L.OffsetMinutes == 0) {
    out += 'Z';
  } else {
    const int offset = std::abs(L.OffsetMinutes);
    fmt::format_to(std::back_inserter(out), "{}{:02}:{:02}", L.OffsetMinutes > 0 ? '+' : '-',
                   offset / 60, offset % 60);
  }
  return out;
}

}  // namespace ZEL::PlatformLog
