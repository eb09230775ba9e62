#include "ZEL.LogsPipe.h"

#include <spdlog/details/os.h>

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
#include <utility>

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

// The queue's bounds: callers wait while it holds this many entries, or this many bytes
// (an entry larger than that still goes into an empty queue). Nothing is dropped.
constexpr std::size_t cQueueItems = 8192;
constexpr std::size_t cQueueBytes = 8 * 1024 * 1024;
// A batch buffer that grew beyond this is given back after use.
constexpr std::size_t cKeepBytes = 16 * 1024 * 1024;

// What precedes an entry's bytes in the queue: then its tag, then its message (or its
// format string and packed arguments).
struct TEntryHead {
  std::size_t Size = 0;  // of the whole entry, head included
  std::size_t TagSize = 0;
  std::size_t TextSize = 0;  // the message, or the format string
  std::int64_t Time = 0;     // system clock ticks, when the entry was made
  std::size_t ThreadID = 0;
  void (*Render)(fmt::memory_buffer&, fmt::string_view, const char*) = nullptr;  // none: plain
  TLogType Type = TLogType::Debug;
};

// Entries as bytes, appended one after another; the writer swaps a whole batch out.
class TBatch {
public:
  TBatch() = default;
  TBatch(const TBatch&) = delete;
  TBatch& operator=(const TBatch&) = delete;

  // Room for ASize more bytes at the end; the pointer stays valid until the next Append.
  char* Append(std::size_t ASize) {
    if (FSize + ASize > FCapacity) Grow(FSize + ASize);
    char* at = FData.get() + FSize;
    FSize += ASize;
    ++FEntries;
    return at;
  }
  void Clear() {
    FSize = 0;
    FEntries = 0;
    if (FCapacity > cKeepBytes) {
      FData.reset();
      FCapacity = 0;
    }
  }
  void Swap(TBatch& AOther) noexcept {
    std::swap(FData, AOther.FData);
    std::swap(FSize, AOther.FSize);
    std::swap(FCapacity, AOther.FCapacity);
    std::swap(FEntries, AOther.FEntries);
  }
  const char* Data() const { return FData.get(); }
  std::size_t Size() const { return FSize; }
  std::size_t Entries() const { return FEntries; }

private:
  void Grow(std::size_t ANeeded) {
    const std::size_t capacity = std::max({ANeeded, 2 * FCapacity, std::size_t{64 * 1024}});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (FSize != 0) std::memcpy(data.get(), FData.get(), FSize);
    FData = std::move(data);
    FCapacity = capacity;
  }

  std::unique_ptr<char[]> FData;
  std::size_t FSize = 0;
  std::size_t FCapacity = 0;
  std::size_t FEntries = 0;
};

// Takes the queue's lock. It is held for a few copies at a time, so a short spin first keeps
// a caller and the writer that meet on it from sleeping in the kernel (and the other from
// paying the wake-up).
void LockQueue(std::unique_lock<std::mutex>& ALock) {
  for (int i = 0; i < 100; ++i) {
    if (ALock.try_lock()) return;
    __builtin_ia32_pause();
  }
  ALock.lock();
}

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
  std::shared_ptr<TZELRollingFileSink> FileSink;

  std::mutex Lock;  // guards everything below up to the thread
  std::condition_variable WriterWake;  // the writer sleeps on it with an empty queue
  std::condition_variable Room;        // callers wait on it while the queue is full
  std::condition_variable Written;     // Flush waits on it
  TBatch Queue;
  bool WriterAsleep = false;
  bool Stopped = false;
  int WaitingForRoom = 0;
  std::uint64_t Queued = 0;   // entries queued since the start
  std::uint64_t InFile = 0;   // of those, entries in the file (or on standard error)
  std::uint64_t FlushTarget = 0;  // the largest Queued a Flush waits for

  std::mutex StopLock;
  std::thread Writer;

  bool Full(std::size_t AEntrySize) const {
    return Queue.Entries() >= cQueueItems ||
           (Queue.Entries() != 0 && Queue.Size() + AEntrySize > cQueueBytes);
  }

  // Queues one entry: its head and tag, then ATextSize bytes and AArgsSize more that AFill
  // writes. False after shutdown (the entry was not queued).
  template <class F>
  bool Push(TLogType AType, std::string_view ATag, std::size_t ATextSize, std::size_t AArgsSize,
            decltype(TEntryHead::Render) ARender, F&& AFill) {
    TEntryHead head;
    head.Type = AType;
    head.TagSize = ATag.size();
    head.TextSize = ATextSize;
    head.Size = sizeof head + ATag.size() + ATextSize + AArgsSize;
    head.Time = std::chrono::system_clock::now().time_since_epoch().count();
    head.ThreadID = spdlog::details::os::thread_id();
    head.Render = ARender;
    bool wake = false;
    {
      std::unique_lock lock(Lock, std::defer_lock);
      LockQueue(lock);
      if (Stopped) return false;
      // A caller that waits here when Shutdown comes still has its entry written: the
      // writer ends only when no caller waits.
      if (Full(head.Size)) {
        ++WaitingForRoom;
        Room.wait(lock, [&] { return !Full(head.Size); });
        --WaitingForRoom;
      }
      char* at = Queue.Append(head.Size);
      std::memcpy(at, &head, sizeof head);
      at += sizeof head;
      if (!ATag.empty()) std::memcpy(at, ATag.data(), ATag.size());
      AFill(at + ATag.size());
      ++Queued;
      wake = std::exchange(WriterAsleep, false);
    }
    if (wake) WriterWake.notify_one();
    return true;
  }

  void Run();
  void WriteBatch(const TBatch& ABatch, fmt::memory_buffer& AText);
};

