#include "ZEL.Toast.h"

#include "ZEL.LogsPipe.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPauseAnimation>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

#include <atomic>
#include <cmath>

namespace ZEL {

namespace {

std::atomic<ILogWriter*> GLogWriter{nullptr};

const char* BoolText(bool AValue) { return AValue ? "True" : "False"; }

template <class... A>
void Log(fmt::format_string<A...> AFormat, A&&... AArgs) {
  if (ILogWriter* LWriter = GLogWriter.load()) LWriter->DebugFmt("TZELToast", AFormat, std::forward<A>(AArgs)...);
}

constexpr int cFadeMs = 200;

}  // namespace

TZELToast::TZELToast(QObject* AOwner) : QObject(AOwner) { Log("Create. Owner set = {}", BoolText(AOwner)); }

TZELToast::~TZELToast() {
  Log("Destroy.");
  // The band goes with us: its fade-out must never end for a toast that is gone.
  if (FToastAnimation) FToastAnimation->stop();
  delete FToastContainer.data();
  FOwnedByToast = true;
  DoDestroyData();
}

void TZELToast::Show(QWidget* AOwner) {
  Log("Show. START.");
  Log("Show. FIsShowIng = {}.", BoolText(FIsShowing));
  // A toast on screen goes at once; its end never runs, so its link stays.
  if (FIsShowing) DoDisposeContainer();
  Log("Show. AOwner assigned = {}.", BoolText(AOwner));
  FIsShowing = true;
  Log("Show. FIsShowIng = {}", BoolText(FIsShowing));
  if (!AOwner) {
    FIsShowing = false;
    Log("Show FAILED. Owned not assigned. FORCED DONE.");
    return;
  }
  Log("Show. Making container...");
  CreateContainer(AOwner);
  Log("Show. Making container... DONE.");
  Log("Show. 1");

  QFont LFont = FToastRect->font();
  LFont.setPointSizeF(FontSize);
  const QFontMetricsF LMetrics(LFont);
  const QRectF LMeasured = LMetrics.boundingRect(QRectF(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop,
                                                 QString::fromStdString(ToastMessage));
  const int LHeight = static_cast<int>(std::lround(LMeasured.height() * 1.8));
  const int LWidth = static_cast<int>(std::lround(LMeasured.width() + 10));

  QMargins LMargins(15, 0, 15, 0);
  QPoint LPosition(0, 0);
  switch (Align) {
    case TToastAlign::Bottom: LMargins.setBottom(24); break;
    case TToastAlign::Top: LMargins.setTop(24); break;
    case TToastAlign::Center:
    case TToastAlign::None: break;
  }
  DoAlignment(LMargins, LPosition);

  const QRect LArea = FToastContainer->rect();
  QRect LBand;
  const int LSpan = LArea.width() - LMargins.left() - LMargins.right();
  switch (Align) {
    case TToastAlign::Bottom:
      LBand = QRect(LMargins.left(), LArea.height() - LMargins.bottom() - LHeight, LSpan, LHeight);
      break;
    case TToastAlign::Top: LBand = QRect(LMargins.left(), LMargins.top(), LSpan, LHeight); break;
    case TToastAlign::Center: LBand = QRect(LMargins.left(), (LArea.height() - LHeight) / 2, LSpan, LHeight); break;
    case TToastAlign::None: LBand = QRect(LPosition, QSize(LWidth, LHeight)); break;
  }
  FToastRect->setGeometry(LBand);
  const qreal LRadius = LHeight * 0.15;
  FToastRect->setFont(LFont);
  FToastRect->setText(QString::fromStdString(ToastMessage));
  FToastRect->setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; border-radius: %3px; }")
                                .arg(BackColor.name(QColor::HexArgb), FontColor.name(QColor::HexArgb))
                                .arg(LRadius));
  if (!IsBlock) FToastContainer->setMask(QRegion(LBand));

  // The band fades, not the container: an effect on the masked container is drawn at the
  // window's top left.
  auto* LEffect = new QGraphicsOpacityEffect(FToastRect);
  LEffect->setOpacity(0);
  FToastRect->setGraphicsEffect(LEffect);
  auto* LFadeIn = new QPropertyAnimation(LEffect, "opacity", FToastContainer);
  LFadeIn->setDuration(cFadeMs);
  LFadeIn->setStartValue(0.0);
  LFadeIn->setEndValue(1.0);

  FToastAnimation = new QSequentialAnimationGroup(FToastContainer);
  FToastAnimation->addPause(std::max(0, static_cast<int>(std::lround(Delay * 1000))));
  auto* LFadeOut = new QPropertyAnimation(LEffect, "opacity");
  LFadeOut->setDuration(cFadeMs);
  LFadeOut->setStartValue(1.0);
  LFadeOut->setEndValue(0.0);
  FToastAnimation->addAnimation(LFadeOut);
  connect(FToastAnimation, &QAbstractAnimation::finished, this, &TZELToast::OnAnimationFinish);

