#include "ZEL.Core.Integrations.Firebase.h"

#include "ZEL.ApplicationData.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"
#include "ZEL.SettingsFile.Interf.h"
#include "ZEL.ViewHost.Interf.h"

#include <fmt/format.h>

#include <random>

namespace ZEL {

namespace {

std::string NewDeviceId() {
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) id += fmt::format("{:08x}", random());
  return id;
}

}  // namespace

TFirebaseCloudMessaging::TFirebaseCloudMessaging(bool) {
  LogsPipe::ZELLog().Warn("ZELFirebaseService.Create", "Firebase service is not working outside of Mobile environment!");
}

std::string TFirebaseCloudMessaging::GetDevicedID() {
  std::lock_guard guard(FLock);
  if (!FDeviceId.empty()) return FDeviceId;
  const auto appData = Services::Container::ZELServiceLocator()->GetService<IApplicationData>();
  const auto settings = appData ? appData->GetSettingsFile() : nullptr;
  if (!settings) return {};
  constexpr std::string_view tag = "ZELFirebaseService.GetDevicedID";
  // A settings file that cannot be written is reported; the id is still this run's.
  std::string id = ApplicationData::ReadStringOrHeld(*settings, tag, DeviceSection, DeviceKey, "");
  if (id.empty()) {
    id = NewDeviceId();
    ApplicationData::WriteOrReport(tag, [&] { settings->WriteString(DeviceSection, DeviceKey, id); });
    LogsPipe::ZELLog().Info(tag, "New device id made for this installation.");
  }
  FDeviceId = id;
  return FDeviceId;
}

std::string TFirebaseCloudMessaging::GetDeviceToken() { return {}; }

std::vector<TPushServiceNotification> TFirebaseCloudMessaging::GetStartupNotifications() {
  const std::string tag = "ZELFirebaseService.GetStartupNotifications";
  LogsPipe::ZELLog().Debug(tag, "Getting startup notifications....");
  // No push service named "fcm" exists on the desktop.
  LogsPipe::ZELLog().Debug(tag, "Getting startup notifications end. Count: NULL");
  return {};
}

void TFirebaseCloudMessaging::SubscribeToTopic(const std::string&) {}

void TFirebaseCloudMessaging::UnsubscribeFromTopic(const std::string&) {}

}  // namespace ZEL
