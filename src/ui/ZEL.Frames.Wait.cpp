#include "ZEL.Frames.Wait.h"

#include "ZEL.UIThread.h"

#include <QEasingCurve>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSequentialAnimationGroup>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace ZEL {

namespace {

// A dotted ring with a short thick arc turning on it.
class TSpinner : public QWidget {
public:
  using QWidget::QWidget;
  void SetAngle(qreal AAngle) {
    FAngle = AAngle;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter LPainter(this);
    LPainter.setRenderHint(QPainter::Antialiasing);
    const QRectF LArea = QRectF(rect()).adjusted(6, 6, -6, -6);
    QPen LRing(QColor("aliceblue"), 2, Qt::DotLine, Qt::RoundCap);
    LPainter.setPen(LRing);
    LPainter.drawEllipse(LArea);
    QPen LArc(QColor("green"), 10, Qt::DotLine, Qt::RoundCap, Qt::RoundJoin);
    LPainter.setPen(LArc);
    // Qt counts sixteenths of a degree, counter-clockwise.
    LPainter.drawArc(LArea, static_cast<int>(-FAngle * 16), -10 * 16);
  }

private:
  qreal FAngle = 0;
};

// A small lock glyph whose opacity pulses.
class TLockGlyph : public QWidget {
public:
  using QWidget::QWidget;
  void SetOpacity(qreal AOpacity) {
    FOpacity = AOpacity;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter LPainter(this);
    LPainter.setRenderHint(QPainter::Antialiasing);
    LPainter.setOpacity(FOpacity);
    const QPointF LCentre = QRectF(rect()).center();
    const QRectF LBody(LCentre.x() - 12, LCentre.y() - 4, 24, 18);
    LPainter.setPen(QPen(Qt::white, 3));
    LPainter.drawArc(QRectF(LCentre.x() - 8, LCentre.y() - 16, 16, 22), 0, 180 * 16);
    LPainter.setPen(Qt::NoPen);
    LPainter.setBrush(Qt::white);
    LPainter.drawRoundedRect(LBody, 3, 3);
  }

private:
  qreal FOpacity = 0.2;
};

}  // namespace

TWaitFrame::TWaitFrame(QWidget* AParent) : QWidget(AParent) {
  setObjectName("TWaitFrame");
  setAttribute(Qt::WA_NoMousePropagation);
  setFocusPolicy(Qt::StrongFocus);

  auto* LFrameLayout = new QVBoxLayout(this);
  LFrameLayout->setContentsMargins(0, 0, 0, 0);
  LFrameLayout->addStretch(1);

  BackgroundRectangle = new QWidget(this);
  BackgroundRectangle->setObjectName("BackgroundRectangle");
  BackgroundRectangle->setFixedHeight(110);
  BackgroundRectangle->setAttribute(Qt::WA_StyledBackground);
  BackgroundRectangle->setStyleSheet("#BackgroundRectangle { background-color: rgba(60, 179, 113, 230); }");
  auto* LBandHolder = new QHBoxLayout();
  LBandHolder->setContentsMargins(22, 2, 22, 2);
  LBandHolder->addWidget(BackgroundRectangle);
  LFrameLayout->addLayout(LBandHolder);

  auto* LContents = new QVBoxLayout(BackgroundRectangle);
  LContents->setContentsMargins(0, 4, 0, 0);
  LContents->setSpacing(0);
  auto* LSpinner = new TSpinner(BackgroundRectangle);
  lySpinner = LSpinner;
  lySpinner->setFixedSize(60, 60);
  LContents->addWidget(lySpinner, 0, Qt::AlignHCenter);
  MessageLabel = new QLabel(QString::fromUtf8(DefaultText), BackgroundRectangle);
  MessageLabel->setObjectName("MessageLabel");
  MessageLabel->setFixedHeight(32);
  MessageLabel->setAlignment(Qt::AlignCenter);
  MessageLabel->setWordWrap(false);
  MessageLabel->setStyleSheet("color: azure; font-size: 16pt;");
  LContents->addWidget(MessageLabel);

  LFrameLayout->addStretch(1);
  auto* LLock = new TLockGlyph(this);
  Image1 = LLock;
  Image1->setFixedHeight(152 - 30);
  auto* LLockHolder = new QHBoxLayout();
  LLockHolder->setContentsMargins(50, 10, 50, 20);
  LLockHolder->addWidget(Image1);
  LFrameLayout->addLayout(LLockHolder);

  aniProgress = new QVariantAnimation(this);
  aniProgress->setStartValue(0.0);
  aniProgress->setEndValue(360.0);
  aniProgress->setDuration(700);
  aniProgress->setLoopCount(-1);
  connect(aniProgress, &QVariantAnimation::valueChanged, this,
          [LSpinner](const QVariant& AValue) { LSpinner->SetAngle(AValue.toReal()); });

  aniLock = new QSequentialAnimationGroup(this);
  for (const bool LForward : {true, false}) {
    auto* LHalf = new QVariantAnimation(aniLock);
    LHalf->setStartValue(LForward ? 0.2 : 0.6);
    LHalf->setEndValue(LForward ? 0.6 : 0.2);
    LHalf->setDuration(1000);
    LHalf->setEasingCurve(QEasingCurve::InOutQuad);
    connect(LHalf, &QVariantAnimation::valueChanged, this,
            [LLock](const QVariant& AValue) { LLock->SetOpacity(AValue.toReal()); });
    aniLock->addAnimation(LHalf);
  }
  aniLock->setLoopCount(-1);
}

