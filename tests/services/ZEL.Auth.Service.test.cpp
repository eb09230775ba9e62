// The authentication service with our identity client against the identity emulator and
// the backend simulator (real processes on loopback).

#include "PeerStack.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Core.Integrations.Firebase.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.REST.Service.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

using namespace std::chrono_literals;

constexpr const char* cEmail = "demo@zel.test";
constexpr const char* cPassword = "zel-demo-pass";

class AuthService : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    Peers = ZEL::Test::TPeerStack::Shared(error);
    ASSERT_NE(Peers, nullptr) << error;
    ASSERT_EQ(Peers->Control("POST", "/reset"), 200);
    Peers->DeleteAccounts();
    Rest = std::make_shared<TZELRESTService>();
    Service = MakeService();
  }
  void TearDown() override {
    Service.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
  }

  std::shared_ptr<TAuthService> MakeService() {
    auto service = std::make_shared<TAuthService>();
    service->OnAuthStart = [this](IAuthService*, TAuthServiceState AState) { Starts.push_back(AState); };
    service->OnLoginSuccess = [this](IAuthService*) { ++Successes; };
    service->OnLoginFailure = [this](IAuthService*, TAuthServiceState AState, const std::string& AReason) {
      Failures.push_back({AState, AReason});
    };
    GlobalContainer().RegisterInstance<IAuthService>("", service);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
    return service;
  }

  // Waits for the outcome of the sign-in under way; true for a success.
  bool Outcome() {
    const int successes = Successes;
    const size_t failures = Failures.size();
    EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return Successes > successes || Failures.size() > failures; }, 20s));
    // A second confirmation (sign-up, refresh) may still be on its way: it must stay silent.
    ZEL::Test::WaitUntil([] { return false; }, 300ms);
    return Successes > successes;
  }

  void Register() {
    ASSERT_TRUE(Service->ValidateInviteCode("100001"));
    Service->RegisterUser("Demo Operator", cEmail, cPassword);
    ASSERT_TRUE(Outcome()) << (Failures.empty() ? "" : Failures.back().second);
  }

  ZEL::Test::TPeerStack* Peers = nullptr;
  std::shared_ptr<TZELRESTService> Rest;
  std::shared_ptr<TAuthService> Service;
  std::vector<TAuthServiceState> Starts;
  int Successes = 0;
  std::vector<std::pair<TAuthServiceState, std::string>> Failures;
  LogsPipe::TLogCapture Capture;
};

TEST_F(AuthService, RegisterWithInvitationThenSignOutAndIn) {
  Register();
  EXPECT_EQ(Successes, 1);  // two user-data answers, one success
  EXPECT_EQ(Starts, std::vector<TAuthServiceState>{TAuthServiceState::asRegister});
  EXPECT_TRUE(Service->GetAuthorized());
  EXPECT_EQ(Service->GetAccountID(), cEmail);
  EXPECT_EQ(Service->GetDisplayName(), "Demo Operator");
  EXPECT_EQ(Service->FirebaseEscalatedTopic(), "65f1c0de4a1b2c3d4e5f6071-escalated");
  ASSERT_NE(Service->CRMUserRecord(), nullptr);
  EXPECT_EQ(Service->CRMUserRecord()->email, cEmail);
  ASSERT_NE(Service->TokenKeeperTask(), nullptr);

  EXPECT_TRUE(Service->Logout(true, ""));
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], std::make_pair(TAuthServiceState::asLogout, std::string()));
  EXPECT_TRUE(Service->GetIsSignoutByUser());
  EXPECT_EQ(Service->FirebaseToken(), "");
  EXPECT_EQ(Service->CRMUserRecord(), nullptr);
  EXPECT_EQ(Service->TokenKeeperTask(), nullptr);
  ZEL::Test::WaitUntil([] { return false; }, 200ms);
  EXPECT_EQ(Failures.size(), 1u);  // the token notification at sign-out ends nothing more

  Service->LoginUser(cEmail, cPassword);
  EXPECT_TRUE(Outcome());
  EXPECT_FALSE(Service->GetIsSignoutByUser());
  EXPECT_EQ(Service->GetAccountDisplayName(), "Demo Operator");

  // No secret in clear in any line.
  const std::string token = Service->FirebaseToken(), refresh = Service->FirebaseRefreshToken();
  for (const auto& e : Capture.Entries()) {
    EXPECT_EQ(e.Message.find(cPassword), std::string::npos) << e.Message;
    EXPECT_EQ(e.Message.find(token), std::string::npos) << e.Message;
    EXPECT_EQ(e.Message.find(refresh), std::string::npos) << e.Message;
  }
}

TEST_F(AuthService, WrongPasswordGivesASentence) {
  Register();
  Service->Logout(true, "");
  Failures.clear();
  Service->LoginUser(cEmail, "wrong-password");
  EXPECT_FALSE(Outcome());
  ASSERT_EQ(Failures.size(), 1u) << [this] {
    std::string reasons;
    for (const auto& f : Failures) reasons += std::string(ToString(f.first)) + ": " + f.second + "\n";
    return reasons;
  }();
  EXPECT_EQ(Failures[0].first, TAuthServiceState::asLogin);
  EXPECT_TRUE(Auth::Service::IsFirebaseSeviceMessage(Failures[0].second)) << Failures[0].second;
  EXPECT_NE(Auth::Service::UserFriendlifyServiceMessage(Failures[0].second), Failures[0].second);
  EXPECT_EQ(Service->State(), TAuthServiceState::asUnauthorized);
}

