#include <gtest/gtest.h>

#include "ZEL.CRM.Types.h"
#include "ZEL.EditFilter.h"
#include "ZEL.Register.Decisions.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Register.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>
#include <QVBoxLayout>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

using namespace ZEL;
using namespace ZEL::Test;

TEST(RegisterDecisions, InvitationCodeBeforeAnyCall) {
  const struct {
    const char* Code;
    bool Passes;
  } LCases[] = {{"", false}, {"      ", false}, {"12345", false}, {" 12345 ", false}, {"123456", true}};
  for (const auto& LCase : LCases) {
    const auto LResult = Register::CheckInvCode(LCase.Code);
    if (LCase.Passes)
      EXPECT_FALSE(LResult.has_value()) << '"' << LCase.Code << '"';
    else
      EXPECT_EQ(LResult.value_or("<passed>"), Register::InvalidCodeText) << '"' << LCase.Code << '"';
  }
  EXPECT_TRUE(Register::EmailMissing(" \t "));
  EXPECT_FALSE(Register::EmailMissing("a@b.cd"));
}

TEST(RegisterDecisions, SignupChecksInOrder) {
  const struct {
    const char* Email;
    const char* Name;
    const char* Password;
    const char* Confirm;
    const char* Message;  // nullptr: passes
  } LCases[] = {
      {"  ", "", "", "", "E-mail address is required."},
      {"new@example", "Ann", "secret1", "secret1", "E-mail address is incorect."},
      {"new@example.com ", "Ann", "secret1", "secret1", "E-mail address is incorect."},  // as it stands
      {"new@example.com", "   ", "secret1", "secret1", "Display name can not contain only spaces."},
      {"new@example.com", "Ann", "  ", "secret1", "Password is required."},
      {"new@example.com", "Ann", "secret1", " ", "Password (second type) is required."},
      // The first password's length is judged before the confirmation's.
      {"new@example.com", "Ann", "abcde", "abc", "Password is weak, must contain at least 6 chars."},
      {"new@example.com", "Ann", " abcde ", "abcdef", "Password is weak, must contain at least 6 chars."},
      {"new@example.com", "Ann", "abcdef", "abcde", "Password (second type) is weak, must contain at least 6 chars."},
      {"new@example.com", "Ann", "secret1", "secret2", "Password phases are not the same."},
      // Characters, not bytes: five letters of two bytes each are still too few.
      {"new@example.com", "Ann", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6", "x", "Password is weak, must contain at least 6 chars."},
      // Compared exactly: the first field is sent as typed, so the confirmation must repeat it.
      {"new@example.com", "Ann", " Secret1 ", "sECRET1", "Password phases are not the same."},
      {"new@example.com", "Ann", "Secret1", "Secret1 ", "Password phases are not the same."},
      {"new@example.com", "Ann", "\xC3\xA4pfel1", "\xC3\x84pfel1", "Password phases are not the same."},
      {"new@example.com", "Ann", " Secret1 ", " Secret1 ", nullptr},
      {"new@example.com", "Ann", "\xC3\xA4pfel1", "\xC3\xA4pfel1", nullptr},
  };
  for (const auto& LCase : LCases) {
    const auto LResult = Register::ValidateSignup(LCase.Email, LCase.Name, LCase.Password, LCase.Confirm);
    if (LCase.Message)
      EXPECT_EQ(LResult.value_or("<passed>"), LCase.Message) << LCase.Email << "/" << LCase.Password;
    else
      EXPECT_FALSE(LResult.has_value()) << LCase.Password << ": " << LResult.value_or("");
  }
}

TEST(RegisterDecisions, KeysWithoutACharacterPass) {
  for (const char* LText : {"", "\t", "\r", "\x1b", "\b"}) {
    EXPECT_TRUE(Register::InvCodeKeyAllowed(QString::fromLatin1(LText))) << int(LText[0]);
    EXPECT_TRUE(Register::DisplayNameKeyAllowed(QString::fromLatin1(LText))) << int(LText[0]);
  }
  EXPECT_FALSE(Register::InvCodeKeyAllowed("12a"));  // a composed text is judged whole
  EXPECT_FALSE(Register::DisplayNameKeyAllowed(QString::fromUtf8("\xC3\xA9")));
}

namespace {

// The invitation check as the backend answers it; called on a pool thread.
class TInviteAuth : public TRecordingAuth {
public:
  bool ValidateInviteCode(const std::string& ACode) override {
    {
      std::unique_lock LLock(FLock);
      FCodes.push_back(ACode);
      FOpened.wait(LLock, [this] { return !FHeld; });
    }
    if (Throws) throw std::runtime_error("transport error");
    return Valid;
  }
  std::shared_ptr<const TZELUserRecord> CRMUserRecord() override {
    return HasRecord ? std::shared_ptr<const TZELUserRecord>(std::shared_ptr<void>(), &Record) : nullptr;
  }
  void RegisterUser(const std::string& AName, const std::string& AEmail, const std::string& APassword) override {
    Calls.push_back("RegisterUser(" + AName + "," + AEmail + "," + APassword + ")");
  }

  std::vector<std::string> Codes() {
    std::lock_guard LLock(FLock);
    return FCodes;
  }
  // While held, the check waits inside the backend call.
  void Hold(bool AHeld) {
    {
      std::lock_guard LLock(FLock);
      FHeld = AHeld;
    }
    FOpened.notify_all();
  }

  std::atomic<bool> Valid = true;
  std::atomic<bool> Throws = false;
  std::atomic<bool> HasRecord = true;
  TZELUserRecord Record;

private:
  std::mutex FLock;
  std::condition_variable FOpened;
  bool FHeld = false;
  std::vector<std::string> FCodes;
};

}  // namespace

class TRegisterView : public ::testing::Test {
protected:
  void SetUp() override {
    FHost.Auth = FAuth;
    FAuth->Record.email = "new.user@example.com";
    FAuth->Record.name = "New User";
    FWindow.resize(380, 536);
    new QVBoxLayout(&FWindow);
    FView = new TRegisterForm();
    FView->InitView(TView::Register, &FHost, &FWindow);
    FView->Enter(TView::Authorize);
    FView->ShowView();
    FWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FWindow));
  }
  void TearDown() override {
    FAuth->Hold(false);
    QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
    delete FView;
  }
  // Types the code and clicks "Next"; returns once the overlay is gone again.
  void CheckCode(const char* ACode) {
    FView->editInvCode->clear();
    QTest::keyClicks(FView->editInvCode, ACode);
    QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
    QTRY_VERIFY(!FHost.Calls.empty() && FHost.Calls.back() == "HideProgress");
  }
  bool AtCodeStep() const {
    return FView->tcRegisterForms->currentWidget() == FView->tabEnroll &&
           FView->btnProcessRegister->text() == "Next" && FView->lyForm->height() == TRegisterForm::EnrollCardHeight;
  }

  std::shared_ptr<TInviteAuth> FAuth = std::make_shared<TInviteAuth>();
  TRecordingHost FHost;
  TDialogsInPlace FDialogs;
  QWidget FWindow;
  TRegisterForm* FView = nullptr;
};

