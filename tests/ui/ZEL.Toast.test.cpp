#include <gtest/gtest.h>

#include "ZEL.LogsPipe.h"
#include "ZEL.Toast.h"
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QFontMetrics>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <string>

using namespace ZEL;

class TToastOnWindow : public ::testing::Test {
protected:
  void SetUp() override {
    FWindow = new QWidget();
    FWindow->resize(444, 640);
    // Above where the band sits: a band never covers a control.
    FButton = new QPushButton("Under", FWindow);
    FButton->setGeometry(0, 0, 444, 300);
    FWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow));
  }
  void TearDown() override {
    FToast.reset();
    delete FWindow;
  }
  void ClickThroughWindow(QPoint APos) {
    QTest::mouseClick(FWindow->windowHandle(), Qt::LeftButton, {}, APos);
    QApplication::processEvents();
  }
  // Runs the event loop until the toast is idle; false after ATimeoutMs.
  bool WaitIdle(int ATimeoutMs) { return QTest::qWaitFor([this] { return !FToast->IsShowing(); }, ATimeoutMs); }

  QWidget* FWindow = nullptr;
  QPushButton* FButton = nullptr;
  std::unique_ptr<TZELToast> FToast = std::make_unique<TZELToast>();
};

TEST_F(TToastOnWindow, DefaultsSitAtTheBottomAndEndAfterDelay) {
  EXPECT_EQ(FToast->FontColor, QColor(Qt::white));
  EXPECT_EQ(FToast->BackColor, QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(FToast->FontSize, 16);
  EXPECT_EQ(FToast->Align, TToastAlign::Bottom);
  FToast->ToastMessage = "Request failed";
  FToast->Delay = 0.3;
  QElapsedTimer LClock;
  LClock.start();
  FToast->Show(FWindow);
  ASSERT_TRUE(FToast->IsShowing());
  QLabel* LBand = FToast->ToastRect();
  ASSERT_NE(LBand, nullptr);
  EXPECT_EQ(LBand->text().toStdString(), "Request failed");
  EXPECT_EQ(LBand->geometry().bottom() + 1, 640 - 24);
  EXPECT_EQ(LBand->geometry().left(), 15);
  EXPECT_EQ(LBand->geometry().width(), 444 - 30);
  ASSERT_TRUE(WaitIdle(3000));
  // Visible until Delay, then a 0.2 s fade.
  EXPECT_GE(LClock.elapsed(), 450);
  EXPECT_EQ(FToast->ToastRect(), nullptr);
}

TEST_F(TToastOnWindow, AlignmentHookMovesTheBand) {
  FToast->OnAlignment = [](TZELToast*, QMargins& AMargins, QPoint&) { AMargins.setBottom(70); };
  FToast->Show(FWindow);
  EXPECT_EQ(FToast->ToastRect()->geometry().bottom() + 1, 640 - 70);
  FToast->Close();
  EXPECT_FALSE(FToast->IsShowing());
}

TEST_F(TToastOnWindow, SecondShowReplacesAtOnceAndOwnedLinkEndsWithIt) {
  auto LAlert = std::make_shared<std::string>("E1");
  std::weak_ptr<std::string> LWatch = LAlert;
  FToast->LinkData(std::move(LAlert), true);
  FToast->Delay = 0.2;
  FToast->Show(FWindow);
  QPointer<QWidget> LFirst = FToast->ToastContainer();
  FToast->Show(FWindow);
  EXPECT_FALSE(LFirst && LFirst->isVisible());
  EXPECT_NE(FToast->ToastContainer(), LFirst.data());
  EXPECT_TRUE(FToast->HasLinkedData());  // the replaced toast's end never ran
  ASSERT_TRUE(WaitIdle(3000));
  EXPECT_FALSE(FToast->HasLinkedData());
  EXPECT_TRUE(LWatch.expired());
}

TEST_F(TToastOnWindow, UnownedLinkStaysAfterTheEnd) {
  FToast->LinkData(std::make_shared<std::string>("E2"), false);
  FToast->Delay = 0.1;
  FToast->Show(FWindow);
  ASSERT_TRUE(WaitIdle(3000));
  ASSERT_TRUE(FToast->HasLinkedData());
  EXPECT_EQ(*FToast->LinkedData<std::string>(), "E2");
}

TEST_F(TToastOnWindow, ClickOnBandReportsTheToastAndOthersPassUnlessBlocking) {
  QSignalSpy LUnder(FButton, &QPushButton::clicked);
  TZELToast* LClicked = nullptr;
  FToast->OnClick = [&LClicked](TZELToast* ASender) { LClicked = ASender; };
  FToast->Delay = 5;
  FToast->Show(FWindow);
  ClickThroughWindow(FToast->ToastRect()->geometry().center());
  EXPECT_EQ(LClicked, FToast.get());
  EXPECT_EQ(LUnder.count(), 0);
  ClickThroughWindow(QPoint(200, 100));
  EXPECT_EQ(LUnder.count(), 1);

  FToast->IsBlock = true;
  FToast->Show(FWindow);
  ClickThroughWindow(QPoint(200, 100));
  EXPECT_EQ(LUnder.count(), 1);
  FToast->Close();
}

// The window as the screen shows it: the band in its colour where it sits, and nowhere else
// (a fading band was once drawn at the window's top left instead).
TEST_F(TToastOnWindow, BandIsOnScreenWhereItSits) {
  const QColor LBack(0xFF, 0x00, 0xFF);
  auto Near = [](QColor A, QColor B) {
    return std::abs(A.red() - B.red()) + std::abs(A.green() - B.green()) + std::abs(A.blue() - B.blue()) < 24;
  };
  const struct {
    TToastAlign Align;
    bool IsBlock;
  } LCases[] = {{TToastAlign::Bottom, false}, {TToastAlign::Center, false}, {TToastAlign::Bottom, true}};
  auto Screen = [this] { return FWindow->screen()->grabWindow(FWindow->winId()).toImage(); };
  const QImage LBefore = Screen();
  ASSERT_EQ(LBefore.size(), FWindow->size());
  for (const auto& LCase : LCases) {
    SCOPED_TRACE(static_cast<int>(LCase.Align) * 10 + LCase.IsBlock);
    FToast->Align = LCase.Align;
    FToast->IsBlock = LCase.IsBlock;
    FToast->BackColor = LBack;
    FToast->Delay = 5;
    FToast->Show(FWindow);
    const QRect LBand = FToast->ToastRect()->geometry();
    const QPoint LInside(LBand.left() + 8, LBand.center().y());
    const QPoint LTopLeft(5, 5);
    // On its way in (the first frames of the fade; a loaded machine may paint them late), and
    // faded in.
    QImage LScreen;
    EXPECT_TRUE(ZEL::Test::WaitUntil([&] {
      LScreen = Screen();
      return LScreen.pixelColor(LInside) != LBefore.pixelColor(LInside);
    }, std::chrono::seconds(2)));
    EXPECT_EQ(LScreen.pixelColor(LTopLeft), LBefore.pixelColor(LTopLeft));
    EXPECT_TRUE(ZEL::Test::WaitUntil([&] {
      LScreen = Screen();
      return Near(LScreen.pixelColor(LInside), LBack);
    }, std::chrono::seconds(2))) << LScreen.pixelColor(LInside).name().toStdString();
    EXPECT_EQ(LScreen.pixelColor(LTopLeft), LBefore.pixelColor(LTopLeft));
    FToast->Close();
  }
}

// Controls where the band would sit: it sits clear of them (above them, or between those at
// its sides) when the window has room, else it lets their clicks through; a click on the band
// itself is still the toast's.
TEST_F(TToastOnWindow, APressOnAControlUnderTheBandReachesTheControl) {
  const struct {
    const char* Name;
    QRect Control;
    bool BandMoves;
  } LCases[] = {
      {"a row of buttons at the bottom", QRect(0, 560, 444, 50), true},
      {"a bar along the right edge, as a scroll bar", QRect(430, 0, 14, 640), true},
      {"a button filling the window", QRect(0, 0, 444, 640), false},
  };
  FButton->hide();
  for (const auto& LCase : LCases) {
    SCOPED_TRACE(LCase.Name);
    auto* LControl = new QPushButton("Apply", FWindow);
    LControl->setGeometry(LCase.Control);
    LControl->show();
    QSignalSpy LPressed(LControl, &QPushButton::clicked);
    int LClicks = 0;
    FToast->OnClick = [&LClicks](TZELToast*) { ++LClicks; };
    FToast->Delay = 5;
    FToast->Show(FWindow);
    const QRect LBand = FToast->ToastRect()->geometry();
    EXPECT_EQ(LBand.intersects(LCase.Control), !LCase.BandMoves);
    // Where the control is, and under the band when it stayed there.
    const QPoint LOnControl = LCase.BandMoves ? LCase.Control.center() : LBand.center();
    ClickThroughWindow(LOnControl);
    EXPECT_EQ(LPressed.count(), 1);
    EXPECT_EQ(LClicks, 0);
    if (LCase.BandMoves) {
      ClickThroughWindow(LBand.center());
      EXPECT_EQ(LClicks, 1);
      EXPECT_EQ(LPressed.count(), 1);
    }
    FToast->Close();
    delete LControl;
  }
}

// A frame shown over a list (the alert filter over the alerts): the list's rows beneath it take
// no clicks, so the band finds room above the frame's buttons rather than sitting over them.
TEST_F(TToastOnWindow, AListCoveredByAFrameLeavesRoomAboveTheFramesButtons) {
  FButton->hide();
  auto* LList = new QListWidget(FWindow);
  LList->setGeometry(FWindow->rect());
  for (int LRow = 0; LRow < 40; ++LRow) LList->addItem(QStringLiteral("Alert %1").arg(LRow));
  LList->show();
  auto* LFrame = new QWidget(FWindow);
  LFrame->setAutoFillBackground(true);
  LFrame->setGeometry(FWindow->rect());
  auto* LApply = new QPushButton("Apply", LFrame);
  LApply->setGeometry(0, 560, 444, 50);
  LFrame->show();
  LFrame->raise();
  QSignalSpy LPressed(LApply, &QPushButton::clicked);
  int LClicks = 0;
  FToast->OnClick = [&LClicks](TZELToast*) { ++LClicks; };
  FToast->Delay = 5;
  FToast->Show(FWindow);
  const QRect LBand = FToast->ToastRect()->geometry();
  EXPECT_FALSE(LBand.intersects(LApply->geometry()));
  ClickThroughWindow(LApply->geometry().center());
  EXPECT_EQ(LPressed.count(), 1);
  ClickThroughWindow(LBand.center());
  EXPECT_EQ(LClicks, 1);
  FToast->Close();
}

// The band follows what changes under it: a panel that opens where it sits pushes it clear.
TEST_F(TToastOnWindow, AControlAppearingUnderTheBandPushesItClear) {
  FToast->Delay = 5;
  FToast->Show(FWindow);
  const QRect LBefore = FToast->ToastRect()->geometry();
  auto* LPanel = new QPushButton("Escalate", FWindow);
  LPanel->setGeometry(0, LBefore.top() - 10, 444, LBefore.height() + 20);
  LPanel->show();
  ASSERT_TRUE(ZEL::Test::WaitUntil([&] { return !FToast->ToastRect()->geometry().intersects(LPanel->geometry()); },
                                   std::chrono::seconds(2)));
  QSignalSpy LPressed(LPanel, &QPushButton::clicked);
  ClickThroughWindow(LPanel->geometry().center());
  EXPECT_EQ(LPressed.count(), 1);
  FToast->Close();
}

// A text longer than a line is shown whole on several lines, a word longer than a line
// broken rather than cut; the band grows to hold them.
TEST_F(TToastOnWindow, ALongTextIsShownWholeOnSeveralLines) {
  const std::string LLong =
      "Unable to update the alerts; the list may be out of date. The server could not be reached: "
      "https://backend.example/api/v1/alerts?from=2026-12-11T00:00:00Z&to=2026-12-11T23:59:59Z&organisation=north";
  FToast->ToastMessage = "Request failed";
  FToast->Show(FWindow);
  const int LOneLine = FToast->ToastRect()->height();
  FToast->ToastMessage = LLong;
  FToast->Show(FWindow);
  QLabel* LBand = FToast->ToastRect();
  const QStringList LLines = LBand->text().split('\n');
  EXPECT_GT(LLines.size(), 2);
  auto Bare = [](QString AText) { return AText.remove(' ').remove('\n'); };
  EXPECT_EQ(Bare(LBand->text()), Bare(QString::fromStdString(LLong)));
  const QFontMetrics LMetrics(LBand->font());
  for (const QString& LLine : LLines)
    EXPECT_LE(LMetrics.horizontalAdvance(LLine), LBand->width()) << LLine.toStdString();
  EXPECT_GE(LBand->height(), LOneLine + (LLines.size() - 1) * LMetrics.height());
  EXPECT_EQ(LBand->geometry().bottom() + 1, 640 - 24);
  FToast->Close();
}

TEST(TZELToast, WithoutOwnerShowsNothingAndLogsOnlyWithAWriter) {
  LogsPipe::TLogCapture LCapture;
  {
    TZELToast LSilent;
    LSilent.Show(nullptr);
    EXPECT_FALSE(LSilent.IsShowing());
  }
  EXPECT_TRUE(LCapture.WithTag("TZELToast").empty());
  Toast::SetLogWriter(&LogsPipe::ZELLog());
  {
    TZELToast LToast;
    LToast.Show(nullptr);
  }
  Toast::SetLogWriter(nullptr);
  LogsPipe::ZELLog();  // entries are recorded as they are made
  std::vector<std::string> LTexts;
  for (const auto& LEntry : LCapture.WithTag("TZELToast")) LTexts.push_back(LEntry.Message);
  EXPECT_EQ(LTexts, (std::vector<std::string>{"Create. Owner set = False", "Show. START.", "Show. FIsShowIng = False.",
                                               "Show. AOwner assigned = False.", "Show. FIsShowIng = True",
                                               "Show FAILED. Owned not assigned. FORCED DONE.", "Destroy.",
                                               "DoDestroyData. Linked data = False Owned by toast = True",
                                               "DoDestroyData. DONE."}));
}
