#pragma once
// The start-up data module: made once the event loop runs, right after the start-up window.
// It registers push messaging, creates the notification channels, has the start-up window
// set up the global services and shows the first sign-in view.

#include "ZEL.NotificationCenter.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <string_view>

namespace ZEL {

class TZELMainActivity;

class TDMStartup : public QObject {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TDMStartup";

  // The three channels, in the order they are created.
  static const std::array<TNotificationChannel, 3>& ChannelTable();

  // DataModuleCreate.
  explicit TDMStartup(TZELMainActivity* AStartupWindow, QObject* AParent = nullptr);
  // DataModuleDestroy.
  ~TDMStartup() override;

  TNotificationCenter NotificationCenter;

  void NotificationCenterPermissionRequestResult(bool AIsGranted);
  void NotificationCenterReceiveLocalNotification(const TLocalNotification& ANotification);

private:
  void BuildInitialServices();
  void CreateNotificationChannels();

  QPointer<TZELMainActivity> FStartupWindow;
};

}  // namespace ZEL
