#include "ZEL.View.Profile.h"

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.Dialogs.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Exceptions.h"
#include "ZEL.Identity.Client.h"
#include "ZEL.LogsArchive.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UINotification.h"
#include "ZEL.UIThread.h"
#include "ZEL.Utils.h"
#include "ZEL.Utils.Clipboard.h"
#include "ZEL.ViewHost.Interf.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>

#include <fmt/format.h>

#include <exception>

namespace ZEL {

namespace {

constexpr std::string_view cTag = "TProfileViewForm";

ILogWriter& Log() { return LogsPipe::ZELLog(); }

std::shared_ptr<TZELIocServiceLocator> Locator() { return Services::Container::ZELServiceLocator(); }

QString Q(const std::string& AText) { return QString::fromStdString(AText); }

QLabel* MakeLabel(const char* AName, const char* AText, int ASize, QWidget* AParent) {
  auto* LLabel = new QLabel(QString::fromUtf8(AText), AParent);
  LLabel->setObjectName(QString::fromLatin1(AName));
  LLabel->setTextFormat(Qt::PlainText);
  if (ASize > 0) {
    QFont LFont = LLabel->font();
    LFont.setPointSize(ASize);
    LLabel->setFont(LFont);
  }
  return LLabel;
}

QPushButton* MakeButton(const char* AName, const char* AText, QWidget* AParent) {
  auto* LButton = new QPushButton(QString::fromUtf8(AText), AParent);
  LButton->setObjectName(QString::fromLatin1(AName));
  return LButton;
}

QLineEdit* MakeReadOnlyEdit(const char* AName, QWidget* AParent) {
  auto* LEdit = new QLineEdit(AParent);
  LEdit->setObjectName(QString::fromLatin1(AName));
  LEdit->setReadOnly(true);
  LEdit->setEnabled(false);
  return LEdit;
}

// A switch on the left, its text beside it.
QWidget* MakeSwitchRow(const char* ARowName, QCheckBox*& ASwitch, const char* ASwitchName, QLabel*& AText,
                       const char* ATextName, const char* ACaption, QWidget* AParent) {
  auto* LRow = new QWidget(AParent);
  LRow->setObjectName(QString::fromLatin1(ARowName));
  auto* LLayout = new QHBoxLayout(LRow);
  LLayout->setContentsMargins(0, 0, 0, 0);
  LLayout->setSpacing(8);
  ASwitch = new QCheckBox(LRow);
  ASwitch->setObjectName(QString::fromLatin1(ASwitchName));
  ASwitch->setChecked(false);
  AText = MakeLabel(ATextName, ACaption, 0, LRow);
  AText->setWordWrap(true);
  LLayout->addWidget(ASwitch);
  LLayout->addWidget(AText, 1);
  return LRow;
}

}  // namespace

TProfileViewForm::TProfileViewForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName(QStringLiteral("Profile"));
  setWindowTitle(QStringLiteral("Profile View"));
  resize(328, 484);
  auto* LOuter = new QVBoxLayout(this);
  LOuter->setContentsMargins(0, 0, 0, 0);
  pnlContents = new QWidget(this);
  pnlContents->setObjectName(QStringLiteral("pnlContents"));
  LOuter->addWidget(pnlContents);
  auto* LLayout = new QVBoxLayout(pnlContents);
  LLayout->setContentsMargins(8, 0, 8, 4);

  lbProfile = MakeLabel("lbProfile", "User profile", 18, pnlContents);
  lbProfile->setAlignment(Qt::AlignCenter);
  lbProfile->setFixedHeight(49);
  lbAccount = MakeLabel("lbAccount", "Account:", 14, pnlContents);
  editAccountID = MakeReadOnlyEdit("editAccountID", pnlContents);
  lbDisplayName = MakeLabel("lbDisplayName", "Display name:", 14, pnlContents);
  editDisplayName = MakeReadOnlyEdit("editDisplayName", pnlContents);
  btnLogout = MakeButton("btnLogout", "Sign out", pnlContents);
  btnLogout->setFixedHeight(50);
  btnFirebaseToken = MakeButton("btnFirebaseToken", "Copy firebase token to clipboard", pnlContents);
  for (QWidget* LWidget : std::initializer_list<QWidget*>{lbProfile, lbAccount, editAccountID, lbDisplayName,
                                                          editDisplayName, btnLogout, btnFirebaseToken})
    LLayout->addWidget(LWidget);

