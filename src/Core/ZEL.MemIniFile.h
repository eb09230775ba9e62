#pragma once
// An INI file kept in memory: read once at creation, written whole on request. Sections and
// keys keep the order in which they first appeared and the spelling they first had; names
// are matched without regard to ASCII case. Not thread-safe; the settings file guards it.

#include "ZEL.Exceptions.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

// A file that exists could not be read.
ZEL_DECLARE_EXCEPTION(EFOpenError, EZELException)
// The file could not be written.
ZEL_DECLARE_EXCEPTION(EFCreateError, EZELException)

class TZELMemIniFile {
public:
  static constexpr std::string_view TypeName = "TZELMemIniFile";

  // Reads AFileName when it is an existing file (EFOpenError when that fails); otherwise
  // starts empty.
  explicit TZELMemIniFile(std::string AFileName);

  const std::string& FileName() const { return FFileName; }

  // The stored text, also when it is empty; nothing when the key is missing.
  std::optional<std::string> Find(std::string_view ASection, std::string_view AKey) const;

  std::string ReadString(std::string_view ASection, std::string_view AKey,
                         std::string_view ADefault) const;
  std::int32_t ReadInteger(std::string_view ASection, std::string_view AKey,
                           std::int32_t ADefault) const;
  std::int64_t ReadInt64(std::string_view ASection, std::string_view AKey,
                         std::int64_t ADefault) const;
  bool ReadBool(std::string_view ASection, std::string_view AKey, bool ADefault) const;
  double ReadDouble(std::string_view ASection, std::string_view AKey, double ADefault) const;

  void WriteString(std::string_view ASection, std::string_view AKey, std::string_view AValue);
  void WriteInteger(std::string_view ASection, std::string_view AKey, std::int32_t AValue);
  void WriteInt64(std::string_view ASection, std::string_view AKey, std::int64_t AValue);
  void WriteBool(std::string_view ASection, std::string_view AKey, bool AValue);
  void WriteDouble(std::string_view ASection, std::string_view AKey, double AValue);

  // Replaces the content with the parsed text (UTF-8, or UTF-16 with a byte-order mark).
  void SetText(std::string_view AText);
  // The content as the file holds it: UTF-8 without a byte-order mark, LF line ends.
  std::string Text() const;

  // Writes Text() to the file, atomically, when the content changed since it was read or last
  // written (a read alone writes nothing); EFCreateError when that fails, and the next
  // UpdateFile tries again.
  void UpdateFile();
  bool Modified() const { return FModified; }

private:
  struct TKey {
    std::string Name;
    std::string Value;
  };
  struct TSection {
    std::string Name;
    std::vector<TKey> Keys;
  };

  const TKey* FindKey(std::string_view ASection, std::string_view AKey) const;
  TKey& KeyForWrite(std::string_view ASection, std::string_view AKey);

  std::string FFileName;
  std::vector<TSection> FSections;
  bool FModified = false;
};

}  // namespace ZEL

namespace ZEL::MemIniFile {

// Integer text: optional sign and decimal digits, or "0x"/"0X" and hex digits (read as the
// bit pattern of ABits bits). Blanks around are ignored. Nothing when unreadable or out of
// range.
std::optional<std::int64_t> ParseInteger(std::string_view AText, int ABits);

// Real text in the C locale; nothing when unreadable.
std::optional<double> ParseReal(std::string_view AText);

// The shortest text that reads back as the same value, in the C locale.
std::string RealToText(double AValue);

// Writes ABytes to APath through a temporary file in the same folder and a rename, so the
// path holds the old content or the new one, never a part. Every write, the flush and the
// close are checked before the rename: on a full disk the old file stays. The file is the
// user's alone (0600), as are the folders it makes (0700). EFCreateError on failure. AMidWrite, for tests, runs when half the bytes are written.
void WriteFileAtomically(const std::string& APath, std::string_view ABytes,
                         const std::function<void()>& AMidWrite = nullptr);

}  // namespace ZEL::MemIniFile
