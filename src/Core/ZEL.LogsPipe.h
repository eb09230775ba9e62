#pragma once
// The process-wide log writer. Callers only enqueue an entry: a formatted message keeps its
// format string and copies of its arguments, and its text is made on the writer's own
// thread, with the line and all file work.

#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "ZEL.LogsPipe.Deferred.h"

namespace ZEL {

enum class TLogType { Debug, Info, Warning, Error, Fatal };

// "DEBUG", "INFO", "WARNING", "ERROR", "FATAL".
std::string_view LogTypeName(TLogType AType);

class ILogWriter {
public:
  static constexpr std::string_view TypeName = "ILogWriter";
  virtual ~ILogWriter() = default;

  // Queues one entry. Safe from any thread.
  virtual void Log(TLogType AType, std::string_view ATag, std::string_view AMessage) = 0;

  void Debug(std::string_view ATag, std::string_view AMessage) { Log(TLogType::Debug, ATag, AMessage); }
  void Info(std::string_view ATag, std::string_view AMessage) { Log(TLogType::Info, ATag, AMessage); }
  void Warn(std::string_view ATag, std::string_view AMessage) { Log(TLogType::Warning, ATag, AMessage); }
  void Error(std::string_view ATag, std::string_view AMessage) { Log(TLogType::Error, ATag, AMessage); }
  void Fatal(std::string_view ATag, std::string_view AMessage) { Log(TLogType::Fatal, ATag, AMessage); }

  template <class... A>
  void DebugFmt(std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    LogFmt(TLogType::Debug, ATag, F, std::forward<A>(Args)...);
  }
  template <class... A>
  void InfoFmt(std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    LogFmt(TLogType::Info, ATag, F, std::forward<A>(Args)...);
  }
  template <class... A>
  void WarnFmt(std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    LogFmt(TLogType::Warning, ATag, F, std::forward<A>(Args)...);
  }
  template <class... A>
  void ErrorFmt(std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    LogFmt(TLogType::Error, ATag, F, std::forward<A>(Args)...);
  }
  template <class... A>
  void FatalFmt(std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    LogFmt(TLogType::Fatal, ATag, F, std::forward<A>(Args)...);
  }

protected:
  // Queues one formatted entry; this one makes the text at once and calls Log.
  virtual void LogDeferred(TLogType AType, std::string_view ATag, const LogsPipe::TDeferredFmt& AMessage) {
    Log(AType, ATag, AMessage.Text());
  }

private:
  template <class... A>
  void LogFmt(TLogType AType, std::string_view ATag, fmt::format_string<A...> F, A&&... Args) {
    if constexpr (LogsPipe::AllDeferred<std::remove_cvref_t<A>...>) {
      const std::tuple<const std::remove_cvref_t<A>&...> args(Args...);
      LogsPipe::TDeferredFmt message;
      message.Format = F;
      message.ArgsSize = (std::size_t{0} + ... + LogsPipe::TArg<std::remove_cvref_t<A>>::Size(Args));
      message.Args = &args;
      message.PackArgs = &LogsPipe::PackArgs<std::remove_cvref_t<A>...>;
      message.Render = &LogsPipe::RenderPacked<std::remove_cvref_t<A>...>;
      LogDeferred(AType, ATag, message);
    } else {
      fmt::memory_buffer buf;
      fmt::format_to(std::back_inserter(buf), F, std::forward<A>(Args)...);
      Log(AType, ATag, std::string_view(buf.data(), buf.size()));
    }
  }
};

// An asynchronous writer over the rolling files "<AModule>.NN..txt" in AFolder: one queue,
// one writer thread ("ZELLog"). Callers append their entries to the queue's bytes under a
// short lock and wake the writer only when it sleeps; the writer takes all that has
// gathered at once. A full queue makes callers wait, never drops an entry. The process has
// one (ZELLog); tests build their own over a folder of theirs. When the folder or file cannot be made the writer still works and puts its
// lines on standard error, after one line that says why.
class TLogWriter final : public ILogWriter {
public:
  static constexpr std::string_view TypeName = "TLogWriter";

  TLogWriter(const std::string& AFolder, const std::string& AModule, std::int64_t AMaxFileSize,
             int AMaxFiles);
  ~TLogWriter() override;  // shuts down
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  void Log(TLogType AType, std::string_view ATag, std::string_view AMessage) override;

  // Blocks until every entry queued so far is written.
  void Flush();
  // As Flush, giving up after ATimeout; false when it gave up.
  bool Flush(std::chrono::milliseconds ATimeout);
  // Drains the queue and stops the writer thread; later entries go to standard error.
  void Shutdown();
  // False when the files could not be made or written and lines go to standard error.
  bool WritesToFiles() const;

protected:
  void LogDeferred(TLogType AType, std::string_view ATag, const LogsPipe::TDeferredFmt& AMessage) override;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace ZEL

namespace ZEL::LogsPipe {

// The one log writer; valid for the whole run (built on first use, never freed).
ILogWriter& ZELLog();

// The log folder, made with its parents when missing; no trailing delimiter.
// $ZEL_LOGS_DIR overrides the default "<user data folder>/ZELLogs".
std::string LogsPath();

// How much of a payload or answer from the network a log line shows.
inline constexpr std::size_t MaxLoggedBytes = 4096;
// AText when it is at most AMax bytes; otherwise its first AMax bytes and how long it was.
std::string Shortened(std::string_view AText, std::size_t AMax = MaxLoggedBytes);

// The program file's name without its extension: the {module} of the log file names.
std::string ModuleName();

// Drains the queue into the file and stops the writer thread; later entries go to
// standard error. Runs by itself at exit. Nothing happens before the writer is built.
void Shutdown();

// Blocks until every entry queued so far is in the file.
void Flush();
// As Flush, giving up after ATimeout (the terminate handler must not hang); false then.
bool Flush(std::chrono::milliseconds ATimeout);

// One entry as a test sees it.
struct TCapturedEntry {
  TLogType Type;
  std::string Tag;
  std::string Message;
};

// While alive, records every entry synchronously on the logging thread, besides writing
// it. For tests that assert what was logged.
class TLogCapture {
public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  std::vector<TCapturedEntry> Entries() const;
  // Entries with this tag, in order.
  std::vector<TCapturedEntry> WithTag(std::string_view ATag) const;
  void Clear();

private:
  friend void RecordForCaptures(TLogType, std::string_view, std::string_view);
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace ZEL::LogsPipe
