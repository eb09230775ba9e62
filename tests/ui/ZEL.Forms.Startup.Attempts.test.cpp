// The start-up window over the real authentication service, whose identity client holds
// its answers until the test releases them: one failed sign-in attempt shows one message,
// whatever order its answers arrive in.

#include "ZEL.Forms.Startup.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.UI.TestSupport.h"
#include "services/ZEL.Auth.TestSupport.h"

#include <QCoreApplication>
#include <QPointer>

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;

class StartupWindowAttempts : public ::testing::Test {
protected:
  void SetUp() override {
    GlobalContainer().Unregister<IZELRESTService>();
    GlobalContainer().Unregister<IAuthService>();
    Window = new TZELMainActivity({[d = Data] { return std::shared_ptr<IApplicationData>(d); },
                                   [a = Auth] { return std::shared_ptr<IAuthService>(a); },
                                   [r = Rest] { return std::shared_ptr<IZELRESTService>(r); }});
    Window->show();
    ASSERT_TRUE(Window->SetupServices());
    Firebase->Hold = true;
  }
  void TearDown() override {
    delete Window.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Auth.reset();
    GlobalContainer().Unregister<IAuthService>();
    GlobalContainer().Unregister<IZELRESTService>();
    GlobalContainer().Unregister<IApplicationData>();
    GlobalContainer().Unregister<IFirebaseCloudMessaging>();
  }

  std::shared_ptr<ZT::TInstantFirebase> Firebase = std::make_shared<ZT::TInstantFirebase>();
  std::shared_ptr<ZT::TCannedREST> Rest = std::make_shared<ZT::TCannedREST>();
  std::shared_ptr<TAuthService> Auth = std::make_shared<TAuthService>(Firebase);
  std::shared_ptr<ZT::TRecordingAppData> Data = std::make_shared<ZT::TRecordingAppData>();
  QPointer<TZELMainActivity> Window;
  ZT::TDialogsInPlace Dialogs;
};

TEST_F(StartupWindowAttempts, OneFailedAttemptShowsOneMessage) {
  // A sign-up whose account does not match the invitation: both of its confirmations find
  // the mismatch.
  ASSERT_TRUE(Auth->ValidateInviteCode("123456"));
  Rest->RecordJSON["email"] = "other@zel.test";
  Auth->RegisterUser("Demo Operator", "demo@zel.test", "pass");
  Firebase->ReleaseAll();
  ZT::SettleBackendChecks();
  EXPECT_EQ(Dialogs.Service->Shown, std::vector<std::string>{"Tarvelo Systems CRM auth falied."});

  // A token sign-in started again before the first one answered: the first one's refusal
  // belongs to no one any more, the second one's is shown.
  Dialogs.Service->Shown.clear();
  Auth->AuthWithToken("revoked", false);
  Auth->AuthWithToken("revoked", false);
  Firebase->ReleaseAll();
  ZT::SettleBackendChecks();
  EXPECT_EQ(Dialogs.Service->Shown.size(), 1u);
}

}  // namespace
}  // namespace ZEL
