#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ZEL.Forms.CameraQRCode.TestSupport.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMediaPlayer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace ZEL;
using namespace ZEL::Test;

namespace {

struct TParsed {
  bool Ok = false;
  TZELQRCodeDataRec Rec;
  std::vector<std::string> Log;
};

TParsed Parse(const std::string& AText) {
  TParsed LParsed;
  LParsed.Ok = QRCode::Scan::TryParseQRCode(AText, LParsed.Rec,
                                            [&LParsed](const std::string& ALine) { LParsed.Log.push_back(ALine); });
  return LParsed;
}

std::string Payload(const std::string& AFields, const std::string& AVersion = "1") {
  return "{\"ZELEnrollPayload\":{\"version\":" + AVersion + ",\"fields\":{" + AFields + "}}}";
}

const std::string cFields =
    "\"code\":\"482915\",\"email\":\"ann@example.com\",\"firstName\":\"Ann\",\"lastName\":\"Lee\"";

std::vector<std::string> LogLines(const TfrmCameraScan& AScan) {
  std::vector<std::string> LLines;
  for (const QString& LLine : AScan.DebugLog->toPlainText().split('\n', Qt::SkipEmptyParts))
    LLines.push_back(LLine.toStdString());
  return LLines;
}

}  // namespace

TEST(QRPayload, ParsesTheEnrolmentPayloadOrSaysWhyNot) {
  const std::string L256(256, 'x');
  const std::string L255Accents = [] {
    std::string S;
    for (int I = 0; I < 255; ++I) S += "\xC3\xA9";  // 255 characters, 510 bytes
    return S;
  }();
  const struct {
    const char* Name;
    std::string Text;
    bool Ok;
    std::vector<std::string> Log;
  } LCases[] = {
      {"valid", Payload(cFields), true, {"Payload version: 1"}},
      {"leading blank line and blanks around", "\r\n  \t" + Payload(cFields) + " \n", true, {"Payload version: 1"}},
      {"version 2", Payload(cFields, "2"), false, {"Payload version: 2", "Unknown payload. Unsupported version: 2"}},
      {"version 1.0 is 1", Payload(cFields, "1.0"), true, {"Payload version: 1"}},
      {"version missing", "{\"ZELEnrollPayload\":{\"fields\":{" + cFields + "}}}", false,
       {"Invalid payload. Version not exists."}},
      {"version a text", Payload(cFields, "\"1\""), false, {"Invalid payload. Version not exists."}},
      {"version not whole", Payload(cFields, "1.5"), false, {"Invalid payload. Version not exists."}},
      {"version beyond 32 bits", Payload(cFields, "4294967297"), false, {"Invalid payload. Version not exists."}},
      {"payload not an object", "{\"ZELEnrollPayload\":1}", false, {"Invalid payload. Version not exists."}},
      {"no fields", "{\"ZELEnrollPayload\":{\"version\":1}}", false,
       {"Payload version: 1", "Invalid payload. Code field not present."}},
      {"code missing", Payload("\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""), false,
       {"Payload version: 1", "Invalid payload. Code field not present."}},
      {"email missing", Payload("\"code\":\"482915\",\"firstName\":\"A\",\"lastName\":\"B\""), false,
       {"Payload version: 1", "Invalid payload. Email field not present."}},
      {"first name missing", Payload("\"code\":\"482915\",\"email\":\"a@b.cd\",\"lastName\":\"B\""), false,
       {"Payload version: 1", "Invalid payload. First name field not present."}},
      {"last name missing", Payload("\"code\":\"482915\",\"email\":\"a@b.cd\",\"firstName\":\"A\""), false,
       {"Payload version: 1", "Invalid payload. Last name field not present."}},
      {"a field that is no text", Payload("\"code\":482915,\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Code field not present."}},
      {"another first key", "{\"Other\":1,\"ZELEnrollPayload\":{\"version\":1}}", false, {}},
      {"key in other case", "{\"zelEnrollPayload\":{\"version\":1}}", false, {}},
      {"blank after the brace", "{ \"ZELEnrollPayload\":{\"version\":1}}", false, {}},
      {"a plain word", "hello", false, {}},
      {"empty", "", false, {}},
      {"malformed JSON on its second line", "{\"ZELEnrollPayload\":{\"version\":1,\n\"fields\":}}", false,
       {"Malformed JSON. [EJSONParseException]: [json.exception.parse_error.101] parse error at line 2, column 10: "
        "syntax error while parsing value - unexpected '}'; expected '[', '{', or a literal (L: 2, O: 10, P: 44)"}},
      {"e-mail of 256 characters", Payload("\"code\":\"482915\",\"email\":\"" + L256 + "\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Email field longer than 255 characters."}},
      {"code of 256 characters", Payload("\"code\":\"" + L256 + "\",\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Code field longer than 255 characters."}},
      {"code of five digits", Payload("\"code\":\"48291\",\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Code field is not 6 digits."}},
      {"code with a letter", Payload("\"code\":\"48291a\",\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Code field is not 6 digits."}},
      {"code with blanks", Payload("\"code\":\" 482915\",\"email\":\"a@b.cd\",\"firstName\":\"A\",\"lastName\":\"B\""),
       false, {"Payload version: 1", "Invalid payload. Code field is not 6 digits."}},
      {"255 accented characters fit", Payload("\"code\":\"482915\",\"email\":\"a@b.cd\",\"firstName\":\"" + L255Accents +
                                              "\",\"lastName\":\"B\""),
       true, {"Payload version: 1"}},
  };
  for (const auto& LCase : LCases) {
    const TParsed LParsed = Parse(LCase.Text);
    EXPECT_EQ(LParsed.Ok, LCase.Ok) << LCase.Name;
    EXPECT_EQ(LParsed.Log, LCase.Log) << LCase.Name;
  }

  // The fields as they stand, accents and all.
  const TParsed LValid = Parse(EnrolPayload());
  ASSERT_TRUE(LValid.Ok);
  EXPECT_EQ(LValid.Rec.Version, 1);
  EXPECT_EQ(LValid.Rec.InvCode, "482915");
  EXPECT_EQ(LValid.Rec.Email, "zoe.brunner@example.com");
  EXPECT_EQ(LValid.Rec.FirstName, "Zo\xC3\xA9");
  EXPECT_EQ(LValid.Rec.LastName, "Bront\xC3\xAB");
}

TEST(QRPayload, ClearsTheRecordFirst) {
  TZELQRCodeDataRec LRec{7, "x", "y", "z", "w"};
  EXPECT_FALSE(QRCode::Scan::TryParseQRCode("hello", LRec, nullptr));
  EXPECT_EQ(LRec.Version, 0);
  EXPECT_TRUE(LRec.InvCode.empty() && LRec.Email.empty() && LRec.FirstName.empty() && LRec.LastName.empty());
}

TEST(QRFrameGate, TakesEveryFourthFrameWhileNoDecodeRuns) {
  // Each step: whether a decode runs as the frame arrives, and whether the frame is taken.
  const struct {
    const char* Name;
    std::vector<std::pair<bool, bool>> Steps;
  } LCases[] = {
      {"idle", {{false, false}, {false, false}, {false, false}, {false, true}, {false, false}, {false, false},
                {false, false}, {false, true}}},
      {"frames during a decode are not counted",
       {{false, false}, {false, false}, {false, false}, {false, true}, {true, false}, {true, false}, {true, false},
        {true, false}, {true, false}, {false, false}, {false, false}, {false, false}, {false, true}}},
      {"a decode running from the start", {{true, false}, {true, false}, {true, false}, {true, false}, {false, false}}},
  };
  for (const auto& LCase : LCases) {
    QRCode::Scan::TFrameGate LGate;
    for (std::size_t I = 0; I < LCase.Steps.size(); ++I)
      EXPECT_EQ(LGate.Take(LCase.Steps[I].first), LCase.Steps[I].second) << LCase.Name << ", frame " << I + 1;
  }
}

TEST(QRDecode, ReadsTheCodeOfAPicture) {
  const auto LOutcome = QRCode::Scan::DecodeImage(QRImage(EnrolPayload()));
  EXPECT_TRUE(LOutcome.Decoded);
  EXPECT_FALSE(LOutcome.Failed);
  EXPECT_EQ(LOutcome.Text, EnrolPayload());

  QImage LBlank(200, 200, QImage::Format_RGB32);
  LBlank.fill(Qt::white);
  EXPECT_FALSE(QRCode::Scan::DecodeImage(LBlank).Decoded);
  EXPECT_FALSE(QRCode::Scan::DecodeImage(QImage()).Decoded);
}

namespace {

// A scanner window on the offscreen platform, fed frames through its sink; records messages.
class TCameraScan : public ::testing::Test {
protected:
  void SetUp() override {
    FRef = TZELMessager<TQRCodeScannedMessage>::Subscribe([this](TSender ASender, const TQRCodeScannedMessage& AMsg) {
      FSenders.push_back(ASender);
      FMessages.push_back(AMsg.Value());
      if (FScan) FLogAtMessage = LogLines(*FScan);  // the window closes right after
    });
    FScan = TfrmCameraScan::ShowScanner(&FOwner);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FScan.data()));
  }
  void TearDown() override {
    TZELMessager<TQRCodeScannedMessage>::Unsubscribe(FRef);
    ReleaseDecoder();
    delete FScan.data();
    QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
  }
  // Sets new frames of the picture on the sink (the sink passes on a frame only when it is
  // another one) and lets the queued delivery run.
  void Feed(const QImage& AImage, int ACount) {
    for (int I = 0; I < ACount && FScan; ++I) {
      FScan->VideoSink()->setVideoFrame(FrameOf(AImage));
      QCoreApplication::processEvents();
    }
  }
  // Installs a decoder that counts its calls and waits until released.
  void HoldDecoder() {
    auto LState = FHold;
    FScan->SetDecoder([LState](const QImage& AImage) {
      std::unique_lock LLock(LState->Lock);
      ++LState->Calls;
      LState->Opened.wait(LLock, [&] { return LState->Released; });
      return QRCode::Scan::DecodeImage(AImage);
    });
  }
  void ReleaseDecoder() {
    {
      std::lock_guard LLock(FHold->Lock);
      FHold->Released = true;
    }
    FHold->Opened.notify_all();
  }
  int DecoderCalls() {
    std::lock_guard LLock(FHold->Lock);
    return FHold->Calls;
  }

  struct THold {
    std::mutex Lock;
    std::condition_variable Opened;
    bool Released = false;
    int Calls = 0;
  };
  std::shared_ptr<THold> FHold = std::make_shared<THold>();
  QWidget FOwner;
  QPointer<TfrmCameraScan> FScan;
  TZELMessagerRef FRef;
  std::vector<TSender> FSenders;
  std::vector<TZELQRCodeDataRec> FMessages;
  std::vector<std::string> FLogAtMessage;
};

}  // namespace

