// Each sign-in attempt of the authentication service reports its outcome once, whatever
// order the identity client's answers come in: an identity client that holds its answers
// until the test releases them.

#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"

#include <gtest/gtest.h>

#include <functional>

namespace ZEL {
namespace {

using namespace std::chrono_literals;
using ZEL::Test::MakeIdToken;

const Time::TInstant T0 = Time::FromUnixSeconds(1'750'000'000);

class SignInAttempts : public ::testing::Test {
protected:
  void SetUp() override {
    Time::SetClock([] { return T0; });
    Service = std::make_shared<TAuthService>(Firebase);
    Service->OnLoginSuccess = [this](IAuthService*) { ++Successes; };
    Service->OnLoginFailure = [this](IAuthService*, TAuthServiceState AState, const std::string& AReason) {
      Failures.push_back({AState, AReason});
    };
    GlobalContainer().RegisterInstance<IAuthService>("", Service);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
    Firebase->SetNextIdToken(MakeIdToken(T0 + 50min));
    Firebase->Hold = true;
  }
  void TearDown() override {
    Service.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
    Time::SetClock({});
  }

  // A sign-up whose first confirmation (after the token notification) has come, while the
  // profile change is still unanswered.
  void SignUpConfirmedOnce() {
    ASSERT_TRUE(Service->ValidateInviteCode("123456"));
    Service->RegisterUser("Demo Operator", "demo@zel.test", "pass");
    ASSERT_TRUE(Release("SignIn"));       // asks for the profile change and the user data
    ASSERT_TRUE(Release("GetUserData"));  // confirms
    ASSERT_EQ(Successes, 1);
  }

  // The identity client's held answers, released; the backend's checks that an answer starts
  // run on a pool task and report on the UI thread, so each release waits for them to land.
  bool Release(const std::string& ACall) {
    const bool released = Firebase->Release(ACall);
    Settle();
    return released;
  }
  void ReleaseAll() {
    Firebase->ReleaseAll();
    Settle();
  }
  static void Settle() { ZEL::Test::SettleBackendChecks(); }

  std::shared_ptr<ZEL::Test::TInstantFirebase> Firebase = std::make_shared<ZEL::Test::TInstantFirebase>();
  std::shared_ptr<ZEL::Test::TCannedREST> Rest = std::make_shared<ZEL::Test::TCannedREST>();
  std::shared_ptr<TAuthService> Service;
  int Successes = 0;
  std::vector<std::pair<TAuthServiceState, std::string>> Failures;
  using TFailures = decltype(Failures);
};

// The identity client reports a new token twice (its answer, then the notification) and a
// sign-up's profile change asks for the user data too: the backend is asked once a sign-in.
TEST_F(SignInAttempts, EachSignInAsksTheBackendOnce) {
  const struct {
    const char* Name;
    std::function<void(TAuthService&)> Start;
  } kinds[] = {
      {"saved token", [](TAuthService& A) { A.AuthWithToken("refresh-0", false); }},
      {"password", [](TAuthService& A) { A.LoginUser("demo@zel.test", "pass"); }},
      {"sign-up", [](TAuthService& A) { A.RegisterUser("Demo Operator", "demo@zel.test", "pass"); }},
      {"silent refresh", [](TAuthService& A) { A.RefreshUserToken(); }},
  };
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.Name);
    Rest->TokenChecks = 0;
    Rest->RecordFetches = 0;
    const int successes = Successes;
    LogsPipe::TLogCapture capture;
    k.Start(*Service);
    ReleaseAll();
    EXPECT_EQ(Rest->TokenChecks, 1);
    EXPECT_EQ(Rest->RecordFetches, 1);
    EXPECT_TRUE(Failures.empty());
    EXPECT_TRUE(Service->GetAuthorized());
    EXPECT_EQ(Successes - successes, std::string(k.Name) == "silent refresh" ? 0 : 1);
    for (const auto& e : capture.Entries())
      EXPECT_EQ(e.Message.find("Backend answer of an ended sign-in dropped."), std::string::npos);
  }
}

TEST_F(SignInAttempts, AnswersOfAnEarlierAttemptReportNothing) {
  // The saved token is refused only after the user has signed in with a password.
  Service->AuthWithToken("revoked", false);
  Service->LoginUser("demo@zel.test", "pass");
  ASSERT_TRUE(Release("RefreshToken"));
  EXPECT_TRUE(Failures.empty());
  ReleaseAll();
  EXPECT_EQ(Successes, 1);
  EXPECT_TRUE(Failures.empty());
  EXPECT_EQ(Service->State(), TAuthServiceState::asAuthorized);

  // A password sign-in answered only after a newer attempt failed: it neither succeeds
  // nor fails a second time, and its token notification continues nothing.
  Service->Logout(true, "");
  Failures.clear();
  Successes = 0;
  Service->LoginUser("demo@zel.test", "pass");
  Service->AuthWithToken("revoked", false);
  ASSERT_TRUE(Release("RefreshToken"));
  ReleaseAll();
  EXPECT_EQ(Successes, 0);
  EXPECT_EQ(Failures, (TFailures{{TAuthServiceState::asLoginViaToken, "INVALID_REFRESH_TOKEN"}}));
  EXPECT_EQ(Service->State(), TAuthServiceState::asUnauthorized);
}

TEST_F(SignInAttempts, LateAnswersOfASignUpDoNotReachTheNextSignIn) {
  // The sign-up is confirmed; its account is then deleted and the program signs in with
  // the saved token: the sign-up's late user-data request fails for the deleted account,
  // and the token sign-in fails once, with its own reason.
  SignUpConfirmedOnce();
  Firebase->SetUserDataError("USER_NOT_FOUND");
  Service->AuthWithToken("revoked", false);
  ASSERT_TRUE(Release("ChangeProfile"));  // would ask for the user data again
  Release("GetUserData");
  EXPECT_TRUE(Failures.empty());
  ReleaseAll();
  EXPECT_EQ(Failures, (TFailures{{TAuthServiceState::asLoginViaToken, "INVALID_REFRESH_TOKEN"}}));
  EXPECT_EQ(Successes, 1);

  // A sign-out ends the attempt under way: its answers come to nothing.
  Service->LoginUser("demo@zel.test", "pass");
  Failures.clear();
  Service->Logout(true, "");
  Firebase->SetUserDataError("");
  ReleaseAll();
  EXPECT_EQ(Failures, (TFailures{{TAuthServiceState::asLogout, ""}}));
  EXPECT_EQ(Successes, 1);
  EXPECT_FALSE(Service->GetAuthorized());
}

TEST_F(SignInAttempts, ASignUpFailsOnceAndAFailureAfterItsConfirmationStillEndsIt) {
  // The account's record differs from the invitation's: both confirmations find the
  // mismatch, one failure is reported.
  ASSERT_TRUE(Service->ValidateInviteCode("123456"));
  Rest->RecordJSON["email"] = "other@zel.test";
  Service->RegisterUser("Demo Operator", "demo@zel.test", "pass");
  ReleaseAll();
  EXPECT_EQ(Successes, 0);
  // (reported from the state the confirmation had reached)
  EXPECT_EQ(Failures, (TFailures{{TAuthServiceState::asAuthorized, "Tarvelo Systems CRM auth falied."}}));

  // A profile change refused after the sign-up was confirmed still ends the session.
  Rest->RecordJSON["email"] = "demo@zel.test";
  Failures.clear();
  Firebase->ProfileStatus = 400;
  SignUpConfirmedOnce();
  ReleaseAll();
  EXPECT_EQ(Failures, (TFailures{{TAuthServiceState::asAuthorized,
                                  "Unable to refresh user data at user registation step."}}));
}

}  // namespace
}  // namespace ZEL
