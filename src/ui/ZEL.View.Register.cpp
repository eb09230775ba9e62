#include "ZEL.View.Register.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Dialogs.h"
#include "ZEL.EditFilter.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Forms.CameraQRCode.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Register.Decisions.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.Style.h"
#include "ZEL.UIThread.h"
#include "ZEL.View.SignInLook.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QThreadPool>
#include <QVBoxLayout>

#include <exception>

namespace ZEL {

namespace {

constexpr std::string_view cTag = "TRegisterForm";

QLineEdit* MakeEdit(QWidget* AParent, QVBoxLayout* AColumn, const char* AName, const char* APrompt) {
  auto* LEdit = new QLineEdit(AParent);
  LEdit->setObjectName(AName);
  LEdit->setPlaceholderText(QString::fromUtf8(APrompt));
  LEdit->setAlignment(Qt::AlignCenter);
  LEdit->setFixedHeight(32);
  auto* LRow = new QHBoxLayout();
  LRow->setContentsMargins(10, 10, 10, 0);
  LRow->addWidget(LEdit);
  AColumn->addLayout(LRow);
  return LEdit;
}

QVBoxLayout* MakeColumn(QWidget* ATab) {
  auto* LColumn = new QVBoxLayout(ATab);
  LColumn->setContentsMargins(0, 0, 0, 0);
  LColumn->setSpacing(0);
  return LColumn;
}

}  // namespace

TRegisterForm::TRegisterForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName("RegisterForm");
  const SignInLook::TParts LParts = SignInLook::Build(this, QStringLiteral("Sign Up"), EnrollCardHeight);
  lyContents = LParts.Contents;
  lyForm = LParts.Card->parentWidget();

  const SignInLook::TBack LBack = SignInLook::AddBack(LParts.Header);
  lyBack = LBack.Layout;
  btnBack = LBack.Button;

  tcRegisterForms = new QStackedWidget(lyContents);
  tcRegisterForms->setObjectName("tcRegisterForms");
  tabEnroll = new QWidget(tcRegisterForms);
  tabEnroll->setObjectName("tabEnroll");
  tabUserInfo = new QWidget(tcRegisterForms);
  tabUserInfo->setObjectName("tabUserInfo");
  tcRegisterForms->addWidget(tabEnroll);
  tcRegisterForms->addWidget(tabUserInfo);
  LParts.Card->addWidget(tcRegisterForms, 1);

  QVBoxLayout* LEnroll = MakeColumn(tabEnroll);
  editInvCode = MakeEdit(tabEnroll, LEnroll, "editInvCode", "Invitation number code");
  editInvCode->setMaxLength(Register::InvCodeEditRoom);  // the filter keeps six digits
  editInvCode->setInputMethodHints(Qt::ImhDigitsOnly);
  btnScanQRCode = new QPushButton(QStringLiteral("Tap here to scan QR-Code or fill fields manually"), tabEnroll);
  btnScanQRCode->setObjectName("btnScanQRCode");
  btnScanQRCode->setFixedHeight(39);
  btnScanQRCode->setVisible(false);
  auto* LScanRow = new QHBoxLayout();
  LScanRow->setContentsMargins(10, 10, 10, 0);
  LScanRow->addWidget(btnScanQRCode);
  LEnroll->addLayout(LScanRow);
  LEnroll->addStretch(1);

  QVBoxLayout* LUser = MakeColumn(tabUserInfo);
  editUsername = MakeEdit(tabUserInfo, LUser, "editUsername", "e-mail address");
  editUsername->setReadOnly(true);
  editUsername->setEnabled(false);  // the address comes from the invitation's record
  editDisplayName = MakeEdit(tabUserInfo, LUser, "editDisplayName", "Display name");
  editDisplayName->setMaxLength(Register::DisplayNameMaxLength);
  editPassword = MakeEdit(tabUserInfo, LUser, "editPassword", "Password");
  editPassword->setEchoMode(QLineEdit::Password);
  editPasswordConfirm = MakeEdit(tabUserInfo, LUser, "editPasswordConfirm", "Confirm password");
  editPasswordConfirm->setEchoMode(QLineEdit::Password);
  LUser->addStretch(1);

