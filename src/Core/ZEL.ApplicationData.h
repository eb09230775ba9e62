#pragma once
// What the program remembers between runs: the refresh token for the next sign-in and the
// user's two push-topic preferences, kept in the settings file.

#include "ZEL.SettingsFile.Interf.h"
#include "ZEL.ViewHost.Interf.h"

#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class TApplicationData final : public IApplicationData {
public:
  static constexpr std::string_view TypeName = "TApplicationData";

  // Opens the settings file (TZELSettingsFileIni over its default path) and loads it.
  // Failures reading or writing the file reach the caller.
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
  // Writes the token of GetFirebaseRefreshToken and both preferences.
  void SaveSettings() override;
  // Reads the token and both preferences; when both preferences are set, keeps only the
  // non-escalated one and writes the values back at once.
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

}  // namespace ZEL::ApplicationData
