#include <gtest/gtest.h>

#include "ZEL.FrameStand.h"
#include "ZEL.Frames.Wait.h"
#include "ZEL.Frames.Wait.State.h"
#include "ZEL.View.Base.h"
#include "ZEL.View.Switcher.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <string>
#include <vector>

using namespace ZEL;

namespace {

// A view that writes each step into a shared journal.
class TJournalView : public IFormView {
public:
  TJournalView(TView AView, std::vector<std::string>& AJournal) : FView(AView), FJournal(AJournal) {}
  TView GetView() const override { return FView; }
  bool CanGoBack() override { return false; }
  void BackAction() override {}
  void Enter(TView AFrom) override {
    FFlags.Enter();
    Note("Enter", AFrom);
  }
  void Leave(TView ATo) override {
    FFlags.Leave();
    Note("Leave", ATo);
  }
  void ShowView() override { FJournal.push_back(std::string(ToString(FView)) + ".Show"); }
  void HideView() override { FJournal.push_back(std::string(ToString(FView)) + ".Hide"); }
  bool NeedLeave() const override { return FFlags.NeedLeave(); }
  TViewFlags FFlags;

private:
  void Note(const char* AStep, TView AOther) {
    FJournal.push_back(std::string(ToString(FView)) + "." + AStep + "(" + std::string(ToString(AOther)) + ")");
  }
  TView FView;
  std::vector<std::string>& FJournal;
};

}  // namespace

TEST(TViewTypes, NamesAsDeclared) {
  EXPECT_EQ(ToString(TView::Host), "Host");
  EXPECT_EQ(ToString(TView::EventItemDetails), "EventItemDetails");
  EXPECT_EQ(ToString(TView::EdgeDevcies), "EdgeDevcies");
}

TEST(TViewFlags, NeedLeaveOnlyWhileActive) {
  TViewFlags LFlags;
  EXPECT_FALSE(LFlags.NeedLeave());
  LFlags.Enter();
  EXPECT_TRUE(LFlags.NeedLeave());
  LFlags.Leave();
  EXPECT_FALSE(LFlags.NeedLeave());
  EXPECT_TRUE(LFlags.DidLeave());
}

TEST(TViewSwitcher, LeavesAndHidesBeforeEnteringAndShowing) {
  std::vector<std::string> LJournal;
  TJournalView LAuthorize(TView::Authorize, LJournal), LLogin(TView::Login, LJournal);
  TViewSwitcher LSwitcher(TViewSwitcher::TLeavePolicy::Always);
  LSwitcher.SetView(TView::Authorize, &LAuthorize);
  LSwitcher.SetView(TView::Login, &LLogin);

  EXPECT_EQ(LSwitcher.CurrentView(), TView::Host);
  ASSERT_TRUE(LSwitcher.ChangeView(TView::Authorize));
  ASSERT_TRUE(LSwitcher.ChangeView(TView::Login));
  // The same view again is left and entered again, coming from itself.
  ASSERT_TRUE(LSwitcher.ChangeView(TView::Login));
  EXPECT_EQ(LJournal, (std::vector<std::string>{
                          "Authorize.Enter(Host)", "Authorize.Show",
                          "Authorize.Leave(Login)", "Authorize.Hide", "Login.Enter(Authorize)", "Login.Show",
                          "Login.Leave(Login)", "Login.Hide", "Login.Enter(Login)", "Login.Show"}));
  EXPECT_EQ(LSwitcher.CurrentView(), TView::Login);
}

TEST(TViewSwitcher, PoliciesDifferOnAViewThatIsNotActive) {
  for (const auto LPolicy : {TViewSwitcher::TLeavePolicy::Always, TViewSwitcher::TLeavePolicy::WhenActive}) {
    std::vector<std::string> LJournal;
    TJournalView LEvents(TView::Events, LJournal), LProfile(TView::Profile, LJournal);
    TViewSwitcher LSwitcher(LPolicy);
    LSwitcher.SetView(TView::Events, &LEvents);
    LSwitcher.SetView(TView::Profile, &LProfile);
    LSwitcher.ChangeView(TView::Events);
    LEvents.FFlags.Leave();  // left behind the host's back
    LJournal.clear();
    LSwitcher.ChangeView(TView::Profile);
    const bool LLeft = !LJournal.empty() && LJournal.front() == "Events.Leave(Profile)";
    EXPECT_EQ(LLeft, LPolicy == TViewSwitcher::TLeavePolicy::Always);
    EXPECT_EQ(LJournal.back(), "Profile.Show");
  }
}

TEST(TViewSwitcher, EmptySlotChangesNothingAndReleaseLeavesActiveViews) {
  std::vector<std::string> LJournal;
  TJournalView LEvents(TView::Events, LJournal);
  TViewSwitcher LSwitcher(TViewSwitcher::TLeavePolicy::WhenActive);
  LSwitcher.SetView(TView::Events, &LEvents);
  EXPECT_FALSE(LSwitcher.ChangeView(TView::Login));
  EXPECT_TRUE(LJournal.empty());
  LSwitcher.ChangeView(TView::Events);
  LJournal.clear();
  LSwitcher.ReleaseAll();
  EXPECT_EQ(LJournal, std::vector<std::string>{"Events.Leave(Host)"});
  EXPECT_EQ(LSwitcher.Current(), nullptr);
  EXPECT_EQ(LSwitcher.View(TView::Events), nullptr);
}

TEST(TWaitOverlayState, CreatesOnceShowsOnceAndHideIsHarmless) {
  TWaitOverlayState LState;
  EXPECT_FALSE(LState.Hide());
  auto LFirst = LState.Show();
  EXPECT_TRUE(LFirst.Create);
  EXPECT_TRUE(LFirst.StartAndShow);
  auto LSecond = LState.Show();
  EXPECT_FALSE(LSecond.Create);
  EXPECT_FALSE(LSecond.StartAndShow);
  EXPECT_TRUE(LState.Hide());
  EXPECT_FALSE(LState.Visible());
  EXPECT_TRUE(LState.Show().Create);
}

