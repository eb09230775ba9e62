#pragma once
// The settings file as its users see it: typed (section, key) values behind a lock barrier
// that refuses a second lock at once instead of waiting.

#include "ZEL.Exceptions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ZEL {

// Raised by a lock barrier that is taken already.
ZEL_DECLARE_EXCEPTION(ELockException, EZELException)

class ISyncBarrier {
public:
  static constexpr std::string_view TypeName = "ISyncBarrier";
  static constexpr const char* IID = "{175C3FA1-E760-4CCA-8EF0-8A54111D21BF}";

  virtual ~ISyncBarrier() = default;

  // Raises ELockException when the barrier is locked already, by anybody.
  virtual void BarrierLock() = 0;
  virtual bool BarrierIsLocked() = 0;
  virtual void BarrierUnlock() = 0;
};

// Every read and write takes the barrier and, when it lets it go, writes the whole file.
// Reads give the stored value, or ADefaultValue when the key is missing or unreadable.
class IZELSettingsFile : public virtual ISyncBarrier {
public:
  static constexpr std::string_view TypeName = "IZELSettingsFile";
  static constexpr const char* IID = "{A5DBDB5D-23FE-45FC-A193-E204BD994772}";

  // The implementing object itself.
  virtual void* GetImplementor() = 0;

  virtual std::string ReadString(std::string_view ACategory, std::string_view AParam,
                                 std::string_view ADefaultValue) = 0;
  virtual void WriteString(std::string_view ACategory, std::string_view AParam,
                           std::string_view AValue) = 0;
  // Decimal, or hexadecimal after "0x".
  virtual std::int32_t ReadInteger(std::string_view ACategory, std::string_view AParam,
                                   std::int32_t ADefaultValue) = 0;
  virtual void WriteInteger(std::string_view ACategory, std::string_view AParam,
                            std::int32_t AValue) = 0;
  virtual std::int64_t ReadInt64(std::string_view ACategory, std::string_view AParam,
                                 std::int64_t ADefaultValue) = 0;
  virtual void WriteInt64(std::string_view ACategory, std::string_view AParam,
                          std::int64_t AValue) = 0;
  // Read as an integer; anything but 0 is true. Written as "1" or "0".
  virtual bool ReadBool(std::string_view ACategory, std::string_view AParam,
                        bool ADefaultValue) = 0;
  virtual void WriteBool(std::string_view ACategory, std::string_view AParam, bool AValue) = 0;
  // Reals in the C locale.
  virtual double ReadDouble(std::string_view ACategory, std::string_view AParam,
                            double ADefaultValue) = 0;
  virtual void WriteDouble(std::string_view ACategory, std::string_view AParam,
                           double AValue) = 0;
};

}  // namespace ZEL
