#pragma once
// The lock barrier and the settings file "ZELSettings.mem" built on it.

#include "ZEL.MemIniFile.h"
#include "ZEL.SettingsFile.Interf.h"

#include <fmt/format.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace ZEL {

// A critical section with a locked flag, guarding one object of type T. A lock while the
// flag is set is refused at once, on any thread, instead of waiting; two callers that pass
// the test together queue at the critical section.
template <class T>
class TZELThreadSafeObject : public virtual ISyncBarrier {
public:
  static constexpr std::string_view TypeName = "TZELThreadSafeObject";

  TZELThreadSafeObject() = default;
  ~TZELThreadSafeObject() override = default;
  TZELThreadSafeObject(const TZELThreadSafeObject&) = delete;
  TZELThreadSafeObject& operator=(const TZELThreadSafeObject&) = delete;

  void BarrierLock() override {
    if (FLocked.load())
      throw ELockException(fmt::format("Object ({}) is locked already.", ClassName()));
    FCS.lock();
    FOwner.store(std::this_thread::get_id());
    FLocked.store(true);
  }

  bool BarrierIsLocked() override { return FLocked.load(); }

  // Only the holder lets the barrier go; from anybody else it is a no-op, since leaving a
  // critical section that one does not hold would break it for the holder.
  void BarrierUnlock() override {
    if (!HeldByCallingThread()) return;
    FOwner.store(std::thread::id());
    FLocked.store(false);  // cleared before leaving, so a waiter's flag is never wiped
    FCS.unlock();
  }

  // The class name that the refusal's message names.
  virtual std::string_view ClassName() const { return TypeName; }

protected:
  bool HeldByCallingThread() const {
    return FLocked.load() && FOwner.load() == std::this_thread::get_id();
  }

  std::mutex FCS;
  std::atomic<bool> FLocked{false};
  std::unique_ptr<T> FContainer;  // set by the derived class

private:
  std::atomic<std::thread::id> FOwner{};
};

// The settings file: every read and write takes the barrier, works on the in-memory copy
// and, when the barrier goes, writes the whole file. The file is read once, at creation.
class TZELSettingsFileIni final : public TZELThreadSafeObject<TZELMemIniFile>,
                                  public IZELSettingsFile {
public:
  static constexpr std::string_view TypeName = "TZELSettingsFileIni";

  // Over ZEL::SettingsFile::INIFile::SettingsFilePath(). Reading failures (EFOpenError)
  // reach the caller.
  TZELSettingsFileIni();
  explicit TZELSettingsFileIni(std::string AFileName);
  // Frees the in-memory copy without writing.
  ~TZELSettingsFileIni() override;

  std::string_view ClassName() const override { return TypeName; }
  const std::string& FileName() const { return FContainer->FileName(); }

  // Writes the file (also when not locked), then lets the barrier go; the barrier goes
  // even when the write fails, and the write's EFCreateError still reaches the caller.
  void BarrierUnlock() override;

  void* GetImplementor() override { return this; }

  // The text held in memory for the key (ADefaultValue when missing), without writing the
  // file: what a read gives while a change waiting to be written cannot be.
  std::string HeldString(std::string_view ACategory, std::string_view AParam, std::string_view ADefaultValue);

  std::string ReadString(std::string_view ACategory, std::string_view AParam,
                         std::string_view ADefaultValue) override;
  void WriteString(std::string_view ACategory, std::string_view AParam,
                   std::string_view AValue) override;
  std::int32_t ReadInteger(std::string_view ACategory, std::string_view AParam,
                           std::int32_t ADefaultValue) override;
  void WriteInteger(std::string_view ACategory, std::string_view AParam,
                    std::int32_t AValue) override;
  std::int64_t ReadInt64(std::string_view ACategory, std::string_view AParam,
                         std::int64_t ADefaultValue) override;
  void WriteInt64(std::string_view ACategory, std::string_view AParam,
                  std::int64_t AValue) override;
  bool ReadBool(std::string_view ACategory, std::string_view AParam,
                bool ADefaultValue) override;
  void WriteBool(std::string_view ACategory, std::string_view AParam, bool AValue) override;
  double ReadDouble(std::string_view ACategory, std::string_view AParam,
                    double ADefaultValue) override;
  void WriteDouble(std::string_view ACategory, std::string_view AParam,
                   double AValue) override;

private:
  // Lock, the operation, unlock; the unlock runs whatever the operation does.
  void RunLocked(const std::function<void(TZELMemIniFile&)>& AOperation);
  void WriteContent();
};

}  // namespace ZEL

namespace ZEL::SettingsFile::INIFile {

inline constexpr std::string_view SettingsFileName = "ZELSettings.mem";

// The user's documents folder; $ZEL_SETTINGS_DIR, when set and not empty, replaces it.
std::string SettingsFolder();

// SettingsFolder() joined with "ZELSettings.mem".
std::string SettingsFilePath();

}  // namespace ZEL::SettingsFile::INIFile
