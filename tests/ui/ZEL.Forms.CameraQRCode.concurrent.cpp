#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Forms.CameraQRCode.TestSupport.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace ZEL;
using namespace ZEL::Test;

namespace {

// Sets ACount frames on the sink from a thread of its own, as the camera does, and returns
// once that thread has ended (before the window may go).
void FeedFromCameraThread(QVideoSink* ASink, const QImage& AImage, int ACount) {
  std::vector<QVideoFrame> LFrames;
  for (int I = 0; I < ACount; ++I) LFrames.push_back(FrameOf(AImage));
  std::thread LCamera([ASink, LFrames] {
    for (const QVideoFrame& LFrame : LFrames) ASink->setVideoFrame(LFrame);
  });
  LCamera.join();
}

class TScanConcurrency : public ::testing::Test {
protected:
  void SetUp() override {
    FRef = TZELMessager<TQRCodeScannedMessage>::Subscribe(
        [this](TSender, const TQRCodeScannedMessage& AMsg) { FMessages.push_back(AMsg.Value()); });
    FScan = TfrmCameraScan::ShowScanner(&FOwner);
  }
  void TearDown() override {
    TZELMessager<TQRCodeScannedMessage>::Unsubscribe(FRef);
    delete FScan.data();
    ASSERT_TRUE(WaitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    QCoreApplication::processEvents();
  }

  QWidget FOwner;
  QPointer<TfrmCameraScan> FScan;
  TZELMessagerRef FRef;
  std::vector<TZELQRCodeDataRec> FMessages;
};

}  // namespace

TEST_F(TScanConcurrency, FramesFromTheCameraThreadAreDecodedOnAWorker) {
  FeedFromCameraThread(FScan->VideoSink(), QRImage(EnrolPayload()), 8);
  ASSERT_TRUE(WaitUntil([&] { return !FMessages.empty(); }));
  EXPECT_EQ(FMessages[0].InvCode, "482915");
  EXPECT_EQ(FMessages[0].LastName, "Bront\xC3\xAB");
  ASSERT_TRUE(WaitUntil([&] { return FScan.isNull(); }));
  EXPECT_EQ(FMessages.size(), 1u);
}

TEST_F(TScanConcurrency, ClosingTheWindowDuringASlowDecodeIsClean) {
  struct THold {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Started = false;
    bool Released = false;
  };
  auto LHold = std::make_shared<THold>();
  FScan->SetDecoder([LHold](const QImage& AImage) {
    {
      std::unique_lock LLock(LHold->Lock);
      LHold->Started = true;
      LHold->Changed.notify_all();
      LHold->Changed.wait(LLock, [&] { return LHold->Released; });
    }
    return QRCode::Scan::DecodeImage(AImage);  // reads its frame after the window is gone
  });
  FeedFromCameraThread(FScan->VideoSink(), QRImage(EnrolPayload()), 4);
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard LLock(LHold->Lock);
    return LHold->Started;
  }));
  FScan->close();
  ASSERT_TRUE(WaitUntil([&] { return FScan.isNull(); }));
  EXPECT_EQ(TfrmCameraScan::Current(), nullptr);
  {
    std::lock_guard LLock(LHold->Lock);
    LHold->Released = true;
  }
  LHold->Changed.notify_all();
  ASSERT_TRUE(WaitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(FMessages.empty());  // the decode's payload had no window left to act on
}