  FToastContainer->show();
  FToastContainer->raise();
  LFadeIn->start(QAbstractAnimation::DeleteWhenStopped);
  FToastAnimation->start();
  Log("Show. END.");
}

void TZELToast::CreateContainer(QWidget* AOwner) {
  Log("CreateContainer. START.");
  Log("CreateContainer. FToastContainer present = {} ", BoolText(FToastContainer));
  Log("CreateContainer. FToastRect present = {} ", BoolText(FToastRect));
  Log("CreateContainer. FToastText present = {} ", BoolText(FToastRect));
  Log("CreateContainer. FToastAnimation present = {} ", BoolText(FToastAnimation));
  FToastContainer = new QWidget(AOwner);
  FToastContainer->setObjectName("ToastContainer");
  FToastContainer->setGeometry(AOwner->rect());
  // With IsBlock the container takes clicks anywhere on the window.
  FToastContainer->installEventFilter(this);
  FToastRect = new QLabel(FToastContainer);
  FToastRect->setObjectName("ToastRect");
  FToastRect->setAlignment(Qt::AlignCenter);
  FToastRect->setWordWrap(false);
  FToastRect->installEventFilter(this);
  Log("CreateContainer. END.");
}

void TZELToast::DoDisposeContainer() {
  Log("DoDisposeContainer. FToastContainer present = {} ", BoolText(FToastContainer));
  if (FToastContainer) {
    Log("DoDisposeContainer.  FToastText present = {} ", BoolText(FToastRect));
    Log("DoDisposeContainer. FToastRect present = {} ", BoolText(FToastRect));
    Log("DoDisposeContainer. FToastAnimation present = {} ", BoolText(FToastAnimation));
    if (FToastAnimation) {
      disconnect(FToastAnimation, nullptr, this, nullptr);
      FToastAnimation->stop();
    }
    Log("DoDisposeContainer. FToastContainer present = {} ", BoolText(FToastContainer));
    QWidget* LContainer = FToastContainer;
    FToastContainer = nullptr;
    FToastRect = nullptr;
    FToastAnimation = nullptr;
    LContainer->hide();
    // Later: the end of the fade-out may be running inside the container's animation.
    LContainer->deleteLater();
    Log("DoDisposeContainer. DONE.(1) ");
  }
  Log("DoDisposeContainer. END.");
}

void TZELToast::DoDestroyData() {
  Log("DoDestroyData. Linked data = {} Owned by toast = {}", BoolText(FData != nullptr), BoolText(FOwnedByToast));
  if (FData && FOwnedByToast) {
    Log("DoDestroyData. Attempt to free object...");
    FData.reset();
    FOwnedByToast = false;
    Log("DoDestroyData. Attempt to free object... DONE.");
    Log("DoDestroyData. Attempt to free object... DONE(0).");
  }
  Log("DoDestroyData. DONE.");
}

void TZELToast::LinkData(std::shared_ptr<void> AData, bool AOwnData) {
  Log("LinkData. START.");
  DoDestroyData();
  FData = std::move(AData);
  FOwnedByToast = AOwnData;
  Log("LinkData. Data = {} Owned = {}", BoolText(FData != nullptr), BoolText(FOwnedByToast));
  Log("LinkData. END.");
}

void TZELToast::Close() {
  if (FIsShowing && FToastAnimation) {
    FToastAnimation->stop();
    OnAnimationFinish();
  }
}

void TZELToast::OnAnimationFinish() {
  Log("OnAnimationFinish. START.");
  if (FToastRect) FToastRect->setAttribute(Qt::WA_TransparentForMouseEvents);
  DoDisposeContainer();
  DoDestroyData();
  FIsShowing = false;
  Log("OnAnimationFinish. END.");
}

void TZELToast::DoAlignment(QMargins& AMargins, QPoint& APosition) {
  if (OnAlignment) OnAlignment(this, AMargins, APosition);
}

void TZELToast::DoClick() {
  if (OnClick) OnClick(this);
}

void TZELToast::DoToastRectClicked() {
  Log("DoToastRectClicked. START.");
  DoClick();
  Log("DoToastRectClicked. END.");
}

bool TZELToast::eventFilter(QObject* AWatched, QEvent* AEvent) {
  const QEvent::Type LType = AEvent->type();
  const bool LMouse = LType == QEvent::MouseButtonPress || LType == QEvent::MouseButtonRelease ||
                      LType == QEvent::MouseButtonDblClick;
  if (LMouse && AWatched == FToastRect.data()) {
    if (LType == QEvent::MouseButtonRelease) DoToastRectClicked();
    return true;
  }
  if (LMouse && AWatched == FToastContainer.data()) return true;  // IsBlock: swallowed
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL

namespace ZEL::Toast {

void SetLogWriter(ILogWriter* AWriter) { GLogWriter.store(AWriter); }

}  // namespace ZEL::Toast