TEST_F(TRegisterView, KeyFiltersDropWhatMayNotBeTyped) {
  QTest::keyClicks(FView->editInvCode, "1a2 3-b45x67");
  EXPECT_EQ(FView->editInvCode->text(), "123456");  // at most six
  QTest::keyClick(FView->editInvCode, Qt::Key_Backspace);
  EXPECT_EQ(FView->editInvCode->text(), "12345");

  FAuth->HasRecord = true;
  CheckCode("123456");
  FView->editDisplayName->clear();
  QTest::keyClicks(FView->editDisplayName, "J");
  // A letter beyond ASCII, as a keyboard would type it.
  QTest::sendKeyEvent(QTest::Click, FView->editDisplayName, Qt::Key_Odiaeresis, QString::fromUtf8("\xC3\xB6"),
                      Qt::NoModifier);
  QTest::keyClicks(FView->editDisplayName, " h!n_D@o.e-9,");
  EXPECT_EQ(FView->editDisplayName->text(), "J hn_Do.e-9");
  QTest::keyClick(FView->editDisplayName, Qt::Key_Backspace);
  EXPECT_EQ(FView->editDisplayName->text(), "J hn_Do.e-");
  QTest::keyClicks(FView->editDisplayName, QString(100, QChar('x')));
  EXPECT_EQ(FView->editDisplayName->text().size(), Register::DisplayNameMaxLength);
}

