#include "ZEL.Identity.Client.h"
#include "ZEL.JSON.Helpers.h"

#include "ZEL.Events.Extra.h"
#include "ZEL.Exceptions.h"
#include "ZEL.UIThread.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdlib>

namespace ZEL {

namespace {

using TWire = nlohmann::json;

std::string EmulatorHost() {
  const char* host = std::getenv("FIREBASE_AUTH_EMULATOR_HOST");
  return host && *host ? std::string(host) : std::string();
}

std::string Text(const TWire& AObject, const char* AKey) {
  const auto it = AObject.find(AKey);
  return it != AObject.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::shared_ptr<IFirebaseUser> UserOf(const TWire& AObject) {
  const auto name = AObject.find("displayName");
  const bool hasName = name != AObject.end() && name->is_string() && !name->get<std::string>().empty();
  return std::make_shared<TFirebaseUser>(Text(AObject, "localId"), Text(AObject, "email"),
                                         hasName ? name->get<std::string>() : std::string(), hasName);
}

}  // namespace

struct TFirebaseAuthentication::TShared {
  std::mutex Lock;  // the tokens and the notification
  std::string IdToken;
  std::string RefreshToken;
  TOnTokenRefresh Notification;
  // Cleared by the destructor: completions queued for the UI thread are then dropped.
  std::atomic<bool> Alive{true};