TEST_F(TCameraScan, WithoutACameraSaysSoAndDoesNothingElse) {
  if (FScan->HasCamera()) GTEST_SKIP() << "this machine has a camera";
  EXPECT_EQ(FScan->windowTitle(), "Form1");
  EXPECT_TRUE(FScan->isWindow());
  EXPECT_EQ(FScan->parentWidget(), &FOwner);
  EXPECT_EQ(FScan->imgCameraBuffer->text(), TfrmCameraScan::NoCameraText);
  EXPECT_EQ(LogLines(*FScan), std::vector<std::string>{TfrmCameraScan::NoCameraText});
  EXPECT_EQ(FScan->DebugLog->height(), TfrmCameraScan::DebugLogHeight);
  // One scanner at most: opening again raises this one.
  EXPECT_EQ(TfrmCameraScan::ShowScanner(&FOwner), FScan.data());
  EXPECT_EQ(TfrmCameraScan::Current(), FScan.data());
}

TEST_F(TCameraScan, AValidCodeInTheFourthFrameIsSentAndClosesTheWindow) {
  const QImage LCode = QRImage(EnrolPayload());
  Feed(LCode, 3);
  EXPECT_FALSE(FScan->ScanInProgress());
  EXPECT_FALSE(FScan->imgCameraBuffer->pixmap().isNull());  // the frames are shown
  const std::size_t LLinesBefore = LogLines(*FScan).size();
  const TfrmCameraScan* LSender = FScan.data();
  Feed(LCode, 1);
  ASSERT_TRUE(WaitUntil([&] { return !FMessages.empty(); }));
  ASSERT_EQ(FMessages.size(), 1u);
  EXPECT_EQ(FSenders[0], LSender);
  EXPECT_EQ(FMessages[0].Version, 1);
  EXPECT_EQ(FMessages[0].InvCode, "482915");
  EXPECT_EQ(FMessages[0].Email, "zoe.brunner@example.com");
  EXPECT_EQ(FMessages[0].FirstName, "Zo\xC3\xA9");
  EXPECT_EQ(FMessages[0].LastName, "Bront\xC3\xAB");
  EXPECT_EQ(TfrmCameraScan::Current(), nullptr);
  EXPECT_TRUE(!FScan || !FScan->isVisible());
  const std::vector<std::string>& LLines = FLogAtMessage;
  ASSERT_GE(LLines.size(), LLinesBefore);
  EXPECT_EQ(std::vector<std::string>(LLines.begin() + static_cast<long>(LLinesBefore), LLines.end()),
            (std::vector<std::string>{"QRCode content to recognize = " + EnrolPayload(), "Payload version: 1",
                                      "Scan done.", "Version = 1", "Inetation code = 482915",
                                      "Email = zoe.brunner@example.com", "First name = Zo\xC3\xA9",
                                      "Last name = Bront\xC3\xAB"}));
  // The closed window is freed.
  QTRY_VERIFY(!FScan);
  EXPECT_EQ(FMessages.size(), 1u);
}

