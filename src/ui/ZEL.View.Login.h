#pragma once
// The Login view: an e-mail address and a password, checked here, then the e-mail sign-in.

#include "ZEL.View.Base.h"

class QLineEdit;
class QPushButton;
class QLabel;

namespace ZEL {

class TLoginForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr int MaxLength = 255;

  explicit TLoginForm(QWidget* AParent = nullptr);

  QWidget* FormContent() override { return lyContents; }
  bool CanGoBack() override { return true; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  void btnLoginClick();
  void btnBackClick();

  QLineEdit* editUsername;
  QLineEdit* editPassword;
  QPushButton* btnLogin;
  QWidget* lyBack;
  QPushButton* btnBack;

private:
  QWidget* lyContents;
  TView FPrevView = TView::Host;  // recorded on every entry; nothing reads it
  bool FSignInStarted = false;    // a sign-in was started from this entry
};

}  // namespace ZEL
