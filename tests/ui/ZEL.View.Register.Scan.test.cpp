#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Forms.CameraQRCode.TestSupport.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Register.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QVBoxLayout>

using namespace ZEL;
using namespace ZEL::Test;

namespace {

void SendScanned(const std::string& ACode) {
  TZELQRCodeDataRec LRec;
  LRec.Version = 1;
  LRec.InvCode = ACode;
  TZELMessager<TQRCodeScannedMessage>::Send([&LRec] { return std::make_unique<TQRCodeScannedMessage>(LRec); });
}

// The Register view in a start-up window; the scan button's click is called directly, as
// the button itself stays hidden.
class TRegisterScan : public ::testing::Test {
protected:
  void SetUp() override {
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
    delete TfrmCameraScan::Current();
    delete FView;
    QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
  }

  TRecordingHost FHost;
  TDialogsInPlace FDialogs;
  QWidget FWindow;
  TRegisterForm* FView = nullptr;
};

}  // namespace

TEST_F(TRegisterScan, TheButtonStaysHiddenOnEntry) {
  FView->btnScanQRCode->setVisible(true);
  FView->Enter(TView::Authorize);
  EXPECT_FALSE(FView->btnScanQRCode->isVisible());
}

TEST_F(TRegisterScan, OneScannerWhoseMessageFillsAndLocksTheCode) {
  FView->btnScanQRCodeClick();
  const QPointer<TfrmCameraScan> LScan = TfrmCameraScan::Current();
  ASSERT_TRUE(LScan);
  EXPECT_TRUE(LScan->isWindow());
  EXPECT_TRUE(LScan->isVisible());
  EXPECT_EQ(LScan->parentWidget(), &FWindow);  // closes with the start-up window
  FView->btnScanQRCodeClick();
  EXPECT_EQ(TfrmCameraScan::Current(), LScan.data());  // raised, not a second one
  EXPECT_EQ(FWindow.findChildren<TfrmCameraScan*>().size(), 1);

  // Read through the same path a camera takes.
  const QImage LCode = QRImage(EnrolPayload());
  for (int I = 0; I < 4; ++I) LScan->VideoSink()->setVideoFrame(FrameOf(LCode));
  ASSERT_TRUE(WaitUntil([&] { return FView->editInvCode->text() == "482915"; }));
  EXPECT_FALSE(FView->editInvCode->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return LScan.isNull(); }));

  // The listener went with the message.
  SendScanned("111111");
  EXPECT_EQ(FView->editInvCode->text(), "482915");
}

TEST_F(TRegisterScan, AScannerClosedByHandEndsTheSubscription) {
  FView->btnScanQRCodeClick();
  const QPointer<TfrmCameraScan> LScan = TfrmCameraScan::Current();
  ASSERT_TRUE(LScan);
  LScan->close();
  ASSERT_TRUE(WaitUntil([&] { return LScan.isNull(); }));
  SendScanned("111111");
  EXPECT_EQ(FView->editInvCode->text(), "");
  EXPECT_TRUE(FView->editInvCode->isEnabled());

  // A new scanner subscribes again.
  FView->btnScanQRCodeClick();
  ASSERT_NE(TfrmCameraScan::Current(), nullptr);
  SendScanned("222222");
  EXPECT_EQ(FView->editInvCode->text(), "222222");
}

TEST_F(TRegisterScan, AViewThatGoesEndsTheSubscription) {
  FView->btnScanQRCodeClick();
  const QPointer<TfrmCameraScan> LScan = TfrmCameraScan::Current();
  ASSERT_TRUE(LScan);
  delete FView;
  FView = nullptr;
  // No listener is left to reach the freed view (the sanitizer tree stops at one that is).
  SendScanned("111111");
  EXPECT_TRUE(LScan);  // the scanner belongs to the window, not to the view

  // The view that takes its place subscribes afresh to the same scanner, and only its
  // own subscription answers: the code fills its field, which a later code leaves alone.
  FView = new TRegisterForm();
  FView->InitView(TView::Register, &FHost, &FWindow);
  FView->Enter(TView::Authorize);
  FView->ShowView();
  FView->btnScanQRCodeClick();
  EXPECT_EQ(TfrmCameraScan::Current(), LScan.data());
  EXPECT_EQ(FView->editInvCode->text(), "");
  SendScanned("222222");
  EXPECT_EQ(FView->editInvCode->text(), "222222");
  EXPECT_FALSE(FView->editInvCode->isEnabled());
  SendScanned("333333");
  EXPECT_EQ(FView->editInvCode->text(), "222222");
}
