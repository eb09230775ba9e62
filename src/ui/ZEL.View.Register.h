#pragma once
// The Register view: an invitation code checked with the backend on a pool task, then the
// user's display name and password for the new account.

#include "ZEL.Messaging.h"
#include "ZEL.View.Base.h"

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace ZEL {

class TQRCodeScannedMessage;

class TRegisterForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TRegisterForm";
  static constexpr int EnrollCardHeight = 250;
  static constexpr int UserInfoCardHeight = 300;

  explicit TRegisterForm(QWidget* AParent = nullptr);
  ~TRegisterForm() override;

  QWidget* FormContent() override { return lyContents; }
  bool CanGoBack() override { return true; }
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  void Cleanup();
  void btnEnrollClick();
  void btnSignupClick();
  void btnBackClick();
  void btnScanQRCodeClick();
  void QRCodeScannedMessage(TSender ASender, const TQRCodeScannedMessage& AMessage);
  void tcRegisterFormsChange();

  QWidget* lyForm;  // the card; its height follows the step
  QPushButton* btnProcessRegister;
  QLabel* sbtnArrowNext;
  QWidget* lyBack;
  QPushButton* btnBack;
  QStackedWidget* tcRegisterForms;
  QWidget* tabEnroll;
  QWidget* tabUserInfo;
  QLineEdit* editInvCode;
  QLineEdit* editPassword;
  QLineEdit* editPasswordConfirm;
  QPushButton* btnScanQRCode;
  QLineEdit* editDisplayName;
  QLineEdit* editUsername;

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void btnProcessRegisterClick();
  // Makes ATab the active tab and fills the step, also when it already is the active one.
  void ActivateTab(QWidget* ATab);

  QWidget* lyContents;
  void (TRegisterForm::*FProcessAction)() = &TRegisterForm::btnEnrollClick;
  TView FPrevView = TView::Host;  // recorded on every entry; nothing reads it
  bool FChecking = false;         // an invitation check runs
  bool FSignUpStarted = false;    // a sign-up was started from this entry
  // Pool tasks hold a weak reference: one that finishes after the view is gone does nothing.
  std::shared_ptr<char> FAlive = std::make_shared<char>(0);
  // The scanner's message, subscribed while a scanner opened here is open.
  TZELMessagerRef FQRCodeScannedRef;
};

}  // namespace ZEL