  lyInfo = new QWidget(pnlContents);
  lyInfo->setObjectName(QStringLiteral("lyInfo"));
  auto* LInfo = new QVBoxLayout(lyInfo);
  LInfo->setContentsMargins(0, 10, 0, 0);
  txtSubscriptions = MakeLabel("txtSubscriptions", "Push notifications", 0, lyInfo);
  LInfo->addWidget(txtSubscriptions);
  LInfo->addWidget(MakeSwitchRow("lyEscalatedSubscribed", swEscalatedSub, "swEscalatedSub", txtEscalatedSub,
                                 "txtEscalatedSub", "Receive only escalated notifications", lyInfo));
  LInfo->addWidget(MakeSwitchRow("lyNonEscalatedSubscribed", swNonEscalatedSubscribed, "swNonEscalatedSubscribed",
                                 txtNonEscalatedSubscribed, "txtNonEscalatedSubscribed", "Receive all notifications",
                                 lyInfo));
  auto* LTests = new QGridLayout();
  btnMQTTStatus = MakeButton("btnMQTTStatus", "MQTT Status", lyInfo);
  btnMQTTConnect = MakeButton("btnMQTTConnect", "MQTT Start", lyInfo);
  btnMQTTStopLikeError = MakeButton("btnMQTTStopLikeError", "MQTT Stop(Network err)", lyInfo);
  btnMQTTStopNormal = MakeButton("btnMQTTStopNormal", "MQTT Stop(Normal)", lyInfo);
  LTests->addWidget(btnMQTTStatus, 0, 0);
  LTests->addWidget(btnMQTTConnect, 0, 1);
  LTests->addWidget(btnMQTTStopLikeError, 1, 0);
  LTests->addWidget(btnMQTTStopNormal, 1, 1);
  LInfo->addLayout(LTests);
  LInfo->addStretch(1);
  btnCollectAndShareLogs = MakeButton("btnCollectAndShareLogs", "Share application logs..", lyInfo);
  LInfo->addWidget(btnCollectAndShareLogs);
  LLayout->addWidget(lyInfo, 1);

  lbAppVersion = MakeLabel("lbAppVersion", "", 0, pnlContents);
  lbAppVersion->setAlignment(Qt::AlignCenter);
  lbAppVersion->setCursor(Qt::PointingHandCursor);
  lbAppVersion->installEventFilter(this);
  LLayout->addWidget(lbAppVersion);

  // clicked, not toggled: only the user's click acts, a switch set by the view does not.
  connect(btnLogout, &QPushButton::clicked, this, [this] { btnLogoutClick(); });
  connect(swEscalatedSub, &QCheckBox::clicked, this, [this] { swEscalatedSubClick(); });
  connect(swNonEscalatedSubscribed, &QCheckBox::clicked, this, [this] { swNonEscalatedSubscribedClick(); });
  connect(btnFirebaseToken, &QPushButton::clicked, this, [this] { btnFirebaseTokenClick(); });
  connect(btnCollectAndShareLogs, &QPushButton::clicked, this, [this] { btnCollectAndShareLogsClick(); });
  connect(btnMQTTConnect, &QPushButton::clicked, this, [this] { btnMQTTConnectClick(); });
  connect(btnMQTTStopLikeError, &QPushButton::clicked, this, [this] { btnMQTTStopLikeErrorClick(); });
  connect(btnMQTTStopNormal, &QPushButton::clicked, this, [this] { btnMQTTStopNormalClick(); });
  connect(btnMQTTStatus, &QPushButton::clicked, this, [this] { btnMQTTStatusClick(); });
}

TProfileViewForm::~TProfileViewForm() { FLife.reset(); }

bool TProfileViewForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == lbAppVersion && AEvent->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton) {
    lbAppVersionClick();
    return true;
  }
  return TBaseFormView::eventFilter(AWatched, AEvent);
}

void TProfileViewForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  std::string LEmail;
  std::string LName;
  if (auto LAuth = Locator()->GetService<IAuthService>()) {
    if (auto LUser = LAuth->GetFirebaseUser()) LEmail = LUser->EMail();
    LName = LAuth->GetAccountDisplayName();
  }
  editAccountID->setText(Q(LEmail));
  editDisplayName->setText(Q(LName));
  lbAppVersion->setText(Q(Utils::GetAppVersionInfo()));
  {
    const QSignalBlocker LBlockEsc(swEscalatedSub);
    const QSignalBlocker LBlockNonEsc(swNonEscalatedSubscribed);
    const std::shared_ptr<IApplicationData> LData = GetViewHost() ? GetViewHost()->AppData() : nullptr;
    swEscalatedSub->setChecked(LData && LData->GetUserEscalatedSubscribe());
    swNonEscalatedSubscribed->setChecked(LData && LData->GetUserNonEscalatedSubscribe());
  }
  for (QWidget* LHidden : std::initializer_list<QWidget*>{btnMQTTConnect, btnMQTTStopLikeError, btnMQTTStatus,
                                                          btnMQTTStopNormal, btnCollectAndShareLogs, btnFirebaseToken})
    LHidden->hide();
}

