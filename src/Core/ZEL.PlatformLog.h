#pragma once
// The platform's own system log and the text of one log line. The desktop has no system
// log of ours, so the six level methods do nothing; FormatLogItem builds the line that
// every log file holds.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "ZEL.LogsPipe.h"

namespace ZEL {

// One entry as the writer thread renders it; the texts point into the queued entry.
struct TLogItem {
  TLogType LogType = TLogType::Debug;
  std::string_view Message;
  std::string_view Tag;
  std::chrono::system_clock::time_point TimeStamp;  // when the entry was made
  std::size_t ThreadID = 0;                          // OS id of the thread that made it
};

class TPlatformLog {
public:
  static constexpr std::string_view TypeName = "TPlatformLog";

  static void Debug(std::string_view ATag, std::string_view AMessage);
  static void Info(std::string_view ATag, std::string_view AMessage);
  static void Warning(std::string_view ATag, std::string_view AMessage);
  static void Error(std::string_view ATag, std::string_view AMessage);
  static void Fatal(std::string_view ATag, std::string_view AMessage);
  static void Verbose(std::string_view ATag, std::string_view AMessage);

  // "<local ISO 8601 time> [TID <id>] [<LEVEL>] [<tag>] <message>"; the flag changes nothing.
  // Control characters of the tag and message other than tab, CR and LF read "\xNN".
  static std::string FormatLogItem(const TLogItem& AItem, bool ALongFormat);
  // The same line appended to AOut (the writer thread reuses one buffer).
  static void AppendLogItem(std::string& AOut, const TLogItem& AItem);
};

}  // namespace ZEL

namespace ZEL::PlatformLog {

// "2024-03-05T14:07:09.042+01:00", or ending in "Z" when the local offset is zero.
std::string LocalISO8601(std::chrono::system_clock::time_point ATime);
// The same text appended to AOut.
void AppendLocalISO8601(std::string& AOut, std::chrono::system_clock::time_point ATime);

}  // namespace ZEL::PlatformLog