TEST_F(AuthService, SavedRefreshTokenAndForcedRefresh) {
  Register();
  const std::string saved = Service->FirebaseRefreshToken();
  ASSERT_FALSE(saved.empty());

  // The next start of the program signs in with the saved token.
  Service.reset();
  Starts.clear();
  Successes = 0;
  Service = MakeService();
  Service->AuthWithToken(saved, false);
  EXPECT_TRUE(Outcome());
  EXPECT_EQ(Successes, 1);  // the refreshed token is reported twice
  EXPECT_EQ(Starts, std::vector<TAuthServiceState>{TAuthServiceState::asLoginViaToken});

  // A forced silent refresh: the session goes on unnoticed.
  Service->RefreshUserToken();
  EXPECT_EQ(Service->State(), TAuthServiceState::asExpireTokenRefresh);
  EXPECT_FALSE(Service->GetAuthorized());
  // The account stays readable meanwhile: requests keep their source, the response topic stays.
  EXPECT_EQ(Service->GetAccountID(), cEmail);
  EXPECT_FALSE(Service->GetAccountDisplayName().empty());
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Service->GetAuthorized(); }, 20s));
  ZEL::Test::WaitUntil([] { return false; }, 300ms);
  EXPECT_EQ(Successes, 1);
  EXPECT_TRUE(Failures.empty());
  nlohmann::ordered_json edges;
  EXPECT_TRUE(Rest->Sync(edges));
}

TEST_F(AuthService, RevokedRefreshTokenIsRecognised) {
  Register();
  const std::string saved = Service->FirebaseRefreshToken();
  Peers->DeleteAccounts();  // the account, and so its tokens, are gone
  for (const std::string& token : {saved, std::string("not-a-refresh-token")}) {
    Failures.clear();
    Service->AuthWithToken(token, false);
    EXPECT_FALSE(Outcome());
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0].first, TAuthServiceState::asLoginViaToken);
    // Recognised, so the start-up window forgets the saved token.
    EXPECT_TRUE(Auth::Service::IsFirebaseSeviceMessage(Failures[0].second)) << Failures[0].second;
  }
}

TEST_F(AuthService, RecordOfAnotherInvitationIsRefusedAtSignUpOnly) {
  ASSERT_TRUE(Service->ValidateInviteCode("200002"));
  Service->RegisterUser("Demo", cEmail, cPassword);
  EXPECT_FALSE(Outcome());
  ASSERT_FALSE(Failures.empty());
  EXPECT_EQ(Failures.back().second, "Tarvelo Systems CRM auth falied.");
  EXPECT_EQ(Service->CRMUserRecord()->email, "supervisor@zel.test");  // held record kept

  // Checking a code and then signing in with an existing account is not refused.
  ASSERT_TRUE(Service->ValidateInviteCode("200002"));
  Service->LoginUser(cEmail, cPassword);
  EXPECT_TRUE(Outcome());
  EXPECT_EQ(Service->CRMUserRecord()->email, cEmail);
}

TEST_F(AuthService, BackendRefusalsEndTheSignIn) {
  Register();
  Service->Logout(true, "");

  Failures.clear();
  ASSERT_EQ(Peers->Control("POST", "/faults", R"({"path":"/isValidToken","mode":"500","count":1})"), 200);
  Service->LoginUser(cEmail, cPassword);
  EXPECT_FALSE(Outcome());
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0].second, "Firebase token invalid.");

  Failures.clear();
  ASSERT_EQ(Peers->Control("POST", "/faults", R"({"path":"/authZelUser","mode":"500","count":1})"), 200);
  Service->LoginUser(cEmail, cPassword);
  EXPECT_FALSE(Outcome());
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0].second, "Tarvelo Systems CRM auth failed.");

  // Backend unreachable during the token check: the transport error's message.
  Failures.clear();
  Rest = std::make_shared<TZELRESTService>("https://127.0.0.1:1");
  GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
  Service->LoginUser(cEmail, cPassword);
  EXPECT_FALSE(Outcome());
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_NE(Failures[0].second.find("Error sending request"), std::string::npos) << Failures[0].second;
  EXPECT_EQ(Service->State(), TAuthServiceState::asUnauthorized);
}

TEST_F(AuthService, ForcedSignOutCarriesItsReason) {
  Register();
  const std::string reason = "Services is not available now. Please try again later.";
  EXPECT_TRUE(Service->Logout(false, reason));
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], std::make_pair(TAuthServiceState::asLogout, reason));
  EXPECT_FALSE(Service->GetIsSignoutByUser());
  EXPECT_FALSE(Service->GetAuthorized());
  EXPECT_EQ(Service->FirebaseEscalatedTopic(), "");
}

TEST(IdentityClient, EMailSyntax) {
  for (const char* good : {"demo@zel.test", "a.b+c@sub.example.org"}) EXPECT_TRUE(Identity::Client::IsEMailAdress(good)) << good;
  for (const char* bad : {"", "demo", "demo@zel", "@zel.test", "demo@zel.test ", "de mo@zel.test", "a@@b.c", "a@b..c"})
    EXPECT_FALSE(Identity::Client::IsEMailAdress(bad)) << bad;
}

TEST(PushMessaging, DesktopStubAndDeviceId) {
  LogsPipe::TLogCapture capture;
  TFirebaseCloudMessaging push(true);
  ASSERT_EQ(capture.Entries().size(), 1u);
  EXPECT_EQ(capture.Entries()[0].Type, TLogType::Warning);
  EXPECT_EQ(capture.Entries()[0].Message, "Firebase service is not working outside of Mobile environment!");
  EXPECT_TRUE(push.GetStartupNotifications().empty());
  EXPECT_EQ(push.GetDeviceToken(), "");
  push.SubscribeToTopic("");
  push.UnsubscribeFromTopic("x-escalated");
  // Without application data there is nowhere to keep a device id.
  EXPECT_EQ(push.GetDevicedID(), "");
}

}  // namespace
}  // namespace ZEL
