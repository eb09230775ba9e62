#include "ZEL.LogsPipe.h"

#include <spdlog/async_logger.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/details/os.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/sinks/base_sink.h>

#include <QStandardPaths>
#include <QString>

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ZEL.App.HardConfig.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Files.h"
#include "ZEL.LogsPipe.FileSink.h"
#include "ZEL.PlatformLog.h"

namespace ZEL::LogsPipe {

void RecordForCaptures(TLogType AType, std::string_view ATag, std::string_view AMessage);

namespace {

// What a live TLogCapture records into.
struct TCaptureStore {
  mutable std::mutex Lock;
  std::vector<TCapturedEntry> Entries;
};

// Read relaxed by every entry: without a capture the cost is one load.
std::atomic<int> GCaptureCount{0};
std::mutex GCapturesLock;
std::vector<TCaptureStore*> GCaptures;

}  // namespace
}  // namespace ZEL::LogsPipe

namespace ZEL {

std::string_view LogTypeName(TLogType AType) {
  switch (AType) {
    case TLogType::Debug: return "DEBUG";
    case TLogType::Info: return "INFO";
    case TLogType::Warning: return "WARNING";
    case TLogType::Error: return "ERROR";
    case TLogType::Fatal: return "FATAL";
  }
  return "FATAL";
}

namespace {

// Entries waiting for the writer thread; the caller blocks when it is full, so no line is lost.
constexpr std::size_t cQueueItems = 8192;

// Counts the flushes the writer thread has carried out, so that Flush can wait for its own.
class TFlushSignalSink final : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
public:
  bool WaitFor(std::uint64_t ATarget, std::chrono::milliseconds ATimeout) {
    std::unique_lock lock(FLock);
    return FCond.wait_for(lock, ATimeout, [&] { return FDone >= ATarget; });
  }

protected:
  void sink_it_(const spdlog::details::log_msg&) override {}
  void flush_() override {
    {
      std::lock_guard lock(FLock);
      ++FDone;
    }
    FCond.notify_all();
  }

private:
  std::mutex FLock;
  std::condition_variable FCond;
  std::uint64_t FDone = 0;
};

void WriteToStderr(TLogType AType, std::string_view ATag, std::string_view AMessage) {
  TLogItem item;
  item.LogType = AType;
  item.Tag = ATag;
  item.Message = AMessage;
  item.TimeStamp = std::chrono::system_clock::now();
  item.ThreadID = spdlog::details::os::thread_id();
  std::string line = TPlatformLog::FormatLogItem(item, true);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

struct TLogWriter::TImpl {
  // Entries counted in before they are queued and out by the file sink: at zero it writes
  // what it has gathered (see TZELRollingFileSink). First, to outlive the sink.
  std::atomic<std::int64_t> Pending{0};
  std::shared_ptr<TZELRollingFileSink> FileSink;
  std::shared_ptr<TFlushSignalSink> Signal;
  std::shared_ptr<spdlog::details::thread_pool> Pool;
  std::shared_ptr<spdlog::async_logger> Logger;
  // Callers between their check of Stopped and their enqueue; Shutdown waits them out so
  // that nothing is queued behind the writer thread's end.
  std::atomic<int> InFlight{0};
  std::atomic<bool> Stopped{false};
  std::mutex StopLock;
  std::mutex FlushLock;  // numbers the flush requests in queue order
  std::uint64_t FlushRequested = 0;

  // Enters the window in which the queue may be used; false after shutdown.
  bool Enter() {
    InFlight.fetch_add(1, std::memory_order_seq_cst);
    if (!Stopped.load(std::memory_order_seq_cst)) return true;
    Leave();
    return false;
  }
  void Leave() { InFlight.fetch_sub(1, std::memory_order_release); }
};

TLogWriter::TLogWriter(const std::string& AFolder, const std::string& AModule,
                       std::int64_t AMaxFileSize, int AMaxFiles)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->FileSink = std::make_shared<TZELRollingFileSink>(AFolder, AModule, AMaxFileSize, AMaxFiles,
                                                         &FImpl->Pending);
  FImpl->Signal = std::make_shared<TFlushSignalSink>();
  FImpl->Pool = std::make_shared<spdlog::details::thread_pool>(
      cQueueItems, 1, [] { pthread_setname_np(pthread_self(), "ZELLog"); });
  const std::vector<spdlog::sink_ptr> sinks{FImpl->FileSink, FImpl->Signal};
  FImpl->Logger = std::make_shared<spdlog::async_logger>("ZELLog", sinks.begin(), sinks.end(),
                                                         FImpl->Pool,
                                                         spdlog::async_overflow_policy::block);
  // Writer and file both let every level through.
  FImpl->Logger->set_level(spdlog::level::debug);
  for (const auto& sink : FImpl->Logger->sinks()) sink->set_level(spdlog::level::debug);
}

TLogWriter::~TLogWriter() { Shutdown(); }

void TLogWriter::Log(TLogType AType, std::string_view ATag, std::string_view AMessage) {
  if (LogsPipe::GCaptureCount.load(std::memory_order_relaxed) != 0)
    LogsPipe::RecordForCaptures(AType, ATag, AMessage);
  TImpl& I = *FImpl;
  if (!I.Enter()) {
    WriteToStderr(AType, ATag, AMessage);
    return;
  }
  fmt::memory_buffer payload;
  LogsPipe::PackEntry(payload, ATag, AMessage);
  I.Pending.fetch_add(1, std::memory_order_acq_rel);
  I.Logger->log(LogsPipe::LevelOf(AType), spdlog::string_view_t(payload.data(), payload.size()));
  I.Leave();
}

void TLogWriter::Flush() {
  while (!Flush(std::chrono::hours(1))) {
  }
}

bool TLogWriter::Flush(std::chrono::milliseconds ATimeout) {
  TImpl& I = *FImpl;
  if (!I.Enter()) return true;  // shut down: everything is written already
  std::uint64_t target = 0;
  {
    std::lock_guard lock(I.FlushLock);
    target = ++I.FlushRequested;
    I.Logger->flush();
  }
  I.Leave();
  return I.Signal->WaitFor(target, ATimeout);
}

void TLogWriter::Shutdown() {
  TImpl& I = *FImpl;
  std::lock_guard lock(I.StopLock);
  if (I.Stopped.exchange(true)) return;
  while (I.InFlight.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  // The pool's end queues behind every entry, writes them all and joins the thread.
  I.Pool.reset();
}

bool TLogWriter::WritesToFiles() const { return FImpl->FileSink->WritesToFile(); }

}  // namespace ZEL

namespace ZEL::LogsPipe {

namespace {

std::atomic<TLogWriter*> GWriter{nullptr};
std::atomic<int> GReportsState{0};  // 0 none, 1 subscribing, 2 subscribed

void ShutdownAtExit() { Shutdown(); }

TLogWriter* BuildWriter() {
  const std::string folder = LogsPath();
  TPlatformLog::Info("SetupLogger", "lLogsDir = " + folder);
  auto* writer = new TLogWriter(folder, ModuleName(), HardConfig::LOGGING_MAX_FILE_SIZE * 1024,
                                HardConfig::LOGGING_KEEP_LAST_LOG_FILES);
  GWriter.store(writer, std::memory_order_release);
  std::atexit(ShutdownAtExit);
  return writer;
}

// Outside the writer's own construction, so that a message manager that logs while it
// is being made finds the writer ready instead of a half-built static.
void SubscribeReports() {
  int expected = 0;
  if (!GReportsState.compare_exchange_strong(expected, 1)) return;
  TZELMessager<TExceptionReportMessage>::Subscribe([](TSender, const TExceptionReportMessage& AMsg) {
    ZELLog().FatalFmt("Exception", "{}", AMsg.Report());
  });
  GReportsState.store(2, std::memory_order_release);
}

}  // namespace

ILogWriter& ZELLog() {
  static TLogWriter* const LWriter = BuildWriter();
  if (GReportsState.load(std::memory_order_acquire) != 2) SubscribeReports();
  return *LWriter;
}

std::string LogsPath() {
  std::string folder;
  if (const char* env = std::getenv("ZEL_LOGS_DIR"); env && *env) {
    folder = env;
  } else {
    std::string base =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    folder = (base.empty() ? std::string(".") : base) + "/ZELLogs";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  Files::MakePrivateFolders(folder);  // a failure shows when the file is opened
  return folder;
}

std::string Shortened(std::string_view AText, std::size_t AMax) {
  if (AText.size() <= AMax) return std::string(AText);
  std::size_t cut = AMax;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(AText[cut]) & 0xC0) == 0x80) --cut;
  return fmt::format("{}... ({} bytes in all)", AText.substr(0, cut), AText.size());
}

std::string ModuleName() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && !exe.stem().empty()) return exe.stem().string();
  return std::filesystem::path(program_invocation_short_name).stem().string();
}

