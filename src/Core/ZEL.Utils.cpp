#include "ZEL.Utils.h"

#include <QCoreApplication>

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

namespace ZEL::Utils {

std::string AppCertsStoragePath() {
  std::error_code ec;
  std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  if (ec || dir.empty()) dir = QCoreApplication::applicationDirPath().toStdString();
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

const char* BoolToStrUF(bool AValue) { return AValue ? "Yes" : "No"; }

std::string ReadableDuration(std::int64_t ASeconds) {
  // Strictly greater: 60 seconds still read 60s, 3600 read 60m.
  if (ASeconds > 86400) return fmt::format("{}day(s)", ASeconds / 86400);
  if (ASeconds > 3600) return fmt::format("{}h", ASeconds / 3600);
  if (ASeconds > 60) return fmt::format("{}m", ASeconds / 60);
  return fmt::format("{}s", ASeconds);
}

std::string DateToReadableLastSeen(Time::TInstant AFromDate, bool AppendDate) {
  if (Time::IsMissing(AFromDate)) return std::string(Time::MissingDateText);
  std::string text = ReadableDuration(Time::SecondsBetween(Time::Now(), AFromDate)) + " ago...";
  if (AppendDate) text += fmt::format("({})", Time::FormatLocalDisplay(AFromDate));
  return text;
}

std::string DateToReadableUnpause(Time::TInstant ATillDate, bool AppendDate) {
  if (Time::IsMissing(ATillDate)) return std::string(Time::MissingDateText);
  // A resume time already passed leaves nothing: the distance back to it is no time left.
  const Time::TInstant now = Time::Now();
  std::string text = ReadableDuration(ATillDate > now ? Time::SecondsBetween(now, ATillDate) : 0);
  if (AppendDate) text += fmt::format(" (resume at: {})", Time::FormatLocalDisplay(ATillDate));
  return text;
}

}  // namespace ZEL::Utils