void TLogWriter::TImpl::Run() {
  pthread_setname_np(pthread_self(), "ZELLog");
  TBatch batch;
  fmt::memory_buffer text;
  std::uint64_t done = 0;  // entries handed to the sink
  std::unique_lock lock(Lock, std::defer_lock);
  LockQueue(lock);
  for (;;) {
    // Dry, or a Flush waits for what is done: the gathered lines go to the file.
    if (done > InFile && (Queue.Entries() == 0 || FlushTarget > InFile)) {
      lock.unlock();
      try {
        FileSink->flush();
      } catch (...) {
        // The sink reports its own failures; nothing may end this thread.
      }
      LockQueue(lock);
      InFile = done;
      Written.notify_all();
      continue;
    }
    if (Queue.Entries() == 0) {
      if (Stopped && WaitingForRoom == 0) break;
      WriterAsleep = true;
      WriterWake.wait(lock);
      WriterAsleep = false;
      continue;
    }
    batch.Swap(Queue);
    if (WaitingForRoom != 0) Room.notify_all();
    lock.unlock();
    WriteBatch(batch, text);
    done += batch.Entries();
    batch.Clear();
    LockQueue(lock);
  }
}

void TLogWriter::TImpl::WriteBatch(const TBatch& ABatch, fmt::memory_buffer& AText) {
  const char* at = ABatch.Data();
  const char* const end = at + ABatch.Size();
  while (at < end) {
    TEntryHead head;
    std::memcpy(&head, at, sizeof head);
    const char* tag = at + sizeof head;
    const char* body = tag + head.TagSize;
    TLogItem item;
    item.LogType = head.Type;
    item.Tag = std::string_view(tag, head.TagSize);
    item.TimeStamp = std::chrono::system_clock::time_point(std::chrono::system_clock::duration(head.Time));
    item.ThreadID = head.ThreadID;
    try {
      if (head.Render) {
        AText.clear();
        try {
          head.Render(AText, fmt::string_view(body, head.TextSize), body + head.TextSize);
          item.Message = std::string_view(AText.data(), AText.size());
        } catch (const std::exception& E) {
          AText.clear();
          fmt::format_to(std::back_inserter(AText), "{} (the message could not be made: {})",
                         std::string_view(body, head.TextSize), E.what());
          item.Message = std::string_view(AText.data(), AText.size());
        }
      } else {
        item.Message = std::string_view(body, head.TextSize);
      }
      FileSink->Gather(item);
    } catch (...) {
      // Out of memory or a sink fault: the entry is lost, the writer goes on.
    }
    at += head.Size;
  }
}

TLogWriter::TLogWriter(const std::string& AFolder, const std::string& AModule,
                       std::int64_t AMaxFileSize, int AMaxFiles)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->FileSink = std::make_shared<TZELRollingFileSink>(AFolder, AModule, AMaxFileSize, AMaxFiles);
  FImpl->Writer = std::thread([I = FImpl.get()] { I->Run(); });
}

TLogWriter::~TLogWriter() { Shutdown(); }

void TLogWriter::Log(TLogType AType, std::string_view ATag, std::string_view AMessage) {
  if (LogsPipe::GCaptureCount.load(std::memory_order_relaxed) != 0)
    LogsPipe::RecordForCaptures(AType, ATag, AMessage);
  const bool queued = FImpl->Push(AType, ATag, AMessage.size(), 0, nullptr, [&](char* AOut) {
    if (!AMessage.empty()) std::memcpy(AOut, AMessage.data(), AMessage.size());
  });
  if (!queued) WriteToStderr(AType, ATag, AMessage);
}

void TLogWriter::LogDeferred(TLogType AType, std::string_view ATag, const LogsPipe::TDeferredFmt& AMessage) {
  // A capture needs the text now; so does standard error.
  if (LogsPipe::GCaptureCount.load(std::memory_order_relaxed) != 0) {
    Log(AType, ATag, AMessage.Text());
    return;
  }
  const bool queued = FImpl->Push(AType, ATag, AMessage.Format.size(), AMessage.ArgsSize, AMessage.Render,
                                  [&](char* AOut) {
                                    if (AMessage.Format.size() != 0)
                                      std::memcpy(AOut, AMessage.Format.data(), AMessage.Format.size());
                                    AMessage.PackArgs(AMessage.Args, AOut + AMessage.Format.size());
                                  });
  if (!queued) WriteToStderr(AType, ATag, AMessage.Text());
}

void TLogWriter::Flush() {
  while (!Flush(std::chrono::hours(1))) {
  }
}

bool TLogWriter::Flush(std::chrono::milliseconds ATimeout) {
  TImpl& I = *FImpl;
  std::unique_lock lock(I.Lock);
  const std::uint64_t target = I.Queued;
  if (I.InFile >= target) return true;
  I.FlushTarget = std::max(I.FlushTarget, target);
  if (std::exchange(I.WriterAsleep, false)) I.WriterWake.notify_one();
  return I.Written.wait_for(lock, ATimeout, [&] { return I.InFile >= target; });
}

void TLogWriter::Shutdown() {
  TImpl& I = *FImpl;
  std::lock_guard stop(I.StopLock);
  {
    std::lock_guard lock(I.Lock);
    if (I.Stopped) return;
    I.Stopped = true;
    I.WriterAsleep = false;
  }
  // The writer writes every queued entry, then ends.
  I.WriterWake.notify_one();
  if (I.Writer.joinable()) I.Writer.join();
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

std::string TDeferredFmt::Text() const {
  std::string packed(ArgsSize, '\0');
  PackArgs(Args, packed.data());
  fmt::memory_buffer out;
  Render(out, Format, packed.data());
  return fmt::to_string(out);
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
