// The Profile view: the account and preferences read at each entry, the hidden controls,
// the push switches and what they store, the clipboard copies, the broker test buttons and
// the log archive.

#include "ZEL.ApplicationData.h"
#include "ZEL.Identity.Client.h"
#include "ZEL.LogsArchive.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.Utils.h"
#include "ZEL.View.Profile.h"
#include "TestSupport.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
namespace P = View::Profile;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* cEsc = "org-1-escalated";
constexpr const char* cNonEsc = "org-1-all";

class TProfileAuth : public ZT::TFakeAuthService {
public:
  std::shared_ptr<IFirebaseUser> GetFirebaseUser() override {
    return std::make_shared<TFirebaseUser>("uid-1", Email, Name, true);
  }
  std::string GetAccountDisplayName() override { return Name; }
  std::string FirebaseToken() override { return Token; }
  std::string FirebaseEscalatedTopic() override { return HasRecord ? cEsc : ""; }
  std::string FirebaseNonEscalatedTopic() override { return HasRecord ? cNonEsc : ""; }
  std::string Email = "demo@zel.test";
  std::string Name = "Dana Demo";
  std::string Token = "id-token-1";
  bool HasRecord = true;
};

class TRecordingPush : public ZT::TFakeFirebase {
public:
  void SubscribeToTopic(const std::string& ATopic) override { Calls.push_back("+" + ATopic); }
  void UnsubscribeFromTopic(const std::string& ATopic) override { Calls.push_back("-" + ATopic); }
  std::vector<std::string> Calls;
};

class TProfileMQTT : public ZT::TFakeMQTTService {
public:
  bool IsConnected() override { return Connected; }
  void Connect() override { Calls.push_back("Connect"); }
  void Disconnect(bool ALost) override { Calls.push_back(ALost ? "Disconnect(lost)" : "Disconnect(normal)"); }
  std::int32_t GetReconnectAttempts() override { return 2; }
  std::string LastErrorMessage() override { return "refused"; }
  bool Connected = false;
  std::vector<std::string> Calls;
};

std::string SettingsText(const char* AEsc, const char* ANonEsc) {
  return std::string("[Token]\nRefreshToken=\n\n[UserPrefs]\nUserEscalatedSubscribe=") + AEsc +
         "\nUserNonEscalatedSubscribe=" + ANonEsc + "\n\n";
}

// The toasts asked for while it lives.
class TToasts {
public:
  TToasts() {
    FRef = TZELMessager<TShowToastMessageEvent>::Subscribe(
        [this](TSender, const TShowToastMessageEvent& AMessage) { Texts.push_back(AMessage.Value()); });
  }
  ~TToasts() { TZELMessager<TShowToastMessageEvent>::Unsubscribe(FRef); }
  std::vector<std::string> Texts;

private:
  TZELMessagerRef FRef;
};

// Settings in a folder of the test's own, the services in the global container.
class ProfileServices : public ::testing::Test {
protected:
  void SetUp() override {
    GlobalContainer().RegisterInstance<IAuthService>("", Auth);
    GlobalContainer().RegisterInstance<IFirebaseCloudMessaging>("", Push);
    Services::Container::FreeZELServicesContainer();
    Services::Container::CreateZELServicesContainer();
    auto zel = Services::Container::ZELServicesContainer();
    zel->RegisterType<IZELMQTTService>([m = MQTT] { return m; });
    zel->Build();
    WriteSettings(SettingsText("0", "1"));
    Data = std::make_shared<TApplicationData>();
  }
  void TearDown() override {
    Data.reset();
    Services::Container::FreeZELServicesContainer();
    GlobalContainer().Unregister<IFirebaseCloudMessaging>();
    GlobalContainer().Unregister<IAuthService>();
    Utils::SetClipboardSetter({});
    Time::SetClock({});
  }
  void WriteSettings(const std::string& ABytes) const {
    std::ofstream(Folder + "/ZELSettings.mem", std::ios::binary | std::ios::trunc) << ABytes;
  }
  std::string SettingsFile() const { return ZT::ReadFileBytes(Folder + "/ZELSettings.mem"); }

