#pragma once
// The authentication service: signs the user in to the identity service, confirms each new
// ID token with the backend, keeps the backend user record and the token keeper
// "AUTHTOKEN_KEEPER" that refreshes the ID token in the background.

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Identity.Client.h"
#include "ZEL.Scheduler.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace ZEL {

enum class TAuthServiceState {
  asUnauthorized,
  asAuthorized,
  asLogin,
  asLoginViaToken,
  asExpireTokenRefresh,
  asRegister,
  asLogout
};

// The value's name as written ("asExpireTokenRefresh").
std::string_view ToString(TAuthServiceState AState);

using TUserAuthBeginEvent = std::function<void(IAuthService* ASender, TAuthServiceState AState)>;
using TUserAuthSuccessEvent = std::function<void(IAuthService* ASender)>;
using TUserAuthFailureEvent =
    std::function<void(IAuthService* ASender, TAuthServiceState AState, const std::string& AReason)>;

class TAuthService : public IAuthService {
public:
  static constexpr std::string_view TypeName = "TAuthService";
  static constexpr std::string_view KeeperTaskName = "AUTHTOKEN_KEEPER";

  struct TOptions {
    std::chrono::milliseconds KeeperInterval{std::chrono::minutes(5)};
    std::chrono::milliseconds KeeperRetryInterval{30000};
    int KeeperRetries = 3;
  };

  // AFirebase empty: our identity client with the project's web API key.
  explicit TAuthService(std::shared_ptr<IFirebaseAuthentication> AFirebase = {});
  TAuthService(std::shared_ptr<IFirebaseAuthentication> AFirebase, TOptions AOptions);
  ~TAuthService() override;
  TAuthService(const TAuthService&) = delete;
  TAuthService& operator=(const TAuthService&) = delete;

  std::shared_ptr<IFirebaseUser> GetFirebaseUser() override;
  std::string GetOrganisationID() override;
  std::string GetDisplayName() override;
  bool GetAuthorized() override;
  bool GetIsSignoutByUser() override;
  std::string GetAccountID() override;
  std::string GetAccountDisplayName() override;
  std::int32_t AuthTokenTimeLeftMinutes() override;
  std::string FirebaseRefreshToken() override;
  std::string FirebaseToken() override;
  void RegisterUser(const std::string& ADisplayName, const std::string& AUsername,
                    const std::string& APassword) override;
  void LoginUser(const std::string& AUsername, const std::string& APassword) override;
  void AuthWithToken(const std::string& ARefreshToken, bool ASilent) override;
  bool Logout(bool AIsUserIntent, const std::string& AReason) override;
  void RefreshUserToken() override;
  bool ValidateInviteCode(const std::string& ACode) override;
  std::shared_ptr<const TZELUserRecord> CRMUserRecord() override;
  std::string FirebaseEscalatedTopic() override;
  std::string FirebaseNonEscalatedTopic() override;

  TAuthServiceState State() const { return FState; }
  IFirebaseAuthentication& Firebase() { return *FFirebaseAuth; }

  // The keeper task, or none (also whenever the scheduler is not running).
  IScheduledTask TokenKeeperTask();
  void TokenKeeperTaskAdd();

  // Set on the UI thread before the first sign-in; raised on the UI thread.
  TUserAuthBeginEvent OnAuthStart;
  TUserAuthSuccessEvent OnLoginSuccess;
  TUserAuthFailureEvent OnLoginFailure;

private:
  bool AccountReadable();
  void AuthStart();
  void LoginSuccess(std::unique_ptr<TZELUserRecord> ARecord);
  void LoginFailed(const std::string& AReason);
  void OnFirebaseUserLoggedIn(const std::string& AInfo, std::shared_ptr<IFirebaseUser> AUser);
  void OnFireBbaseResponse(const std::string& AInfo, const TFirebaseResponse& AResponse);
  void OnFirebaseRequestError(const std::string& AInfo, const std::string& AErrMsg);
  void OnFirebaseTokenRefresh(bool AOk);
  void OnFirebaseTokenNotification(bool AOk);
  void OnFirebaseGetUserData(const TFirebaseUserList& AUsers);
  // Asks the identity service for the user data, which the backend's checks follow: once
  // per attempt, although the new token is reported twice (its answer and the notification)
  // and a sign-up's profile change asks too.
  void AskUserData();
  // The backend's answer to the checks of a sign-in, back on the UI thread.
  struct TBackendAnswer;
  void OnBackendAnswer(std::uint64_t AAttempt, TAuthServiceState AState, std::shared_ptr<IFirebaseUser> AUser,
                       std::shared_ptr<TBackendAnswer> AAnswer);

  // Keeper steps (worker thread).
  void KeeperExecute(TScheduledTask& ATask);
  void KeeperException(TScheduledTask& ATask, const std::exception& AException);
  void KeeperTerminated(TScheduledTask& ATask);
  void ArmKeeper();
  void CancelKeeper();

  // Wraps a callback so that it does nothing once the service is gone.
  template <class... A>
  std::function<void(A...)> Bound(void (TAuthService::*AMethod)(A...));
  // Starts a new attempt: answers to the requests of earlier ones are dropped from now on.
  void BeginAttempt();
  // Bound, and dropped when it answers a request of an earlier attempt. ATokenAnswer marks
  // the answer after which the identity client sends its token notification.
  template <class... A>
  std::function<void(A...)> ForAttempt(void (TAuthService::*AMethod)(A...), bool ATokenAnswer = false);

  const TOptions FOptions;
  std::unique_ptr<TScheduledTasks> FShedTasks;
  std::shared_ptr<IFirebaseAuthentication> FFirebaseAuth;
  std::atomic<TAuthServiceState> FState{TAuthServiceState::asUnauthorized};
  std::atomic<bool> FSignedOutByUser{false};
  // A sign-up is under way: its account must match the invitation's record held.
  bool FSignUpPending = false;
  // Each sign-in, sign-up, token sign-in, silent refresh and sign-out is one attempt. An
  // answer that arrives after a newer attempt began belongs to no one and is dropped, and
  // an attempt that has failed reports nothing more: one failure report per attempt.
  std::atomic<std::uint64_t> FAttempt{0};
  std::atomic<bool> FAttemptFailed{false};
  // The attempt of the last sign-in, sign-up or refresh answer: the token notification
  // that follows such an answer belongs to that attempt.
  std::atomic<std::uint64_t> FTokenAnswerAttempt{0};
  // The attempt whose user data was asked for last.
  std::atomic<std::uint64_t> FUserDataAttempt{0};
  // Cleared by the destructor (UI thread); work queued for the UI thread checks it.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  std::mutex FLock;  // the three below: pool tasks and the keeper read them
  std::shared_ptr<IFirebaseUser> fUser;
  std::string FDisplayName;
  std::shared_ptr<const TZELUserRecord> FZELUserRecord;
};

}  // namespace ZEL

namespace ZEL::Auth::Service {

// True when the trimmed, upper-cased text begins with an identity-service code we know.
bool IsFirebaseSeviceMessage(std::string_view AReason);
// The sentence of the first known code the trimmed, upper-cased text begins with; the text
// unchanged otherwise.
std::string UserFriendlifyServiceMessage(std::string_view AReason);

}  // namespace ZEL::Auth::Service
