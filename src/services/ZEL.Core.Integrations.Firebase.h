#pragma once
// Push messaging on the desktop: there is no platform push service, so topics and start-up
// notifications are inert. The device id is ours: a random id made once per installation
// and kept in the settings file, so that two running clients of one user get two broker
// client ids ("<uid>-<device id>").

#include "ZEL.Core.Integrations.Firebase.Interf.h"

#include <mutex>
#include <string>
#include <string_view>

namespace ZEL {

class TFirebaseCloudMessaging : public IFirebaseCloudMessaging {
public:
  static constexpr std::string_view TypeName = "TFirebaseCloudMessaging";
  // Where the device id is kept in the settings file.
  static constexpr std::string_view DeviceSection = "Device";
  static constexpr std::string_view DeviceKey = "PushDeviceID";

  // AIsGranted is accepted and not used on the desktop.
  explicit TFirebaseCloudMessaging(bool AIsGranted);

  // The installation's device id, made and saved at the first call (kept for the run when
  // the settings file cannot be written); empty while no application data (settings file)
  // is registered.
  std::string GetDevicedID() override;
  std::string GetDeviceToken() override;
  std::vector<TPushServiceNotification> GetStartupNotifications() override;
  void SubscribeToTopic(const std::string& ATopic) override;
  void UnsubscribeFromTopic(const std::string& ATopic) override;

private:
  std::mutex FLock;
  std::string FDeviceId;
};

}  // namespace ZEL