  btnProcessRegister = new QPushButton(lyContents);
  btnProcessRegister->setObjectName("btnProcessRegister");
  btnProcessRegister->setFixedHeight(56 - 20);
  auto* LArrowRow = new QHBoxLayout(btnProcessRegister);
  LArrowRow->setContentsMargins(0, 0, 0, 0);
  LArrowRow->addStretch(1);
  sbtnArrowNext = new QLabel(btnProcessRegister);
  sbtnArrowNext->setObjectName("sbtnArrowNext");
  sbtnArrowNext->setFixedWidth(42);
  sbtnArrowNext->setAlignment(Qt::AlignCenter);
  sbtnArrowNext->setPixmap(Style::Icon("arrow").pixmap(20, 20));
  sbtnArrowNext->setAttribute(Qt::WA_TransparentForMouseEvents);
  LArrowRow->addWidget(sbtnArrowNext);
  auto* LButtonRow = new QHBoxLayout();
  LButtonRow->setContentsMargins(10, 10, 10, 10);
  LButtonRow->addWidget(btnProcessRegister);
  LParts.Card->addLayout(LButtonRow);

  editInvCode->installEventFilter(this);
  editDisplayName->installEventFilter(this);
  // The key filters see only keys; these see every edit of the user's, a paste included.
  new TEditFilter(editInvCode, &Register::InvCodeCharAllowed, Register::InvCodeLength);
  new TEditFilter(editDisplayName, &Register::DisplayNameCharAllowed, Register::DisplayNameMaxLength);
  connect(btnProcessRegister, &QPushButton::clicked, this, &TRegisterForm::btnProcessRegisterClick);
  connect(btnBack, &QPushButton::clicked, this, &TRegisterForm::btnBackClick);
  connect(btnScanQRCode, &QPushButton::clicked, this, &TRegisterForm::btnScanQRCodeClick);
  connect(tcRegisterForms, &QStackedWidget::currentChanged, this, &TRegisterForm::tcRegisterFormsChange);
  tcRegisterFormsChange();
}

void TRegisterForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  FSignUpStarted = false;
  Cleanup();
  FPrevView = AFromView;
  {
    const QSignalBlocker LQuiet(tcRegisterForms);  // the change below runs once, at the end
    tcRegisterForms->setCurrentWidget(tabEnroll);
  }
  editInvCode->setMaxLength(Register::InvCodeEditRoom);  // the filter keeps six digits
  lyBack->setVisible(CanGoBack());
  lyBack->setEnabled(CanGoBack());
  btnScanQRCode->setVisible(false);
  tcRegisterFormsChange();
}

void TRegisterForm::Leave(TView AToView) {
  FSignUpStarted = false;
  TBaseFormView::Leave(AToView);
}

void TRegisterForm::Cleanup() {
  editInvCode->clear();
  editUsername->clear();
  editDisplayName->clear();
  editPassword->clear();
  editPasswordConfirm->clear();
}

void TRegisterForm::tcRegisterFormsChange() {
  const auto LEnrollStep = [this] {
    btnProcessRegister->setText(QStringLiteral("Next"));
    sbtnArrowNext->setVisible(true);
    FProcessAction = &TRegisterForm::btnEnrollClick;
    lyForm->setFixedHeight(EnrollCardHeight);
  };
  if (tcRegisterForms->currentWidget() == tabEnroll) {
    LEnrollStep();
    return;
  }
  const std::shared_ptr<IAuthService> LAuth = GetViewHost() ? GetViewHost()->AuthService() : nullptr;
  const auto LRecord = LAuth ? LAuth->CRMUserRecord() : nullptr;
  if (!LRecord) {
    Dialogs::Dialogs().ShowMessage(window(), Register::NoRecordText, {});
    // Back to the code step: the user step without a record would keep the code step's
    // button and could never be filled by a later check.
    const QSignalBlocker LQuiet(tcRegisterForms);
    tcRegisterForms->setCurrentWidget(tabEnroll);
    LEnrollStep();
    return;
  }
  editUsername->setText(QString::fromStdString(LRecord->email));
  editDisplayName->setText(QString::fromStdString(LRecord->name));
  btnProcessRegister->setText(QStringLiteral("Register"));
  sbtnArrowNext->setVisible(false);
  FProcessAction = &TRegisterForm::btnSignupClick;
  lyForm->setFixedHeight(UserInfoCardHeight);
}

void TRegisterForm::ActivateTab(QWidget* ATab) {
  if (tcRegisterForms->currentWidget() == ATab)
    tcRegisterFormsChange();
  else
    tcRegisterForms->setCurrentWidget(ATab);
}

void TRegisterForm::btnProcessRegisterClick() { (this->*FProcessAction)(); }

