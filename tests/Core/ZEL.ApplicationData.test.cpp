#include "ZEL.ApplicationData.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MemIniFile.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Fakes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

namespace ZEL {
namespace {

class TScriptedAuth : public Test::TFakeAuthService {
public:
  bool Authorized = false;
  bool SignoutByUser = false;
  std::string Token;
  int Calls = 0;

  bool GetAuthorized() override { ++Calls; return Authorized; }
  bool GetIsSignoutByUser() override { ++Calls; return SignoutByUser; }
  std::string FirebaseRefreshToken() override { ++Calls; return Token; }
};

std::string SettingsText(const std::string& AToken, const char* AEsc, const char* ANonEsc) {
  return "[Token]\nRefreshToken=" + AToken + "\n\n[UserPrefs]\nUserEscalatedSubscribe=" + AEsc +
         "\nUserNonEscalatedSubscribe=" + ANonEsc + "\n\n";
}

class ApplicationData : public testing::Test {
protected:
  std::string FFolder = ZEL::Test::NewTempFolder("appdata");
  ZEL::Test::TScopedEnv FEnv{"ZEL_SETTINGS_DIR", FFolder.c_str()};
  std::string FPath = FFolder + "/ZELSettings.mem";
  std::shared_ptr<TScriptedAuth> FAuth;

  void TearDown() override { GlobalContainer().Unregister<IAuthService>(); }

  void WriteSettings(const std::string& ABytes) {
    std::ofstream(FPath, std::ios::binary | std::ios::trunc) << ABytes;
  }
  std::string FileBytes() const { return ZEL::Test::ReadFileBytes(FPath); }

