#pragma once
// What the program remembers between runs: the refresh token for the next sign-in and the
// user's two push-topic preferences, kept in the settings file.

#include "ZEL.SettingsFile.Interf.h"
#include "ZEL.ViewHost.Interf.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class TApplicationData final : public IApplicationData {
public:
  static constexpr std::string_view TypeName = "TApplicationData";

  // Opens the settings file (TZELSettingsFileIni over its default path) and loads it.
  // Failures reading the file reach the caller; a write that fails is reported
  // (ZEL::ApplicationData::WriteOrReport) and the values read are kept.
  TApplicationData();
  // Releases the settings file without writing it.
  ~TApplicationData() override;
  TApplicationData(const TApplicationData&) = delete;
  TApplicationData& operator=(const TApplicationData&) = delete;

  std::shared_ptr<IZELSettingsFile> GetSettingsFile() override;
  // The authentication service's current refresh token when it has one (remembered from
  // then on), else the remembered one. Empty once the user signed out and
  // ForgetSavedFBToken ran.
  std::string GetFirebaseRefreshToken() override;
  bool GetUserEscalatedSubscribe() override;
  void SetUserEscalatedSubscribe(bool Value) override;
  bool GetUserNonEscalatedSubscribe() override;
  void SetUserNonEscalatedSubscribe(bool Value) override;
  // Empties the remembered token; nothing is written until SaveSettings.
  void ForgetSavedFBToken() override;
  // Writes the token of GetFirebaseRefreshToken and both preferences. EFCreateError when
  // the file cannot be written; the values stay in memory.
  void SaveSettings() override;
  // Reads the token and both preferences; when both preferences are set, keeps only the
  // non-escalated one and writes the values back at once (a failure of that write is
  // reported, not raised).
  void LoadSettings() override;

private:
  void WriteSettings(const std::string& AToken);

  std::string fRefreshToken;
  bool FUserEscSub = false;
  bool FUserNonEscSub = false;
  std::shared_ptr<IZELSettingsFile> FSettingsFile;
};

}  // namespace ZEL

namespace ZEL::ApplicationData {

// Sections and keys of the settings file.
inline constexpr std::string_view SectionToken = "Token";
inline constexpr std::string_view KeyRefreshToken = "RefreshToken";
inline constexpr std::string_view SectionUserPrefs = "UserPrefs";
inline constexpr std::string_view KeyUserEscalatedSubscribe = "UserEscalatedSubscribe";
inline constexpr std::string_view KeyUserNonEscalatedSubscribe = "UserNonEscalatedSubscribe";

// What the user is told when the settings file cannot be written; AError names the file and
// the system's reason.
std::string NotSavedText(std::string_view AError);

// Runs AWrite, a write to the settings file. When the file cannot be written (EFCreateError)
// the values stay in memory, the failure is logged under ATag, the user is told through
// TSettingsNotSavedMessage (once, until a write goes through again or a new application
// data is made) and false comes back. Other failures pass on.
bool WriteOrReport(std::string_view ATag, const std::function<void()>& AWrite);

// AFile's text for the key. When a change waiting to be written cannot be written now, that
// is reported as by WriteOrReport and the text held in memory is given all the same.
std::string ReadStringOrHeld(IZELSettingsFile& AFile, std::string_view ATag, std::string_view ACategory,
                             std::string_view AParam, std::string_view ADefaultValue);

}  // namespace ZEL::ApplicationData
