#include "ZEL.Forms.CameraQRCode.h"

#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"

#include <fmt/format.h>

#include <QCamera>
#include <QCloseEvent>
#include <QLabel>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdlib>
#include <memory>
#include <optional>

namespace ZEL {

namespace {

constexpr std::string_view cTag = "TfrmCameraScan";
// The picture after a successful scan.
const QColor cDoneColor = QColor::fromRgba(0xFF7FFFD4);

// The open scanner (UI thread only).
QPointer<TfrmCameraScan> frmCameraScan;

// The back-facing camera when there is one, else the first; none without a camera.
std::optional<QCameraDevice> PickCamera() {
  const QList<QCameraDevice> LInputs = QMediaDevices::videoInputs();
  if (LInputs.isEmpty()) return std::nullopt;
  for (const QCameraDevice& LDevice : LInputs)
    if (LDevice.position() == QCameraDevice::BackFace) return LDevice;
  return LInputs.first();
}

// A medium picture: the format nearest to 640 x 480, enough for a QR code held up close.
QCameraFormat MediumFormat(const QCameraDevice& ADevice) {
  QCameraFormat LBest;
  long LBestDistance = -1;
  for (const QCameraFormat& LFormat : ADevice.videoFormats()) {
    const long LDistance = std::labs(static_cast<long>(LFormat.resolution().width()) *
                                         LFormat.resolution().height() - 640L * 480L);
    if (LBestDistance < 0 || LDistance < LBestDistance) {
      LBest = LFormat;
      LBestDistance = LDistance;
    }
  }
  return LBest;
}

}  // namespace

TfrmCameraScan* TfrmCameraScan::Current() { return frmCameraScan.data(); }

TfrmCameraScan* TfrmCameraScan::ShowScanner(QWidget* AOwnerWindow) {
  if (TfrmCameraScan* LOpen = Current()) {
    LOpen->showNormal();
    LOpen->raise();
    LOpen->activateWindow();
    return LOpen;
  }
  auto* LScan = new TfrmCameraScan(AOwnerWindow);
  LScan->show();
  return LScan;
}

TfrmCameraScan::TfrmCameraScan(QWidget* AOwnerWindow)
    : QWidget(AOwnerWindow, Qt::Window), FDecoder(&QRCode::Scan::DecodeImage) {
  setObjectName("frmCameraScan");
  setWindowTitle(QStringLiteral("Form1"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);  // a helper window never keeps the program alive
  resize(ClientWidth, ClientHeight);
  frmCameraScan = this;

  auto* LColumn = new QVBoxLayout(this);
  LColumn->setContentsMargins(0, 0, 0, 0);
  LColumn->setSpacing(0);
  imgCameraBuffer = new QLabel(this);
  imgCameraBuffer->setObjectName("imgCameraBuffer");
  imgCameraBuffer->setAlignment(Qt::AlignCenter);
  imgCameraBuffer->setWordWrap(true);
  imgCameraBuffer->setMargin(8);
  imgCameraBuffer->setMinimumSize(1, 1);
  imgCameraBuffer->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  LColumn->addWidget(imgCameraBuffer, 1);
  DebugLog = new QPlainTextEdit(this);
  DebugLog->setObjectName("DebugLog");
  DebugLog->setReadOnly(true);
  DebugLog->setFixedHeight(DebugLogHeight);
  LColumn->addWidget(DebugLog);

  // The sink is the window's own, with or without a camera; whatever feeds it (the camera
  // on its own thread, or a player) reaches the window through the queue.
  FSink = new QVideoSink(this);
  connect(FSink, &QVideoSink::videoFrameChanged, this, &TfrmCameraScan::CamSampleBufferReady,
          Qt::QueuedConnection);
  connect(&FWatcher, &QFutureWatcherBase::finished, this, &TfrmCameraScan::DecodeFinished);

  if (const std::optional<QCameraDevice> LDevice = PickCamera()) {
    Cam = new QCamera(*LDevice, this);
    FSession = new QMediaCaptureSession(this);
    FSession->setCamera(Cam);
    FSession->setVideoSink(FSink);
    connect(Cam, &QCamera::errorOccurred, this, [this](QCamera::Error, const QString& AText) {
      DoLog(fmt::format("Camera error: {}", AText.toStdString()));
    });
  } else {
    imgCameraBuffer->setText(QString::fromUtf8(NoCameraText));
  }
}

TfrmCameraScan::~TfrmCameraScan() {
  // A decode still running finishes on its own copy of the frame; its result has nowhere to go.
  FWatcher.disconnect(this);
  if (frmCameraScan == this) frmCameraScan = nullptr;
}

void TfrmCameraScan::DoLog(const std::string& AText) {
  DebugLog->appendPlainText(QString::fromStdString(AText));
  DebugLog->verticalScrollBar()->setValue(DebugLog->verticalScrollBar()->maximum());
}

void TfrmCameraScan::showEvent(QShowEvent* AEvent) {
  QWidget::showEvent(AEvent);
  if (FShown) return;
  FShown = true;
  FormShow();
}

void TfrmCameraScan::closeEvent(QCloseEvent* AEvent) {
  // Closed is closed: a decode or a frame already queued must not read a payload now.
  FDone = true;
  if (Cam) Cam->stop();
  if (frmCameraScan == this) frmCameraScan = nullptr;
  QWidget::closeEvent(AEvent);
}

void TfrmCameraScan::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  ShowPicture();
}

void TfrmCameraScan::FormShow() {
  if (!Cam) {
    DoLog(NoCameraText);
    return;
  }
  DoLog("Requesting permission...");
  // Qt 6.4 has no permission API, and a desktop asks no permission for its cameras: the
  // request counts as granted.
  CameraPermissionRequestResult(true);
}

void TfrmCameraScan::CameraPermissionRequestResult(bool AGranted) {
  if (!AGranted) {
    DoLog("Requesting permission... DENIED.");
    return;
  }
  DoLog("Requesting permission... GRANDTED.");
  Cam->stop();
  if (const QCameraFormat LFormat = MediumFormat(Cam->cameraDevice()); !LFormat.isNull())
    Cam->setCameraFormat(LFormat);
  if (Cam->isFocusModeSupported(QCamera::FocusModeAuto)) Cam->setFocusMode(QCamera::FocusModeAuto);
  Cam->start();
}

void TfrmCameraScan::ShowPicture() {
  if (FPicture.isNull()) return;
  imgCameraBuffer->setPixmap(QPixmap::fromImage(
      FPicture.scaled(imgCameraBuffer->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TfrmCameraScan::CamSampleBufferReady(const QVideoFrame& AFrame) {
  if (FDone || !AFrame.isValid()) return;
  FPicture = AFrame.toImage();
  ShowPicture();
  if (!FGate.Take(FScanInProgress)) return;
  ParseImage();
}

void TfrmCameraScan::ParseImage() {
  if (FPicture.isNull()) return;
  FScanInProgress = true;  // before anything else: no second decode may start
  // The worker gets its own deep copy and the decoder by value: it touches nothing of the window.
  FWatcher.setFuture(QtConcurrent::run(QThreadPool::globalInstance(),
                                       [LDecoder = FDecoder, LFrame = FPicture.copy()] {
                                         try {
                                           return LDecoder(LFrame);
                                         } catch (...) {
                                           const Exceptions::TCaught LCaught = Exceptions::DescribeCurrent();
                                           QRCode::Scan::TDecodeOutcome LOutcome;
                                           LOutcome.Failed = true;
                                           LOutcome.ErrorClass = LCaught.ClassName;
                                           LOutcome.ErrorMessage = LCaught.Message;
                                           return LOutcome;
                                         }
                                       }));
}

void TfrmCameraScan::DecodeFinished() {
  QRCode::Scan::TDecodeOutcome LOutcome;
  if (FWatcher.future().resultCount() > 0) LOutcome = FWatcher.result();
  try {
    if (LOutcome.Failed) {
      DoLog(fmt::format("Error. [{}]:{}", LOutcome.ErrorClass, LOutcome.ErrorMessage));
      LogsPipe::ZELLog().ErrorFmt(cTag, "QR decode failed: {}: {}", LOutcome.ErrorClass, LOutcome.ErrorMessage);
    } else if (LOutcome.Decoded && !FDone) {
      DoLog("QRCode content to recognize = " + LOutcome.Text);
      TZELQRCodeDataRec LRec;
      if (QRCode::Scan::TryParseQRCode(LOutcome.Text, LRec, [this](const std::string& ALine) { DoLog(ALine); }))
        ScanDone(LRec);
      else
        DoLog("Scan interpret FAILED. Continue...");
    }
  } catch (...) {
    const Exceptions::TCaught LCaught = Exceptions::DescribeCurrent();
    LogsPipe::ZELLog().FatalFmt(cTag, "{}: {}", LCaught.ClassName, LCaught.Message);
    if (FDone) close();  // a listener failed after the payload was taken
  }
  FScanInProgress = false;
  emit ScanFinished();
}

void TfrmCameraScan::ScanDone(const TZELQRCodeDataRec& ARec) {
  FDone = true;
  FPicture = QImage();
  QPixmap LDone(imgCameraBuffer->size().expandedTo(QSize(1, 1)));
  LDone.fill(cDoneColor);
  imgCameraBuffer->setPixmap(LDone);
  if (Cam) Cam->stop();
  DoLog("Scan done.");
  DoLog(fmt::format("Version = {}", ARec.Version));
  DoLog("Inetation code = " + ARec.InvCode);
  DoLog("Email = " + ARec.Email);
  DoLog("First name = " + ARec.FirstName);
  DoLog("Last name = " + ARec.LastName);
  TZELMessager<TQRCodeScannedMessage>::Send([&ARec] { return std::make_unique<TQRCodeScannedMessage>(ARec); },
                                           this);
  close();
}

}  // namespace ZEL
