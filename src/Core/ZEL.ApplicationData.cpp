#include "ZEL.ApplicationData.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MemIniFile.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.SettingsFile.INIFile.h"

#include <fmt/format.h>

#include <atomic>

namespace ZEL::ApplicationData {

namespace {

// Whether the user has been told that the settings cannot be written, since the last write
// that went through.
std::atomic<bool> GUserTold{false};

void Report(std::string_view ATag, const EFCreateError& AError) {
  LogsPipe::ZELLog().ErrorFmt(ATag, "Settings not saved. {}: {}", Exceptions::ClassNameOf(AError), AError.what());
  if (GUserTold.exchange(true)) return;
  std::string text = NotSavedText(AError.what());
  TZELMessager<TSettingsNotSavedMessage>::Send(
      [&] { return std::make_unique<TSettingsNotSavedMessage>(std::move(text)); });
}

}  // namespace

std::string NotSavedText(std::string_view AError) {
  return fmt::format("The settings could not be saved ({}). The application goes on with its current settings.",
                     AError);
}

bool WriteOrReport(std::string_view ATag, const std::function<void()>& AWrite) {
  try {
    AWrite();
  } catch (const EFCreateError& E) {
    Report(ATag, E);
    return false;
  }
  GUserTold.store(false);
  return true;
}

std::string ReadStringOrHeld(IZELSettingsFile& AFile, std::string_view ATag, std::string_view ACategory,
                             std::string_view AParam, std::string_view ADefaultValue) {
  try {
    std::string text = AFile.ReadString(ACategory, AParam, ADefaultValue);
    GUserTold.store(false);
    return text;
  } catch (const EFCreateError& E) {
    Report(ATag, E);
  }
  if (auto* file = dynamic_cast<TZELSettingsFileIni*>(&AFile)) return file->HeldString(ACategory, AParam, ADefaultValue);
  return std::string(ADefaultValue);
}

}  // namespace ZEL::ApplicationData

namespace ZEL {

using namespace ZEL::ApplicationData;

TApplicationData::TApplicationData() : FSettingsFile(std::make_shared<TZELSettingsFileIni>()) {
  // A new run's settings: its first failed write is told again.
  GUserTold.store(false);
  LoadSettings();
}

TApplicationData::~TApplicationData() = default;

std::shared_ptr<IZELSettingsFile> TApplicationData::GetSettingsFile() { return FSettingsFile; }

std::string TApplicationData::GetFirebaseRefreshToken() {
  std::shared_ptr<IAuthService> auth;
  try {
    auth = Services::Container::GlobalServiceLocator()->GetService<IAuthService>();
  } catch (const EIocResolverError&) {
    // handled below, as a missing service
  }
  if (!auth) {
    // A broken start-up order, not a normal result; the remembered token is still right.
    LogsPipe::ZELLog().Error("TApplicationData.GetFirebaseRefreshToken",
                             "Assertion failure (src/Core/ZEL.ApplicationData): "
                             "IAuthService is not available; the saved refresh token is used.");
    return fRefreshToken;
  }
  std::string token;
  if (auth->GetAuthorized() || !auth->GetIsSignoutByUser()) token = auth->FirebaseRefreshToken();
  if (!token.empty()) fRefreshToken = token;
  return fRefreshToken;
}

bool TApplicationData::GetUserEscalatedSubscribe() { return FUserEscSub; }

void TApplicationData::SetUserEscalatedSubscribe(bool Value) { FUserEscSub = Value; }

bool TApplicationData::GetUserNonEscalatedSubscribe() { return FUserNonEscSub; }

void TApplicationData::SetUserNonEscalatedSubscribe(bool Value) { FUserNonEscSub = Value; }

void TApplicationData::ForgetSavedFBToken() { fRefreshToken.clear(); }

void TApplicationData::WriteSettings(const std::string& AToken) {
  FSettingsFile->WriteString(SectionToken, KeyRefreshToken, AToken);
  FSettingsFile->WriteBool(SectionUserPrefs, KeyUserEscalatedSubscribe, FUserEscSub);
  FSettingsFile->WriteBool(SectionUserPrefs, KeyUserNonEscalatedSubscribe, FUserNonEscSub);
}

void TApplicationData::SaveSettings() { WriteSettings(GetFirebaseRefreshToken()); }

void TApplicationData::LoadSettings() {
  fRefreshToken = FSettingsFile->ReadString(SectionToken, KeyRefreshToken, "");
  FUserEscSub = FSettingsFile->ReadBool(SectionUserPrefs, KeyUserEscalatedSubscribe, false);
  FUserNonEscSub = FSettingsFile->ReadBool(SectionUserPrefs, KeyUserNonEscalatedSubscribe, false);
  if (FUserEscSub && FUserNonEscSub) {
    FUserNonEscSub = true;
    FUserEscSub = false;
    // Loading runs while the global container is being built, when the authentication
    // service cannot be asked yet: write the token just read. The start goes on with the
    // values read when the file cannot be written.
    WriteOrReport("TApplicationData.LoadSettings", [this] { WriteSettings(fRefreshToken); });
  }
}

}  // namespace ZEL
