#pragma once
// The application data service: the settings file and the user's push-topic choices.

#include "ZEL.Services.ContainerKind.h"

#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class IZELSettingsFile;

class IApplicationData {
public:
  static constexpr std::string_view TypeName = "IApplicationData";
  static constexpr const char* IID = "{99D21297-25FB-4D08-B929-8B88188B0E3D}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::Global;

  virtual ~IApplicationData() = default;

  virtual std::shared_ptr<IZELSettingsFile> GetSettingsFile() = 0;
  virtual std::string GetFirebaseRefreshToken() = 0;
  virtual bool GetUserEscalatedSubscribe() = 0;
  virtual void SetUserEscalatedSubscribe(bool Value) = 0;
  virtual bool GetUserNonEscalatedSubscribe() = 0;
  virtual void SetUserNonEscalatedSubscribe(bool Value) = 0;
  virtual void ForgetSavedFBToken() = 0;
  virtual void SaveSettings() = 0;
  virtual void LoadSettings() = 0;
};

}  // namespace ZEL