  void SetTokens(std::string AId, std::string ARefresh) {
    std::lock_guard guard(Lock);
    IdToken = std::move(AId);
    RefreshToken = std::move(ARefresh);
  }
  void Notify(bool AOk) {
    TOnTokenRefresh notify;
    {
      std::lock_guard guard(Lock);
      notify = Notification;
    }
    if (notify) notify(AOk);
  }
};

TFirebaseAuthentication::TFirebaseAuthentication(std::string AApiKey, Http::Curl::TLimits ALimits)
    : FApiKey(std::move(AApiKey)), FLimits(ALimits), FShared(std::make_shared<TShared>()) {}

TFirebaseAuthentication::~TFirebaseAuthentication() {
  FShared->Alive = false;
  std::vector<TRunning> threads;
  {
    std::lock_guard guard(FThreadsLock);
    threads.swap(FThreads);
  }
  for (auto& t : threads)
    if (t.Thread.joinable()) t.Thread.join();
}

std::string TFirebaseAuthentication::AccountsURL(std::string_view AMethod) const {
  const std::string host = EmulatorHost();
  const std::string base = host.empty() ? "https://identitytoolkit.googleapis.com"
                                        : "http://" + host + "/identitytoolkit.googleapis.com";
  return base + "/v1/accounts:" + std::string(AMethod) + "?key=" + Events::EncodeQueryValue(FApiKey);
}

void TFirebaseAuthentication::Launch(
    Http::Curl::TRequest ARequest,
    std::function<void(const Http::Curl::TResponse*, const std::string& ATransportError)> ADone) {
  std::lock_guard guard(FThreadsLock);
  std::erase_if(FThreads, [](TRunning& ARunning) {
    if (!*ARunning.Finished) return false;
    ARunning.Thread.join();
    return true;
  });
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([shared = FShared, limits = FLimits, request = std::move(ARequest), done = std::move(ADone),
                      finished]() mutable {
    auto response = std::make_shared<Http::Curl::TResponse>();
    std::string error;
    try {
      *response = Http::Curl::Perform(request, limits);
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "Identity service request failed.";
    }
    UIThread::RunAsync([shared, response, error, done = std::move(done)] {
      if (!shared->Alive) return;
      done(error.empty() ? response.get() : nullptr, error);
    });
    *finished = true;
  });
  FThreads.push_back({std::move(thread), std::move(finished)});
}

namespace {

// Hands the outcome of an account request (sign-in, sign-up) to its callbacks.
void CompleteUserRequest(TFirebaseAuthentication::TShared& AShared, const std::string& AInfo,
                         const Http::Curl::TResponse* AResponse, const std::string& AError,
                         const TOnUserResponse& AOnUser, const TOnRequestError& AOnError);

}  // namespace

void TFirebaseAuthentication::SignUpWithEmailAndPassword(const std::string& AEmail, const std::string& APassword,
                                                         TOnUserResponse AOnUser, TOnRequestError AOnError) {
  Http::Curl::TRequest request;
  request.Method = "POST";
  request.URL = AccountsURL("signUp");
  request.Headers.emplace_back("Content-Type", "application/json");
  request.Body = TWire{{"email", AEmail}, {"password", APassword}, {"returnSecureToken", true}}.dump();
  Launch(std::move(request), [shared = FShared, AOnUser, AOnError](const Http::Curl::TResponse* r, const std::string& e) {
    CompleteUserRequest(*shared, "SignUpWithEmailAndPassword", r, e, AOnUser, AOnError);
  });
}

void TFirebaseAuthentication::SignInWithEmailAndPassword(const std::string& AEmail, const std::string& APassword,
                                                         TOnUserResponse AOnUser, TOnRequestError AOnError) {
  Http::Curl::TRequest request;
  request.Method = "POST";
  request.URL = AccountsURL("signInWithPassword");
  request.Headers.emplace_back("Content-Type", "application/json");
  request.Body = TWire{{"email", AEmail}, {"password", APassword}, {"returnSecureToken", true}}.dump();
  Launch(std::move(request), [shared = FShared, AOnUser, AOnError](const Http::Curl::TResponse* r, const std::string& e) {
    CompleteUserRequest(*shared, "SignInWithEmailAndPassword", r, e, AOnUser, AOnError);
  });
}

namespace {

// Runs ASuccess; its exception goes to the request's error callback with its message.
template <class F>
bool GuardedSuccess(const std::string& AInfo, const TOnRequestError& AOnError, F&& ASuccess) {
  try {
    ASuccess();
    return true;
  } catch (const std::exception& e) {
    if (AOnError) AOnError(AInfo, e.what());
  } catch (...) {
    if (AOnError) AOnError(AInfo, "Unknown exception");
  }
  return false;
}

// The parsed answer object of a 2xx answer, or the error text for the error callback.
bool ReadAnswer(const std::string& AInfo, const Http::Curl::TResponse* AResponse, const std::string& AError,
                const TOnRequestError& AOnError, TWire& AAnswer) {
  std::string error = AError;
  if (!AResponse) {
    // transport error: its message as it stands
  } else if (AResponse->Status < 200 || AResponse->Status > 299) {
    error = Identity::Client::ErrorMessageOf(AResponse->Status, AResponse->Body);
  } else if (!ZEL::JSON::Helpers::NestingAllowed(AResponse->Body, "TZELIdentityClient")) {
    error = "Invalid answer of the identity service.";
  } else {
    AAnswer = TWire::parse(AResponse->Body, nullptr, false);
    if (!AAnswer.is_discarded() && AAnswer.is_object()) return true;
    error = "Invalid answer of the identity service.";
  }
  if (AOnError) AOnError(AInfo, error);
  return false;
}

void CompleteUserRequest(TFirebaseAuthentication::TShared& AShared, const std::string& AInfo,
                         const Http::Curl::TResponse* AResponse, const std::string& AError,
                         const TOnUserResponse& AOnUser, const TOnRequestError& AOnError) {
  TWire answer;
  if (!ReadAnswer(AInfo, AResponse, AError, AOnError, answer)) return;
  AShared.SetTokens(Text(answer, "idToken"), Text(answer, "refreshToken"));
  const auto user = UserOf(answer);
  if (!GuardedSuccess(AInfo, AOnError, [&] {
        if (AOnUser) AOnUser(AInfo, user);
      }))
    return;
  AShared.Notify(true);
}

}  // namespace

void TFirebaseAuthentication::RefreshToken(const std::string& ARefreshToken, TOnTokenRefresh AOnToken,
                                           TOnRequestError AOnError) {
  const std::string host = EmulatorHost();
  Http::Curl::TRequest request;
  request.Method = "POST";
  request.URL = (host.empty() ? std::string("https://securetoken.googleapis.com")
                              : "http://" + host + "/securetoken.googleapis.com") +
                "/v1/token?key=" + Events::EncodeQueryValue(FApiKey);
  request.Headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  request.Body = "grant_type=refresh_token&refresh_token=" + Events::EncodeQueryValue(ARefreshToken);
  Launch(std::move(request), [shared = FShared, AOnToken, AOnError](const Http::Curl::TResponse* r, const std::string& e) {
    const std::string info = "RefreshToken";
    TWire answer;
    if (!ReadAnswer(info, r, e, AOnError, answer)) return;
    shared->SetTokens(Text(answer, "id_token"), Text(answer, "refresh_token"));
    if (!GuardedSuccess(info, AOnError, [&] {
          if (AOnToken) AOnToken(true);
        }))
      return;
    shared->Notify(true);
  });
}

void TFirebaseAuthentication::GetUserData(TOnGetUserData AOnUserData, TOnRequestError AOnError) {
  Http::Curl::TRequest request;
  request.Method = "POST";
  request.URL = AccountsURL("lookup");
  request.Headers.emplace_back("Content-Type", "application/json");
  request.Body = TWire{{"idToken", Token()}}.dump();
  Launch(std::move(request), [AOnUserData, AOnError](const Http::Curl::TResponse* r, const std::string& e) {
    const std::string info = "GetUserData";
    TWire answer;
    if (!ReadAnswer(info, r, e, AOnError, answer)) return;
    TFirebaseUserList users;
    if (const auto it = answer.find("users"); it != answer.end() && it->is_array())
      for (const auto& u : *it)
        if (u.is_object()) users.push_back(UserOf(u));
    GuardedSuccess(info, AOnError, [&] {
      if (AOnUserData) AOnUserData(users);
    });
  });
}

void TFirebaseAuthentication::ChangeProfile(const std::string& ADisplayName, TOnFirebaseResponse AOnResponse,
                                            TOnRequestError AOnError) {
  Http::Curl::TRequest request;
  request.Method = "POST";
  request.URL = AccountsURL("update");
  request.Headers.emplace_back("Content-Type", "application/json");
  request.Body = TWire{{"idToken", Token()}, {"displayName", ADisplayName}, {"returnSecureToken", false}}.dump();
  Launch(std::move(request), [AOnResponse, AOnError](const Http::Curl::TResponse* r, const std::string& e) {
    const std::string info = "ChangeProfile";
    if (!r) {
      if (AOnError) AOnError(info, e);
      return;
    }
    const TFirebaseResponse response{r->Status, r->Body};
    GuardedSuccess(info, AOnError, [&] {
      if (AOnResponse) AOnResponse(info, response);
    });
  });
}

void TFirebaseAuthentication::SignOut() {
  FShared->SetTokens({}, {});
  FShared->Notify(false);
}

void TFirebaseAuthentication::InstallTokenRefreshNotification(TOnTokenRefresh AOnToken) {
  std::lock_guard guard(FShared->Lock);
  FShared->Notification = std::move(AOnToken);
}

bool TFirebaseAuthentication::Authenticated() {
  std::lock_guard guard(FShared->Lock);
  return !FShared->IdToken.empty();
}

std::string TFirebaseAuthentication::Token() {
  std::lock_guard guard(FShared->Lock);
  return FShared->IdToken;
}

std::string TFirebaseAuthentication::GetRefreshToken() {
  std::lock_guard guard(FShared->Lock);
  return FShared->RefreshToken;
}

}  // namespace ZEL

namespace ZEL::Identity::Client {

bool IsEMailAdress(std::string_view AText) {
  const auto at = AText.find('@');
  if (at == std::string_view::npos || at == 0 || AText.find('@', at + 1) != std::string_view::npos) return false;
  const std::string_view local = AText.substr(0, at);
  const std::string_view domain = AText.substr(at + 1);
  for (const char ch : local) {
    const auto c = static_cast<unsigned char>(ch);
    if (!std::isalnum(c) && std::string_view("!#$%&'*+/=?^_`{|}~.-").find(ch) == std::string_view::npos) return false;
  }
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string_view::npos) return false;
  const auto dot = domain.find('.');
  if (dot == std::string_view::npos || domain.front() == '.' || domain.back() == '.' ||
      domain.find("..") != std::string_view::npos)
    return false;
  for (const char ch : domain) {
    const auto c = static_cast<unsigned char>(ch);
    if (!std::isalnum(c) && ch != '-' && ch != '.') return false;
  }
  return true;
}

std::string ErrorMessageOf(long AStatus, const std::string& ABody) {
  const auto answer = ZEL::JSON::Helpers::NestsDeeperThan(ABody) ? nlohmann::json(nlohmann::json::value_t::discarded)
                                                            : nlohmann::json::parse(ABody, nullptr, false);
  if (!answer.is_discarded() && answer.is_object()) {
    const auto error = answer.find("error");
    if (error != answer.end() && error->is_object()) {
      const auto message = error->find("message");
      if (message != error->end() && message->is_string() && !message->get<std::string>().empty())
        return message->get<std::string>();
    }
  }
  return "Identity service request failed (HTTP " + std::to_string(AStatus) + ").";
}

}  // namespace ZEL::Identity::Client