void TRegisterForm::btnEnrollClick() {
  if (FChecking) return;  // one check at a time
  const std::string LInvCode = editInvCode->text().toStdString();
  if (const auto LError = Register::CheckInvCode(LInvCode)) {
    Dialogs::Dialogs().ShowMessage(window(), *LError, {});
    return;
  }
  IViewHost* LHost = GetViewHost();
  if (!LHost) return;
  std::shared_ptr<IAuthService> LAuth = LHost->AuthService();
  FChecking = true;
  LHost->ShowProgress(Register::VerifyingText, true);
  const std::weak_ptr<char> LAlive = FAlive;
  // Every hand-over runs on the UI thread and checks there that the view still exists.
  const auto LOnUI = [this, LAlive](auto AWork) {
    try {
      UIThread::RunSync([this, LAlive, AWork] {
        if (LAlive.lock()) AWork();
      });
    } catch (const std::exception& E) {
      LogsPipe::ZELLog().FatalFmt(cTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    }
  };
  const auto LShow = [this](const char* AText) { Dialogs::Dialogs().ShowMessage(window(), AText, {}); };
  QThreadPool::globalInstance()->start([this, LAuth, LInvCode, LOnUI, LShow] {
    try {
      if (!LAuth || !LAuth->ValidateInviteCode(LInvCode)) {
        LOnUI([LShow] { LShow(Register::InvalidCodeText); });
      } else if (const auto LRecord = LAuth->CRMUserRecord(); !LRecord) {
        LOnUI([LShow] { LShow(Register::InvalidCodeText); });
      } else if (Register::EmailMissing(LRecord->email)) {
        LOnUI([LShow] { LShow(Register::NoEmailText); });
      } else {
        LOnUI([this] { ActivateTab(tabUserInfo); });
      }
    } catch (const std::exception& E) {
      // A transport error of the check ends it without a message; the overlay still goes.
      LogsPipe::ZELLog().FatalFmt(cTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      LogsPipe::ZELLog().Fatal(cTag, "Unknown exception while checking the invitation code.");
    }
    LOnUI([this] {
      FChecking = false;
      if (GetViewHost()) GetViewHost()->HideProgress();
    });
  });
}

void TRegisterForm::btnSignupClick() {
  if (FSignUpStarted) return;  // the first sign-up runs until the view is left
  const std::string LEmail = SignIn::CleanEmail(editUsername->text().toStdString());
  const std::string LName = editDisplayName->text().toStdString();
  const std::string LPassword = editPassword->text().toStdString();
  if (const auto LError =
          Register::ValidateSignup(LEmail, LName, LPassword, editPasswordConfirm->text().toStdString())) {
    Dialogs::Dialogs().ShowMessage(window(), *LError, {});
    return;
  }
  if (!GetViewHost()) return;
  // Name and password as they stand: a password may begin or end with blanks.
  if (const std::shared_ptr<IAuthService> LAuth = GetViewHost()->AuthService()) {
    FSignUpStarted = true;
    LAuth->RegisterUser(LName, LEmail, LPassword);
  }
}

void TRegisterForm::btnBackClick() {
  if (GetViewHost()) GetViewHost()->ChangeView(TView::Authorize);
}

TRegisterForm::~TRegisterForm() { TZELMessager<TQRCodeScannedMessage>::Unsubscribe(FQRCodeScannedRef); }

void TRegisterForm::btnScanQRCodeClick() {
  const bool LSubscribe = FQRCodeScannedRef.SubID < 0;
  if (LSubscribe)
    FQRCodeScannedRef = TZELMessager<TQRCodeScannedMessage>::Subscribe(this, &TRegisterForm::QRCodeScannedMessage);
  // The view's content sits in the start-up window: the scanner belongs to that window.
  TfrmCameraScan* LScan = TfrmCameraScan::ShowScanner(FormContent()->window());
  // The subscription lasts as long as the scanner: closed by hand, it sends nothing more.
  if (LSubscribe)
    connect(LScan, &QObject::destroyed, this,
            [this] { TZELMessager<TQRCodeScannedMessage>::Unsubscribe(FQRCodeScannedRef); });
}

void TRegisterForm::QRCodeScannedMessage(TSender, const TQRCodeScannedMessage& AMessage) {
  editInvCode->setText(QString::fromStdString(AMessage.Value().InvCode));
  editInvCode->setEnabled(false);
  TZELMessager<TQRCodeScannedMessage>::Unsubscribe(FQRCodeScannedRef);
}

bool TRegisterForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AEvent->type() == QEvent::KeyPress && (AWatched == editInvCode || AWatched == editDisplayName)) {
    const QString LText = static_cast<QKeyEvent*>(AEvent)->text();
    const bool LAllowed =
        AWatched == editInvCode ? Register::InvCodeKeyAllowed(LText) : Register::DisplayNameKeyAllowed(LText);
    if (!LAllowed) return true;  // swallowed: the character is not typed
  }
  return TBaseFormView::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL
