#include "ZEL.View.Authorize.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Secrets.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.View.SignInLook.h"
#include "ZEL.ViewHost.Interf.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace ZEL {

namespace {
constexpr std::string_view cTag = "AuthorizeView";
}

TAuthorizeViewForm::TAuthorizeViewForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName("AuthorizeViewForm");
  const SignInLook::TParts LParts = SignInLook::Build(this, QStringLiteral("Authorization"), 246);
  lyContents = LParts.Contents;
  const auto LNote = [this, &LParts](const char* AName, const char* AText) {
    auto* LLabel = new QLabel(QString::fromUtf8(AText), lyContents);
    LLabel->setObjectName(AName);
    LLabel->setFixedHeight(50);
    LLabel->setAlignment(Qt::AlignCenter);
    LLabel->setStyleSheet("font-size: 16pt;");
    LParts.Card->addWidget(LLabel);
    return LLabel;
  };
  const auto LButton = [this, &LParts](const char* AName, const char* AText) {
    auto* LPush = new QPushButton(QString::fromUtf8(AText), lyContents);
    LPush->setObjectName(AName);
    LPush->setFixedHeight(49 - 20);
    auto* LRow = new QHBoxLayout();
    LRow->setContentsMargins(10, 10, 10, 10);
    LRow->addWidget(LPush);
    LParts.Card->addLayout(LRow);
    return LPush;
  };
  txtRegisterNote = LNote("txtRegisterNote", "Received invitation?");
  btnRegister = LButton("btnRegister", "Create account");
  txtLoginNote = LNote("txtLoginNote", "Already Registered?");
  btnLogin = LButton("btnLogin", "Enter credentials");
  connect(btnLogin, &QPushButton::clicked, this, &TAuthorizeViewForm::btnLoginClick);
  connect(btnRegister, &QPushButton::clicked, this, &TAuthorizeViewForm::btnRegisterClick);
}

std::string TAuthorizeViewForm::SavedToken() const {
  if (!GetViewHost()) return {};
  const std::shared_ptr<IApplicationData> LData = GetViewHost()->AppData();
  return LData ? LData->GetFirebaseRefreshToken() : std::string();
}

void TAuthorizeViewForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  FSignInStarted = false;
  const std::string LToken = SavedToken();
  LogsPipe::ZELLog().DebugFmt(cTag, "Entering view from \"{}\"", ToString(AFromView));
  const SignIn::TAuthorizeEntry LEntry = SignIn::AuthorizeOnEnter(AFromView, !LToken.empty());
  if (LEntry.SignInWithToken) {
    AuthWithToken();
    return;
  }
  txtLoginNote->setText(QString::fromStdString(LEntry.LoginNote));
  btnLogin->setText(QString::fromStdString(LEntry.LoginButton));
  btnLoginTag = LEntry.LoginTag;
}

void TAuthorizeViewForm::Leave(TView AToView) {
  FSignInStarted = false;
  TBaseFormView::Leave(AToView);
}

void TAuthorizeViewForm::AuthWithToken() {
  const std::string LToken = SavedToken();
  // Masked: a refresh token never reaches the log in clear.
  LogsPipe::ZELLog().DebugFmt(cTag, "FB Refresh token: \"{}\"", Secrets::Mask(LToken));
  if (LToken.empty() || !GetViewHost() || FSignInStarted) return;
  if (const std::shared_ptr<IAuthService> LAuth = GetViewHost()->AuthService()) {
    FSignInStarted = true;
    LAuth->AuthWithToken(LToken, false);
  }
}

void TAuthorizeViewForm::btnLoginClick() {
  if (btnLoginTag == 1) {
    AuthWithToken();
  } else if (GetViewHost()) {
    GetViewHost()->ChangeView(TView::Login);
  }
}

void TAuthorizeViewForm::btnRegisterClick() {
  if (GetViewHost()) GetViewHost()->ChangeView(TView::Register);
}

}  // namespace ZEL
