#pragma once
// Stand-ins for the authentication service's tests: an identity client that answers at
// once (or holds its answers until the test releases them), a REST service with settable
// answers, and ID tokens made to order.

#include "ZEL.Auth.Service.h"
#include "ZEL.CRM.Types.h"
#include "ZEL.Identity.Client.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Time.h"
#include "ZEL.UIThread.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace ZEL {
// For GoogleTest's failure messages: the state's name.
inline void PrintTo(TAuthServiceState AState, std::ostream* AOut) { *AOut << ToString(AState); }
}  // namespace ZEL

namespace ZEL::Test {

// An unsigned ID token of the kind the client accepts: RS256 header with a key id, our
// audience, the given expiry and e-mail.
inline std::string MakeIdToken(Time::TInstant AExpiry, const std::string& AEmail = "demo@zel.test") {
  const auto b64 = [](const std::string& AText) {
    return QByteArray::fromStdString(AText)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        .toStdString();
  };
  const std::string header = R"({"alg":"RS256","kid":"k1","typ":"JWT"})";
  const std::string claims = R"({"aud":"zeldevstand","email":")" + AEmail + R"(","exp":)" +
                             std::to_string(Time::ToUnixSeconds(AExpiry)) + "}";
  return b64(header) + "." + b64(claims) + ".c2ln";
}

class TInstantFirebase : public IFirebaseAuthentication {
public:
  void SignUpWithEmailAndPassword(const std::string& AEmail, const std::string& APassword, TOnUserResponse AOnUser,
                                  TOnRequestError AOnError) override {
    SignInWithEmailAndPassword(AEmail, APassword, AOnUser, AOnError);
  }
  void SignInWithEmailAndPassword(const std::string& AEmail, const std::string&, TOnUserResponse AOnUser,
                                  TOnRequestError) override {
    Answer("SignIn", [this, AEmail, AOnUser, token = NextIdToken()] {
      SetTokens(token, "refresh-1");
      if (AOnUser) AOnUser("SignIn", std::make_shared<TFirebaseUser>("uid-1", AEmail, "", false));
      Notify(true);
    });
  }
  void RefreshToken(const std::string& ARefreshToken, TOnTokenRefresh AOnToken, TOnRequestError AOnError) override {
    ++Refreshes;
    Answer("RefreshToken", [this, ARefreshToken, AOnToken, AOnError, token = NextIdToken()] {
      if (ARefreshToken == "revoked") {
        if (AOnError) AOnError("RefreshToken", "INVALID_REFRESH_TOKEN");
        return;
      }
      SetTokens(token, "refresh-" + std::to_string(Refreshes.load() + 1));
      if (AOnToken) AOnToken(true);
      Notify(true);
    });
  }
  void GetUserData(TOnGetUserData AOnUserData, TOnRequestError AOnError) override {
    Answer("GetUserData", [this, AOnUserData, AOnError] {
      if (const std::string error = UserDataError(); !error.empty()) {
        if (AOnError) AOnError("GetUserData", error);
      } else if (AOnUserData) {
        AOnUserData({std::make_shared<TFirebaseUser>("uid-1", "demo@zel.test", "", false)});
      }
    });
  }
  void ChangeProfile(const std::string&, TOnFirebaseResponse AOnResponse, TOnRequestError) override {
    Answer("ChangeProfile", [this, AOnResponse] {
      if (AOnResponse) AOnResponse("ChangeProfile", {ProfileStatus.load(), "{}"});
    });
  }
  void SignOut() override {
    SetTokens("", "");
    Notify(false);
  }
  void InstallTokenRefreshNotification(TOnTokenRefresh AOnToken) override {
    std::lock_guard guard(FLock);
    FNotify = std::move(AOnToken);
  }
  bool Authenticated() override { return !Token().empty(); }
  std::string Token() override {
    if (!UIThread::IsUIThread()) {
      // Throws on the keeper's thread only, so that a sign-in still goes through.
      if (ThrowOnToken) throw std::runtime_error("token store unreadable");
      std::unique_lock guard(FLock);
      if (FHoldKeeper) {
        FKeeperHeld = true;
        FKeeperChanged.notify_all();
        FKeeperChanged.wait(guard, [this] { return !FHoldKeeper; });
      }
      return FId;
    }
    std::lock_guard guard(FLock);
    return FId;
  }
  std::string GetRefreshToken() override {
    std::lock_guard guard(FLock);
    return FRefresh;
  }

  // The ID token the next sign-in or refresh hands out.
  void SetNextIdToken(std::string AToken) {
    std::lock_guard guard(FLock);
    FNext = std::move(AToken);
  }
  // The ID token of the answers after the next one (the refreshes that follow a sign-in):
  // set before the sign-in, so that a refresh the keeper starts at once already gets it.
  void SetLaterIdToken(std::string AToken) {
    std::lock_guard guard(FLock);
    FLater = std::move(AToken);
  }

