#include "ZEL.Events.RowDelegate.h"

#include "ZEL.Events.RowModel.h"
#include "ZEL.LogsPipe.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ZEL {

namespace {

struct TStateLook {
  TEventAlertState State;
  const char* Letter;
  QRgb Colour;
};

constexpr TStateLook cStateLooks[] = {
    {TEventAlertState::easInitiated, "I", 0xFF008000},
    {TEventAlertState::easDismissed, "D", 0xFF808080},
    {TEventAlertState::easEscalated, "E", 0xFFF08080},
};
constexpr QRgb cStateBackground = 0xFFF8F8FF;
constexpr QRgb cActiveColour = 0xFF008000;
constexpr QRgb cInactiveColour = 0xFF708090;

QPixmap DrawStateBitmap(QSize ASize, const TStateLook& ALook) {
  QPixmap LBitmap(ASize);
  LBitmap.fill(Qt::transparent);
  QPainter LPainter(&LBitmap);
  LPainter.setRenderHint(QPainter::Antialiasing);
  QPainterPath LPath;
  LPath.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(ASize)), 0.3, 0.3);
  LPainter.fillPath(LPath, QColor::fromRgba(cStateBackground));
  QFont LFont = QApplication::font();
  LFont.setBold(true);
  LPainter.setFont(LFont);
  LPainter.setPen(QColor::fromRgba(ALook.Colour));
  LPainter.drawText(QRect(QPoint(0, 0), ASize), Qt::AlignCenter, QString::fromLatin1(ALook.Letter));
  return LBitmap;
}

// The eye: open for a seen alert, closed for a new one.
void DrawViewState(QPainter& APainter, QRect ARect, bool AViewed) {
  APainter.save();
  APainter.setRenderHint(QPainter::Antialiasing);
  APainter.setPen(QPen(QColor(AViewed ? 0xFF708090 : 0xFF1E90FF), 1.5));
  const QRectF LEye = QRectF(ARect).adjusted(1, 4, -1, -4);
  if (AViewed) {
    APainter.drawEllipse(LEye);
    APainter.setBrush(APainter.pen().color());
    APainter.drawEllipse(LEye.center(), 2.0, 2.0);
  } else {
    QPainterPath LLid;
    LLid.moveTo(LEye.left(), LEye.center().y());
    LLid.quadTo(LEye.center().x(), LEye.bottom() + 2, LEye.right(), LEye.center().y());
    APainter.drawPath(LLid);
  }
  APainter.restore();
}

}  // namespace

const QPixmap& TEventStateBitmaps::For(TEventAlertState AState, QSizeF ASize) {
  Create(ASize);
  return FBitmaps[AState];
}

void TEventStateBitmaps::Create(QSizeF ASize) {
  const int LWidth = static_cast<int>(std::lround(ASize.width()));
  const int LHeight = static_cast<int>(std::lround(ASize.height()));
  for (auto LIt = FBitmaps.begin(); LIt != FBitmaps.end();) {
    const QPixmap& LBitmap = LIt->second;
    if (LBitmap.width() != LWidth || LBitmap.height() != LHeight) {
      LogsPipe::ZELLog().WarnFmt("TEventsViewForm",
                                 "CreateStateBitmaps. Existing image({},{}) not matching container({}({:.2f}),{}({:.2f})), "
                                 "will be repainted!!",
                                 LBitmap.width(), LBitmap.height(), LWidth, ASize.width(), LHeight, ASize.height());
      LIt = FBitmaps.erase(LIt);
    } else {
      ++LIt;
    }
  }
  for (const TStateLook& LLook : cStateLooks) {
    if (FBitmaps.count(LLook.State)) continue;
    FBitmaps.emplace(LLook.State, DrawStateBitmap(QSize(LWidth, LHeight), LLook));
    ++FDrawn;
  }
}

TEventsRowDelegate::TEventsRowDelegate(QObject* AParent) : QStyledItemDelegate(AParent) {}

namespace {
// Enough for the rows of a tall window a few times over; then measured afresh.
constexpr qsizetype cMaxMeasured = 512;
}  // namespace

void TEventsRowDelegate::UseFont(const QFont& AFont) const {
  if (AFont == FMeasuredFont && AFont.resolveMask() == FMeasuredFont.resolveMask()) return;
  FMeasuredFont = AFont;
  FElided.clear();
  FAdvances.clear();
}

QString TEventsRowDelegate::Elided(TTextKind AKind, const QFont& AFont, const QString& AText, int AWidth) const {
  TTextKey LKey{AKind, AWidth, AText};
  if (const auto LIt = FElided.constFind(LKey); LIt != FElided.constEnd()) return LIt.value();
  if (FElided.size() >= cMaxMeasured) FElided.clear();
  const QString LElided = QFontMetrics(AFont).elidedText(AText, Qt::ElideRight, AWidth);
  FElided.insert(std::move(LKey), LElided);
  return LElided;
}

