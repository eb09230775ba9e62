#pragma once
// The desktop has no platform notification center: this small one keeps the channels the
// program creates (and logs them) and raises the two events a platform center would, so
// that the start-up data module's handlers behave as they do elsewhere.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {

enum class TLockscreenVisibility { Public, Private, Secret };

struct TNotificationChannel {
  std::string Id;
  std::string Title;
  std::string Description;
  TLockscreenVisibility LockscreenVisibility = TLockscreenVisibility::Public;
};

struct TLocalNotification {
  std::string Name;
  std::string Title;
  int Number = 0;
  bool HasAction = false;
  std::string ChannelId;
};

class TNotificationCenter {
public:
  static constexpr std::string_view TypeName = "TNotificationCenter";

  using TPermissionResultEvent = std::function<void(bool AIsGranted)>;
  using TReceiveLocalNotificationEvent = std::function<void(const TLocalNotification& ANotification)>;

  // Adds the channel, or replaces the one with the same id in its place.
  void CreateOrUpdateChannel(const TNotificationChannel& AChannel);
  const std::vector<TNotificationChannel>& Channels() const { return FChannels; }

  // Nothing to ask on the desktop: the result (granted) is raised at once.
  void RequestPermission();
  // Raises the receive event for a notification presented by the program itself.
  void PresentNotification(const TLocalNotification& ANotification);

  TPermissionResultEvent OnPermissionRequestResult;
  TReceiveLocalNotificationEvent OnReceiveLocalNotification;

private:
  std::vector<TNotificationChannel> FChannels;
};

}  // namespace ZEL

namespace ZEL::NotificationCenter {

inline constexpr std::string_view LogTag = "Notifications Center";

std::string_view ToString(TLockscreenVisibility AVisibility);

// The handlers' log texts.
std::string PermissionResultText(bool AIsGranted);
std::string ReceivedNotificationText(const TLocalNotification& ANotification);

}  // namespace ZEL::NotificationCenter
