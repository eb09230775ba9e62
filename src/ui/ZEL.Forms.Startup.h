#pragma once
// The start-up window: the program's first window. It hosts the three sign-in views,
// registers and holds the global application-data, authentication and REST services, is
// the only listener of the authentication service's three events, opens the main window
// after a sign-in and ends the session after a sign-out.

#include "ZEL.Auth.Service.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.View.Base.h"
#include "ZEL.View.Switcher.h"

#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QLabel;
class QTimer;

namespace ZEL {

class IZELRESTService;

// How the three global services are made; tests put fakes in.
struct TStartupServiceFactories {
  std::function<std::shared_ptr<IApplicationData>()> AppData;
  std::function<std::shared_ptr<IAuthService>()> Auth;
  std::function<std::shared_ptr<IZELRESTService>()> REST;
  // TApplicationData, TAuthService and TZELRESTService.
  static TStartupServiceFactories Default();
};

class TZELMainActivity : public TBaseBaseFormView, public IViewHost {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TZELMainActivity";
  static constexpr int ClientWidth = 380;
  static constexpr int ClientHeight = 536;
  static constexpr int CloseDelayMs = 200;
  // What the user is told when a global service could not be made; the program then ends.
  static constexpr const char* ServicesMissingText = "The application could not start its services. Please restart it.";

  explicit TZELMainActivity(TStartupServiceFactories AFactories = TStartupServiceFactories::Default(),
                            QWidget* AParent = nullptr);
  ~TZELMainActivity() override;

  // IViewHost
  void ShowProgress(const std::string& AMessage, bool ASync) override;
  void HideProgress() override;
  void Back() override;
  void ChangeView(TView ATo) override;
  std::shared_ptr<IApplicationData> AppData() override { return FAppData; }
  std::shared_ptr<IAuthService> AuthService() override { return FAuthService; }
  std::shared_ptr<IZELRESTService> RESTService() override { return FRESTService; }
  void Signout() override {}

  // Registers the three global services, builds the global container, resolves them and
  // attaches the sign-in handlers. When one is missing it ends the program instead (one
  // Fatal line, one message) and gives false.
  bool SetupServices();

  // The authentication service's events.
  void OnUserAuthProcessStart(IAuthService* ASender, TAuthServiceState AState);
  void OnUserLoggedIn(IAuthService* ASender);
  void OnUserLoggedOut(IAuthService* ASender, TAuthServiceState AState, const std::string& AReason);

  void tmrMainCloseTimer();
  void lbVersionClick();

  TBaseFormView* View(TView AView) const;
  // The view now shown, or none.
  TBaseFormView* CurrentFormView() const;
  bool LoggingOut() const { return FLoggingOut; }

  QWidget* lyContainer;
  QWidget* rectContainer;
  QLabel* lbVersion;
  QTimer* tmrMainClose;

signals:
  // The window was closed: the program ends.
  void Closed();

protected:
  void closeEvent(QCloseEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  struct THandOff;

  void CreateViews();
  void AttachAuthHandlers();
  void EndForMissingServices(const std::string& AMissing);
  // The sign-out handler's steps after the reason's message (at once when there is none).
  void FinishSignOut(bool AForgetToken);
  void ForgetToken();
  void ActivateSelf();
  // Tells the user, over the window in front, that the settings could not be saved.
  void Messaging_SettingsNotSaved(TSender ASender, const TSettingsNotSavedMessage& AMessage);

  TStartupServiceFactories FFactories;
  TViewSwitcher FSwitcher{TViewSwitcher::TLeavePolicy::Always};
  std::array<std::unique_ptr<TBaseFormView>, TViewCount> FViews;
  bool FLoggingOut = false;
  // The close timer fired while the sign-out handler still waited for its message.
  bool FCloseDue = false;
  std::shared_ptr<IApplicationData> FAppData;
  std::shared_ptr<IAuthService> FAuthService;
  std::shared_ptr<IZELRESTService> FRESTService;
  // Lets the token keeper's thread hand the overlay to this window, and stops that once
  // the window goes.
  std::shared_ptr<THandOff> FHandOff;
  // This window lives the whole run, so it speaks for the settings file.
  TZELMessagerRef FSettingsNotSavedRef;
};

}  // namespace ZEL
