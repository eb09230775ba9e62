#pragma once
// The rolling log files as the writer thread writes them: UTF-16 little-endian text with a
// byte-order mark at the start of each file, one CR LF line per entry, files
// "<module>.00..txt" (current) to "<module>.NN..txt" (oldest), rotated when the current
// one grows beyond the maximum size.

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "ZEL.LogsPipe.h"
#include "ZEL.PlatformLog.h"

namespace ZEL {

class TZELRollingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
  static constexpr std::string_view TypeName = "TZELRollingFileSink";

  // Makes the folder and opens file 00 for appending. When that fails, one line on
  // standard error says why and every later line goes there instead.
  TZELRollingFileSink(std::string AFolder, std::string AModule, std::int64_t AMaxFileSize,
                      int AMaxFiles);
  ~TZELRollingFileSink() override;

  // The full path of file ANumber ("<folder>/<module>.07..txt").
  std::string FileName(int ANumber) const;
  bool WritesToFile() const;

  // Writes one entry as its line (the writer thread, or a test directly).
  void WriteItem(const TLogItem& AItem);

protected:
  void sink_it_(const spdlog::details::log_msg& AMsg) override;
  void flush_() override {}

private:
  void WriteItemLocked(const TLogItem& AItem);
  bool Open();
  void Close();
  void Rotate();
  void WriteLine(std::string_view AUtf8Line);
  void Fail(const std::string& AWhat, int AErrno);
  std::string Marker(std::string_view AHead) const;

  const std::string FFolder;
  const std::string FModule;
  const std::int64_t FMaxFileSize;
  const int FMaxFiles;
  int FFile = -1;
  std::int64_t FSize = 0;
  bool FToStderr = false;
  std::string FBytes;  // reused for the UTF-16 text of one line
};

}  // namespace ZEL

namespace ZEL::LogsPipe {

// The tag travels in front of the message inside spdlog's payload, so one logger carries
// every tag: four bytes of tag length, the tag, the message.
void PackEntry(fmt::memory_buffer& AOut, std::string_view ATag, std::string_view AMessage);
// False for a payload that PackEntry did not make; then the whole payload is the message.
bool UnpackEntry(std::string_view APayload, std::string_view& ATag, std::string_view& AMessage);

spdlog::level::level_enum LevelOf(TLogType AType);
TLogType LogTypeOf(spdlog::level::level_enum ALevel);

// The entry of a queued spdlog message.
TLogItem ItemOf(const spdlog::details::log_msg& AMsg);

// Appends the UTF-8 text as UTF-16 little-endian bytes; broken sequences become U+FFFD.
void AppendUtf16LE(std::string& AOut, std::string_view AUtf8);

}  // namespace ZEL::LogsPipe