int TEventsRowDelegate::Advance(TTextKind AKind, const QFont& AFont, const QString& AText) const {
  TTextKey LKey{AKind, 0, AText};
  if (const auto LIt = FAdvances.constFind(LKey); LIt != FAdvances.constEnd()) return LIt.value();
  if (FAdvances.size() >= cMaxMeasured) FAdvances.clear();
  const int LAdvance = QFontMetrics(AFont).horizontalAdvance(AText);
  FAdvances.insert(std::move(LKey), LAdvance);
  return LAdvance;
}

QSize TEventsRowDelegate::sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex&) const {
  return QSize(AOption.rect.width() > 0 ? AOption.rect.width() : 412, cRowHeight);
}

void TEventsRowDelegate::paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
                               const QModelIndex& AIndex) const {
  QStyleOptionViewItem LOption(AOption);
  initStyleOption(&LOption, AIndex);
  LOption.text.clear();
  const QWidget* LWidget = AOption.widget;
  QStyle* LStyle = LWidget ? LWidget->style() : QApplication::style();
  // Background, alternating colour and selection as the style draws them.
  LStyle->drawControl(QStyle::CE_ItemViewItem, &LOption, APainter, LWidget);

  const QRect R = AOption.rect;
  APainter->save();
  const QColor LTextColour = AOption.palette.color(
      (AOption.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);
  UseFont(AOption.font);
  QFont LFont = AOption.font;
  LFont.setFamily(QStringLiteral("Tahoma"));
  LFont.setPointSize(11);

  // The state picture and its mark in the left column.
  const auto LState = static_cast<TEventAlertState>(AIndex.data(TEventsRowModel::StateRole).toInt());
  const QPixmap& LBitmap = FBitmaps.For(LState, QSizeF(cStateImageSize));
  APainter->drawPixmap(R.left() + 4, R.top() + 3, LBitmap);
  DrawViewState(*APainter, QRect(R.left() + 14, R.top() + 27, 16, 16),
                AIndex.data(TEventsRowModel::ViewedRole).toBool());
  QFont LSmall = LFont;
  LSmall.setPointSize(8);
  LSmall.setBold(true);
  APainter->setFont(LSmall);
  const bool LActive = AIndex.data(TEventsRowModel::ActiveRole).toBool();
  APainter->setPen(QColor::fromRgba(LActive ? cActiveColour : cInactiveColour));
  APainter->drawText(QRect(R.left() + 4, R.top() + 45, 36, 13), Qt::AlignCenter,
                     LActive ? QStringLiteral("ACT") : QStringLiteral("INACT"));

  // The time ends where the accessory begins; a long regional date widens it (the caption
  // gives way), so that the day is never cut off.
  const int LAccessoryX = R.right() - 21 - 10;
  const QString LTime = AIndex.data(TEventsRowModel::ReceivedAtRole).toString();
  const int LTimeWidth = std::max(149, Advance(TTextKind::Time, LFont, LTime) + 2);
  const QRect LTimeRect(LAccessoryX - LTimeWidth, R.top() + 2, LTimeWidth, 18);
  const int LLeft = R.left() + 44;
  QFont LBold = LFont;
  LBold.setBold(true);
  APainter->setPen(LTextColour);
  APainter->setFont(LFont);
  APainter->drawText(LTimeRect, Qt::AlignRight | Qt::AlignVCenter, LTime);
  APainter->setFont(LBold);
  const QRect LCaptionRect(LLeft, R.top() + 2, LTimeRect.left() - LLeft - 4, 20);
  APainter->drawText(LCaptionRect, Qt::AlignLeft | Qt::AlignVCenter,
                     Elided(TTextKind::Caption, LBold, AIndex.data(TEventsRowModel::CaptionRole).toString(),
                            LCaptionRect.width()));
  APainter->setFont(LFont);
  const QRect LTextRect(LLeft, R.top() + 21, LAccessoryX - LLeft, 19);
  APainter->drawText(LTextRect, Qt::AlignLeft | Qt::AlignVCenter,
                     Elided(TTextKind::Text, LFont, AIndex.data(TEventsRowModel::TextRole).toString(),
                            LTextRect.width()));
  QFont LOblique = LFont;
  LOblique.setItalic(true);
  APainter->setFont(LOblique);
  const QRect LSourceRect(LLeft, R.top() + 40, LAccessoryX - LLeft, 18);
  APainter->drawText(LSourceRect, Qt::AlignLeft | Qt::AlignBottom,
                     Elided(TTextKind::Source, LOblique, AIndex.data(TEventsRowModel::SourceRole).toString(),
                            LSourceRect.width()));
  // The accessory: the row opens its alert.
  APainter->setFont(LBold);
  APainter->drawText(QRect(LAccessoryX, R.top(), 21, R.height()), Qt::AlignCenter, QStringLiteral("›"));
  APainter->restore();
}

}  // namespace ZEL
