#include "ZEL.Toast.h"

#include "ZEL.LogsPipe.h"

#include "ZEL.Toast.Clearance.h"

#include <QEvent>
#include <QMouseEvent>
#include <QTextLayout>
#include <QTimer>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPauseAnimation>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <utility>

namespace ZEL {

namespace {

std::atomic<ILogWriter*> GLogWriter{nullptr};

const char* BoolText(bool AValue) { return AValue ? "True" : "False"; }

template <class... A>
void Log(fmt::format_string<A...> AFormat, A&&... AArgs) {
  if (ILogWriter* LWriter = GLogWriter.load()) LWriter->DebugFmt("TZELToast", AFormat, std::forward<A>(AArgs)...);
}

constexpr int cFadeMs = 200;
constexpr int cKeepClearMs = 100;
constexpr int cTextPadding = 10;  // each side of the text inside the band
constexpr int cControlGap = 4;    // kept between the band and a control

// AText broken into lines of at most AWidth: at word boundaries, or inside a word too long
// for a line, so that nothing of the text is lost.
QStringList WrapLines(const QString& AText, const QFont& AFont, qreal AWidth) {
  QString LText = AText;
  LText.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout LLayout(LText, AFont);
  QTextOption LOption;
  LOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  LLayout.setTextOption(LOption);
  QStringList LLines;
  LLayout.beginLayout();
  for (QTextLine LLine = LLayout.createLine(); LLine.isValid(); LLine = LLayout.createLine()) {
    LLine.setLineWidth(std::max<qreal>(AWidth, 1));
    LLines << LText.mid(LLine.textStart(), LLine.textLength()).remove(QChar::LineSeparator).trimmed();
  }
  LLayout.endLayout();
  if (LLines.isEmpty()) LLines << QString();
  return LLines;
}

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
  FPressedOnBand = false;
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
  FToastRect->setFont(LFont);

  QMargins LMargins(15, 0, 15, 0);
  QPoint LPosition(0, 0);
  switch (Align) {
    case TToastAlign::Bottom: LMargins.setBottom(24); break;
    case TToastAlign::Top: LMargins.setTop(24); break;
    case TToastAlign::Center:
    case TToastAlign::None: break;
  }
  DoAlignment(LMargins, LPosition);
  FMargins = LMargins;
  FPosition = LPosition;
  PlaceBand();

  const qreal LRadius = std::min<qreal>(FToastRect->height(), FLineHeight * 1.8) * 0.15;
  FToastRect->setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; border-radius: %3px; }")
                                .arg(BackColor.name(QColor::HexArgb), FontColor.name(QColor::HexArgb))
                                .arg(LRadius));

  // Views and frames change under a band that is shown: it keeps clear of their controls.
  auto* LKeepClear = new QTimer(FToastContainer);
  LKeepClear->setInterval(cKeepClearMs);
  connect(LKeepClear, &QTimer::timeout, this, [this] { PlaceBand(); });
  LKeepClear->start();

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

