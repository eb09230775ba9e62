#include "ZEL.Auth.Service.h"

#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Secrets.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"

#include <QThreadPool>

#include <algorithm>
#include <cctype>

namespace ZEL {

namespace {

using LogsPipe::ZELLog;

constexpr const char* cFirebaseTag = "Auth Service: Firebase";

std::string Trimmed(const std::string& AText) {
  const auto first = std::find_if_not(AText.begin(), AText.end(), [](unsigned char c) { return std::isspace(c); });
  const auto last = std::find_if_not(AText.rbegin(), AText.rend(), [](unsigned char c) { return std::isspace(c); });
  return first < last.base() ? std::string(first, last.base()) : std::string();
}

}  // namespace

std::string_view ToString(TAuthServiceState AState) {
  switch (AState) {
    case TAuthServiceState::asUnauthorized: return "asUnauthorized";
    case TAuthServiceState::asAuthorized: return "asAuthorized";
    case TAuthServiceState::asLogin: return "asLogin";
    case TAuthServiceState::asLoginViaToken: return "asLoginViaToken";
    case TAuthServiceState::asExpireTokenRefresh: return "asExpireTokenRefresh";
    case TAuthServiceState::asRegister: return "asRegister";
    case TAuthServiceState::asLogout: return "asLogout";
  }
  return "?";
}

template <class... A>
std::function<void(A...)> TAuthService::Bound(void (TAuthService::*AMethod)(A...)) {
  return [this, alive = std::weak_ptr<bool>(FAlive), AMethod](A... AArgs) {
    if (const auto flag = alive.lock(); flag && *flag) (this->*AMethod)(AArgs...);
  };
}

void TAuthService::BeginAttempt() {
  ++FAttempt;
  FAttemptFailed = false;
}

template <class... A>
std::function<void(A...)> TAuthService::ForAttempt(void (TAuthService::*AMethod)(A...), bool ATokenAnswer) {
  return [this, alive = std::weak_ptr<bool>(FAlive), attempt = FAttempt.load(), AMethod, ATokenAnswer](A... AArgs) {
    const auto flag = alive.lock();
    if (!flag || !*flag) return;
    if (ATokenAnswer) FTokenAnswerAttempt = attempt;
    if (attempt != FAttempt) {
      ZELLog().Debug(cFirebaseTag, "Answer of an earlier sign-in attempt dropped.");
      return;
    }
    (this->*AMethod)(AArgs...);
  };
}

TAuthService::TAuthService(std::shared_ptr<IFirebaseAuthentication> AFirebase)
    : TAuthService(std::move(AFirebase), TOptions{}) {}

TAuthService::TAuthService(std::shared_ptr<IFirebaseAuthentication> AFirebase, TOptions AOptions)
    : FOptions(AOptions), FShedTasks(std::make_unique<TScheduledTasks>()), FFirebaseAuth(std::move(AFirebase)) {
  FShedTasks->Start();
  if (!FFirebaseAuth)
    FFirebaseAuth = std::make_shared<TFirebaseAuthentication>(std::string(Identity::Client::FIREBASE_WEB_API_KEY));
  FFirebaseAuth->InstallTokenRefreshNotification(Bound(&TAuthService::OnFirebaseTokenNotification));
}

TAuthService::~TAuthService() {
  *FAlive = false;
  // The keeper's steps use this object: its worker ends first.
  FShedTasks.reset();
  FFirebaseAuth->InstallTokenRefreshNotification({});
}

std::shared_ptr<IFirebaseUser> TAuthService::GetFirebaseUser() {
  std::lock_guard guard(FLock);
  return fUser;
}

std::string TAuthService::GetOrganisationID() {
  std::lock_guard guard(FLock);
  return FZELUserRecord ? FZELUserRecord->organization().code : std::string();
}

std::string TAuthService::GetDisplayName() {
  std::lock_guard guard(FLock);
  return FDisplayName;
}

bool TAuthService::GetAuthorized() {
  return FFirebaseAuth->Authenticated() && FState == TAuthServiceState::asAuthorized;
}

bool TAuthService::GetIsSignoutByUser() { return FSignedOutByUser; }

// The account stays readable while a silent token refresh runs, so a service request built
// in that moment still carries the user and the service-response topic stays the same.
bool TAuthService::AccountReadable() {
  return GetAuthorized() || FState == TAuthServiceState::asExpireTokenRefresh;
}

std::string TAuthService::GetAccountID() {
  if (!AccountReadable()) return {};
  const auto user = GetFirebaseUser();
  return user ? user->EMail() : std::string();
}

std::string TAuthService::GetAccountDisplayName() {
  if (!AccountReadable()) return {};
  const auto user = GetFirebaseUser();
  if (!user) return {};
  if (user->IsDisplayNameAvailable() && !user->DisplayName().empty()) return user->DisplayName();
  const std::string email = user->EMail();
  return email.substr(0, email.find('@'));
}

std::string TAuthService::FirebaseRefreshToken() {
  return GetAuthorized() ? FFirebaseAuth->GetRefreshToken() : std::string();
}

std::string TAuthService::FirebaseToken() { return FFirebaseAuth->Token(); }

void TAuthService::AuthStart() {
  FSignedOutByUser = false;
  if (OnAuthStart) OnAuthStart(this, FState);
}

void TAuthService::LoginUser(const std::string& AUsername, const std::string& APassword) {
  BeginAttempt();
  FState = TAuthServiceState::asLogin;
  FSignUpPending = false;
  AuthStart();
  FFirebaseAuth->SignInWithEmailAndPassword(AUsername, APassword,
                                            ForAttempt(&TAuthService::OnFirebaseUserLoggedIn, true),
                                            ForAttempt(&TAuthService::OnFirebaseRequestError));
}

void TAuthService::RegisterUser(const std::string& ADisplayName, const std::string& AUsername,
                                const std::string& APassword) {
  {
    std::lock_guard guard(FLock);
    FDisplayName = ADisplayName;
  }
  BeginAttempt();
  FState = TAuthServiceState::asRegister;
  FSignUpPending = true;
  AuthStart();
  FFirebaseAuth->SignUpWithEmailAndPassword(AUsername, APassword,
                                            ForAttempt(&TAuthService::OnFirebaseUserLoggedIn, true),
                                            ForAttempt(&TAuthService::OnFirebaseRequestError));
}

void TAuthService::OnFirebaseUserLoggedIn(const std::string& AInfo, std::shared_ptr<IFirebaseUser> AUser) {
  ZELLog().DebugFmt(cFirebaseTag, "Firebase user logged in. Info = \"{}\" UID = \"{}\"", AInfo,
                    AUser ? AUser->UID() : std::string());
  {
    std::lock_guard guard(FLock);
    fUser = AUser;
  }
  if (FState == TAuthServiceState::asRegister)
    FFirebaseAuth->ChangeProfile(GetDisplayName(), ForAttempt(&TAuthService::OnFireBbaseResponse),
                                 ForAttempt(&TAuthService::OnFirebaseRequestError));
}

void TAuthService::AskUserData() {
  const std::uint64_t attempt = FAttempt.load();
  if (FUserDataAttempt.exchange(attempt) == attempt) {
    ZELLog().Debug(cFirebaseTag, "User data of this sign-in asked already.");
    return;
  }
  FFirebaseAuth->GetUserData(ForAttempt(&TAuthService::OnFirebaseGetUserData),
                             ForAttempt(&TAuthService::OnFirebaseRequestError));
}

void TAuthService::OnFireBbaseResponse(const std::string&, const TFirebaseResponse& AResponse) {
  if (AResponse.StatusOk() && !AResponse.StatusIsUnauthorized())
    AskUserData();
  else
    LoginFailed("Unable to refresh user data at user registation step.");
}

void TAuthService::AuthWithToken(const std::string& ARefreshToken, bool ASilent) {
  BeginAttempt();
  FState = ASilent ? TAuthServiceState::asExpireTokenRefresh : TAuthServiceState::asLoginViaToken;
  if (!ASilent) FSignUpPending = false;
  ZELLog().DebugFmt("TTAuthService.AuthWithToken", "[Start. Mode: {} RefreshToken: {}", ToString(FState),
                    Secrets::Mask(ARefreshToken));
  AuthStart();
  FFirebaseAuth->RefreshToken(ARefreshToken, ForAttempt(&TAuthService::OnFirebaseTokenRefresh, true),
                              ForAttempt(&TAuthService::OnFirebaseRequestError));
}

void TAuthService::OnFirebaseTokenRefresh(bool AOk) {
  ZELLog().InfoFmt(cFirebaseTag, "Firebase token refresh. State = {}", AOk ? "True" : "False");
  const std::string token = Trimmed(FFirebaseAuth->Token());
  ZELLog().InfoFmt(cFirebaseTag, "Firebase token refresh. Token length = {}", token.size());
  if (token.empty()) return;
  if (AOk)
    AskUserData();
  else if (FState != TAuthServiceState::asLogout)
    LoginFailed("Failed to refresh token. Please authorize again.");
}

// What the backend said of a sign-in's token and user.
struct TAuthService::TBackendAnswer {
  bool TokenValid = false;
  std::unique_ptr<TZELUserRecord> Record;
  std::string Error;  // a transport error: the check raised
};

// The notification follows the answer of a sign-in, sign-up or refresh (or a sign-out): it
// continues the attempt of that answer only while that attempt is the current one.
void TAuthService::OnFirebaseTokenNotification(bool AOk) {
  if (FTokenAnswerAttempt != FAttempt) {
    ZELLog().InfoFmt(cFirebaseTag, "Firebase token refresh. State = {} (not of the current sign-in attempt)",
                     AOk ? "True" : "False");
    return;
  }
  OnFirebaseTokenRefresh(AOk);
}

void TAuthService::OnFirebaseGetUserData(const TFirebaseUserList& AUsers) {
  if (AUsers.size() != 1) {
    ZELLog().FatalFmt(cFirebaseTag, "error, multiple users linked here! FirebaseUserList.Count = {}", AUsers.size());
    LoginFailed("Multiple accounts linked to this email. Unsupported feature.");
    return;
  }
  const auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  if (!rest) {
    ZELLog().Fatal(cFirebaseTag, "ZEL Rest service is not ready at this point of time.");
    LoginFailed("Rest service is not ready.");
    return;
  }
  // The token check and the user record are blocking HTTPS calls: they run on a pool task
  // while the overlay shows, and the sign-in goes on on the UI thread with their answer.
  const std::string token = FFirebaseAuth->Token();
  auto done = Bound(&TAuthService::OnBackendAnswer);
  QThreadPool::globalInstance()->start([rest, token, done, attempt = FAttempt.load(), state = FState.load(),
                                        user = AUsers.front()] {
    auto answer = std::make_shared<TBackendAnswer>();
    try {
      answer->TokenValid = rest->ValidateToken(token);
      std::string error;
      if (answer->TokenValid) answer->Record = rest->AuthOnZELCRM(error);
    } catch (const std::exception& e) {
      answer->Error = *e.what() ? e.what() : "Backend request failed.";
    } catch (...) {
      answer->Error = "Unknown exception";
    }
    UIThread::RunAsync([done, attempt, state, user, answer] { done(attempt, state, user, answer); });
  });
}

void TAuthService::OnBackendAnswer(std::uint64_t AAttempt, TAuthServiceState AState,
                                   std::shared_ptr<IFirebaseUser> AUser, std::shared_ptr<TBackendAnswer> AAnswer) {
  // The attempt ended meanwhile (its outcome is reported already) or another one began.
  if (AAttempt != FAttempt.load() || AState != FState.load()) {
    ZELLog().Debug(cFirebaseTag, "Backend answer of an ended sign-in dropped.");
    return;
  }
  if (!AAnswer->Error.empty()) {
    OnFirebaseRequestError("GetUserData", AAnswer->Error);
    return;
  }
  if (!AAnswer->TokenValid) {
    ZELLog().Fatal(cFirebaseTag, "Firebase token invalid.");
    LoginFailed("Firebase token invalid.");
    return;
  }
  {
    std::lock_guard guard(FLock);
    fUser = std::move(AUser);
  }
  ZELLog().Info(cFirebaseTag, "Firebase token valid.");
  LoginSuccess(std::move(AAnswer->Record));
}

void TAuthService::LoginSuccess(std::unique_ptr<TZELUserRecord> ARecord) {
  const std::string tag = "TAuthService.LoginSuccess";
  ZELLog().DebugFmt(tag, "Start State = {}", ToString(FState));
  // A confirmation after the attempt failed (a sign-up's second one) revives nothing.
  if (FState == TAuthServiceState::asAuthorized || FAttemptFailed) {
    ZELLog().Debug(tag, "END");
    return;
  }
  const TAuthServiceState previous = FState.exchange(TAuthServiceState::asAuthorized);

  const auto user = GetFirebaseUser();
  std::string displayName;
  {
    std::lock_guard guard(FLock);
    if (user && user->IsDisplayNameAvailable()) {
      FDisplayName = user->DisplayName();
      ZELLog().DebugFmt(tag, "Firebase stored username = {}", FDisplayName);
    }
    displayName = FDisplayName;
  }
  if (!displayName.empty()) FFirebaseAuth->ChangeProfile(displayName, {}, {});

  ZELLog().Debug(tag, "Authorizing token on ZEL...");
  // Fetched with the token check, off the UI thread.
  auto record = std::move(ARecord);
  if (!record) {
    LoginFailed("Tarvelo Systems CRM auth failed.");
    return;
  }
  ZELLog().Debug(tag, "ZEL data received.");
  bool mismatch = false;
  {
    std::lock_guard guard(FLock);
    // Only a sign-up is bound to the invitation it checked (also for its second, late
    // confirmation); any other sign-in may bring another account than a record held before.
    mismatch = FSignUpPending && previous != TAuthServiceState::asExpireTokenRefresh && FZELUserRecord &&
               (record->ID != FZELUserRecord->ID || record->email != FZELUserRecord->email ||
                record->organization().ID != FZELUserRecord->organization().ID);
    if (!mismatch) FZELUserRecord = std::move(record);
  }
  if (mismatch) {
    ZELLog().Fatal(tag, "ZEL record not matching existing record.");
    LoginFailed("Tarvelo Systems CRM auth falied.");
    return;
  }
  FSignUpPending = false;
  ZELLog().Debug(tag, "ZEL record set.");
  ZELLog().Debug(tag, "[Setting up token refresh task.");
  ArmKeeper();
  if (previous != TAuthServiceState::asExpireTokenRefresh && OnLoginSuccess) OnLoginSuccess(this);
  ZELLog().Debug(tag, "END");
}

void TAuthService::OnFirebaseRequestError(const std::string& AInfo, const std::string& AErrMsg) {
  ZELLog().FatalFmt(cFirebaseTag, "Firebase request error. ID: \"{}\" Message: \"{}\"", AInfo, AErrMsg);
  LoginFailed(AErrMsg);
}

void TAuthService::LoginFailed(const std::string& AReason) {
  if (FAttemptFailed.exchange(true)) {
    ZELLog().DebugFmt(cFirebaseTag, "The sign-in attempt has failed already; not reported again: {}", AReason);
    return;
  }
  CancelKeeper();
  const TAuthServiceState previous = FState.exchange(TAuthServiceState::asUnauthorized);
  if (OnLoginFailure) OnLoginFailure(this, previous, AReason);
}

bool TAuthService::Logout(bool AIsUserIntent, const std::string& AReason) {
  BeginAttempt();  // a sign-in still under way ends here: its answers are dropped
  FState = TAuthServiceState::asLogout;
  FSignedOutByUser = AIsUserIntent;
  if (AIsUserIntent) {
    if (const auto push = Services::Container::ZELServiceLocator()->GetService<IFirebaseCloudMessaging>()) {
      push->UnsubscribeFromTopic(FirebaseEscalatedTopic());
      push->UnsubscribeFromTopic(FirebaseNonEscalatedTopic());
    }
  }
  if (FFirebaseAuth->Authenticated()) FFirebaseAuth->SignOut();
  {
    std::lock_guard guard(FLock);
    fUser.reset();
    FZELUserRecord.reset();
  }
  LoginFailed(AReason);
  return true;
}

void TAuthService::RefreshUserToken() {
  if (GetAuthorized()) AuthWithToken(FFirebaseAuth->GetRefreshToken(), true);
}

bool TAuthService::ValidateInviteCode(const std::string& ACode) {
  const auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  {
    std::lock_guard guard(FLock);
    FZELUserRecord.reset();
  }
  if (!rest) return false;
  std::string error;
  auto record = rest->ValidateInviteCode(ACode, error);
  const bool found = record != nullptr;
  std::lock_guard guard(FLock);
  FZELUserRecord = std::move(record);
  return found;
}

std::shared_ptr<const TZELUserRecord> TAuthService::CRMUserRecord() {
  std::lock_guard guard(FLock);
  return FZELUserRecord;
}

std::string TAuthService::FirebaseEscalatedTopic() {
  std::lock_guard guard(FLock);
  return FZELUserRecord ? FZELUserRecord->organization().ID + "-escalated" : std::string();
}

std::string TAuthService::FirebaseNonEscalatedTopic() {
  std::lock_guard guard(FLock);
  return FZELUserRecord ? FZELUserRecord->organization().ID + "-nonEscalated" : std::string();
}

}  // namespace ZEL
