#pragma once
// A recording view host and a dialog service that answers boxes at once, for the views' tests.

#include "Core/ZEL.Services.Fakes.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Views.Interfaces.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ZEL::Test {

class TRecordingAppData : public TFakeApplicationData {
public:
  std::string GetFirebaseRefreshToken() override { return Token; }
  std::string Token;
};

class TRecordingAuth : public TFakeAuthService {
public:
  void LoginUser(const std::string& AUser, const std::string& APassword) override {
    Calls.push_back("LoginUser(" + AUser + "," + APassword + ")");
  }
  void AuthWithToken(const std::string& AToken, bool ASilent) override {
    Calls.push_back("AuthWithToken(" + AToken + "," + (ASilent ? "true" : "false") + ")");
  }
  std::vector<std::string> Calls;
};

class TRecordingHost : public IViewHost {
public:
  void ShowProgress(const std::string& AMessage, bool) override { Calls.push_back("ShowProgress(" + AMessage + ")"); }
  void HideProgress() override { Calls.push_back("HideProgress"); }
  void Back() override { Calls.push_back("Back"); }
  void ChangeView(TView ATo) override { Calls.push_back("ChangeView(" + std::string(ToString(ATo)) + ")"); }
  std::shared_ptr<IApplicationData> AppData() override { return Data; }
  std::shared_ptr<IAuthService> AuthService() override { return Auth; }
  std::shared_ptr<IZELRESTService> RESTService() override { return nullptr; }
  void Signout() override { Calls.push_back("Signout"); }

  std::shared_ptr<TRecordingAppData> Data = std::make_shared<TRecordingAppData>();
  std::shared_ptr<TRecordingAuth> Auth = std::make_shared<TRecordingAuth>();
  std::vector<std::string> Calls;
};

// Records each message and closes the box at once.
class TAnsweringDialogs : public IDialogService {
public:
  void ShowMessage(QWidget*, const std::string& AText, std::function<void()> AOnClosed) override {
    Shown.push_back(AText);
    if (AOnClosed) AOnClosed();
  }
  // Records "caption|prompt|default" and answers with Input: the default when it is unset,
  // a cancel when Cancel is set.
  void InputText(QWidget*, const std::string& ACaption, const std::string& APrompt, const std::string& ADefault,
                 std::function<void(bool, std::string)> AOnClosed) override {
    Asked.push_back(ACaption + "|" + APrompt + "|" + ADefault);
    if (AOnClosed) AOnClosed(!Cancel, Cancel ? std::string() : Input.value_or(ADefault));
  }
  void CloseAll() override {}
  std::vector<std::string> Shown;
  std::vector<std::string> Asked;
  std::optional<std::string> Input;
  bool Cancel = false;
};

// Puts the answering dialogs in place for the test's life.
class TDialogsInPlace {
public:
  TDialogsInPlace() { Dialogs::SetDialogService(Service); }
  ~TDialogsInPlace() { Dialogs::SetDialogService(nullptr); }
  std::shared_ptr<TAnsweringDialogs> Service = std::make_shared<TAnsweringDialogs>();
};

}  // namespace ZEL::Test
