#include <gtest/gtest.h>

#include "ZEL.LogsPipe.h"
#include "ZEL.SignIn.Decisions.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Authorize.h"
#include "ZEL.View.Login.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace ZEL;
using namespace ZEL::Test;

TEST(SignInDecisions, LoginChecksInOrder) {
  struct TCase {
    const char* Email;
    const char* Password;
    const char* Message;  // nullptr: passes
  };
  const TCase LCases[] = {
      {"   ", "secret1", "Email address is required."},
      {"", "", "Email address is required."},
      {"user@example", "secret1", "Email address is incorect."},
      {"user@example.com ", "secret1", "Email address is incorect."},  // judged as typed
      {"user@@example.com", "secret1", "Email address is incorect."},
      {"user@example.com", "   ", "Password is required."},
      {"user@example.com", "  abcde  ", "Password must contain at least 6 chars."},
      {"user@example.com", " abcdef ", nullptr},
      // Characters, not bytes: five letters of two bytes each are too few, six are enough.
      {"user@example.com", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6", "Password must contain at least 6 chars."},
      {"user@example.com", " \xC3\xA4\xC3\xB6\xC3\xBC ", "Password must contain at least 6 chars."},
      {"user@example.com", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC", nullptr},
      {"first.last+tag@mail.example.org", "123456", nullptr},
  };
  for (const TCase& LCase : LCases) {
    const auto LResult = SignIn::ValidateLogin(LCase.Email, LCase.Password);
    if (LCase.Message) {
      EXPECT_EQ(LResult.value_or("<passed>"), LCase.Message) << LCase.Email << "/" << LCase.Password;
    } else {
      EXPECT_FALSE(LResult.has_value()) << LCase.Email << ": " << LResult.value_or("");
    }
  }
}

TEST(SignInDecisions, OverlayTextByAuthState) {
  EXPECT_EQ(SignIn::AuthStartText(TAuthServiceState::asLogin), "Logging into existing account..");
  EXPECT_EQ(SignIn::AuthStartText(TAuthServiceState::asLoginViaToken), "Authorizing session...");
  EXPECT_EQ(SignIn::AuthStartText(TAuthServiceState::asRegister), "Creating new profile...");
  EXPECT_EQ(SignIn::AuthStartText(TAuthServiceState::asExpireTokenRefresh), "Auth state [asExpireTokenRefresh]...");
}

TEST(SignInDecisions, AuthorizeCardByEntryAndToken) {
  const auto LFirst = SignIn::AuthorizeOnEnter(TView::Host, true);
  EXPECT_TRUE(LFirst.SignInWithToken);
  EXPECT_FALSE(LFirst.ChangeCard);
  const auto LToken = SignIn::AuthorizeOnEnter(TView::Authorize, true);
  EXPECT_FALSE(LToken.SignInWithToken);
  EXPECT_EQ(LToken.LoginNote, "You're authorized already:");
  EXPECT_EQ(LToken.LoginButton, "Log-in with saved token.");
  EXPECT_EQ(LToken.LoginTag, 1);
  const auto LNone = SignIn::AuthorizeOnEnter(TView::Login, false);
  EXPECT_EQ(LNone.LoginNote, "If you're already registered:");
  EXPECT_EQ(LNone.LoginButton, "Enter credentials");
  EXPECT_EQ(LNone.LoginTag, 0);
}

TEST(SignInDecisions, SignOutMessageByReason) {
  EXPECT_FALSE(SignIn::SignOutMessage("").Text.has_value());
  EXPECT_FALSE(SignIn::SignOutMessage("   ").Text.has_value());
  const auto LPlain = SignIn::SignOutMessage(" Services is not available now. ");
  EXPECT_EQ(LPlain.Text.value_or(""), " Services is not available now. ");  // shown as it is
  EXPECT_FALSE(LPlain.ForgetToken);
  const auto LIdentity = SignIn::SignOutMessage("INVALID_PASSWORD");
  EXPECT_EQ(LIdentity.Text.value_or(""), "Provided passoword is incorrect.");
  EXPECT_TRUE(LIdentity.ForgetToken);
}

class TSignInView : public ::testing::Test {
protected:
  void SetUp() override {
    FWindow.resize(380, 536);
    new QVBoxLayout(&FWindow);
  }
  TRecordingHost FHost;
  TDialogsInPlace FDialogs;
  QWidget FWindow;
};

TEST_F(TSignInView, LoginTypedChecksAndSendsAsTyped) {
  TLoginForm LLogin;
  LLogin.InitView(TView::Login, &FHost, &FWindow);
  LLogin.Enter(TView::Authorize);
  LLogin.ShowView();
  FWindow.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&FWindow));
  EXPECT_TRUE(LLogin.lyBack->isVisible());

  QTest::keyClicks(LLogin.editUsername, "   ");
  QTest::mouseClick(LLogin.btnLogin, Qt::LeftButton);
  // Outer blanks of a copied address are dropped before the check and the sending.
  LLogin.editUsername->setText(" user@example.com\t");
  QTest::keyClicks(LLogin.editPassword, "  abcde  ");
  QTest::keyClick(LLogin.editPassword, Qt::Key_Return);
  LLogin.editPassword->clear();
  QTest::keyClicks(LLogin.editPassword, " pass12 ");
  QTest::mouseClick(LLogin.btnLogin, Qt::LeftButton);
  EXPECT_EQ(FDialogs.Service->Shown,
            (std::vector<std::string>{"Email address is required.", "Password must contain at least 6 chars."}));
  EXPECT_EQ(FHost.Auth->Calls, std::vector<std::string>{"LoginUser(user@example.com, pass12 )"});
  EXPECT_EQ(LLogin.editPassword->echoMode(), QLineEdit::Password);
  // A second start while the first runs is refused, by click and by Return.
  QTest::mouseClick(LLogin.btnLogin, Qt::LeftButton);
  QTest::keyClick(LLogin.editPassword, Qt::Key_Return);
  EXPECT_EQ(FHost.Auth->Calls.size(), 1u);

  // At most 255 characters are taken.
  LLogin.editUsername->clear();
  QTest::keyClicks(LLogin.editUsername, QString(300, QChar('a')));
  EXPECT_EQ(LLogin.editUsername->text().size(), TLoginForm::MaxLength);

  // Entering again clears both fields; Back returns to the Authorize view.
  LLogin.Enter(TView::Authorize);
  EXPECT_TRUE(LLogin.editUsername->text().isEmpty());
  EXPECT_TRUE(LLogin.editPassword->text().isEmpty());
  QTest::mouseClick(LLogin.btnBack, Qt::LeftButton);
  EXPECT_EQ(FHost.Calls, std::vector<std::string>{"ChangeView(Authorize)"});
}