std::string TWaitFrame::MessageText() const { return MessageLabel->text().toStdString(); }

void TWaitFrame::SetMessageText(const std::string& AText) { MessageLabel->setText(QString::fromStdString(AText)); }

void TWaitFrame::UpdateMessageText(const std::string& AText, bool ASync) {
  if (!ASync) {
    SetMessageText(AText);
    return;
  }
  UIThread::RunSync([this, &AText] { SetMessageText(AText); });
}

void TWaitFrame::StartAnimations() {
  ++FAnimationStarts;
  aniProgress->start();
  aniLock->start();
}

void TWaitFrame::TakeKeyboard() {
  QWidget* LFocus = window()->focusWidget();
  if (LFocus != this) FPreviousFocus = LFocus;
  setFocus(Qt::OtherFocusReason);
}

void TWaitFrame::GiveKeyboardBack() {
  QWidget* LPrevious = FPreviousFocus.data();
  FPreviousFocus = nullptr;
  if (!hasFocus() && window()->focusWidget() != this) return;  // someone else took it meanwhile
  if (LPrevious && LPrevious->window() == window() && LPrevious->isVisible() && LPrevious->isEnabled())
    LPrevious->setFocus(Qt::OtherFocusReason);
  else if (!focusNextChild())  // the widget went with a view switch: the next one in the chain
    clearFocus();
}

bool TWaitFrame::event(QEvent* AEvent) {
  switch (AEvent->type()) {
    case QEvent::ShortcutOverride:  // accepted: no shortcut of the window fires either
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      AEvent->accept();
      return true;
    default:
      return QWidget::event(AEvent);
  }
}

// The overlay takes every click meant for the window beneath it.
void TWaitFrame::mousePressEvent(QMouseEvent* AEvent) { AEvent->accept(); }
void TWaitFrame::mouseReleaseEvent(QMouseEvent* AEvent) { AEvent->accept(); }
void TWaitFrame::mouseDoubleClickEvent(QMouseEvent* AEvent) { AEvent->accept(); }
void TWaitFrame::wheelEvent(QWheelEvent* AEvent) { AEvent->accept(); }

void TWaitFrame::paintEvent(QPaintEvent*) {
  // Fully transparent but present, so the frame is hit where nothing else is drawn.
  QPainter LPainter(this);
  LPainter.fillRect(rect(), QColor(0, 0, 0, 1));
}

}  // namespace ZEL
