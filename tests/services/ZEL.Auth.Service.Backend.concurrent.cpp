// The backend's checks of a sign-in (the token and the user record) against a backend that
// answers late: they run off the UI thread, and the answer of an attempt that has ended
// meanwhile changes nothing.

#include "TestSupport.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.UIThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ZEL {
namespace {

using namespace std::chrono_literals;
namespace ZT = ZEL::Test;

// Holds its answers while Held; notes whether a call ran on the UI thread.
class TLateREST : public ZT::TCannedREST {
public:
  bool ValidateToken(const std::string& AToken) override {
    Enter();
    return ZT::TCannedREST::ValidateToken(AToken);
  }
  std::unique_ptr<TZELUserRecord> AuthOnZELCRM(std::string& AError) override {
    Enter();
    return ZT::TCannedREST::AuthOnZELCRM(AError);
  }
  std::atomic<bool> Held{false};
  std::atomic<bool> OnUIThread{false};
  std::atomic<int> Calls{0};

private:
  void Enter() {
    ++Calls;
    if (UIThread::IsUIThread()) OnUIThread = true;
    while (Held) std::this_thread::sleep_for(5ms);
  }
};

class AuthBackendChecks : public ::testing::Test {
protected:
  void SetUp() override {
    Firebase->SetNextIdToken(ZT::MakeIdToken(Time::Now() + 1h));
    Service = std::make_shared<TAuthService>(Firebase);
    Service->OnLoginSuccess = [this](IAuthService*) { ++Successes; };
    Service->OnLoginFailure = [this](IAuthService*, TAuthServiceState, const std::string& AReason) {
      Failures.push_back(AReason);
    };
    GlobalContainer().RegisterInstance<IAuthService>("", Service);
    GlobalContainer().RegisterInstance<IZELRESTService>("", Rest);
  }
  void TearDown() override {
    Rest->Held = false;
    ZT::WaitUntil([] { return false; }, 100ms);
    Service.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
  }

  std::shared_ptr<ZT::TInstantFirebase> Firebase = std::make_shared<ZT::TInstantFirebase>();
  std::shared_ptr<TLateREST> Rest = std::make_shared<TLateREST>();
  std::shared_ptr<TAuthService> Service;
  int Successes = 0;
  std::vector<std::string> Failures;
};

TEST_F(AuthBackendChecks, RunOffTheUIThreadWhileTheWindowTurns) {
  Rest->Held = true;
  Service->LoginUser("demo@zel.test", "secret1");
  // The call returned although the backend has not answered: the UI thread is free.
  ASSERT_TRUE(ZT::WaitUntil([this] { return Rest->Calls.load() > 0; }));
  EXPECT_EQ(Successes, 0);
  EXPECT_EQ(Service->State(), TAuthServiceState::asLogin);
  Rest->Held = false;
  ASSERT_TRUE(ZT::WaitUntil([this] { return Successes == 1; }));
  EXPECT_FALSE(Rest->OnUIThread);
  EXPECT_TRUE(Failures.empty());
  EXPECT_EQ(Service->State(), TAuthServiceState::asAuthorized);
  ASSERT_NE(Service->CRMUserRecord(), nullptr);
  EXPECT_EQ(Service->CRMUserRecord()->email, "demo@zel.test");
}

TEST_F(AuthBackendChecks, AnswerOfAnEndedAttemptChangesNothing) {
  Rest->Held = true;
  Service->LoginUser("demo@zel.test", "secret1");
  ASSERT_TRUE(ZT::WaitUntil([this] { return Rest->Calls.load() > 0; }));
  // The attempt ends before the backend answers (here: the session is ended).
  Service->Logout(false, "Services is not available now. Please try again later.");
  ASSERT_EQ(Failures.size(), 1u);
  Rest->Held = false;
  ZT::WaitUntil([] { return false; }, 300ms);
  EXPECT_EQ(Successes, 0);
  EXPECT_EQ(Failures.size(), 1u);
  EXPECT_NE(Service->State(), TAuthServiceState::asAuthorized);

  // A later attempt goes through as usual.
  Firebase->SetNextIdToken(ZT::MakeIdToken(Time::Now() + 1h));
  Service->LoginUser("demo@zel.test", "secret1");
  ASSERT_TRUE(ZT::WaitUntil([this] { return Successes == 1; }));
  EXPECT_EQ(Failures.size(), 1u);
}

TEST_F(AuthBackendChecks, RefusedTokenEndsTheAttemptOnce) {
  Rest->TokenValid = false;
  Service->LoginUser("demo@zel.test", "secret1");
  ASSERT_TRUE(ZT::WaitUntil([this] { return !Failures.empty(); }));
  ZT::WaitUntil([] { return false; }, 300ms);
  EXPECT_EQ(Failures, std::vector<std::string>{"Firebase token invalid."});
  EXPECT_EQ(Successes, 0);
}

}  // namespace
}  // namespace ZEL