TEST_F(TSignInView, AuthorizeSignsInAtOnceOnlyOnTheFirstEntry) {
  LogsPipe::TLogCapture LCapture;
  FHost.Data->Token = "refresh-token-123456";
  TAuthorizeViewForm LView;
  LView.InitView(TView::Authorize, &FHost, &FWindow);
  LView.Enter(TView::Host);
  EXPECT_EQ(FHost.Auth->Calls, std::vector<std::string>{"AuthWithToken(refresh-token-123456,false)"});
  EXPECT_EQ(LView.txtLoginNote->text().toStdString(), "Already Registered?");
  for (const auto& LEntry : LCapture.WithTag("AuthorizeView"))
    EXPECT_EQ(LEntry.Message.find("refresh-token-123456"), std::string::npos) << LEntry.Message;

  LView.Leave(TView::Authorize);
  LView.Enter(TView::Authorize);  // from itself: no automatic sign-in
  EXPECT_EQ(FHost.Auth->Calls.size(), 1u);
  EXPECT_EQ(LView.btnLogin->text().toStdString(), "Log-in with saved token.");
  LView.btnLoginClick();
  EXPECT_EQ(FHost.Auth->Calls.size(), 2u);
  LView.btnLoginClick();  // runs already
  EXPECT_EQ(FHost.Auth->Calls.size(), 2u);

  FHost.Data->Token.clear();
  LView.Enter(TView::Login);
  EXPECT_EQ(LView.txtLoginNote->text().toStdString(), "If you're already registered:");
  LView.btnLoginClick();
  LView.btnRegisterClick();
  EXPECT_EQ(FHost.Calls, (std::vector<std::string>{"ChangeView(Login)", "ChangeView(Register)"}));
}