  std::string Folder = ZT::NewTempFolder("profile-settings");
  ZT::TScopedEnv SettingsEnv{"ZEL_SETTINGS_DIR", Folder.c_str()};
  std::shared_ptr<TProfileAuth> Auth = std::make_shared<TProfileAuth>();
  std::shared_ptr<TRecordingPush> Push = std::make_shared<TRecordingPush>();
  std::shared_ptr<TProfileMQTT> MQTT = std::make_shared<TProfileMQTT>();
  std::shared_ptr<TApplicationData> Data;
};

TEST_F(ProfileServices, SwitchRulesKeepTheTwoPreferencesApartInTheSettingsFile) {
  struct TStep {
    const char* Name;
    P::TPushSwitch Switch;
    bool On;
    bool HasRecord;
    bool Applied;
    std::string File;
    std::vector<std::string> Calls;
  };
  using S = P::TPushSwitch;
  const std::vector<TStep> steps = {
      {"only escalated on while all is on", S::Escalated, true, true, true, SettingsText("1", "0"),
       {std::string("+") + cEsc, std::string("-") + cNonEsc}},
      {"all on again", S::NonEscalated, true, true, true, SettingsText("0", "1"),
       {std::string("+") + cNonEsc, std::string("-") + cEsc}},
      {"all off", S::NonEscalated, false, true, true, SettingsText("0", "0"), {std::string("-") + cNonEsc}},
      {"without a user record nothing changes", S::Escalated, true, false, false, SettingsText("0", "0"), {}},
      {"escalated off while off", S::Escalated, false, true, true, SettingsText("0", "0"), {std::string("-") + cEsc}},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Name);
    Auth->HasRecord = step.HasRecord;
    Push->Calls.clear();
    EXPECT_EQ(P::ApplyPushSwitch(step.Switch, step.On, *Auth, Push.get(), *Data), step.Applied);
    EXPECT_EQ(SettingsFile(), step.File);
    EXPECT_EQ(Push->Calls, step.Calls);
  }
  // What the next start reads is what was chosen.
  P::ApplyPushSwitch(S::Escalated, true, *Auth, Push.get(), *Data);
  TApplicationData next;
  next.LoadSettings();
  EXPECT_TRUE(next.GetUserEscalatedSubscribe());
  EXPECT_FALSE(next.GetUserNonEscalatedSubscribe());
}

TEST_F(ProfileServices, ClipboardCopiesSayWhatHappened) {
  TToasts toasts;
  std::vector<std::string> copied;
  P::CopyTextToClipboard(" \t\n ");
  Utils::SetClipboardSetter([&](const std::string& AText) { copied.push_back(AText); });
  P::CopyTextToClipboard(" \t\n ");
  P::CopyTextToClipboard("  token ");
  Utils::SetClipboardSetter({});
  P::CopyTextToClipboard("token");
  EXPECT_EQ(toasts.Texts, (std::vector<std::string>{P::cNothingToCopy, P::cNothingToCopy, P::cCopied, P::cNoClipboard}));
  EXPECT_EQ(copied, std::vector<std::string>{"  token "});  // untrimmed
}

TEST(LogsArchiveName, DayMonthYearUnderscoreTimeOfDay) {
  EXPECT_EQ(LogsArchive::ArchiveFileName(Time::FromLocal(2025, 3, 5, 14, 7, 9)), "ZELLogs_05032025_140709.zip");
  EXPECT_EQ(LogsArchive::ArchiveFileName(Time::FromLocal(2025, 12, 31, 0, 0, 0)), "ZELLogs_31122025_000000.zip");
}

class TProfileHost : public ZT::TRecordingHost {
public:
  std::shared_ptr<IApplicationData> AppData() override { return Settings; }
  std::shared_ptr<IApplicationData> Settings;
};