TEST_F(TRegisterView, ValidCodeFillsTheUserStep) {
  EXPECT_TRUE(AtCodeStep());
  EXPECT_TRUE(FView->sbtnArrowNext->isVisible());
  EXPECT_FALSE(FView->btnScanQRCode->isVisible());
  CheckCode("654321");
  EXPECT_EQ(FAuth->Codes(), std::vector<std::string>{"654321"});
  EXPECT_EQ(FHost.Calls, (std::vector<std::string>{"ShowProgress(Verifying invitation code...)", "HideProgress"}));
  EXPECT_TRUE(FDialogs.Service->Shown.empty());
  EXPECT_EQ(FView->tcRegisterForms->currentWidget(), FView->tabUserInfo);
  EXPECT_EQ(FView->editUsername->text(), "new.user@example.com");
  EXPECT_FALSE(FView->editUsername->isEnabled());
  EXPECT_EQ(FView->editDisplayName->text(), "New User");
  EXPECT_EQ(FView->btnProcessRegister->text(), "Register");
  EXPECT_FALSE(FView->sbtnArrowNext->isVisible());
  EXPECT_EQ(FView->lyForm->height(), TRegisterForm::UserInfoCardHeight);

  // Step 2: the checks, then the account with all three as they stand.
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  EXPECT_EQ(FDialogs.Service->Shown, std::vector<std::string>{"Password is required."});
  QTest::keyClicks(FView->editPassword, " Secret1 ");
  QTest::keyClicks(FView->editPasswordConfirm, "sECRET1");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  EXPECT_EQ(FDialogs.Service->Shown.back(), "Password phases are not the same.");
  EXPECT_TRUE(FAuth->Calls.empty());
  FView->editPasswordConfirm->setText(" Secret1 ");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  EXPECT_EQ(FAuth->Calls, std::vector<std::string>{"RegisterUser(New User,new.user@example.com, Secret1 )"});
  // A second start while the first runs is refused.
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  EXPECT_EQ(FAuth->Calls.size(), 1u);
}

TEST_F(TRegisterView, RecordAddressWithOuterBlanksIsSentTrimmed) {
  FAuth->Record.email = " new.user@example.com\t";
  CheckCode("123456");
  QTest::keyClicks(FView->editPassword, "secret1");
  QTest::keyClicks(FView->editPasswordConfirm, "secret1");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  EXPECT_TRUE(FDialogs.Service->Shown.empty());
  EXPECT_EQ(FAuth->Calls, std::vector<std::string>{"RegisterUser(New User,new.user@example.com,secret1)"});
}

TEST_F(TRegisterView, PastedTextIsFilteredLikeTypedText) {
  const struct {
    const char* Pasted;
    const char* Code;  // what the code field keeps
    const char* Name;  // what the display-name field keeps
  } LCases[] = {
      {"12ab34-56", "123456", "12ab34-56"},
      {" 654 321 ", "654321", " 654 321 "},
      {"J\xC3\xB6rg <b>O'Neil</b>!", "", "Jrg bONeilb"},
      {"1\t2\n3", "123", "123"},
  };
  FAuth->HasRecord = true;
  CheckCode("123456");
  for (const auto& LCase : LCases) {
    SCOPED_TRACE(LCase.Pasted);
    const QString LText = QString::fromUtf8(LCase.Pasted);
    FView->editInvCode->clear();
    FView->editInvCode->insert(LText);  // what a paste or a drop does
    EXPECT_EQ(FView->editInvCode->text().toStdString(), LCase.Code);
    FView->editDisplayName->clear();
    FView->editDisplayName->insert(LText);
    EXPECT_EQ(FView->editDisplayName->text().toStdString(), LCase.Name);
  }
  // Through the clipboard, into the middle of a typed code.
  FView->editInvCode->clear();
  QTest::keyClicks(FView->editInvCode, "16");
  FView->editInvCode->setCursorPosition(1);
  QGuiApplication::clipboard()->setText("2x3y4z5");
  FView->editInvCode->paste();
  EXPECT_EQ(FView->editInvCode->text(), "123456");
}