TEST_F(TCameraScan, WhatIsNoValidPayloadIsLoggedAndScanningGoesOn) {
  const struct {
    std::string Text;
    std::vector<std::string> Log;
  } LCases[] = {
      {EnrolPayload(2),
       {"QRCode content to recognize = " + EnrolPayload(2), "Payload version: 2",
        "Unknown payload. Unsupported version: 2", "Scan interpret FAILED. Continue..."}},
      {"hello", {"QRCode content to recognize = hello", "Scan interpret FAILED. Continue..."}},
      {Payload("\"code\":\"482915\",\"email\":\"a@b.cd\",\"firstName\":\"A\""),
       {"QRCode content to recognize = " + Payload("\"code\":\"482915\",\"email\":\"a@b.cd\",\"firstName\":\"A\""),
        "Payload version: 1", "Invalid payload. Last name field not present.", "Scan interpret FAILED. Continue..."}},
  };
  for (const auto& LCase : LCases) {
    FScan->DebugLog->clear();
    bool LFinished = false;
    const auto LConn = QObject::connect(FScan, &TfrmCameraScan::ScanFinished, [&] { LFinished = true; });
    Feed(QRImage(LCase.Text), 4);
    ASSERT_TRUE(WaitUntil([&] { return LFinished; })) << LCase.Text;
    QObject::disconnect(LConn);
    EXPECT_EQ(LogLines(*FScan), LCase.Log);
    EXPECT_FALSE(FScan->ScanInProgress());
    EXPECT_TRUE(FScan->isVisible());
  }
  // A picture without a code logs nothing.
  FScan->DebugLog->clear();
  QImage LBlank(320, 320, QImage::Format_ARGB32);
  LBlank.fill(Qt::white);
  bool LFinished = false;
  QObject::connect(FScan, &TfrmCameraScan::ScanFinished, [&] { LFinished = true; });
  Feed(LBlank, 4);
  ASSERT_TRUE(WaitUntil([&] { return LFinished; }));
  EXPECT_TRUE(LogLines(*FScan).empty());
  EXPECT_TRUE(FMessages.empty());
  EXPECT_EQ(TfrmCameraScan::Current(), FScan.data());
}