// The view in a plain parent, with the answering dialogs.
class ProfileView : public ProfileServices {
protected:
  void SetUp() override {
    ProfileServices::SetUp();
    Host.Settings = Data;
    View = std::make_unique<TProfileViewForm>();
    View->InitView(TView::Profile, &Host, &Parent);
  }
  void TearDown() override {
    if (View && View->Archiving()) ZT::WaitUntil([this] { return !View->Archiving(); }, 30s);
    View.reset();
    ProfileServices::TearDown();
  }
  template <class W>
  W* Find(const char* AName) const {
    return View->FormContent()->findChild<W*>(QString::fromLatin1(AName));
  }
  QCheckBox* Esc() const { return Find<QCheckBox>("swEscalatedSub"); }
  QCheckBox* NonEsc() const { return Find<QCheckBox>("swNonEscalatedSubscribed"); }
  std::vector<bool> HiddenControls() const {
    std::vector<bool> hidden;
    for (const char* name : {"btnFirebaseToken", "btnCollectAndShareLogs", "btnMQTTStatus", "btnMQTTConnect",
                             "btnMQTTStopLikeError", "btnMQTTStopNormal"})
      hidden.push_back(Find<QPushButton>(name)->isHidden());
    return hidden;
  }

  ZT::TDialogsInPlace Dialogs;
  TProfileHost Host;
  QWidget Parent;
  std::unique_ptr<TProfileViewForm> View;
};

TEST_F(ProfileView, EveryEntryReadsTheValuesAgainAndHidesTheSixControls) {
  View->Enter(TView::Events);
  View->ShowView();
  EXPECT_EQ(Find<QLineEdit>("editAccountID")->text(), "demo@zel.test");
  EXPECT_EQ(Find<QLineEdit>("editDisplayName")->text(), "Dana Demo");
  EXPECT_TRUE(Find<QLineEdit>("editAccountID")->isReadOnly());
  EXPECT_EQ(Find<QLabel>("lbAppVersion")->text().toStdString(), Utils::GetAppVersionInfo());
  EXPECT_FALSE(Esc()->isChecked());
  EXPECT_TRUE(NonEsc()->isChecked());
  EXPECT_EQ(HiddenControls(), std::vector<bool>(6, true));

  // Changed elsewhere meanwhile; the controls shown by someone.
  View->Leave(TView::Events);
  Data->SetUserEscalatedSubscribe(true);
  Data->SetUserNonEscalatedSubscribe(false);
  Auth->Name = "Dana D.";
  for (QPushButton* button : View->FormContent()->findChildren<QPushButton*>()) button->show();
  View->Enter(TView::Events);
  EXPECT_EQ(Find<QLineEdit>("editDisplayName")->text(), "Dana D.");
  EXPECT_TRUE(Esc()->isChecked());
  EXPECT_FALSE(NonEsc()->isChecked());
  EXPECT_EQ(HiddenControls(), std::vector<bool>(6, true));
  EXPECT_TRUE(Push->Calls.empty()) << "setting a switch on entry subscribes nothing";

  // Sign out goes to the host.
  Find<QPushButton>("btnLogout")->click();
  EXPECT_EQ(Host.Calls.back(), "Signout");
}

TEST_F(ProfileView, SwitchClicksStoreOrGoBack) {
  View->Enter(TView::Events);
  ASSERT_TRUE(NonEsc()->isChecked());
  Esc()->click();
  EXPECT_TRUE(Esc()->isChecked());
  EXPECT_FALSE(NonEsc()->isChecked());
  EXPECT_EQ(SettingsFile(), SettingsText("1", "0"));

  // No user record: the message, the switch back where it was, nothing stored.
  Auth->HasRecord = false;
  Push->Calls.clear();
  NonEsc()->click();
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{P::cNoTopicMessage});
  EXPECT_FALSE(NonEsc()->isChecked());
  EXPECT_TRUE(Esc()->isChecked());
  EXPECT_EQ(SettingsFile(), SettingsText("1", "0"));
  EXPECT_TRUE(Push->Calls.empty());
}