TEST(EditFilter, KeepsWhatWasThereAndFiltersWhatIsAdded) {
  const auto LDigits = +[](QChar C) { return C.isDigit(); };
  const struct {
    const char* Old;
    const char* New;
    int MaxLength;
    const char* Result;
    int Cursor;
  } LCases[] = {
      {"", "12ab34", 6, "1234", 4},
      {"", "123 456", 6, "123456", 6},
      {"16", "12x3y4z56", 6, "123456", 5},     // pasted into the middle
      {"123456", "1234567", 6, "123456", 6},   // too long: refused
      {"123456", "12a3456", 6, "123456", 2},   // nothing allowed was added
      {"J\xC3\xB6rg", "J\xC3\xB6rg!", 0, "J\xC3\xB6rg", 4},  // the old letters stay
      {"J\xC3\xB6rg", "J\xC3\xB6r", 0, "J\xC3\xB6r", 3},     // a deletion passes as it is
      {"aaa", "aaaa", 0, "aaa", 3},            // an added character the rule refuses (not a digit)
  };
  for (const auto& LCase : LCases) {
    SCOPED_TRACE(std::string(LCase.Old) + " -> " + LCase.New);
    int LCursor = -1;
    const QString LResult = TEditFilter::Filtered(QString::fromUtf8(LCase.Old), QString::fromUtf8(LCase.New), LDigits,
                                                  LCase.MaxLength, LCursor);
    EXPECT_EQ(LResult.toStdString(), LCase.Result);
    EXPECT_EQ(LCursor, LCase.Cursor);
  }
}

TEST_F(TRegisterView, NameProposedFromTheRecordKeepsItsLetters) {
  FAuth->Record.name = "J\xC3\xB6rg O'Neil";
  CheckCode("123456");
  EXPECT_EQ(FView->editDisplayName->text().toStdString(), "J\xC3\xB6rg O'Neil");
  FView->editDisplayName->end(false);
  FView->editDisplayName->insert("-<x>");
  EXPECT_EQ(FView->editDisplayName->text().toStdString(), "J\xC3\xB6rg O'Neil-x");
}

TEST_F(TRegisterView, SecondCheckWhileOneRunsIsRefused) {
  FAuth->Hold(true);
  QTest::keyClicks(FView->editInvCode, "123456");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  QTRY_COMPARE(FAuth->Codes().size(), 1u);
  FView->btnEnrollClick();
  FView->btnEnrollClick();
  FAuth->Hold(false);
  QTRY_VERIFY(!FHost.Calls.empty() && FHost.Calls.back() == "HideProgress");
  QTest::qWait(20);
  EXPECT_EQ(FAuth->Codes().size(), 1u);
  EXPECT_EQ(FHost.Calls, (std::vector<std::string>{"ShowProgress(Verifying invitation code...)", "HideProgress"}));
  // Once it has ended, a new check may start.
  FView->tcRegisterForms->setCurrentWidget(FView->tabEnroll);
  CheckCode("123456");
  EXPECT_EQ(FAuth->Codes().size(), 2u);
}