TEST_F(TCameraScan, FramesDuringADecodeAreOnlyShown) {
  HoldDecoder();
  const QImage LCode = QRImage(EnrolPayload(2));
  Feed(LCode, 4);
  ASSERT_TRUE(WaitUntil([&] { return DecoderCalls() == 1; }));
  Feed(LCode, 12);  // three gates' worth while the decode runs
  EXPECT_TRUE(FScan->ScanInProgress());
  ReleaseDecoder();
  ASSERT_TRUE(WaitUntil([&] { return !FScan->ScanInProgress(); }));
  EXPECT_EQ(DecoderCalls(), 1);
  Feed(LCode, 3);
  EXPECT_FALSE(FScan->ScanInProgress());
  Feed(LCode, 1);
  ASSERT_TRUE(WaitUntil([&] { return DecoderCalls() == 2; }));
}

// A decode of a valid code that ended just before the user closed the window: its result
// is still queued to the window, and a closed scanner sends nothing.
TEST_F(TCameraScan, AResultQueuedBeforeACloseByHandSendsNothing) {
  HoldDecoder();
  Feed(QRImage(EnrolPayload()), 4);
  ASSERT_TRUE(WaitUntil([&] { return DecoderCalls() == 1; }));
  ReleaseDecoder();
  // The worker ends without the UI thread taking its result yet.
  while (QThreadPool::globalInstance()->activeThreadCount() > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  FScan->close();
  QTRY_VERIFY(!FScan);
  EXPECT_TRUE(FMessages.empty());
}

TEST_F(TCameraScan, ADecoderExceptionIsLoggedAndScanningGoesOn) {
  std::atomic<int> LCalls = 0;
  FScan->SetDecoder([&LCalls](const QImage&) -> QRCode::Scan::TDecodeOutcome {
    ++LCalls;
    throw std::runtime_error("decoder broke");
  });
  FScan->DebugLog->clear();
  Feed(QRImage(EnrolPayload()), 4);
  ASSERT_TRUE(WaitUntil([&] { return !FScan->ScanInProgress(); }));
  const std::vector<std::string> LLines = LogLines(*FScan);
  ASSERT_EQ(LLines.size(), 1u);
  EXPECT_EQ(LLines[0].rfind("Error. [", 0), 0u) << LLines[0];
  EXPECT_NE(LLines[0].find("]:decoder broke"), std::string::npos) << LLines[0];
  Feed(QRImage(EnrolPayload()), 4);
  ASSERT_TRUE(WaitUntil([&] { return LCalls == 2 && !FScan->ScanInProgress(); }));
  EXPECT_TRUE(FMessages.empty());
  EXPECT_TRUE(FScan->isVisible());
}

TEST_F(TCameraScan, AVideoOfTheCodePlayedIntoTheSinkIsRead) {
  QMediaPlayer LPlayer;
  std::string LError;
  QObject::connect(&LPlayer, &QMediaPlayer::errorOccurred,
                   [&](QMediaPlayer::Error, const QString& AText) { LError = AText.toStdString(); });
  // The player lets go of the sink before the window (and its sink) goes.
  const TZELMessagerRef LStop = TZELMessager<TQRCodeScannedMessage>::Subscribe(
      [&LPlayer](TSender, const TQRCodeScannedMessage&) {
        LPlayer.stop();
        LPlayer.setVideoSink(nullptr);
      });
  LPlayer.setVideoSink(FScan->VideoSink());
  LPlayer.setSource(QUrl::fromLocalFile(ZEL_SOURCE_DIR "/tests/ui/data/enrolment-qr.ogv"));
  LPlayer.play();
  const bool LRead = WaitUntil([&] { return !FMessages.empty() || !LError.empty(); }, std::chrono::seconds(20));
  auto LRef = LStop;
  TZELMessager<TQRCodeScannedMessage>::Unsubscribe(LRef);
  LPlayer.stop();
  LPlayer.setVideoSink(nullptr);
  ASSERT_TRUE(LRead) << "no message; log: " << (FScan ? FScan->DebugLog->toPlainText().toStdString() : "");
  ASSERT_EQ(LError, "");
  ASSERT_EQ(FMessages.size(), 1u);
  EXPECT_EQ(FMessages[0].InvCode, "482915");
  EXPECT_EQ(FMessages[0].FirstName, "Zo\xC3\xA9");
  EXPECT_EQ(FMessages[0].LastName, "Bront\xC3\xAB");
}
