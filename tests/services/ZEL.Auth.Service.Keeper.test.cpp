// The token keeper "AUTHTOKEN_KEEPER" on a test clock, with an identity client and a
// backend that answer at once.

#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.UIThread.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

using namespace std::chrono_literals;
using ZEL::Test::MakeIdToken;

const Time::TInstant T0 = Time::FromUnixSeconds(1'750'000'000);

bool Logged(const LogsPipe::TLogCapture& ACapture, const std::string& AText) {
  for (const auto& e : ACapture.Entries())
    if (e.Message.find(AText) != std::string::npos) return true;
  return false;
}

int CountLogged(const LogsPipe::TLogCapture& ACapture, const std::string& AText) {
  int n = 0;
  for (const auto& e : ACapture.Entries()) n += e.Message.find(AText) != std::string::npos;
  return n;
}

class TokenKeeper : public ::testing::Test {
protected:
  void SetUp() override {
    Time::SetClock([] { return T0; });
    TAuthService::TOptions options;
    options.KeeperRetryInterval = 20ms;
    Service = std::make_shared<TAuthService>(Firebase, options);
    Service->OnAuthStart = [this](IAuthService*, TAuthServiceState AState) {
      Starts.push_back(AState);
      StartsOnUIThread = StartsOnUIThread && UIThread::IsUIThread();
    };
    Service->OnLoginSuccess = [this](IAuthService*) { ++Successes; };
    Service->OnLoginFailure = [this](IAuthService*, TAuthServiceState, const std::string& AReason) {
      Failures.push_back(AReason);
    };
    GlobalContainer().RegisterInstance<IAuthService>("", Service);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
  }
  void TearDown() override {
    Service.reset();  // stops the keeper before the registrations go
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
    Time::SetClock({});
  }

  void SignIn(const std::string& AIdToken) {
    const std::size_t LBefore = Successes + Failures.size();
    Firebase->SetNextIdToken(AIdToken);
    Service->LoginUser("demo@zel.test", "pass");
    // The backend's checks answer from a pool task.
    ZEL::Test::WaitUntil([&] { return Successes + Failures.size() > LBefore; });
  }

  LogsPipe::TLogCapture Capture;
  std::shared_ptr<ZEL::Test::TInstantFirebase> Firebase = std::make_shared<ZEL::Test::TInstantFirebase>();
  std::shared_ptr<ZEL::Test::TCannedREST> Rest = std::make_shared<ZEL::Test::TCannedREST>();
  std::shared_ptr<TAuthService> Service;
  std::vector<TAuthServiceState> Starts;
  bool StartsOnUIThread = true;
  int Successes = 0;
  std::vector<std::string> Failures;
};

struct TKeeperCase {
  const char* Name;
  std::string Token;
  const char* Line;
  bool Refresh;
};

TEST_F(TokenKeeper, TableOfTimeLeft) {
  const std::vector<TKeeperCase> cases = {
      {"21 minutes", MakeIdToken(T0 + 21min), "FBToken keeper task: Token still enough fresh.", false},
      {"20 minutes", MakeIdToken(T0 + 20min), "FBToken keeper task: Token will be refreshed(TTL 20 <= 20 min).", true},
      {"0 minutes", MakeIdToken(T0 + 30s), "FBToken keeper task: Token will be refreshed(TTL 0 <= 20 min).", true},
      // Expired while the computer slept: refreshed at once, not left to die.
      {"expired long ago", MakeIdToken(T0 - 3h), "FBToken keeper task: Token will be refreshed(TTL 0 <= 20 min).", true},
      {"unreadable", "not-a-token", "FBToken keeper task: Unable to read data from token!", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    Capture.Clear();
    Firebase = std::make_shared<ZEL::Test::TInstantFirebase>();
    Starts.clear();
    Successes = 0;
    Failures.clear();
    SetUp();

    Firebase->SetLaterIdToken(MakeIdToken(T0 + 60min));
    SignIn(c.Token);
    ASSERT_EQ(Successes, 1);
    ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "FBToken keeper task terminated."); }));
    EXPECT_TRUE(Logged(Capture, c.Line));
    if (c.Refresh) {
      // The refresh runs on the UI thread; the keeper is re-armed and finds the new token.
      ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "Token time left: 60 minutes"); }));
      EXPECT_EQ(Firebase->Refreshes, 1);
      EXPECT_EQ(Service->State(), TAuthServiceState::asAuthorized);
      EXPECT_EQ(Starts.back(), TAuthServiceState::asExpireTokenRefresh);
      EXPECT_TRUE(StartsOnUIThread);
      EXPECT_EQ(Successes, 1);  // a silent refresh is not reported as a sign-in
    } else {
      ZEL::Test::WaitUntil([] { return false; }, 200ms);
      EXPECT_EQ(Firebase->Refreshes, 0);
    }
    EXPECT_TRUE(Failures.empty());
  }
}

TEST_F(TokenKeeper, RunThatKeepsFailingIsRetriedThenGivesUp) {
  Firebase->ThrowOnToken = true;  // only off the UI thread, see the stand-in
  SignIn(MakeIdToken(T0 + 5min));
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "FBToken keeper task terminated."); }));
  EXPECT_EQ(CountLogged(Capture, "FBToken keeper task: start"), 4);  // the run and three retries
  EXPECT_TRUE(Logged(Capture, "Creating FBToken keeper task(AUTHTOKEN_KEEPER) Excepption."));
  EXPECT_TRUE(Logged(Capture, "Done: No Failed: Yes Will refresh: No"));
  ZEL::Test::WaitUntil([] { return false; }, 200ms);
  EXPECT_EQ(Firebase->Refreshes, 0);
}

TEST_F(TokenKeeper, FailureStopsItAndTheNextSignInArmsItAgain) {
  SignIn(MakeIdToken(T0 + 50min));
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "Token still enough fresh."); }));
  Service->Logout(false, "Services is not available now. Please try again later.");
  EXPECT_EQ(Service->TokenKeeperTask(), nullptr);  // scheduler stopped
  Capture.Clear();
  SignIn(MakeIdToken(T0 + 50min));
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "Token still enough fresh."); }));
  const auto task = Service->TokenKeeperTask();
  ASSERT_NE(task, nullptr);
  EXPECT_TRUE(task->IsArmed());
}

TEST_F(TokenKeeper, ItsRunHoldsNoReferenceToTheService) {
  // Whoever drops the last reference destroys the service, and its destructor waits for
  // the keeper's run: a reference held by the run itself would make the keeper's thread
  // destroy its own scheduler while it runs.
  Firebase->HoldKeeper(true);
  struct TLetGo {
    ZEL::Test::TInstantFirebase& Firebase;
    ~TLetGo() { Firebase.HoldKeeper(false); }  // also when an assertion ends the test
  } letGo{*Firebase};
  SignIn(MakeIdToken(T0 + 50min));
  ASSERT_TRUE(Firebase->WaitKeeperHeld(10s));
  EXPECT_EQ(Service.use_count(), 2);  // this test and the container
  Firebase->HoldKeeper(false);
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return Logged(Capture, "FBToken keeper task terminated."); }));
  EXPECT_TRUE(Logged(Capture, "FBToken keeper task: Token still enough fresh."));
}

}  // namespace
}  // namespace ZEL
