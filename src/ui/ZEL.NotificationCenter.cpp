#include "ZEL.NotificationCenter.h"

#include "ZEL.LogsPipe.h"

#include <fmt/format.h>

#include <algorithm>

namespace ZEL {

void TNotificationCenter::CreateOrUpdateChannel(const TNotificationChannel& AChannel) {
  auto LIt = std::find_if(FChannels.begin(), FChannels.end(),
                          [&](const TNotificationChannel& C) { return C.Id == AChannel.Id; });
  const bool LNew = LIt == FChannels.end();
  if (LNew) {
    FChannels.push_back(AChannel);
  } else {
    *LIt = AChannel;
  }
  LogsPipe::ZELLog().DebugFmt(NotificationCenter::LogTag, "Channel \"{}\" {}: Title = \"{}\" Description = \"{}\" Lockscreen = {}",
                              AChannel.Id, LNew ? "created" : "updated", AChannel.Title, AChannel.Description,
                              NotificationCenter::ToString(AChannel.LockscreenVisibility));
}

void TNotificationCenter::RequestPermission() {
  if (OnPermissionRequestResult) OnPermissionRequestResult(true);
}

void TNotificationCenter::PresentNotification(const TLocalNotification& ANotification) {
  if (OnReceiveLocalNotification) OnReceiveLocalNotification(ANotification);
}

}  // namespace ZEL

namespace ZEL::NotificationCenter {

std::string_view ToString(TLockscreenVisibility AVisibility) {
  switch (AVisibility) {
    case TLockscreenVisibility::Public: return "Public";
    case TLockscreenVisibility::Private: return "Private";
    case TLockscreenVisibility::Secret: return "Secret";
  }
  return "Public";
}

std::string PermissionResultText(bool AIsGranted) {
  return std::string("Grant to notifications center = ") + (AIsGranted ? "True" : "False");
}

std::string ReceivedNotificationText(const TLocalNotification& ANotification) {
  return fmt::format(
      "Received a notification: \r\nName: \"{}\"\r\nTitle: \"{}\"\r\nNumber: \"{}\"\r\nHasAction: \"{}\"\r\n"
      "Channel ID: \"{}\"",
      ANotification.Name, ANotification.Title, ANotification.Number, ANotification.HasAction ? "-1" : "0",
      ANotification.ChannelId);
}

}  // namespace ZEL::NotificationCenter
