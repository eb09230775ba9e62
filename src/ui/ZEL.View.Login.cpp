#include "ZEL.View.Login.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Dialogs.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.View.SignInLook.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace ZEL {

TLoginForm::TLoginForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName("LoginForm");
  const SignInLook::TParts LParts = SignInLook::Build(this, QStringLiteral("Sign In"), 200);
  lyContents = LParts.Contents;

  const SignInLook::TBack LBack = SignInLook::AddBack(LParts.Header);
  lyBack = LBack.Layout;
  btnBack = LBack.Button;

  const auto LMakeEdit = [this, &LParts](const char* AName, const char* APrompt) {
    auto* LEdit = new QLineEdit(lyContents);
    LEdit->setObjectName(AName);
    LEdit->setPlaceholderText(QString::fromUtf8(APrompt));
    LEdit->setMaxLength(MaxLength);
    LEdit->setAlignment(Qt::AlignCenter);
    LEdit->setFixedHeight(32);
    LEdit->setInputMethodHints(Qt::ImhEmailCharactersOnly);
    auto* LRow = new QHBoxLayout();
    LRow->setContentsMargins(10, 10, 10, 0);
    LRow->addWidget(LEdit);
    LParts.Card->addLayout(LRow);
    return LEdit;
  };
  editUsername = LMakeEdit("editUsername", "Email");
  editPassword = LMakeEdit("editPassword", "Password");
  editPassword->setEchoMode(QLineEdit::Password);
  btnLogin = new QPushButton(QStringLiteral("Log-in"), lyContents);
  btnLogin->setObjectName("btnLogin");
  auto* LButtonRow = new QHBoxLayout();
  LButtonRow->setContentsMargins(10, 10, 10, 10);
  LButtonRow->addWidget(btnLogin);
  LParts.Card->addLayout(LButtonRow, 1);

  connect(btnLogin, &QPushButton::clicked, this, &TLoginForm::btnLoginClick);
  connect(btnBack, &QPushButton::clicked, this, &TLoginForm::btnBackClick);
  connect(editPassword, &QLineEdit::returnPressed, this, &TLoginForm::btnLoginClick);
}

void TLoginForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  FSignInStarted = false;
  FPrevView = AFromView;
  lyBack->setVisible(CanGoBack());
  lyBack->setEnabled(CanGoBack());
  editUsername->clear();
  editPassword->clear();
}

void TLoginForm::Leave(TView AToView) {
  FSignInStarted = false;
  TBaseFormView::Leave(AToView);
}

void TLoginForm::btnLoginClick() {
  if (FSignInStarted) return;  // the first sign-in runs until the view is left
  const std::string LEmail = SignIn::CleanEmail(editUsername->text().toStdString());
  const std::string LPassword = editPassword->text().toStdString();
  if (const auto LError = SignIn::ValidateLogin(LEmail, LPassword)) {
    Dialogs::Dialogs().ShowMessage(window(), *LError, {});
    return;
  }
  if (!GetViewHost()) return;
  // The password as typed: it may begin or end with blanks.
  if (const std::shared_ptr<IAuthService> LAuth = GetViewHost()->AuthService()) {
    FSignInStarted = true;
    LAuth->LoginUser(LEmail, LPassword);
  }
}

void TLoginForm::btnBackClick() {
  if (GetViewHost()) GetViewHost()->ChangeView(TView::Authorize);
}

}  // namespace ZEL