// A disk that takes no write: after the message both switches show what the file holds, and
// the file, the preferences and the topics stay as they were; with space again the same
// click is stored.
TEST_F(ProfileView, SwitchWhoseSaveFailsShowsTheStoredValuesAfterTheMessage) {
  View->Enter(TView::Events);
  ASSERT_FALSE(Esc()->isChecked());
  ASSERT_TRUE(NonEsc()->isChecked());
  for (const bool LEscalated : {true, false}) {
    SCOPED_TRACE(LEscalated ? "only escalated" : "all off");
    Dialogs.Service->Shown.clear();
    {
      const ZT::TFileSizeLimit LFull(0);
      (LEscalated ? Esc() : NonEsc())->click();
    }
    ASSERT_EQ(Dialogs.Service->Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Service->Shown[0].rfind("Unable to save the preference. ", 0), 0u) << Dialogs.Service->Shown[0];
    EXPECT_FALSE(Esc()->isChecked());
    EXPECT_TRUE(NonEsc()->isChecked());
    EXPECT_FALSE(Data->GetUserEscalatedSubscribe());
    EXPECT_TRUE(Data->GetUserNonEscalatedSubscribe());
    EXPECT_EQ(SettingsFile(), SettingsText("0", "1"));
    EXPECT_TRUE(Push->Calls.empty());
  }
  View->Leave(TView::Events);
  View->Enter(TView::Events);
  EXPECT_FALSE(Esc()->isChecked());
  EXPECT_TRUE(NonEsc()->isChecked());

  Esc()->click();
  EXPECT_TRUE(Esc()->isChecked());
  EXPECT_FALSE(NonEsc()->isChecked());
  EXPECT_EQ(SettingsFile(), SettingsText("1", "0"));
}