void TProfileViewForm::btnLogoutClick() {
  if (IViewHost* LHost = GetViewHost()) LHost->Signout();
}

void TProfileViewForm::swEscalatedSubClick() { SwitchClick(true); }

void TProfileViewForm::swNonEscalatedSubscribedClick() { SwitchClick(false); }

void TProfileViewForm::SwitchClick(bool AEscalated) {
  QCheckBox* LOwn = AEscalated ? swEscalatedSub : swNonEscalatedSubscribed;
  QCheckBox* LOther = AEscalated ? swNonEscalatedSubscribed : swEscalatedSub;
  const std::shared_ptr<IApplicationData> LData = GetViewHost() ? GetViewHost()->AppData() : nullptr;
  bool LApplied = false;
  try {
    auto LLocator = Locator();
    auto LAuth = LLocator->GetService<IAuthService>();
    auto LPush = LLocator->GetService<IFirebaseCloudMessaging>();
    if (LAuth && LData)
      LApplied = View::Profile::ApplyPushSwitch(
          AEscalated ? View::Profile::TPushSwitch::Escalated : View::Profile::TPushSwitch::NonEscalated,
          LOwn->isChecked(), *LAuth, LPush.get(), *LData);
    if (!LApplied) Dialogs::Dialogs().ShowMessage(pnlContents->window(), View::Profile::cNoTopicMessage, {});
  } catch (const std::exception& E) {
    Log().FatalFmt(cTag, "Push preference not saved. {}: {}", Exceptions::ClassNameOf(E), E.what());
    Dialogs::Dialogs().ShowMessage(pnlContents->window(), std::string("Unable to save the preference. ") + E.what(),
                                   {});
  }
  // Both switches show what is stored (the switch clicked goes back when nothing was).
  const QSignalBlocker LBlockOwn(LOwn);
  const QSignalBlocker LBlockOther(LOther);
  if (!LData) {
    LOwn->setChecked(!LOwn->isChecked());
    return;
  }
  const bool LEsc = LData->GetUserEscalatedSubscribe();
  const bool LNonEsc = LData->GetUserNonEscalatedSubscribe();
  LOwn->setChecked(AEscalated ? LEsc : LNonEsc);
  LOther->setChecked(AEscalated ? LNonEsc : LEsc);
}

void TProfileViewForm::lbAppVersionClick() { Utils::CopyVersionInfoToUser(); }

void TProfileViewForm::btnFirebaseTokenClick() {
  auto LAuth = Locator()->GetService<IAuthService>();
  View::Profile::CopyTextToClipboard(LAuth ? LAuth->FirebaseToken() : std::string());
}

void TProfileViewForm::btnMQTTConnectClick() {
  auto LMQTT = Locator()->GetService<IZELMQTTService>();
  if (!LMQTT) return;
  if (LMQTT->IsConnected())
    Dialogs::Dialogs().ShowMessage(pnlContents->window(), "MQTT already connected.", {});
  else
    LMQTT->Connect();
}

void TProfileViewForm::btnMQTTStopLikeErrorClick() {
  auto LMQTT = Locator()->GetService<IZELMQTTService>();
  if (LMQTT && LMQTT->IsConnected())
    LMQTT->Disconnect(true);
  else
    Dialogs::Dialogs().ShowMessage(pnlContents->window(), "MQTT Not connected.", {});
}

void TProfileViewForm::btnMQTTStopNormalClick() {
  auto LMQTT = Locator()->GetService<IZELMQTTService>();
  if (LMQTT && LMQTT->IsConnected())
    LMQTT->Disconnect(false);
  else
    Dialogs::Dialogs().ShowMessage(pnlContents->window(), "MQTT Not connected.", {});
}

void TProfileViewForm::btnMQTTStatusClick() {
  auto LMQTT = Locator()->GetService<IZELMQTTService>();
  const bool LConnected = LMQTT && LMQTT->IsConnected();
  Dialogs::Dialogs().ShowMessage(
      pnlContents->window(), fmt::format("IsConnected: {} ReconnectAttempts: {} Last Error Message: {}", Utils::BoolToStrUF(LConnected),
                        LMQTT ? LMQTT->GetReconnectAttempts() : 0, LMQTT ? LMQTT->LastErrorMessage() : std::string()),
      {});
}

