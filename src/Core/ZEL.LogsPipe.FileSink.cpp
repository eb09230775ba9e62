#include "ZEL.LogsPipe.FileSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ZEL.Files.h"
#include "ZEL.Time.h"

namespace ZEL {

namespace {
constexpr char cBOM[] = {'\xFF', '\xFE'};
constexpr char cCRLF[] = {'\r', '\0', '\n', '\0'};
// Gathered bytes that are written even while the queue still holds entries.
constexpr std::size_t cCommitBytes = 64 * 1024;
}  // namespace

TZELRollingFileSink::TZELRollingFileSink(std::string AFolder, std::string AModule,
                                         std::int64_t AMaxFileSize, int AMaxFiles,
                                         std::chrono::milliseconds ARetryAfter)
    : FFolder(std::move(AFolder)),
      FModule(std::move(AModule)),
      FMaxFileSize(AMaxFileSize),
      FMaxFiles(AMaxFiles < 2 ? 2 : AMaxFiles),
      FRetryAfter(ARetryAfter) {
  std::lock_guard lock(mutex_);
  FBytes.reserve(cCommitBytes + 4096);
  FText.reserve(cCommitBytes / 2 + 2048);
  Open();
}

TZELRollingFileSink::~TZELRollingFileSink() {
  std::lock_guard lock(mutex_);
  Commit();
  Close();
}

std::string TZELRollingFileSink::FileName(int ANumber) const {
  return fmt::format("{}/{}.{:02}..txt", FFolder, FModule, ANumber);
}

bool TZELRollingFileSink::WritesToFile() const {
  std::lock_guard lock(const_cast<std::mutex&>(mutex_));
  return !FToStderr;
}

void TZELRollingFileSink::WriteItem(const TLogItem& AItem) {
  std::lock_guard lock(mutex_);
  AddItem(AItem);
  Commit();
}

void TZELRollingFileSink::Gather(const TLogItem& AItem) {
  std::lock_guard lock(mutex_);
  AddItem(AItem);
  if (FBytes.size() >= cCommitBytes) Commit();
}

void TZELRollingFileSink::sink_it_(const spdlog::details::log_msg& AMsg) {
  AddItem(LogsPipe::ItemOf(AMsg));
  if (FBytes.size() >= cCommitBytes) Commit();
}

void TZELRollingFileSink::AddItem(const TLogItem& AItem) {
  if (FToStderr && std::chrono::steady_clock::now() >= FRetryAt) TryResume();
  FLine.clear();
  TPlatformLog::AppendLogItem(FLine, AItem);
  AddLine(FLine);
  if (!FToStderr && FSize > FMaxFileSize) Rotate();
}

bool TZELRollingFileSink::Open() {
  if (!Files::MakePrivateFolders(FFolder)) {
    Fail(fmt::format("cannot make the log folder \"{}\"", FFolder), errno);
    return false;
  }
  const std::string name = FileName(0);
  FFile = ::open(name.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);  // read: its last line
  if (FFile < 0) {
    Fail(fmt::format("cannot open the log file \"{}\"", name), errno);
    return false;
  }
  struct stat st {};
  // A file left by an older version may be readable by others; the log is the user's alone.
  if (::fstat(FFile, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
    ::fchmod(FFile, 0600);
  FSize = ::fstat(FFile, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
  if (FSize > static_cast<std::int64_t>(sizeof cBOM)) EndTornLine();
  if (FSize == 0) {
    if (::write(FFile, cBOM, sizeof cBOM) != static_cast<ssize_t>(sizeof cBOM)) {
      Fail(fmt::format("cannot write the log file \"{}\"", name), errno);
      return false;
    }
    FSize = sizeof cBOM;
  }
  return true;
}

void TZELRollingFileSink::EndTornLine() {
  // A write cut short (a full disk, a crash) may have left a part of a line that could not
  // be taken back: the next line must still begin a line of its own, at a whole character.
  char tail[sizeof cCRLF] = {};
  if (FSize % 2 == 0 && ::pread(FFile, tail, sizeof tail, FSize - static_cast<off_t>(sizeof tail)) ==
                            static_cast<ssize_t>(sizeof tail) &&
      std::memcmp(tail, cCRLF, sizeof tail) == 0)
    return;
  std::string fix;
  if (FSize % 2 != 0) fix += '\0';
  fix.append(cCRLF, sizeof cCRLF);
  if (::write(FFile, fix.data(), fix.size()) == static_cast<ssize_t>(fix.size()))
    FSize += static_cast<std::int64_t>(fix.size());
}

void TZELRollingFileSink::Close() {
  if (FFile >= 0) ::close(FFile);
  FFile = -1;
}

void TZELRollingFileSink::Rotate() {
  AddLine(Marker("#[ROTATE LOG "));
  Commit();
  if (FToStderr) return;
  Close();
  std::remove(FileName(FMaxFiles - 1).c_str());
  for (int n = FMaxFiles - 2; n >= 1; --n) {
    const std::string from = FileName(n);
    if (::access(from.c_str(), F_OK) == 0) std::rename(from.c_str(), FileName(n + 1).c_str());
  }
  // Appending to a file 00 that could not be moved would rotate at every entry.
  if (std::rename(FileName(0).c_str(), FileName(1).c_str()) != 0) {
    Fail(fmt::format("cannot rename the log file \"{}\"", FileName(0)), errno);
    return;
  }
  if (Open()) AddLine(Marker("#[START LOG "));
}

void TZELRollingFileSink::AddLine(std::string_view AUtf8Line) {
  if (FToStderr) {
    // The line is never dropped: standard error takes it.
    std::string text(AUtf8Line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    return;
  }
  const std::size_t before = FBytes.size();
  LogsPipe::AppendUtf16LE(FBytes, AUtf8Line);
  FBytes.append(cCRLF, sizeof cCRLF);
  FText.append(AUtf8Line);
  FText += '\n';
  FEnds.emplace_back(FBytes.size(), FText.size());
  FSize += static_cast<std::int64_t>(FBytes.size() - before);
}

void TZELRollingFileSink::Commit() {
  if (FEnds.empty()) return;
  // Where the gathered bytes begin in file 00.
  const std::int64_t start = FSize - static_cast<std::int64_t>(FBytes.size());
  std::size_t done = 0;
  int failed = 0;
  while (!FToStderr && done < FBytes.size()) {
    const ssize_t n = ::write(FFile, FBytes.data() + done, FBytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (done < FBytes.size()) {
    // Every line not wholly in the file goes to standard error.
    std::size_t from = 0, whole = 0;
    for (const auto& [bytesEnd, textEnd] : FEnds) {
      if (bytesEnd > done) break;
      from = textEnd;
      whole = bytesEnd;
    }
    // The part of a line that did get in goes again: the line is told whole on standard
    // error, and what follows in the file must not be glued to a torn line.
    if (failed != 0 && whole < done && FFile >= 0) (void)::ftruncate(FFile, start + static_cast<off_t>(whole));
    if (failed != 0) Fail(fmt::format("cannot write the log file \"{}\"", FileName(0)), failed);
    std::fwrite(FText.data() + from, 1, FText.size() - from, stderr);
  }
  FBytes.clear();
  FText.clear();
  FEnds.clear();
}

void TZELRollingFileSink::Fail(const std::string& AWhat, int AErrno) {
  Close();
  FToStderr = true;
  FRetryAt = std::chrono::steady_clock::now() + FRetryAfter;
  if (FRetrying) return;  // still failing: said when it began
  const std::string text = fmt::format("ZELLog: {} ({}); log entries go to standard error.\n",
                                       AWhat, std::strerror(AErrno));
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void TZELRollingFileSink::TryResume() {
  FToStderr = false;
  FRetrying = true;
  const bool opened = Open();
  FRetrying = false;
  if (!opened) return;
  const std::string text =
      fmt::format("ZELLog: the log file \"{}\" is written again.\n", FileName(0));
  std::fwrite(text.data(), 1, text.size(), stderr);
  AddLine(Marker("#[RESUME LOG "));
}

std::string TZELRollingFileSink::Marker(std::string_view AHead) const {
  const Time::TLocalTime L = Time::ToLocal(std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()));
  return fmt::format("{}{:04}-{:02}-{:02} {:02}:{:02}:{:02}:{:03}]", AHead, L.Year, L.Month, L.Day,
                     L.Hour, L.Minute, L.Second, L.Millisecond);
}

}  // namespace ZEL

namespace ZEL::LogsPipe {

spdlog::level::level_enum LevelOf(TLogType AType) {
  switch (AType) {
    case TLogType::Debug: return spdlog::level::debug;
    case TLogType::Info: return spdlog::level::info;
    case TLogType::Warning: return spdlog::level::warn;
    case TLogType::Error: return spdlog::level::err;
    case TLogType::Fatal: return spdlog::level::critical;
  }
  return spdlog::level::critical;
}

TLogType LogTypeOf(spdlog::level::level_enum ALevel) {
  switch (ALevel) {
    case spdlog::level::trace:
    case spdlog::level::debug: return TLogType::Debug;
    case spdlog::level::info: return TLogType::Info;
    case spdlog::level::warn: return TLogType::Warning;
    case spdlog::level::err: return TLogType::Error;
    default: return TLogType::Fatal;
  }
}

TLogItem ItemOf(const spdlog::details::log_msg& AMsg) {
  TLogItem item;
  item.LogType = LogTypeOf(AMsg.level);
  item.Tag = std::string_view(AMsg.logger_name.data(), AMsg.logger_name.size());
  item.Message = std::string_view(AMsg.payload.data(), AMsg.payload.size());
  item.TimeStamp = AMsg.time;
  item.ThreadID = AMsg.thread_id;
  return item;
}

void AppendUtf16LE(std::string& AOut, std::string_view AUtf8) {
  // Never more than two bytes out per byte in; written in place, then cut to size.
  const std::size_t start = AOut.size();
  AOut.resize(start + 2 * AUtf8.size());
  char* out = AOut.data() + start;
  auto put = [&out](std::uint32_t unit) {
    out[0] = static_cast<char>(unit & 0xFF);
    out[1] = static_cast<char>((unit >> 8) & 0xFF);
    out += 2;
  };
  const auto* s = reinterpret_cast<const unsigned char*>(AUtf8.data());
  const std::size_t n = AUtf8.size();
  std::size_t i = 0;
  while (i < n) {
    // Log text is nearly all ASCII: eight bytes at a time while none has its top bit set.
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, s + i, sizeof word);
      if (word & 0x8080808080808080ULL) break;
      for (int k = 0; k < 8; ++k) {
        out[2 * k] = static_cast<char>(s[i + k]);
        out[2 * k + 1] = '\0';
      }
      out += 16;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char c = s[i];
    if (c < 0x80) {
      put(c);
      ++i;
      continue;
    }
    int extra = 0;
    std::uint32_t cp = 0;
    std::uint32_t least = 0;
    if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07, least = 0x10000;
    } else {
      put(0xFFFD);
      ++i;
      continue;
    }
    int k = 1;
    for (; k <= extra && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    if (k <= extra || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      put(0xFFFD);
      i += static_cast<std::size_t>(k);  // skip the lead and the continuation bytes seen
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  AOut.resize(static_cast<std::size_t>(out - AOut.data()));
}

}  // namespace ZEL::LogsPipe
