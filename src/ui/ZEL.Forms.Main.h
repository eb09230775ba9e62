#pragma once
// The window of a signed-in session: it holds the session (services, sync, broker routing),
// hosts the five session views with the bottom menu and Back, shows the toasts the rest of
// the program asks for, and marks the Devices button while conditions are inactive.

#include "ZEL.Messaging.h"
#include "ZEL.Session.h"
#include "ZEL.View.Base.h"
#include "ZEL.View.Switcher.h"
#include "ZEL.Views.Interfaces.h"

#include <QPointer>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <string_view>

class QAbstractButton;
class QButtonGroup;
class QStackedWidget;
class QToolButton;

namespace ZEL {

class TZELToast;
class TZELEvent;
class TEventAddedMessage;
class TShowToastMessageEvent;
class TNewEventToastMessageEvent;
class TConditionStateChangeMessage;
class TFirebaseNotificationUserClicked;
class TPlatformFirebaseNotificationUserClicked;

class TfrmMain : public TBaseBaseFormView, public IViewHost {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TfrmMain";

  // Subscribes its messages, then makes the session (the ZEL container must not exist).
  explicit TfrmMain(QWidget* AParent = nullptr);
  ~TfrmMain() override;

  // Creates the main window (kept as frmMain), shows it application-modal and returns at once
  // (no nested event loop). When the window has closed, for any reason, its services are freed
  // again (harmless) and AStartupWindow is closed: the program ends. frmMain is empty afterwards.
  static void RunDialog(QWidget* AStartupWindow);
  // Leaves the current view, disconnects the broker without reconnection, releases the ZEL
  // container. Harmless when called again.
  void FreeServices();
  // The session options of every window made from now on (tests give a stand-in broker).
  static void SetSessionOptionsForTests(TZELSession::TOptions AOptions);
  // With true every slot gets a stand-in view, so the window's own tests do not depend on
  // what the real views do when entered.
  static void SetStandInViewsForTests(bool AStandIns);

  // IViewHost
  void ShowProgress(const std::string& AMessage, bool ASync) override;
  void HideProgress() override;
  void Back() override;
  void ChangeView(TView ATo) override;
  std::shared_ptr<IApplicationData> AppData() override { return FAppData; }
  std::shared_ptr<IAuthService> AuthService() override { return FAuthService; }
  std::shared_ptr<IZELRESTService> RESTService() override { return FRESTService; }
  // A sign-out by the user.
  void Signout() override;

  // The current view (Host while none), and the view of a slot or none.
  TView CurrentView() const { return FSwitcher.CurrentView(); }
  TBaseFormView* View(TView AView) const { return FViews[static_cast<std::size_t>(AView)]; }
  TZELSession* Session() const { return FSession.get(); }
  TZELToast* Toast() const { return FToast; }
  std::int32_t InactConditionsCount() const { return FInactConditionsCount; }

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  bool event(QEvent* AEvent) override;

private:
  void BuildLayout();
  QToolButton* MakeMenuButton(const char* AName, const char* AText, const char* AIcon, int ATag);
  void PopulateViews();
  void ReleaseViews();
  void InternChangeView(TView ATo);
  void UpdateDevicesWarnStatus();
  // After the window has closed: the services once more, then the start-up window.
  void Finish();

  void Messaging_ShowToast(TSender ASender, const TShowToastMessageEvent& AMessage);
  void Messaging_NewEventToast(TSender ASender, const TNewEventToastMessageEvent& AMessage);
  void Messaging_NewEvent(TSender ASender, const TEventAddedMessage& AMessage);
  void Messaging_ConditionStateChange(TSender ASender, const TConditionStateChangeMessage& AMessage);
  void HandlePlatformFirebaseNotificationUserClicked(TSender ASender,
                                                     const TPlatformFirebaseNotificationUserClicked& AMessage);
  void HandleFirebaseNotificationUserClicked(TSender ASender, const TFirebaseNotificationUserClicked& AMessage);
  // Links AEventID to the toast and shows AText.
  void ShowAlertToast(const std::string& AText, const std::string& AEventID);
  void ToastClick(TZELToast* ASender);
  void ToastAlignment(TZELToast* ASender, QMargins& AMargins, QPoint& APosition);

  bool FPupuplated = false;
  bool FFinished = false;
  QPointer<QWidget> FStartupWindow;
  std::shared_ptr<IApplicationData> FAppData;
  std::shared_ptr<IAuthService> FAuthService;
  std::shared_ptr<IZELRESTService> FRESTService;
  std::array<TBaseFormView*, TViewCount> FViews{};
  TViewSwitcher FSwitcher{TViewSwitcher::TLeavePolicy::WhenActive};
  std::int32_t FInactConditionsCount = 0;

  TZELMessagerRef FToastMessageRef;
  TZELMessagerRef FToastEventMessageRef;
  TZELMessagerRef FNewEventMsgRef;
  TZELMessagerRef FMsgCondStateChanged;
  TZELMessagerRef FPlatformPushClickedRef;
  TZELMessagerRef FPushClickedRef;

  QWidget* pnlDetails = nullptr;
  QStackedWidget* tcViews = nullptr;
  std::array<QWidget*, 6> FTabs{};
  QWidget* PanelBottom = nullptr;
  QWidget* GridPanelLayout1 = nullptr;
  QToolButton* sbtnEvents = nullptr;
  QToolButton* sbtnDevices = nullptr;
  QToolButton* sbtnProfile = nullptr;
  QButtonGroup* FBottomMenu = nullptr;
  QWidget* tbMainForm = nullptr;
  QToolButton* sbtnBack = nullptr;
  TZELToast* FToast = nullptr;
  bool FToastForAlert = false;  // the toast on screen tells of a new alert
  // A new alert's toast waiting for the end of another toast (text and alert id).
  std::optional<std::pair<std::string, std::string>> FPendingAlertToast;

  // Declared last: freed first, before the views and widgets it reports to.
  std::unique_ptr<TZELSession> FSession;
};

}  // namespace ZEL

namespace ZEL::Forms::Main {

// The main window while it exists, else none.
TfrmMain* frmMain();

}  // namespace ZEL::Forms::Main