void Shutdown() {
  if (TLogWriter* writer = GWriter.load(std::memory_order_acquire)) writer->Shutdown();
}

void Flush() {
  if (TLogWriter* writer = GWriter.load(std::memory_order_acquire)) writer->Flush();
}

bool Flush(std::chrono::milliseconds ATimeout) {
  TLogWriter* writer = GWriter.load(std::memory_order_acquire);
  return !writer || writer->Flush(ATimeout);
}

void RecordForCaptures(TLogType AType, std::string_view ATag, std::string_view AMessage) {
  std::lock_guard lock(GCapturesLock);
  for (TCaptureStore* store : GCaptures) {
    std::lock_guard entries(store->Lock);
    store->Entries.push_back({AType, std::string(ATag), std::string(AMessage)});
  }
}

struct TLogCapture::TImpl : TCaptureStore {};

TLogCapture::TLogCapture() : FImpl(std::make_unique<TImpl>()) {
  std::lock_guard lock(GCapturesLock);
  GCaptures.push_back(FImpl.get());
  GCaptureCount.fetch_add(1, std::memory_order_relaxed);
}

TLogCapture::~TLogCapture() {
  std::lock_guard lock(GCapturesLock);
  GCaptures.erase(std::remove(GCaptures.begin(), GCaptures.end(), FImpl.get()), GCaptures.end());
  GCaptureCount.fetch_sub(1, std::memory_order_relaxed);
}

std::vector<TCapturedEntry> TLogCapture::Entries() const {
  std::lock_guard lock(FImpl->Lock);
  return FImpl->Entries;
}

std::vector<TCapturedEntry> TLogCapture::WithTag(std::string_view ATag) const {
  std::lock_guard lock(FImpl->Lock);
  std::vector<TCapturedEntry> out;
  for (const auto& e : FImpl->Entries)
    if (e.Tag == ATag) out.push_back(e);
  return out;
}

void TLogCapture::Clear() {
  std::lock_guard lock(FImpl->Lock);
  FImpl->Entries.clear();
}

}  // namespace ZEL::LogsPipe
