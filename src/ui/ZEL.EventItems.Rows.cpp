#include "ZEL.EventItems.Rows.h"

#include <QApplication>
#include <QFontMetrics>
#include <QListView>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace ZEL {

namespace {

using TKind = TTimelineRow::TKind;
namespace D = EventItems::Decisions;

QString Q(const std::string& AText) { return QString::fromStdString(AText); }

// CR LF from the model reads as one line break.
QString Lines(const std::string& AText) { return Q(AText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

constexpr int cTimeColumn = 60;
constexpr int cTitleHeight = 24;
constexpr int cStatusHeight = 20;
constexpr int cItemBase = 70;  // an item row without text, before the text's height - 10
constexpr int cDateHeight = 34;
constexpr int cSeparatorHeight = 15;
constexpr int cBubbleLeft = 24;   // room for the callout
constexpr int cBubbleMargin = 13;
constexpr QRgb cBubbleColour = 0xFFF0F8FF;  // AliceBlue

QFont TitleFont() {
  QFont LFont = QApplication::font();
  LFont.setBold(true);
  return LFont;
}

QFont SmallFont(int APoints) {
  QFont LFont = QApplication::font();
  LFont.setPointSize(APoints);
  return LFont;
}

int TextHeight(const QString& AText, const QFont& AFont, int AWidth) {
  if (AText.isEmpty()) return 0;
  // Laid out for every row of a long history: one line that fits needs no wrapping pass.
  const QFontMetrics LMetrics(AFont);
  const int LWidth = std::max(AWidth, 20);
  if (!AText.contains(QLatin1Char('\n')) && LMetrics.horizontalAdvance(AText) <= LWidth) return LMetrics.height();
  return LMetrics.boundingRect(QRect(0, 0, LWidth, 100000), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, AText)
      .height();
}

int ItemTextWidth(int ARowWidth) { return ARowWidth - cTimeColumn - 12; }
int BubbleTextWidth(int ARowWidth) { return ARowWidth - cBubbleLeft - 2 * cBubbleMargin - 12; }

void DrawCounter(QPainter& APainter, QRect ARect, int ACount, bool AVideo) {
  const QRect LIcon(ARect.left(), ARect.top() + 3, 16, 14);
  APainter.save();
  APainter.setPen(QPen(QColor(0xFF708090), 1.2));
  APainter.setBrush(Qt::NoBrush);
  APainter.drawRoundedRect(LIcon, 2, 2);
  if (AVideo) {
    // a film: a frame with a play mark
    QPolygon LPlay;
    LPlay << QPoint(LIcon.left() + 6, LIcon.top() + 3) << QPoint(LIcon.left() + 6, LIcon.bottom() - 3)
          << QPoint(LIcon.right() - 4, LIcon.center().y());
    APainter.setBrush(QColor(0xFF708090));
    APainter.drawPolygon(LPlay);
  } else {
    // a picture: a hill and a sun
    APainter.drawLine(LIcon.left() + 2, LIcon.bottom() - 2, LIcon.left() + 7, LIcon.top() + 6);
    APainter.drawLine(LIcon.left() + 7, LIcon.top() + 6, LIcon.right() - 2, LIcon.bottom() - 2);
    APainter.drawEllipse(QPoint(LIcon.right() - 4, LIcon.top() + 4), 1, 1);
  }
  APainter.restore();
  APainter.drawText(QRect(LIcon.right() + 4, ARect.top(), ARect.width() - 20, ARect.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, QString::number(std::max(ACount, 0)));
}

}  // namespace

// --- model -------------------------------------------------------------------------------

TTimelineRowModel::TTimelineRowModel(QObject* AParent) : QAbstractListModel(AParent) {}

int TTimelineRowModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TTimelineRowModel::data(const QModelIndex& AIndex, int ARole) const {
  if (!AIndex.isValid() || AIndex.row() >= rowCount()) return {};
  const TTimelineRow& LRow = Row(AIndex.row());
  switch (ARole) {
    case Qt::DisplayRole:
      return LRow.Kind == TKind::Item ? Lines(LRow.Item.Caption + "\r\n" + LRow.Item.Text) : Lines(LRow.Text);
    case TagRole: return Q(LRow.Tag());
    case KindRole: return static_cast<int>(LRow.Kind);
    default: return {};
  }
}

void TTimelineRowModel::Reset(std::vector<TTimelineRow> ARows) {
  beginResetModel();
  FRows.assign(std::make_move_iterator(ARows.begin()), std::make_move_iterator(ARows.end()));
  endResetModel();
}

void TTimelineRowModel::AddItem(D::TItemRow ARow, bool AToTop) {
  const int LAt = AToTop ? std::min(cFirstItemRow, rowCount()) : rowCount();
  beginInsertRows({}, LAt, LAt);
  TTimelineRow LRow;
  LRow.Kind = TKind::Item;
  LRow.Item = std::move(ARow);
  FRows.insert(FRows.begin() + LAt, std::move(LRow));
  endInsertRows();
}

int TTimelineRowModel::IndexOfItem(const std::string& AID) const {
  if (AID.empty()) return -1;
  const QString LID = Q(AID);
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Kind == TKind::Item && Q(FRows[i].Item.ID).compare(LID, Qt::CaseInsensitive) == 0)
      return static_cast<int>(i);
  return -1;
}

void TTimelineRowModel::UpdateItem(int ARow, D::TItemRow AValue) {
  if (ARow < 0 || ARow >= rowCount() || FRows[static_cast<std::size_t>(ARow)].Kind != TKind::Item) return;
  FRows[static_cast<std::size_t>(ARow)].Item = std::move(AValue);
  emit dataChanged(index(ARow), index(ARow));
}

// --- delegate ----------------------------------------------------------------------------

TTimelineRowDelegate::TTimelineRowDelegate(QListView* AList) : QStyledItemDelegate(AList), FList(AList) {}

int TTimelineRowDelegate::RowWidth() const {
  return FList ? std::max(FList->viewport()->width(), 200) : 360;
}

QSize TTimelineRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& AIndex) const {
  const auto* LModel = qobject_cast<const TTimelineRowModel*>(AIndex.model());
  if (!LModel || AIndex.row() >= LModel->rowCount()) return {RowWidth(), 20};
  const TTimelineRow& LRow = LModel->Row(AIndex.row());
  const int LWidth = RowWidth();
  switch (LRow.Kind) {
    case TKind::DateLine: return {LWidth, cDateHeight};
    case TKind::Separator: return {LWidth, cSeparatorHeight};
    case TKind::Bubble:
      return {LWidth, TextHeight(Lines(LRow.Text), QApplication::font(), BubbleTextWidth(LWidth)) + 2 * 5 + 6};
    case TKind::Item:
      return {LWidth, cItemBase + TextHeight(Lines(LRow.Item.Text), QApplication::font(), ItemTextWidth(LWidth)) - 10};
  }
  return {LWidth, 20};
}

void TTimelineRowDelegate::paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
                                 const QModelIndex& AIndex) const {
  const auto* LModel = qobject_cast<const TTimelineRowModel*>(AIndex.model());
  if (!LModel || AIndex.row() >= LModel->rowCount()) return;
  const TTimelineRow& LRow = LModel->Row(AIndex.row());
  const QRect R = AOption.rect;
  APainter->save();
  APainter->setRenderHint(QPainter::Antialiasing);
  switch (LRow.Kind) {
    case TKind::DateLine: {
      APainter->setFont(SmallFont(9));
      const QString LText = Q(LRow.Text);
      const int LTextWidth = QFontMetrics(APainter->font()).horizontalAdvance(LText) + 24;
      const QRect LBox(R.center().x() - LTextWidth / 2, R.top() + 5, LTextWidth, R.height() - 10);
      APainter->setPen(Qt::NoPen);
      APainter->setBrush(QColor(0xFFE6E6E6));
      APainter->drawRoundedRect(LBox, LBox.height() / 2.0, LBox.height() / 2.0);
      APainter->setPen(QColor(0xFF505050));
      APainter->drawText(LBox, Qt::AlignCenter, LText);
      break;
    }
    case TKind::Separator:
      APainter->setPen(QPen(QColor(0xFFC8C8C8), 2));
      APainter->drawLine(R.left() + 8, R.center().y(), R.right() - 8, R.center().y());
      break;
    case TKind::Bubble: {
      const QRect LBox = R.adjusted(cBubbleLeft, 3, -12, -3);
      QPainterPath LPath;
      LPath.addRoundedRect(LBox, 8, 8);
      // the callout on the left, near the top
      QPolygonF LCallout;
      LCallout << QPointF(LBox.left(), LBox.top() + 8) << QPointF(LBox.left() - 11, LBox.top() + 12)
               << QPointF(LBox.left(), LBox.top() + 23);
      LPath.addPolygon(LCallout);
      LPath.setFillRule(Qt::WindingFill);
      APainter->fillPath(LPath.simplified(), QColor::fromRgba(cBubbleColour));
      APainter->setPen(QColor(0xFFB0C4DE));
      APainter->drawPath(LPath.simplified());
      APainter->setPen(AOption.palette.color(QPalette::Text));
      APainter->setFont(QApplication::font());
      APainter->drawText(LBox.adjusted(cBubbleMargin, 5, -cBubbleMargin, -2),
                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, Lines(LRow.Text));
      break;
    }
    case TKind::Item: {
      const D::TItemRow& LItem = LRow.Item;
      if (AOption.state & QStyle::State_Selected) APainter->fillRect(R, QColor(0xFFE8F0FE));
      else if (AIndex.row() % 2 == 0) APainter->fillRect(R, QColor(0xFFFAFAFA));
      // time in an outlined circle
      const QRect LCircle(R.left() + 8, R.top() + 8, 44, 44);
      APainter->setPen(QPen(QColor(0xFF1E90FF), 1.5));
      APainter->setBrush(Qt::NoBrush);
      APainter->drawEllipse(LCircle);
      APainter->setFont(SmallFont(8));
      APainter->setPen(QColor(0xFF303030));
      APainter->drawText(LCircle, Qt::AlignCenter, Lines(LItem.Time));
      const int LLeft = R.left() + cTimeColumn;
      const int LWidth = ItemTextWidth(R.width());
      APainter->setFont(TitleFont());
      APainter->drawText(QRect(LLeft, R.top() + 4, LWidth, cTitleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(TitleFont()).elidedText(Lines(LItem.Caption), Qt::ElideRight, LWidth));
      APainter->setFont(QApplication::font());
      APainter->drawText(QRect(LLeft, R.top() + 4 + cTitleHeight, LWidth, R.height() - cTitleHeight - cStatusHeight - 4),
                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, Lines(LItem.Text));
      if (LItem.HasStatus) {
        const QRect LStrip(LLeft, R.bottom() - cStatusHeight, LWidth, cStatusHeight);
        APainter->setFont(SmallFont(8));
        APainter->setPen(QColor(0xFF606060));
        const QRect LStatus = LStrip.adjusted(0, 0, -105, 0);
        APainter->drawText(LStatus, Qt::AlignLeft | Qt::AlignVCenter,
                           QFontMetrics(APainter->font()).elidedText(Q(LItem.Status), Qt::ElideRight, LStatus.width()));
        DrawCounter(*APainter, QRect(LStrip.right() - 105, LStrip.top(), 52, cStatusHeight), LItem.Images, false);
        DrawCounter(*APainter, QRect(LStrip.right() - 52, LStrip.top(), 52, cStatusHeight), LItem.Videos, true);
      }
      APainter->setPen(QColor(0xFFE0E0E0));
      APainter->drawLine(R.left(), R.bottom(), R.right(), R.bottom());
      break;
    }
  }
  APainter->restore();
}

}  // namespace ZEL