void TZELToast::PlaceBand() {
  if (!FToastContainer || !FToastRect) return;
  QWidget* LOwner = FToastContainer->parentWidget();
  if (LOwner && FToastContainer->geometry() != LOwner->rect()) FToastContainer->setGeometry(LOwner->rect());
  const QRect LArea = FToastContainer->rect();
  const QFontMetricsF LMetrics(FToastRect->font());
  const QString LMessage = QString::fromStdString(ToastMessage);
  const auto LTextHeight = [&](const QString& AText) {
    return LMetrics.boundingRect(QRectF(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop, AText).height();
  };

  // The room the band may take: above a bottom margin, below a top one.
  int LMinTop = 0;
  int LMaxBottom = LArea.height() - 1;
  if (Align == TToastAlign::Bottom) LMaxBottom -= FMargins.bottom();
  if (Align == TToastAlign::Top) LMinTop = FMargins.top();

  // The band at its own spot, ASpan wide from ALeft, with its text wrapped to that width.
  struct TLayout {
    QRect Band;
    QString Text;
  };
  const auto Layout = [&](int ALeft, int ASpan) {
    QStringList LLines = WrapLines(LMessage, FToastRect->font(), ASpan - 2 * cTextPadding);
    FLineHeight = LTextHeight(LLines.front().isEmpty() ? QStringLiteral("X") : LLines.front());
    const auto LBandHeight = [&](const QStringList& ALines) {
      return static_cast<int>(std::lround(LTextHeight(ALines.join(QLatin1Char('\n'))) + FLineHeight * 0.8));
    };
    // More than the window holds: the last line that fits ends in an ellipsis.
    if (LBandHeight(LLines) > LMaxBottom - LMinTop + 1 && LLines.size() > 1) {
      QStringList LShown = LLines;
      while (LShown.size() > 1 && LBandHeight(LShown) > LMaxBottom - LMinTop + 1) LShown.removeLast();
      const QString LRest = QStringList(LLines.mid(LShown.size() - 1)).join(QLatin1Char(' '));
      LShown.last() = LMetrics.elidedText(LRest, Qt::ElideRight, ASpan - 2 * cTextPadding);
      LLines = LShown;
    }
    const int LHeight = LBandHeight(LLines);
    qreal LWidest = 0;
    for (const QString& LLine : LLines) LWidest = std::max(LWidest, LMetrics.horizontalAdvance(LLine));
    QRect LBand;
    switch (Align) {
      case TToastAlign::Bottom: LBand = QRect(ALeft, LMaxBottom + 1 - LHeight, ASpan, LHeight); break;
      case TToastAlign::Top: LBand = QRect(ALeft, FMargins.top(), ASpan, LHeight); break;
      case TToastAlign::Center: LBand = QRect(ALeft, (LArea.height() - LHeight) / 2, ASpan, LHeight); break;
      case TToastAlign::None:
        LBand = QRect(FPosition, QSize(std::min(static_cast<int>(std::lround(LWidest + 10)), ASpan), LHeight));
        break;
    }
    return TLayout{LBand, LLines.join(QLatin1Char('\n'))};
  };
  TLayout LPlaced = Align == TToastAlign::None
                        ? Layout(FPosition.x(), LArea.width() - FPosition.x())
                        : Layout(FMargins.left(), LArea.width() - FMargins.left() - FMargins.right());

  // Never over a control of the window: the nearest clear spot, narrowed between controls at
  // its sides (scroll bars) when it must; with none, the band is shown where it is but takes
  // no clicks, which go to the controls beneath it.
  bool LClear = true;
  if (!IsBlock && LOwner) {
    namespace C = Toast::Clearance;
    const std::vector<QRect> LControls = C::ControlRects(LOwner, FToastContainer);
    if (Align == TToastAlign::None) {
      LClear = std::none_of(LControls.begin(), LControls.end(),
                            [&](const QRect& R) { return R.intersects(LPlaced.Band); });
    } else if (const std::optional<int> LTop = C::ClearTop(LPlaced.Band, LControls, LMinTop, LMaxBottom, cControlGap)) {
      LPlaced.Band.moveTop(*LTop);
    } else {
      LClear = false;
      const QRect LSpan = C::BetweenSideControls(LPlaced.Band, LControls, cControlGap);
      if (LSpan.width() >= LPlaced.Band.width() * 0.6) {
        TLayout LNarrow = Layout(LSpan.left(), LSpan.width());
        if (const std::optional<int> LTop = C::ClearTop(LNarrow.Band, LControls, LMinTop, LMaxBottom, cControlGap)) {
          LNarrow.Band.moveTop(*LTop);
          LPlaced = LNarrow;
          LClear = true;
        }
      }
    }
  }
  FToastRect->setAttribute(Qt::WA_TransparentForMouseEvents, !LClear);
  FToastContainer->setAttribute(Qt::WA_TransparentForMouseEvents, !LClear);
  if (FToastRect->geometry() != LPlaced.Band) FToastRect->setGeometry(LPlaced.Band);
  if (FToastRect->text() != LPlaced.Text) FToastRect->setText(LPlaced.Text);
  const QRegion LMask(LPlaced.Band);
  if (!IsBlock && FToastContainer->mask() != LMask) FToastContainer->setMask(LMask);
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
  FToastRect->setTextFormat(Qt::PlainText);
  FToastRect->setWordWrap(false);  // broken into lines by the toast itself
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
  FPressedOnBand = false;
  Log("OnAnimationFinish. END.");
  emit Finished();
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
    // Only a press that began on this band, while it is shown, makes a click.
    if (LType == QEvent::MouseButtonPress) FPressedOnBand = true;
    if (LType == QEvent::MouseButtonRelease && std::exchange(FPressedOnBand, false) &&
        FToastRect->rect().contains(static_cast<QMouseEvent*>(AEvent)->position().toPoint()))
      DoToastRectClicked();
    return true;
  }
  if (LMouse && AWatched == FToastContainer.data()) return true;  // IsBlock: swallowed
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL

namespace ZEL::Toast {

void SetLogWriter(ILogWriter* AWriter) { GLogWriter.store(AWriter); }

}  // namespace ZEL::Toast