  // The error text the next user-data answers carry ("" for none: the one user).
  void SetUserDataError(std::string AError) {
    std::lock_guard guard(FLock);
    FUserDataError = std::move(AError);
  }

  // While Hold is set, answers wait (on the UI thread, in the order asked) until the test
  // releases them: the first held answer of that request ("SignIn", "RefreshToken",
  // "GetUserData", "ChangeProfile"), or all of them, also those they ask for in turn.
  // false when nothing of that request is held.
  bool Release(const std::string& ARequest) {
    for (auto it = FHeld.begin(); it != FHeld.end(); ++it) {
      if (it->first != ARequest) continue;
      const std::function<void()> answer = std::move(it->second);
      FHeld.erase(it);
      answer();
      return true;
    }
    return false;
  }
  void ReleaseAll() {
    while (!FHeld.empty()) Release(FHeld.front().first);
  }

  // While set, the keeper's thread stops in Token() until it is cleared.
  void HoldKeeper(bool AHold) {
    std::lock_guard guard(FLock);
    FHoldKeeper = AHold;
    if (!AHold) FKeeperHeld = false;
    FKeeperChanged.notify_all();
  }
  // Waits until the keeper's thread stops in Token(); false after ATimeout.
  bool WaitKeeperHeld(std::chrono::milliseconds ATimeout) {
    std::unique_lock guard(FLock);
    return FKeeperChanged.wait_for(guard, ATimeout, [this] { return FKeeperHeld; });
  }

  bool Hold = false;
  std::atomic<int> Refreshes{0};
  std::atomic<bool> ThrowOnToken{false};
  std::atomic<long> ProfileStatus{200};

private:
  void Answer(std::string ARequest, std::function<void()> AAnswer) {
    if (Hold)
      FHeld.emplace_back(std::move(ARequest), std::move(AAnswer));
    else
      AAnswer();
  }
  std::string UserDataError() {
    std::lock_guard guard(FLock);
    return FUserDataError;
  }
  std::string NextIdToken() {
    std::lock_guard guard(FLock);
    std::string token = FNext;
    if (!FLater.empty()) FNext = std::exchange(FLater, std::string());
    return token;
  }
  void SetTokens(std::string AId, std::string ARefresh) {
    std::lock_guard guard(FLock);
    FId = std::move(AId);
    FRefresh = std::move(ARefresh);
  }
  void Notify(bool AOk) {
    TOnTokenRefresh notify;
    {
      std::lock_guard guard(FLock);
      notify = FNotify;
    }
    if (notify) notify(AOk);
  }

  std::mutex FLock;
  std::condition_variable FKeeperChanged;
  std::string FId, FRefresh, FNext, FLater, FUserDataError;
  TOnTokenRefresh FNotify;
  bool FHoldKeeper = false, FKeeperHeld = false;
  std::deque<std::pair<std::string, std::function<void()>>> FHeld;  // UI thread only
};

class TCannedREST : public IZELRESTService {
public:
  static constexpr std::string_view TypeName = "TCannedREST";
  bool Sync(nlohmann::ordered_json&) override { return false; }
  bool GetEvent(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetEvents(nlohmann::ordered_json&, const std::string&, const std::string&) override { return false; }
  bool GetEventItems(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetEventItemDetails(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetExtraDataTypeAndSize(const std::string&, std::string&, std::int64_t&) override { return false; }
  bool GetExtraDataStream(const std::string&, std::ostream&, std::string&, std::int64_t&) override { return false; }
  bool ValidateToken(const std::string&) override {
    ++TokenChecks;
    return TokenValid;
  }
  std::unique_ptr<TZELUserRecord> ValidateInviteCode(const std::string&, std::string&) override { return Record(); }
  std::unique_ptr<TZELUserRecord> AuthOnZELCRM(std::string&) override {
    ++RecordFetches;
    return Record();
  }

  std::atomic<bool> TokenValid{true};
  // The backend calls of sign-ins, as the backend would see them.
  std::atomic<int> TokenChecks{0}, RecordFetches{0};
  nlohmann::ordered_json RecordJSON = {{"_id", "u1"}, {"email", "demo@zel.test"}, {"organization", {{"_id", "o1"}}}};

private:
  std::unique_ptr<TZELUserRecord> Record() { return TZELUserRecord::FromJSON(RecordJSON); }
};

// The backend's checks of a sign-in run on a pool task and report on the UI thread: waits
// for every such task and runs what it handed over, so that an outcome (or its absence) can
// be looked at.
inline void SettleBackendChecks() {
  QThreadPool::globalInstance()->waitForDone();
  WaitUntil([] { return false; }, std::chrono::milliseconds(20));
}

}  // namespace ZEL::Test
