#pragma once
// The Authorize view: signs in at once with a saved refresh token on the program's first
// view, and otherwise offers the two ways in.

#include "ZEL.View.Base.h"

class QLabel;
class QPushButton;

namespace ZEL {

class TAuthorizeViewForm : public TBaseFormView {
  Q_OBJECT
public:
  explicit TAuthorizeViewForm(QWidget* AParent = nullptr);

  QWidget* FormContent() override { return lyContents; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  void AuthWithToken();
  void btnLoginClick();
  void btnRegisterClick();

  QLabel* txtRegisterNote;
  QPushButton* btnRegister;
  QLabel* txtLoginNote;
  QPushButton* btnLogin;
  int btnLoginTag = 0;  // 1: the button signs in with the saved token

private:
  bool FSignInStarted = false;  // a sign-in with the saved token was started from this entry
  std::string SavedToken() const;
  QWidget* lyContents;
};

}  // namespace ZEL
