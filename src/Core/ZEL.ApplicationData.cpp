#include "ZEL.ApplicationData.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"
#include "ZEL.SettingsFile.INIFile.h"

namespace ZEL {

using namespace ZEL::ApplicationData;

TApplicationData::TApplicationData() : FSettingsFile(std::make_shared<TZELSettingsFileIni>()) {
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
    // service cannot be asked yet: write the token just read.
    WriteSettings(fRefreshToken);
  }
}

}  // namespace ZEL
