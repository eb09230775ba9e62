#include "ZEL.DM.Startup.h"

#include "ZEL.Core.Integrations.Firebase.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"

namespace ZEL {

namespace {
constexpr std::string_view cTag = "DMStartup";
}

const std::array<TNotificationChannel, 3>& TDMStartup::ChannelTable() {
  static const std::array<TNotificationChannel, 3> LTable = {{
      {"zeldefault", "Default", "Other uncategorized notifications.", TLockscreenVisibility::Public},
      {"Events", "Events", "New events (alarms).", TLockscreenVisibility::Private},
      {"EventUpdates", "Updates", "Event acknowledgement.", TLockscreenVisibility::Private},
  }};
  return LTable;
}

TDMStartup::TDMStartup(TZELMainActivity* AStartupWindow, QObject* AParent)
    : QObject(AParent), FStartupWindow(AStartupWindow) {
  setObjectName("DMStartup");
  NotificationCenter.OnPermissionRequestResult = [this](bool AIsGranted) {
    NotificationCenterPermissionRequestResult(AIsGranted);
  };
  NotificationCenter.OnReceiveLocalNotification = [this](const TLocalNotification& ANotification) {
    NotificationCenterReceiveLocalNotification(ANotification);
  };

  LogsPipe::ZELLog().Debug(cTag, "Creating...");
  BuildInitialServices();
  CreateNotificationChannels();
  // With a global service missing the window ends the program instead of signing in.
  if (FStartupWindow && FStartupWindow->SetupServices()) FStartupWindow->ChangeView(TView::Authorize);
  LogsPipe::ZELLog().Debug(cTag, "I was born!");
}

TDMStartup::~TDMStartup() { LogsPipe::ZELLog().Debug(cTag, "I died successfully!"); }

void TDMStartup::BuildInitialServices() {
  TIocContainer& LContainer = GlobalContainer();
  LContainer.RegisterType<IFirebaseCloudMessaging>(
      [] { return std::shared_ptr<IFirebaseCloudMessaging>(std::make_shared<TFirebaseCloudMessaging>(true)); });
  LContainer.Build();
}

void TDMStartup::CreateNotificationChannels() {
  for (const TNotificationChannel& LRow : ChannelTable()) {
    TNotificationChannel LChannel{LRow.Id, LRow.Title, LRow.Description};
    LChannel.LockscreenVisibility = LRow.LockscreenVisibility;
    NotificationCenter.CreateOrUpdateChannel(LChannel);
  }
}

void TDMStartup::NotificationCenterPermissionRequestResult(bool AIsGranted) {
  LogsPipe::ZELLog().Debug(ZEL::NotificationCenter::LogTag, ZEL::NotificationCenter::PermissionResultText(AIsGranted));
}

void TDMStartup::NotificationCenterReceiveLocalNotification(const TLocalNotification& ANotification) {
  LogsPipe::ZELLog().Debug(ZEL::NotificationCenter::LogTag, ZEL::NotificationCenter::ReceivedNotificationText(ANotification));
}

}  // namespace ZEL