void TProfileViewForm::btnCollectAndShareLogsClick() {
  if (FArchiving) return;
  const std::string LDocuments = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
  const std::string LLogs = LogsPipe::LogsPath();
  const Time::TInstant LNow = Time::Now();
  FArchiving = true;
  if (IViewHost* LHost = GetViewHost()) LHost->ShowProgress(cCompressingText, false);
  const std::weak_ptr<int> LLife = FLife;
  // Copying and compressing up to 30 files of 4 MB: never on the UI thread.
  QThreadPool::globalInstance()->start([this, LLife, LDocuments, LLogs, LNow] {
    std::string LPath;
    std::string LError;
    try {
      LPath = LogsArchive::Make(LDocuments, LLogs, LNow).Path;
    } catch (const std::exception& E) {
      LError = E.what();
      Log().ErrorFmt(LogsArchive::cLogTag, "Logs archive failed. {}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      LError = "Unknown error.";
      Log().Error(LogsArchive::cLogTag, "Logs archive failed. Unknown exception.");
    }
    ExceptionReporter::Guarded(LogsArchive::cLogTag, [&] {
      UIThread::RunAsync([this, LLife, LPath, LError] {
        if (!LLife.expired()) ArchiveDone(LPath, LError);
      });
    });
  });
}

void TProfileViewForm::ArchiveDone(const std::string& APath, const std::string& AError) {
  FArchiving = false;
  if (IViewHost* LHost = GetViewHost()) LHost->HideProgress();
  if (!AError.empty()) {
    Dialogs::Dialogs().ShowMessage(pnlContents->window(), "Unable to make the logs archive. " + AError, {});
    return;
  }
  ShareFile(APath);
}

void TProfileViewForm::ShareFile(const std::string& APath) {
  TZELUINotification::ShowToast("Logs archive: " + APath);
  const QString LPlatform = QGuiApplication::platformName();
  if (LPlatform == QLatin1String("offscreen") || LPlatform == QLatin1String("minimal")) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(Q(APath)).absolutePath()));
}

}  // namespace ZEL

namespace ZEL::View::Profile {

void CopyTextToClipboard(const std::string& AText) {
  const auto LFirst = AText.find_first_not_of(" \t\r\n\f\v");
  if (LFirst == std::string::npos) {
    TZELUINotification::ShowToast(cNothingToCopy);
    return;
  }
  TZELUINotification::ShowToast(Utils::CopyToClipboard(AText) ? cCopied : cNoClipboard);
}

bool ApplyPushSwitch(TPushSwitch ASwitch, bool AOn, IAuthService& AAuth, IFirebaseCloudMessaging* APush,
                     IApplicationData& AData) {
  const bool LEscalated = ASwitch == TPushSwitch::Escalated;
  const std::string LTopic = LEscalated ? AAuth.FirebaseEscalatedTopic() : AAuth.FirebaseNonEscalatedTopic();
  if (LTopic.empty()) return false;
  const auto LStore = [&AData](bool AEsc, bool AValue) {
    if (AEsc)
      AData.SetUserEscalatedSubscribe(AValue);
    else
      AData.SetUserNonEscalatedSubscribe(AValue);
  };
  const bool LWasEsc = AData.GetUserEscalatedSubscribe();
  const bool LWasNonEsc = AData.GetUserNonEscalatedSubscribe();
  // The other choice goes: both stored on would come back as "all" at the next start.
  if (AOn) LStore(!LEscalated, false);
  LStore(LEscalated, AOn);
  try {
    AData.SaveSettings();
  } catch (...) {
    // Not saved: the choice is undone, in memory too, so that what shows and what a later
    // save writes is what the file holds; the topics stay as they were.
    LStore(true, LWasEsc);
    LStore(false, LWasNonEsc);
    try {
      AData.SaveSettings();
    } catch (...) {
      // the same failure, reported below
    }
    throw;
  }
  if (AOn) {
    if (APush) APush->SubscribeToTopic(LTopic);
    const std::string LOtherTopic = LEscalated ? AAuth.FirebaseNonEscalatedTopic() : AAuth.FirebaseEscalatedTopic();
    if (APush && !LOtherTopic.empty()) APush->UnsubscribeFromTopic(LOtherTopic);
  } else if (APush) {
    APush->UnsubscribeFromTopic(LTopic);
  }
  return true;
}

}  // namespace ZEL::View::Profile
