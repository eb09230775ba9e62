#include "ZEL.App.Run.h"

#include "ZEL.App.HardConfig.h"
#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.DM.Startup.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Utils.h"
#include "ZEL.ViewHost.Interf.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <memory>

namespace ZEL::App::Run {

namespace {

constexpr std::string_view cTag = "Application";

// The global services of a run go with it, on the UI thread, the last made first.
void ReleaseGlobalServices() {
  TIocContainer& LContainer = GlobalContainer();
  LContainer.Unregister<IZELRESTService>();
  LContainer.Unregister<IAuthService>();
  LContainer.Unregister<IApplicationData>();
  LContainer.Unregister<IFirebaseCloudMessaging>();
}

}  // namespace

void LogStartupSequence() {
  ILogWriter& LLog = LogsPipe::ZELLog();
  const std::string LKey = Utils::AppCertsStoragePath() + HardConfig::MQTT_SSL_KEYFILE;
  const std::string LCert = Utils::AppCertsStoragePath() + HardConfig::MQTT_SSL_CERTFILE;
  std::error_code LError;
  LLog.DebugFmt(cTag, "MQTT SSL Key file = \"{}\" Exists = \"{}\"", LKey,
                std::filesystem::exists(LKey, LError) ? "True" : "False");
  LLog.DebugFmt(cTag, "MQTT SSL Cert file = \"{}\" Exists = \"{}\"", LCert,
                std::filesystem::exists(LCert, LError) ? "True" : "False");
  LLog.Debug(cTag, "Application startup sequence....");
}

int RunApplication() {
  QPointer<TZELMainActivity> LWindow;
  std::unique_ptr<TDMStartup> LModule;
  // Both are made once the loop runs, the window first: the module uses it.
  QTimer::singleShot(0, qApp, [&LWindow, &LModule] {
    ExceptionReporter::Guarded("Application start", [&] {
      LWindow = new TZELMainActivity();
      LWindow->setAttribute(Qt::WA_DeleteOnClose);
      QObject::connect(LWindow.data(), &TZELMainActivity::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
      LWindow->show();
      LModule = std::make_unique<TDMStartup>(LWindow.data());
    });
    if (!LWindow) QCoreApplication::exit(1);
  });
  const int LResult = QApplication::exec();

  LModule.reset();
  delete LWindow.data();
  ReleaseGlobalServices();
  LogsPipe::ZELLog().Debug(cTag, "Application.Run postcall.");
  return LResult;
}

}  // namespace ZEL::App::Run
