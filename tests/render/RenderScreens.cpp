// Draws the client's windows and views on the offscreen platform, over stand-in services,
// and writes one PNG per screen into the folder named on the command line.

#include "TestSupport.h"
#include "ZEL.Forms.Main.h"
#include "ZEL.Forms.Startup.h"
#include "ZEL.Session.Fakes.h"
#include "ZEL.Style.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.UINotification.h"
#include "ZEL.View.Register.h"

#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace ZEL;
using namespace ZEL::Test;

namespace {

// No screen may touch the user's folders.
void UsePrivateHome() {
  std::string LTemplate = (std::filesystem::temp_directory_path() / "zelrender.XXXXXX").string();
  if (!mkdtemp(LTemplate.data())) return;
  setenv("HOME", LTemplate.c_str(), 1);
  for (const char* LVar : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
    const std::string LDir = LTemplate + "/" + LVar;
    std::filesystem::create_directories(LDir);
    setenv(LVar, LDir.c_str(), 1);
  }
}

// The invitation record the Register view's second step shows.
class TRenderAuth : public TRecordingAuth {
public:
  TRenderAuth() {
    Record.email = "new.user@example.com";
    Record.name = "New User";
  }
  std::shared_ptr<const TZELUserRecord> CRMUserRecord() override { return std::shared_ptr<const TZELUserRecord>(std::shared_ptr<void>(), &Record); }
  TZELUserRecord Record;
};

class TRenderer {
public:
  explicit TRenderer(QString AFolder) : FFolder(std::move(AFolder)) {}

  void Save(QWidget& AWidget, const char* AName) {
    // Lets layouts, styles and the overlay's animations settle before the picture.
    QTest::qWait(350);
    const QString LPath = QDir(FFolder).filePath(QString::fromLatin1(AName) + ".png");
    if (AWidget.grab().save(LPath, "PNG")) {
      std::printf("wrote %s\n", qPrintable(LPath));
    } else {
      std::fprintf(stderr, "could not write %s\n", qPrintable(LPath));
      FFailed = true;
    }
  }
  bool Failed() const { return FFailed; }

private:
  QString FFolder;
  bool FFailed = false;
};

void RenderStartup(TRenderer& ARenderer) {
  TStartupServiceFactories LFactories;
  LFactories.AppData = [] { return std::make_shared<TRecordingAppData>(); };
  LFactories.Auth = [] { return std::make_shared<TRenderAuth>(); };
  LFactories.REST = [] { return std::make_shared<TSyncREST>(); };
  TZELMainActivity LWindow(LFactories);
  if (!LWindow.SetupServices()) return;
  LWindow.ChangeView(TView::Authorize);
  LWindow.show();
  ARenderer.Save(LWindow, "startup-authorize");

  LWindow.ChangeView(TView::Login);
  ARenderer.Save(LWindow, "startup-login");

  LWindow.ChangeView(TView::Register);
  ARenderer.Save(LWindow, "startup-register");
  if (auto* LRegister = dynamic_cast<TRegisterForm*>(LWindow.View(TView::Register))) {
    // The second step, as a valid invitation code opens it.
    LRegister->tcRegisterForms->setCurrentWidget(LRegister->tabUserInfo);
    ARenderer.Save(LWindow, "startup-register-user");
  }

  LWindow.ChangeView(TView::Authorize);
  LWindow.ShowProgress("Authorizing session...", false);
  ARenderer.Save(LWindow, "startup-overlay");
  LWindow.HideProgress();
}

void RenderMain(TRenderer& ARenderer) {
  TSessionGlobals LGlobals;
  LGlobals.REST->Edges = nlohmann::ordered_json::array(
      {MakeEdge("FRONT-DOOR", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", "Front door", {1, 1, 2}),
       MakeEdge("YARD", "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}", "Yard", {1})});
  TfrmMain::SetSessionOptionsForTests(LGlobals.Options());
  auto* LMain = new TfrmMain();
  LMain->show();
  // The sync connects; the first connection opens the Events view and hides "Syncing....".
  if (!WaitUntil([&] { return LGlobals.MQTT->Connects > 0; }))
    std::fprintf(stderr, "the main window did not sync\n");
  LGlobals.MQTT->PlayStatus(true);
  WaitUntil([&] { return LMain->CurrentView() == TView::Events; });
  ARenderer.Save(*LMain, "main-window");

  TZELUINotification::ShowNewEventToast("Motion detected at Front door", "65f1c0de4a1b2c3d4e5f6099");
  QTest::qWait(400);  // the toast fades in
  ARenderer.Save(*LMain, "main-window-toast");

  LMain->FreeServices();
  delete LMain;
  TfrmMain::SetSessionOptionsForTests({});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  UsePrivateHome();
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("TZ", "Europe/Berlin", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  QApplication LApp(argc, argv);
  Style::Apply(LApp);
  const QString LFolder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(LFolder)) {
    std::fprintf(stderr, "cannot make %s\n", argv[1]);
    return 2;
  }
  TDialogsInPlace LDialogs;  // a stray message box is answered, not waited for
  TRenderer LRenderer(LFolder);
  RenderStartup(LRenderer);
  RenderMain(LRenderer);
  for (const std::string& LText : LDialogs.Service->Shown) std::fprintf(stderr, "message: %s\n", LText.c_str());
  return LRenderer.Failed() ? 1 : 0;
}