TEST_F(ProfileView, HiddenHandlersCopyTheTokenAndDriveTheBroker) {
  TToasts toasts;
  std::string copied;
  Utils::SetClipboardSetter([&](const std::string& AText) { copied = AText; });
  View->btnFirebaseTokenClick();
  EXPECT_EQ(copied, "id-token-1");
  EXPECT_EQ(toasts.Texts, std::vector<std::string>{P::cCopied});

  struct TCase {
    const char* Name;
    void (TProfileViewForm::*Click)();
    bool Connected;
    std::vector<std::string> Calls;
    std::vector<std::string> Shown;
  };
  const std::vector<TCase> cases = {
      {"start", &TProfileViewForm::btnMQTTConnectClick, false, {"Connect"}, {}},
      {"start while connected", &TProfileViewForm::btnMQTTConnectClick, true, {}, {"MQTT already connected."}},
      {"stop as an error", &TProfileViewForm::btnMQTTStopLikeErrorClick, true, {"Disconnect(lost)"}, {}},
      {"stop as an error, not connected", &TProfileViewForm::btnMQTTStopLikeErrorClick, false, {}, {"MQTT Not connected."}},
      {"stop", &TProfileViewForm::btnMQTTStopNormalClick, true, {"Disconnect(normal)"}, {}},
      {"stop, not connected", &TProfileViewForm::btnMQTTStopNormalClick, false, {}, {"MQTT Not connected."}},
      {"status", &TProfileViewForm::btnMQTTStatusClick, true, {},
       {"IsConnected: Yes ReconnectAttempts: 2 Last Error Message: refused"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    MQTT->Connected = c.Connected;
    MQTT->Calls.clear();
    Dialogs.Service->Shown.clear();
    (View.get()->*c.Click)();
    EXPECT_EQ(MQTT->Calls, c.Calls);
    EXPECT_EQ(Dialogs.Service->Shown, c.Shown);
  }
}

// Log files in a folder of the test's own, the archive in the (private) documents folder.
class ProfileArchive : public ProfileView {
protected:
  void SetUp() override {
    ProfileView::SetUp();
    Time::SetClock([] { return Time::FromLocal(2025, 3, 5, 14, 7, 9); });
    fs::create_directories(Logs + "/old");
    Files = {{"TarveloSystemsApp.00..txt", std::string("current\0log", 11)},
             {"TarveloSystemsApp.01..txt", std::string(300000, 'x')},
             {"old/TarveloSystemsApp.00..txt", "the same name, another folder"}};
    for (const auto& [name, bytes] : Files) std::ofstream(Logs + "/" + name, std::ios::binary) << bytes;
    fs::create_symlink("/etc/hostname", Logs + "/outside.txt");
    // The documents folder is the process's: what an earlier test left goes first.
    fs::remove_all(ArchivePath());
    fs::remove_all(Documents() + "/ZELLogsSnapshot");
  }
  std::string Documents() const {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
  }
  std::string ArchivePath() const { return Documents() + "/ZELLogs_05032025_140709.zip"; }
  void ClickAndWait() {
    View->btnCollectAndShareLogsClick();
    EXPECT_TRUE(View->Archiving());
    ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Archiving(); }, 30s));
  }
  // Every entry of the zip with its bytes.
  static std::map<std::string, std::string> Entries(const std::string& APath) {
    std::map<std::string, std::string> entries;
    QuaZip zip(QString::fromStdString(APath));
    if (!zip.open(QuaZip::mdUnzip)) return entries;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
      QuaZipFile file(&zip);
      if (!file.open(QIODevice::ReadOnly)) continue;
      entries[zip.getCurrentFileName().toStdString()] = file.readAll().toStdString();
    }
    return entries;
  }

  // The program's own log file opens in its own folder before the log folder moves here.
  ILogWriter& OwnLog = LogsPipe::ZELLog();
  std::string Logs = ZT::NewTempFolder("profile-logs");
  ZT::TScopedEnv LogsEnv{"ZEL_LOGS_DIR", Logs.c_str()};
  std::map<std::string, std::string> Files;
};

TEST_F(ProfileArchive, HoldsEveryLogFileUnderItsRelativePathWithTheSameBytes) {
  TToasts toasts;
  ClickAndWait();
  EXPECT_EQ(Entries(ArchivePath()), Files);
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ShowProgress(Compressing Logs...)", "HideProgress"}));
  EXPECT_EQ(toasts.Texts, std::vector<std::string>{"Logs archive: " + ArchivePath()});
  EXPECT_TRUE(Dialogs.Service->Shown.empty());
  EXPECT_TRUE(fs::exists(Documents() + "/ZELLogsSnapshot/old/TarveloSystemsApp.00..txt"));

  // Made again: the snapshot and the archive are replaced, nothing is left over.
  fs::remove(Logs + "/TarveloSystemsApp.01..txt");
  Files.erase("TarveloSystemsApp.01..txt");
  ClickAndWait();
  EXPECT_EQ(Entries(ArchivePath()), Files);
  EXPECT_FALSE(fs::exists(Documents() + "/ZELLogsSnapshot/TarveloSystemsApp.01..txt"));
}

TEST_F(ProfileArchive, AnArchiveThatCannotBeWrittenShowsAMessageAndTheProgramGoesOn) {
  fs::create_directories(ArchivePath());  // a folder in the way
  ClickAndWait();
  ASSERT_EQ(Dialogs.Service->Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Service->Shown[0].rfind("Unable to make the logs archive. ", 0), 0u) << Dialogs.Service->Shown[0];
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ShowProgress(Compressing Logs...)", "HideProgress"}));

  fs::remove(ArchivePath());
  ClickAndWait();
  EXPECT_EQ(Entries(ArchivePath()), Files);
}

}  // namespace
}  // namespace ZEL