  TScriptedAuth& RegisterAuth() {
    FAuth = std::make_shared<TScriptedAuth>();
    GlobalContainer().RegisterInstance<IAuthService>("", FAuth);
    return *FAuth;
  }
};

TEST_F(ApplicationData, LoadsTokenAndPreferencesFromTheSettingsFile) {
  struct TRow {
    const char* Name;
    std::optional<std::string> File;  // none: no settings file
    std::string Token;
    bool Esc;
    bool NonEsc;
  };
  const TRow rows[] = {
      {"no file", std::nullopt, "", false, false},
      {"escalated only", SettingsText("tok", "1", "0"), "tok", true, false},
      {"non-escalated only", SettingsText("tok", "0", "1"), "tok", false, true},
      {"unreadable values", SettingsText("", "abc", "yes"), "", false, false},
      {"other sections only", std::string("[Other]\nA=1\n"), "", false, false},
      {"keys in another case", std::string("[token]\nREFRESHTOKEN=t2\n[userprefs]\nuserescalatedsubscribe=0x1\n"),
       "t2", true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    std::filesystem::remove(FPath);
    if (row.File) WriteSettings(*row.File);
    TApplicationData data;
    EXPECT_EQ(data.GetUserEscalatedSubscribe(), row.Esc);
    EXPECT_EQ(data.GetUserNonEscalatedSubscribe(), row.NonEsc);
    RegisterAuth();  // not signed in, no sign-out by the user, no token
    EXPECT_EQ(data.GetFirebaseRefreshToken(), row.Token);
    GlobalContainer().Unregister<IAuthService>();
  }
  // Loading only read, so a file that was missing now exists without any section.
  std::filesystem::remove(FPath);
  TApplicationData fresh;
  EXPECT_EQ(FileBytes(), "");
}

// Loading runs while the global container is being built: it must neither ask the
// authentication service nor fail without it.
TEST_F(ApplicationData, BothPreferencesSetAreNormalisedAndWrittenWithoutTheAuthService) {
  for (const char* set : {"1", "-1", "0x2"}) {
    SCOPED_TRACE(set);
    WriteSettings(SettingsText("file-token", set, set));
    LogsPipe::TLogCapture capture;
    TApplicationData data;
    EXPECT_FALSE(data.GetUserEscalatedSubscribe());
    EXPECT_TRUE(data.GetUserNonEscalatedSubscribe());
    EXPECT_EQ(FileBytes(), SettingsText("file-token", "0", "1"));
    LogsPipe::Flush();
    EXPECT_TRUE(capture.WithTag("TApplicationData.GetFirebaseRefreshToken").empty());
  }

  // A registered service is not asked either: the token just read is the one written.
  TScriptedAuth& auth = RegisterAuth();
  auth.Authorized = true;
  auth.Token = "live-token";
  WriteSettings(SettingsText("file-token", "1", "1"));
  TApplicationData data;
  EXPECT_EQ(auth.Calls, 0);
  EXPECT_EQ(FileBytes(), SettingsText("file-token", "0", "1"));
}

TEST_F(ApplicationData, RefreshTokenFollowsTheAuthService) {
  struct TRow {
    const char* Name;
    bool Authorized;
    bool SignoutByUser;
    const char* ServiceToken;
    const char* Expected;
  };
  const TRow rows[] = {
      {"signed in", true, false, "live", "live"},
      {"signed in, earlier sign-out by the user", true, true, "live", "live"},
      {"refreshing, no token yet", false, false, "", "cached"},
      {"not authorized but has a token", false, false, "live", "live"},
      {"signed out by the user", false, true, "live", "cached"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    WriteSettings(SettingsText("cached", "0", "0"));
    TApplicationData data;
    TScriptedAuth& auth = RegisterAuth();
    auth.Authorized = row.Authorized;
    auth.SignoutByUser = row.SignoutByUser;
    auth.Token = row.ServiceToken;
    EXPECT_EQ(data.GetFirebaseRefreshToken(), row.Expected);
    // A token once seen stays the answer when the service has none.
    auth.Token = "";
    EXPECT_EQ(data.GetFirebaseRefreshToken(), row.Expected);
  }
}

TEST_F(ApplicationData, SaveSettingsWritesTheSignedInTokenAndPreferences) {
  TApplicationData data;  // no file
  TScriptedAuth& auth = RegisterAuth();
  auth.Authorized = true;
  auth.Token = "user-token";
  data.SetUserEscalatedSubscribe(true);
  EXPECT_EQ(FileBytes(), "");  // setters write nothing
  data.SaveSettings();
  EXPECT_EQ(FileBytes(), SettingsText("user-token", "1", "0"));

  // The user signs out: the cached token stays until it is forgotten.
  auth.Authorized = false;
  auth.SignoutByUser = true;
  EXPECT_EQ(data.GetFirebaseRefreshToken(), "user-token");
  data.ForgetSavedFBToken();
  EXPECT_EQ(FileBytes(), SettingsText("user-token", "1", "0"));
  data.SaveSettings();
  EXPECT_EQ(FileBytes(), SettingsText("", "1", "0"));

  TApplicationData reloaded;
  EXPECT_TRUE(reloaded.GetUserEscalatedSubscribe());
  EXPECT_EQ(reloaded.GetFirebaseRefreshToken(), "");
}

TEST_F(ApplicationData, MissingAuthServiceIsLoggedAndTheCachedTokenKept) {
  WriteSettings(SettingsText("cached", "0", "1"));
  TApplicationData data;
  LogsPipe::TLogCapture capture;
  EXPECT_EQ(data.GetFirebaseRefreshToken(), "cached");
  data.SaveSettings();
  EXPECT_EQ(FileBytes(), SettingsText("cached", "0", "1"));

  LogsPipe::Flush();
  const auto entries = capture.WithTag("TApplicationData.GetFirebaseRefreshToken");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Type, TLogType::Error);
  EXPECT_NE(entries[0].Message.find("Assertion failure"), std::string::npos);
  EXPECT_EQ(entries[0].Message.find("cached"), std::string::npos);  // no token in the log
}

// What the user is told about the settings file while it lives.
class TNotSavedMessages {
public:
  TNotSavedMessages() {
    FRef = TZELMessager<TSettingsNotSavedMessage>::Subscribe(
        [this](TSender, const TSettingsNotSavedMessage& AMessage) { Texts.push_back(AMessage.Value()); });
  }
  ~TNotSavedMessages() { TZELMessager<TSettingsNotSavedMessage>::Unsubscribe(FRef); }
  std::vector<std::string> Texts;

private:
  TZELMessagerRef FRef;
};

// A disk that takes no write: loading goes on with the values read, the user is told once
// (the file and the system's reason) until a write goes through again, later writes keep
// their values in memory and a read over the waiting change gives the value held.
TEST_F(ApplicationData, UnwritableFileKeepsTheValuesAndTellsTheUserOnceUntilAWriteGoesThrough) {
  using namespace ZEL::ApplicationData;
  const std::string both = SettingsText("file-token", "1", "1");
  WriteSettings(both);
  const std::string told = NotSavedText("Cannot write file \"" + FPath + "\". " + std::strerror(EFBIG));
  TNotSavedMessages messages;
  std::optional<TApplicationData> data;
  RegisterAuth();
  {
    const ZEL::Test::TFileSizeLimit full(0);
    ASSERT_NO_THROW(data.emplace());
    EXPECT_FALSE(data->GetUserEscalatedSubscribe());
    EXPECT_TRUE(data->GetUserNonEscalatedSubscribe());
    EXPECT_EQ(messages.Texts, std::vector<std::string>{told});

    const auto file = data->GetSettingsFile();
    EXPECT_FALSE(WriteOrReport("test", [&] { data->SaveSettings(); }));
    EXPECT_FALSE(WriteOrReport("test", [&] { file->WriteString("Device", "PushDeviceID", "dev-1"); }));
    EXPECT_THROW(file->ReadString("Device", "PushDeviceID", ""), EFCreateError);
    EXPECT_EQ(ReadStringOrHeld(*file, "test", "Device", "PushDeviceID", ""), "dev-1");
    EXPECT_EQ(ReadStringOrHeld(*file, "test", "Device", "Missing", "default"), "default");
    EXPECT_EQ(messages.Texts.size(), 1u);
    EXPECT_EQ(FileBytes(), both);
  }
  // Space again: the values held are written; the next failure is told again.
  EXPECT_TRUE(WriteOrReport("test", [&] { data->SaveSettings(); }));
  EXPECT_EQ(FileBytes(), SettingsText("file-token", "0", "1") + "[Device]\nPushDeviceID=dev-1\n\n");
  const ZEL::Test::TFileSizeLimit full(0);
  EXPECT_FALSE(WriteOrReport("test", [&] {
    data->SetUserEscalatedSubscribe(true);
    data->SaveSettings();
  }));
  EXPECT_EQ(messages.Texts, (std::vector<std::string>{told, told}));
}

}  // namespace
}  // namespace ZEL