class TOverlayOnWindow : public ::testing::Test {
protected:
  void SetUp() override {
    FForm = new TBaseBaseFormView();
    FForm->resize(380, 536);
    FButton = new QPushButton("Press", FForm);
    FButton->setGeometry(100, 240, 180, 50);
    FForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm));
  }
  void TearDown() override { delete FForm; }

  // A click delivered to the window, which passes it to the widget under the point.
  void ClickThroughWindow(QPoint APos) {
    QTest::mouseClick(FForm->windowHandle(), Qt::LeftButton, {}, APos);
    QApplication::processEvents();
  }

  TBaseBaseFormView* FForm = nullptr;
  QPushButton* FButton = nullptr;
};

TEST_F(TOverlayOnWindow, TwoShowsGiveOneOverlayWithTheSecondText) {
  FForm->ShowProgress("Logging into existing account..", false);
  TWaitFrame* LFrame = FForm->Overlay();
  ASSERT_NE(LFrame, nullptr);
  FForm->ShowProgress("Authorized.", false);
  EXPECT_EQ(FForm->Overlay(), LFrame);
  EXPECT_EQ(LFrame->MessageText(), "Authorized.");
  EXPECT_EQ(LFrame->AnimationStarts(), 1);
  EXPECT_TRUE(LFrame->isVisible());
  EXPECT_EQ(LFrame->geometry(), FForm->rect());
  FForm->resize(444, 640);
  EXPECT_EQ(LFrame->geometry(), FForm->rect());
}

TEST_F(TOverlayOnWindow, SwallowsClicksUntilHidden) {
  QSignalSpy LClicks(FButton, &QPushButton::clicked);
  const QPoint LAtButton = FButton->geometry().center();
  ClickThroughWindow(LAtButton);
  ASSERT_EQ(LClicks.count(), 1);  // the click does reach the button without overlay

  FForm->ShowProgress("User logging out...", false);
  ClickThroughWindow(LAtButton);
  EXPECT_EQ(LClicks.count(), 1);

  FForm->HideProgress();
  EXPECT_EQ(FForm->Overlay(), nullptr);
  FForm->HideProgress();  // nothing shown: nothing happens
  ClickThroughWindow(LAtButton);
  EXPECT_EQ(LClicks.count(), 2);
}

TEST_F(TOverlayOnWindow, KeysReachNothingUntilHiddenAndTheFocusComesBack) {
  QSignalSpy LClicks(FButton, &QPushButton::clicked);
  FButton->setText("&Press");  // Alt+P is its shortcut
  FForm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(FForm));
  FButton->setFocus();
  // Keys go to the window, which hands them to its focus widget, as a keyboard's do.
  QTest::keyClick(FForm->windowHandle(), Qt::Key_Space);
  ASSERT_EQ(LClicks.count(), 1);  // without the overlay the key reaches the button

  FForm->ShowProgress("Verifying invitation code...", false);
  for (const Qt::Key LKey : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Space})
    QTest::keyClick(FForm->windowHandle(), LKey);
  QTest::keyClick(FForm->windowHandle(), Qt::Key_P, Qt::AltModifier);  // a shortcut neither
  EXPECT_EQ(LClicks.count(), 1);
  EXPECT_EQ(QApplication::focusWidget(), FForm->Overlay());

  FForm->HideProgress();
  EXPECT_EQ(QApplication::focusWidget(), FButton);
  QTest::keyClick(FForm->windowHandle(), Qt::Key_Space);
  EXPECT_EQ(LClicks.count(), 2);
}

TEST_F(TOverlayOnWindow, ShowAfterHideGivesAFreshOverlay) {
  FForm->ShowProgress("One", false);
  FForm->HideProgress();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  TWaitFrame* LFresh = FForm->Stand()->Create<TWaitFrame>();
  EXPECT_EQ(LFresh->MessageText(), TWaitFrame::DefaultText);
  FForm->Stand()->Close(LFresh);
  FForm->ShowProgress("Two", true);  // ASync on the UI thread runs at once
  ASSERT_NE(FForm->Overlay(), nullptr);
  EXPECT_EQ(FForm->Overlay()->MessageText(), "Two");
  EXPECT_EQ(FForm->Overlay()->AnimationStarts(), 1);
}

TEST(TBaseFormView, LendsItsContentToTheHostAndTakesItBack) {
  class TContentView : public TBaseFormView {
  public:
    TContentView() : FContent(new QWidget(this)) {}
    QWidget* FormContent() override { return FContent; }
    QWidget* FContent;
  };
  QWidget LHost;
  auto* LContainer = new QWidget(&LHost);
  new QVBoxLayout(LContainer);
  TContentView LView;
  LView.InitView(TView::Login, nullptr, LContainer);
  EXPECT_EQ(LView.GetView(), TView::Login);
  EXPECT_FALSE(LView.NeedLeave());
  LView.Enter(TView::Authorize);
  EXPECT_TRUE(LView.NeedLeave());
  LView.ShowView();
  EXPECT_EQ(LView.FContent->parentWidget(), LContainer);
  EXPECT_EQ(LContainer->layout()->indexOf(LView.FContent), 0);
  LView.Leave(TView::Authorize);
  LView.HideView();
  EXPECT_EQ(LView.FContent->parentWidget(), &LView);
  EXPECT_EQ(LContainer->layout()->count(), 0);
  EXPECT_FALSE(LView.NeedLeave());
}
