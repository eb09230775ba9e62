#include "ZEL.EventSources.RowDelegate.h"

#include "ZEL.EventSources.Rows.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace ZEL {

namespace {

bool IsHeader(const QModelIndex& AIndex) {
  return AIndex.data(TEventSourcesRowModel::KindRole).toInt() == static_cast<int>(TEventSourceRowKind::Header);
}

// Text that never runs past its box: names from the network can be long.
void DrawLine(QPainter& APainter, const QRect& ARect, int AFlags, const QString& AText) {
  APainter.drawText(ARect, AFlags, QFontMetrics(APainter.font()).elidedText(AText, Qt::ElideRight, ARect.width()));
}

}  // namespace

TEventSourcesRowDelegate::TEventSourcesRowDelegate(QObject* AParent) : QStyledItemDelegate(AParent) {}

QSize TEventSourcesRowDelegate::sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const {
  const int LWidth = AOption.rect.width() > 0 ? AOption.rect.width() : 375;
  return QSize(LWidth, IsHeader(AIndex) ? cHeaderHeight : cRowHeight);
}

void TEventSourcesRowDelegate::paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
                                     const QModelIndex& AIndex) const {
  const QRect R = AOption.rect;
  APainter->save();
  QFont LFont = AOption.font;
  LFont.setFamily(QStringLiteral("Tahoma"));
  if (IsHeader(AIndex)) {
    APainter->fillRect(R, AOption.palette.color(QPalette::AlternateBase));
    LFont.setPointSize(14);
    LFont.setBold(true);
    APainter->setFont(LFont);
    APainter->setPen(AOption.palette.color(QPalette::Text));
    DrawLine(*APainter, R.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter,
             AIndex.data(TEventSourcesRowModel::NameRole).toString());
    APainter->restore();
    return;
  }

  QStyleOptionViewItem LOption(AOption);
  initStyleOption(&LOption, AIndex);
  LOption.text.clear();
  const QWidget* LWidget = AOption.widget;
  QStyle* LStyle = LWidget ? LWidget->style() : QApplication::style();
  LStyle->drawControl(QStyle::CE_ItemViewItem, &LOption, APainter, LWidget);

  const QColor LTextColour =
      AOption.palette.color((AOption.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);
  const int LRight = R.right() - 3;
  LFont.setPointSize(11);
  QFont LBold = LFont;
  LBold.setBold(true);
  APainter->setPen(LTextColour);
  APainter->setFont(LBold);
  DrawLine(*APainter, QRect(R.left() + 3, R.top() + 1, LRight - R.left() - 3, 22), Qt::AlignLeft | Qt::AlignVCenter,
           AIndex.data(TEventSourcesRowModel::NameRole).toString());
  APainter->setFont(LFont);
  DrawLine(*APainter, QRect(R.left() + 3, R.top() + 22, LRight - R.left() - 3, 20), Qt::AlignLeft | Qt::AlignVCenter,
           AIndex.data(TEventSourcesRowModel::DescriptionRole).toString());
  APainter->setFont(LBold);
  APainter->setPen(AIndex.data(TEventSourcesRowModel::ColourRole).value<QColor>());
  DrawLine(*APainter, QRect(R.left() + 1, R.top() + 42, 92, 18), Qt::AlignLeft | Qt::AlignVCenter,
           AIndex.data(TEventSourcesRowModel::StateTextRole).toString());
  APainter->setFont(LFont);
  APainter->setPen(LTextColour);
  DrawLine(*APainter, QRect(R.left() + 95, R.top() + 42, LRight - R.left() - 95, 18), Qt::AlignLeft | Qt::AlignVCenter,
           AIndex.data(TEventSourcesRowModel::TimeTextRole).toString());
  APainter->restore();
}

}  // namespace ZEL
