#pragma once
// The rolling log files as the writer thread writes them: UTF-16 little-endian text with a
// byte-order mark at the start of each file, one CR LF line per entry, files
// "<module>.00..txt" (current) to "<module>.NN..txt" (oldest), rotated when the current
// one grows beyond the maximum size.
//
// Lines are gathered and written with one write() when 64 KiB have gathered, on rotation,
// flush and close. The log writer flushes whenever its queue has run dry: every line made
// so far is in the file as soon as the writer thread has nothing left to do, so a quiet
// program's line reaches the file at once and Flush/Shutdown find the file complete.
// Entries still queued at a crash are lost either way.

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZEL.LogsPipe.h"
#include "ZEL.PlatformLog.h"

namespace ZEL {

class TZELRollingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
  static constexpr std::string_view TypeName = "TZELRollingFileSink";

  // Makes the folder (0700 when new) and opens file 00 for appending (0600). When that or a
  // later write fails, one line on standard error says why and the lines go there instead;
  // ARetryAfter later the next line tries the file again, and a marker line in the file
  // says that it resumes.
  TZELRollingFileSink(std::string AFolder, std::string AModule, std::int64_t AMaxFileSize,
                      int AMaxFiles, std::chrono::milliseconds ARetryAfter = std::chrono::minutes(1));
  ~TZELRollingFileSink() override;

  // The full path of file ANumber ("<folder>/<module>.07..txt").
  std::string FileName(int ANumber) const;
  bool WritesToFile() const;

  // Writes one entry as its line, at once (a test, or a caller outside the queue).
  void WriteItem(const TLogItem& AItem);
  // Gathers one entry's line, written with the next 64 KiB or flush (the log writer's thread).
  void Gather(const TLogItem& AItem);

protected:
  // An entry of a spdlog logger: the logger's name is the line's tag.
  void sink_it_(const spdlog::details::log_msg& AMsg) override;
  void flush_() override { Commit(); }

private:
  void AddItem(const TLogItem& AItem);
  bool Open();
  // Ends a torn last line of file 00 (FSize beyond the BOM) with a line break.
  void EndTornLine();
  void Close();
  void Rotate();
  // Gathers one line; Commit writes the gathered lines to the file.
  void AddLine(std::string_view AUtf8Line);
  void Commit();
  void Fail(const std::string& AWhat, int AErrno);
  void TryResume();
  std::string Marker(std::string_view AHead) const;

  const std::string FFolder;
  const std::string FModule;
  const std::int64_t FMaxFileSize;
  const int FMaxFiles;
  int FFile = -1;
  std::int64_t FSize = 0;  // of file 00, with the gathered bytes
  bool FToStderr = false;
  bool FRetrying = false;  // an attempt to resume: its failure is not told again
  const std::chrono::milliseconds FRetryAfter;
  std::chrono::steady_clock::time_point FRetryAt{};
  std::string FLine;   // reused for the text of one line
  std::string FBytes;  // the gathered lines as UTF-16, not yet written
  std::string FText;   // the same lines as UTF-8, each ending in LF, for standard error
  // Where each gathered line ends in FBytes and in FText.
  std::vector<std::pair<std::size_t, std::size_t>> FEnds;
};

}  // namespace ZEL

namespace ZEL::LogsPipe {

spdlog::level::level_enum LevelOf(TLogType AType);
TLogType LogTypeOf(spdlog::level::level_enum ALevel);

// The entry of a spdlog message; its tag is the logger's name.
TLogItem ItemOf(const spdlog::details::log_msg& AMsg);

// Appends the UTF-8 text as UTF-16 little-endian bytes; broken sequences become U+FFFD.
void AppendUtf16LE(std::string& AOut, std::string_view AUtf8);

}  // namespace ZEL::LogsPipe
