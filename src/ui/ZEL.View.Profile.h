#pragma once
// The Profile view: the signed-in account, the program's version (a click copies it), the
// two push-notification preferences and the sign-out. Six further controls (a token copy,
// the log archive, four broker test buttons) exist but are hidden at every entry.

#include "ZEL.View.Base.h"

#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ZEL {

class IApplicationData;
class IAuthService;
class IFirebaseCloudMessaging;

class TProfileViewForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TProfileViewForm";
  static constexpr const char* cCompressingText = "Compressing Logs...";

  explicit TProfileViewForm(QWidget* AParent = nullptr);
  ~TProfileViewForm() override;

  std::string FormCaption() override { return windowTitle().toStdString(); }
  // The content lent to the host's tab.
  QWidget* FormContent() override { return pnlContents; }
  // Reads every value again and hides the six hidden controls.
  void Enter(TView AFromView) override;

  void btnLogoutClick();
  void swEscalatedSubClick();
  void swNonEscalatedSubscribedClick();
  void lbAppVersionClick();
  void btnFirebaseTokenClick();
  // Makes the log archive on a pool task under the progress overlay.
  void btnCollectAndShareLogsClick();
  void btnMQTTConnectClick();
  void btnMQTTStopLikeErrorClick();
  void btnMQTTStopNormalClick();
  void btnMQTTStatusClick();
  // The desktop has no share sheet: a toast names the file and the folder is offered to
  // the desktop's file manager where there is one.
  void ShareFile(const std::string& APath);

  // Whether a log archive is being made now.
  bool Archiving() const { return FArchiving; }

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void SwitchClick(bool AEscalated);
  void ArchiveDone(const std::string& APath, const std::string& AError);

  QWidget* pnlContents;
  QLabel* lbProfile;
  QLabel* lbAccount;
  QLineEdit* editAccountID;
  QLabel* lbDisplayName;
  QLineEdit* editDisplayName;
  QPushButton* btnLogout;
  QPushButton* btnFirebaseToken;
  QWidget* lyInfo;
  QLabel* txtSubscriptions;
  QCheckBox* swEscalatedSub;
  QLabel* txtEscalatedSub;
  QCheckBox* swNonEscalatedSubscribed;
  QLabel* txtNonEscalatedSubscribed;
  QPushButton* btnCollectAndShareLogs;
  QPushButton* btnMQTTStatus;
  QPushButton* btnMQTTConnect;
  QPushButton* btnMQTTStopLikeError;
  QPushButton* btnMQTTStopNormal;
  QLabel* lbAppVersion;

  bool FArchiving = false;
  // Work handed back by the archive task checks this first: the view may be gone by then.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
};

}  // namespace ZEL

namespace ZEL::View::Profile {

inline constexpr const char* cNoTopicMessage = "Error. CRM record not received, topic is unknown.";
inline constexpr const char* cNothingToCopy = "Nothing to copy to clipboard.";
inline constexpr const char* cCopied = "Data is copied to clipboard.";
inline constexpr const char* cNoClipboard = "Clipboard service is not available/not granted.";

// Toasts the outcome: nothing to copy (blank text), copied (the text as given), or no
// clipboard.
void CopyTextToClipboard(const std::string& AText);

enum class TPushSwitch { Escalated, NonEscalated };

// A click on a push switch that now shows AOn. Without the switch's topic (no user record)
// nothing changes and false comes back. Otherwise its topic is subscribed or left and the
// preference stored; turning one on also leaves the other's topic and stores the other as
// off, so the two are never both stored on; the settings are saved. When the save fails its
// error passes on, and the preferences and topics are left as they were.
bool ApplyPushSwitch(TPushSwitch ASwitch, bool AOn, IAuthService& AAuth, IFirebaseCloudMessaging* APush,
                     IApplicationData& AData);

}  // namespace ZEL::View::Profile