TEST_F(TRegisterView, FailedChecksStayAtTheCodeStep) {
  const struct {
    const char* Name;
    bool Valid, Throws, HasRecord;
    const char* Email;
    const char* Message;  // nullptr: none
  } LCases[] = {
      {"invalid code", false, false, true, "a@b.cd", Register::InvalidCodeText},
      {"no record", true, false, false, "a@b.cd", Register::InvalidCodeText},
      {"blank e-mail", true, false, true, "   ", Register::NoEmailText},
      {"empty e-mail", true, false, true, "", Register::NoEmailText},
      {"transport error", true, true, true, "a@b.cd", nullptr},
  };
  for (const auto& LCase : LCases) {
    SCOPED_TRACE(LCase.Name);
    FAuth->Valid = LCase.Valid;
    FAuth->Throws = LCase.Throws;
    FAuth->HasRecord = LCase.HasRecord;
    FAuth->Record.email = LCase.Email;
    FHost.Calls.clear();
    FDialogs.Service->Shown.clear();
    CheckCode("111111");
    EXPECT_EQ(FHost.Calls.front(), "ShowProgress(Verifying invitation code...)");
    EXPECT_EQ(FDialogs.Service->Shown,
              LCase.Message ? std::vector<std::string>{LCase.Message} : std::vector<std::string>{});
    EXPECT_TRUE(AtCodeStep());
    EXPECT_TRUE(FView->editUsername->text().isEmpty());
  }
}

TEST_F(TRegisterView, ShortCodeIsRefusedWithoutABackendCall) {
  QTest::keyClicks(FView->editInvCode, "12345");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  QTest::qWait(20);
  EXPECT_EQ(FDialogs.Service->Shown, std::vector<std::string>{Register::InvalidCodeText});
  EXPECT_TRUE(FAuth->Codes().empty());
  EXPECT_TRUE(FHost.Calls.empty());
}

TEST_F(TRegisterView, RecordGoneBeforeTheUserStepReturnsToTheCodeStep) {
  CheckCode("123456");
  FAuth->HasRecord = false;
  // Entering the user step again (a second check) finds no record.
  FView->tcRegisterForms->setCurrentWidget(FView->tabEnroll);
  FView->tcRegisterForms->setCurrentWidget(FView->tabUserInfo);
  EXPECT_EQ(FDialogs.Service->Shown, std::vector<std::string>{Register::NoRecordText});
  EXPECT_TRUE(AtCodeStep());
  // A later check with the record back reaches the user step.
  FAuth->HasRecord = true;
  CheckCode("123456");
  EXPECT_EQ(FView->btnProcessRegister->text(), "Register");
}

TEST_F(TRegisterView, EnteringAgainStartsOver) {
  CheckCode("123456");
  QTest::keyClicks(FView->editPassword, "secret1");
  QTest::keyClicks(FView->editPasswordConfirm, "secret1");
  QTest::mouseClick(FView->btnBack, Qt::LeftButton);
  EXPECT_EQ(FHost.Calls.back(), "ChangeView(Authorize)");

  FView->Leave(TView::Authorize);
  FView->HideView();
  FView->Enter(TView::Authorize);
  FView->ShowView();
  EXPECT_TRUE(AtCodeStep());
  for (QLineEdit* LEdit : {FView->editInvCode, FView->editUsername, FView->editDisplayName, FView->editPassword,
                           FView->editPasswordConfirm})
    EXPECT_TRUE(LEdit->text().isEmpty()) << LEdit->objectName().toStdString();
  EXPECT_TRUE(FView->lyBack->isVisible());
  EXPECT_FALSE(FView->btnScanQRCode->isVisible());
  EXPECT_TRUE(FView->sbtnArrowNext->isVisible());
}

TEST_F(TRegisterView, CheckFinishingAfterTheViewIsGoneDoesNothing) {
  FAuth->Hold(true);
  QTest::keyClicks(FView->editInvCode, "123456");
  QTest::mouseClick(FView->btnProcessRegister, Qt::LeftButton);
  QTRY_COMPARE(FAuth->Codes().size(), 1u);  // the task waits inside the backend call
  delete FView;
  FView = nullptr;
  FAuth->Hold(false);
  QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
  QTest::qWait(20);
  EXPECT_EQ(FHost.Calls, std::vector<std::string>{"ShowProgress(Verifying invitation code...)"});
  EXPECT_TRUE(FDialogs.Service->Shown.empty());
}
