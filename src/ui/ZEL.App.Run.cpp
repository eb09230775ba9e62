#include "ZEL.App.Run.h"

#include "ZEL.App.HardConfig.h"
#include "ZEL.App.Result.h"
#include "ZEL.App.Signals.h"
#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.DM.Startup.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.Http.Curl.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.h"
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
  // The files the broker connection will use ($ZEL_MQTT_CERTS_DIR included).
  const std::string LKey = MQTT::Service::CertsFolder() + HardConfig::MQTT_SSL_KEYFILE;
  const std::string LCert = MQTT::Service::CertsFolder() + HardConfig::MQTT_SSL_CERTFILE;
  std::error_code LError;
  LLog.DebugFmt(cTag, "MQTT SSL Key file = \"{}\" Exists = \"{}\"", LKey,
                std::filesystem::exists(LKey, LError) ? "True" : "False");
  LLog.DebugFmt(cTag, "MQTT SSL Cert file = \"{}\" Exists = \"{}\"", LCert,
                std::filesystem::exists(LCert, LError) ? "True" : "False");
  LLog.Debug(cTag, "Application startup sequence....");
}

int RunApplication() {
  Result::Take();
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
    if (!LWindow) QCoreApplication::exit(Result::StartFailed);
  });
  // A signal ends the program as closing its window does: the main window first (its
  // services go, then the start-up window closes), else the start-up window. A second
  // signal while that runs ends the loop at once.
  int LSignalsSeen = 0;
  const Signals::TEndOnSignals LSignals([&LWindow, &LSignalsSeen](int ASignal) {
    LogsPipe::ZELLog().InfoFmt(cTag, "Signal {} received: the application ends.", ASignal);
    if (++LSignalsSeen > 1) {
      QCoreApplication::quit();
    } else if (TfrmMain* LMain = Forms::Main::frmMain()) {
      LMain->close();
    } else if (LWindow) {
      LWindow->close();
    } else {
      QCoreApplication::quit();
    }
  });
  int LResult = QApplication::exec();
  // Nobody waits for the answers of requests still in flight: they end now, instead of
  // keeping the process (and its lock) until their time-out.
  Http::Curl::AbandonInFlight();
  const int LFailure = Result::Take();
  if (LResult == Result::UserEnded) LResult = LFailure;

  LModule.reset();
  delete LWindow.data();
  ReleaseGlobalServices();
  LogsPipe::ZELLog().Debug(cTag, "Application.Run postcall.");
  return LResult;
}

}  // namespace ZEL::App::Run
