#pragma once
// The process-wide log writer. Callers only enqueue an entry: a formatted message keeps its
// format string and copies of its arguments, and its text is made on the writer's own
// thread, with the line and all file work.

#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace ZEL {

enum class TLogType { Debug, Info, Warning, Error, Fatal };

// "DEBUG", "INFO", "WARNING", "ERROR", "FATAL".
std::string_view LogTypeName(TLogType AType);

}  // namespace ZEL

namespace ZEL::LogsPipe {

// How a formatted entry's arguments wait in the queue: packed by value into the entry's
// bytes, and read back on the writer's thread as what they were (numbers as themselves,
// strings as views of their copied bytes), so the text comes out as the caller's thread
// would have made it. Any other type is formatted on the caller's thread instead.
template <class T>
struct TArg {
  static constexpr bool Deferred = false;
};

template <class T>
  requires std::is_arithmetic_v<T>
struct TArg<T> {
  static constexpr bool Deferred = true;
  static std::size_t Size(const T&) { return sizeof(T); }
  static char* Pack(char* AOut, const T& AValue) {
    std::memcpy(AOut, &AValue, sizeof AValue);
    return AOut + sizeof AValue;
  }
  static T Unpack(const char*& AIn) {
    T value;
    std::memcpy(&value, AIn, sizeof value);
    AIn += sizeof value;
    return value;
  }
};

// Its length, its bytes and a terminating zero; read back as a C string (what fmt sees for
// a pointer or an array of char) or a view (for std::string and std::string_view).
struct TStringArg {
  static constexpr bool Deferred = true;
  static constexpr std::size_t cNull = ~std::size_t{0};
  static std::size_t SizeOf(const char* AText, std::size_t ASize) {
    return sizeof(std::size_t) + (AText ? ASize + 1 : 0);
  }
  static char* PackText(char* AOut, const char* AText, std::size_t ASize) {
    const std::size_t head = AText ? ASize : cNull;
    std::memcpy(AOut, &head, sizeof head);
    AOut += sizeof head;
    if (!AText) return AOut;
    if (ASize != 0) std::memcpy(AOut, AText, ASize);
    AOut[ASize] = '\0';
    return AOut + ASize + 1;
  }
  // Null for a null pointer (fmt then reports it, as it would have on the caller's thread).
  static const char* UnpackText(const char*& AIn, std::size_t& ASize) {
    std::memcpy(&ASize, AIn, sizeof ASize);
    AIn += sizeof ASize;
    if (ASize == cNull) return nullptr;
    const char* text = AIn;
    AIn += ASize + 1;
    return text;
  }
};

struct TCStringArg : TStringArg {
  static std::size_t Size(const char* AText) { return SizeOf(AText, AText ? std::strlen(AText) : 0); }
  static char* Pack(char* AOut, const char* AText) { return PackText(AOut, AText, AText ? std::strlen(AText) : 0); }
  static const char* Unpack(const char*& AIn) {
    std::size_t size = 0;
    return UnpackText(AIn, size);
  }
};
template <>
struct TArg<const char*> : TCStringArg {};
template <>
struct TArg<char*> : TCStringArg {};
template <std::size_t N>
struct TArg<char[N]> : TCStringArg {};

struct TViewArg : TStringArg {
  // An empty view may have no data: packed as an empty text, not as a null.
  static std::size_t Size(std::string_view AText) { return SizeOf("", AText.size()); }
  static char* Pack(char* AOut, std::string_view AText) { return PackText(AOut, AText.data() ? AText.data() : "", AText.size()); }
  static std::string_view Unpack(const char*& AIn) {
    std::size_t size = 0;
    const char* text = UnpackText(AIn, size);
    return {text, size};
  }
};
template <>
struct TArg<std::string> : TViewArg {};
template <>
struct TArg<std::string_view> : TViewArg {};

// Addresses are printed, never followed.
struct TPointerArg {
  static constexpr bool Deferred = true;
  static std::size_t Size(const void*) { return sizeof(const void*); }
  static char* Pack(char* AOut, const void* AValue) {
    std::memcpy(AOut, &AValue, sizeof AValue);
    return AOut + sizeof AValue;
  }
  static const void* Unpack(const char*& AIn) {
    const void* value;
    std::memcpy(&value, AIn, sizeof value);
    AIn += sizeof value;
    return value;
  }
};
template <>
struct TArg<void*> : TPointerArg {};
template <>
struct TArg<const void*> : TPointerArg {};
template <>
struct TArg<std::nullptr_t> : TPointerArg {};

template <class... T>
inline constexpr bool AllDeferred = (TArg<T>::Deferred && ...);

// A formatted entry on its way into the queue: the caller's format string and arguments,
// and how to pack them and, later, to make the text from the packed bytes.
struct TDeferredFmt {
  fmt::string_view Format;
  std::size_t ArgsSize = 0;    // bytes PackArgs writes
  const void* Args = nullptr;  // the caller's arguments, alive during the call only
  char* (*PackArgs)(const void* AArgs, char* AOut) = nullptr;
  void (*Render)(fmt::memory_buffer& AOut, fmt::string_view AFormat, const char* APacked) = nullptr;

  // The text, made at once (for captures, standard error and writers that keep no queue).
  std::string Text() const;
};

template <class... T>
char* PackArgs(const void* AArgs, char* AOut) {
  const auto& args = *static_cast<const std::tuple<const T&...>*>(AArgs);
  std::apply([&](const T&... A) { ((AOut = TArg<T>::Pack(AOut, A)), ...); }, args);
  return AOut;
}

template <class... T>
void RenderPacked(fmt::memory_buffer& AOut, fmt::string_view AFormat, const char* APacked) {
  // A braced list reads the arguments back in order.
  const std::tuple<decltype(TArg<T>::Unpack(APacked))...> values{TArg<T>::Unpack(APacked)...};
  std::apply([&](const auto&... V) { fmt::vformat_to(std::back_inserter(AOut), AFormat, fmt::make_format_args(V...)); },
             values);
}

}  // namespace ZEL::LogsPipe

namespace ZEL {

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
