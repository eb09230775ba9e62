#pragma once
// The push messaging service: device id and token, start-up notifications, push topics.

#include "ZEL.PushNotification.h"
#include "ZEL.Services.ContainerKind.h"

#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

class IFirebaseCloudMessaging {
public:
  static constexpr std::string_view TypeName = "IFirebaseCloudMessaging";
  static constexpr const char* IID = "{B7EA4869-77EB-4CC1-808D-3D35ACE181F1}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::Global;

  virtual ~IFirebaseCloudMessaging() = default;

  virtual std::string GetDevicedID() = 0;
  virtual std::string GetDeviceToken() = 0;
  virtual std::vector<TPushServiceNotification> GetStartupNotifications() = 0;
  virtual void SubscribeToTopic(const std::string& ATopic) = 0;
  virtual void UnsubscribeFromTopic(const std::string& ATopic) = 0;
};

}  // namespace ZEL
