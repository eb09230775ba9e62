#pragma once
// The QR enrolment scanner: a small window that shows the camera's picture, decodes QR codes
// in it off the UI thread and, on a valid enrolment payload, sends the data as a
// TQRCodeScannedMessage and closes.

#include "ZEL.Messaging.h"
#include "ZEL.QRCode.Scan.h"

#include <QFutureWatcher>
#include <QImage>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>

class QCamera;
class QLabel;
class QMediaCaptureSession;
class QPlainTextEdit;
class QVideoFrame;
class QVideoSink;

namespace ZEL {

// An enrolment payload was read; the sender is the scanner window.
class TQRCodeScannedMessage : public TMessage<TZELQRCodeDataRec> {
public:
  static constexpr std::string_view TypeName = "TQRCodeScannedMessage";
  using TMessage<TZELQRCodeDataRec>::TMessage;
};

class TfrmCameraScan : public QWidget {
  Q_OBJECT
public:
  static constexpr int ClientWidth = 336;
  static constexpr int ClientHeight = 484;
  static constexpr int DebugLogHeight = 116;
  // Shown in place of the picture when the machine has no camera.
  static constexpr const char* NoCameraText = "No camera found. Scanning a QR code needs a camera.";

  using TDecoder = std::function<QRCode::Scan::TDecodeOutcome(const QImage&)>;

  // The open scanner, or none. At most one exists; it clears this when it closes.
  static TfrmCameraScan* Current();
  // Opens the scanner as a top-level window of AOwnerWindow (it closes with it), or raises
  // the open one; gives the window.
  static TfrmCameraScan* ShowScanner(QWidget* AOwnerWindow);

  explicit TfrmCameraScan(QWidget* AOwnerWindow = nullptr);
  ~TfrmCameraScan() override;

  // The sink the camera feeds; frames set on it from any thread reach the window queued.
  QVideoSink* VideoSink() const { return FSink; }
  bool HasCamera() const { return Cam != nullptr; }
  bool ScanInProgress() const { return FScanInProgress; }
  // Replaces the decoder the workers run (tests: a slow one). Takes effect with the next decode.
  void SetDecoder(TDecoder ADecoder) { FDecoder = std::move(ADecoder); }

  void DoLog(const std::string& AText);

  QLabel* imgCameraBuffer;
  QPlainTextEdit* DebugLog;

signals:
  // A decode's outcome was handled (logged, and acted on when it was a payload).
  void ScanFinished();

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

private:
  void FormShow();
  void CameraPermissionRequestResult(bool AGranted);
  void CamSampleBufferReady(const QVideoFrame& AFrame);
  void ParseImage();
  void DecodeFinished();
  void ScanDone(const TZELQRCodeDataRec& ARec);
  void ShowPicture();

  QCamera* Cam = nullptr;
  QMediaCaptureSession* FSession = nullptr;
  QVideoSink* FSink;
  QFutureWatcher<QRCode::Scan::TDecodeOutcome> FWatcher;  // the running decode's result
  TDecoder FDecoder;
  QImage FPicture;  // the last frame shown
  QRCode::Scan::TFrameGate FGate;
  bool FScanInProgress = false;  // UI thread only
  bool FShown = false;
  bool FDone = false;  // a payload was read or the window closed: later frames and results are ignored
};

}  // namespace ZEL
