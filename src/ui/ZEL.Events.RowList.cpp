#include "ZEL.Events.RowList.h"

#include <QAbstractItemDelegate>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace ZEL {

TEventsRowList::TEventsRowList(QWidget* AParent) : QListView(AParent) {
  setUniformItemSizes(true);
  setVerticalScrollMode(ScrollPerPixel);
}

// --- geometry ------------------------------------------------------------------------------
// A row sits at spacing + row * (height + 2 * spacing) from the top, spans the viewport's
// width less the spacing on either side, and owns the gap below it for hit tests.

int TEventsRowList::RowHeight() const {
  if (FRowHeight < 0) {
    QStyleOptionViewItem LOption;
    initViewItemOption(&LOption);
    LOption.rect = QRect(0, 0, std::max(0, viewport()->width() - 2 * spacing()), 0);
    const int LRows = RowCount();
    const QModelIndex LSample = LRows > 0 ? IndexOf(LRows - 1) : QModelIndex();
    const QAbstractItemDelegate* LDelegate = LSample.isValid() ? itemDelegateForIndex(LSample) : itemDelegate();
    FRowHeight = LDelegate ? std::max(1, LDelegate->sizeHint(LOption, LSample).height()) : 1;
  }
  return FRowHeight;
}

int TEventsRowList::RowCount() const { return model() ? model()->rowCount(rootIndex()) : 0; }

QModelIndex TEventsRowList::IndexOf(int ARow) const { return model()->index(ARow, modelColumn(), rootIndex()); }

QRect TEventsRowList::ContentsRect(int ARow) const {
  const int LSpacing = spacing();
  const qint64 LTop = LSpacing + static_cast<qint64>(ARow) * RowStride();
  return QRect(LSpacing, static_cast<int>(std::min<qint64>(LTop, INT_MAX)), std::max(0, viewport()->width() - 2 * LSpacing),
               RowHeight());
}

int TEventsRowList::RowAtContentsY(int AY) const {
  const int LRows = RowCount();
  const qint64 LEnd = static_cast<qint64>(LRows) * RowStride();
  if (LRows == 0 || AY < spacing() || AY > LEnd) return -1;
  return std::min((AY - spacing()) / RowStride(), LRows - 1);
}

QRect TEventsRowList::visualRect(const QModelIndex& AIndex) const {
  if (!AIndex.isValid() || AIndex.model() != model() || AIndex.parent() != rootIndex() ||
      AIndex.column() != modelColumn() || isIndexHidden(AIndex))
    return {};
  return ContentsRect(AIndex.row()).translated(-horizontalOffset(), -verticalOffset());
}

QModelIndex TEventsRowList::indexAt(const QPoint& APoint) const {
  if (APoint.x() + horizontalOffset() < spacing()) return {};
  const int LRow = RowAtContentsY(APoint.y() + verticalOffset());
  if (LRow < 0) return {};
  const QModelIndex LIndex = IndexOf(LRow);
  return visualRect(LIndex).contains(APoint) ? LIndex : QModelIndex();
}

int TEventsRowList::horizontalOffset() const {
  const QScrollBar* LBar = horizontalScrollBar();
  return isRightToLeft() ? LBar->maximum() - LBar->value() : LBar->value();
}

int TEventsRowList::verticalOffset() const { return verticalScrollBar()->value(); }

// --- layout: nothing per row ----------------------------------------------------------------

void TEventsRowList::doItemsLayout() {
  FRowHeight = -1;
  // Not the list view's own layout, which walks every row; only the scroll bars and a repaint.
  QAbstractItemView::doItemsLayout();
}

void TEventsRowList::reset() {
  FRowHeight = -1;
  FHover = QPersistentModelIndex();
  QListView::reset();
}

void TEventsRowList::updateGeometries() {
  const int LRows = RowCount();
  if (geometry().isEmpty() || LRows <= 0 || !model() || model()->columnCount(rootIndex()) <= 0) {
    horizontalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setRange(0, 0);
  } else {
    const int LViewport = viewport()->height();
    const qint64 LContents = static_cast<qint64>(LRows) * RowStride();
    verticalScrollBar()->setSingleStep(RowHeight() + spacing());
    verticalScrollBar()->setPageStep(LViewport);
    verticalScrollBar()->setRange(0, static_cast<int>(std::clamp<qint64>(LContents - LViewport, 0, INT_MAX)));
    horizontalScrollBar()->setRange(0, 0);
  }
  QAbstractItemView::updateGeometries();
}

void TEventsRowList::rowsInserted(const QModelIndex& AParent, int AStart, int AEnd) {
  QAbstractItemView::rowsInserted(AParent, AStart, AEnd);
  if (AParent != rootIndex()) return;
  // Scrolled away from the top, rows inserted at or above the top row in sight would push
  // every row in sight down under the pointer (a double click would open the neighbour):
  // the scroll position moves with them instead. At the top the new rows show.
  const int LValue = verticalScrollBar()->value();
  const int LStride = RowStride();
  if (LValue > 0 && AStart <= std::max(0, LValue - spacing()) / LStride) {
    updateGeometries();  // the range must already hold the new rows
    const qint64 LShift = static_cast<qint64>(AEnd - AStart + 1) * LStride;
    verticalScrollBar()->setValue(static_cast<int>(std::min<qint64>(LValue + LShift, INT_MAX)));
  }
  scheduleDelayedItemsLayout();
}

void TEventsRowList::rowsAboutToBeRemoved(const QModelIndex& AParent, int AStart, int AEnd) {
  QAbstractItemView::rowsAboutToBeRemoved(AParent, AStart, AEnd);
  if (AParent == rootIndex()) scheduleDelayedItemsLayout();
}

void TEventsRowList::dataChanged(const QModelIndex& ATopLeft, const QModelIndex& ABottomRight,
                                 const QList<int>& ARoles) {
  // A changed row keeps its height: it is only painted again.
  QAbstractItemView::dataChanged(ATopLeft, ABottomRight, ARoles);
}

void TEventsRowList::scrollContentsBy(int ADX, int ADY) {
  viewport()->scroll(isRightToLeft() ? -ADX : ADX, ADY);
}

void TEventsRowList::scrollTo(const QModelIndex& AIndex, ScrollHint AHint) {
  const QRect LRect = visualRect(AIndex);
  if (!LRect.isValid()) return;
  const QRect LArea = viewport()->rect();
  if (AHint == EnsureVisible && LArea.contains(LRect)) {
    viewport()->update(LRect);
    return;
  }
  const bool LAbove = AHint == EnsureVisible && LRect.top() < LArea.top();
  const bool LBelow = AHint == EnsureVisible && LRect.bottom() > LArea.bottom();
  const QRect LAdjusted = LRect.adjusted(-spacing(), -spacing(), spacing(), spacing());
  int LValue = verticalScrollBar()->value();
  if (AHint == PositionAtTop || LAbove)
    LValue += LAdjusted.top();
  else if (AHint == PositionAtBottom || LBelow)
    LValue += std::min(LAdjusted.top(), LAdjusted.bottom() - LArea.height() + 1);
  else if (AHint == PositionAtCenter)
    LValue += LAdjusted.top() - ((LArea.height() - LAdjusted.height()) / 2);
  verticalScrollBar()->setValue(LValue);
}

// --- keys and selection ----------------------------------------------------------------------

QModelIndex TEventsRowList::moveCursor(CursorAction ACursorAction, Qt::KeyboardModifiers) {
  const int LRows = RowCount();
  if (LRows == 0) return {};
  const QModelIndex LCurrent = currentIndex();
  if (!LCurrent.isValid()) return IndexOf(0);
  const int LPage = std::max(1, viewport()->height() / RowStride());
  int LRow = LCurrent.row();
  switch (ACursorAction) {
    case MoveUp:
    case MovePrevious:
      --LRow;
      break;
    case MoveDown:
    case MoveNext:
      ++LRow;
      break;
    case MovePageUp:
      LRow -= LPage;
      break;
    case MovePageDown:
      LRow += LPage;
      break;
    case MoveHome:
      LRow = 0;
      break;
    case MoveEnd:
      LRow = LRows - 1;
      break;
    default:
      return LCurrent;
  }
  return IndexOf(std::clamp(LRow, 0, LRows - 1));
}

void TEventsRowList::setSelection(const QRect& ARect, QItemSelectionModel::SelectionFlags ACommand) {
  QItemSelectionModel* LSelection = selectionModel();
  if (!LSelection) return;
  // As the list view does: the rows under the rectangle's two corners and those between.
  const auto LRowAt = [this](int AX, int AY) {
    if (AX + horizontalOffset() < spacing()) return -1;
    const int LRow = RowAtContentsY(AY + verticalOffset());
    return LRow >= 0 && (model()->flags(IndexOf(LRow)) & Qt::ItemIsEnabled) ? LRow : -1;
  };
  const int LFirst = LRowAt(ARect.left(), ARect.top());
  const int LLast = (ARect.width() == 1 && ARect.height() == 1) ? LFirst : LRowAt(ARect.right(), ARect.bottom());
  QItemSelection LRows;
  if (LFirst >= 0 && LLast >= 0) LRows.select(IndexOf(std::min(LFirst, LLast)), IndexOf(std::max(LFirst, LLast)));
  LSelection->select(LRows, ACommand);
}

QRegion TEventsRowList::visualRegionForSelection(const QItemSelection& ASelection) const {
  QRegion LRegion;
  const QRect LViewport = viewport()->rect();
  for (const QItemSelectionRange& LRange : ASelection) {
    if (!LRange.isValid() || LRange.parent() != rootIndex() || LRange.left() > modelColumn() ||
        LRange.right() < modelColumn())
      continue;
    const QRect LTop = ContentsRect(LRange.top()).translated(-horizontalOffset(), -verticalOffset());
    const QRect LBottom = ContentsRect(LRange.bottom()).translated(-horizontalOffset(), -verticalOffset());
    LRegion += LTop.united(LBottom).intersected(LViewport);
  }
  return LRegion;
}

// --- painting ----------------------------------------------------------------------------------

bool TEventsRowList::viewportEvent(QEvent* AEvent) {
  switch (AEvent->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
      FHover = indexAt(static_cast<QHoverEvent*>(AEvent)->position().toPoint());
      break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
      FHover = QPersistentModelIndex();
      break;
    default:
      break;
  }
  return QListView::viewportEvent(AEvent);
}

// Paints the rows under the dirty rectangle only, each as the list view paints it.
void TEventsRowList::paintEvent(QPaintEvent* AEvent) {
  if (!model() || !itemDelegate()) return;
  const int LRows = RowCount();
  if (LRows == 0) return;
  const QRect LArea = AEvent->rect().translated(horizontalOffset(), verticalOffset());
  const int LStride = RowStride();
  if (LArea.bottom() < spacing()) return;
  const int LFirst = LArea.top() < spacing() ? 0 : (LArea.top() - spacing()) / LStride;
  const int LLast = std::min(LRows - 1, (LArea.bottom() - spacing()) / LStride);
  if (LFirst > LLast) return;

  QStyleOptionViewItem LOption;
  initViewItemOption(&LOption);
  const QModelIndex LCurrent = currentIndex();
  const QItemSelectionModel* LSelection = selectionModel();
  const bool LFocus = (hasFocus() || viewport()->hasFocus()) && LCurrent.isValid();
  const QStyle::State LState = LOption.state;
  const bool LEnabled = (LState & QStyle::State_Enabled) != 0;
  QPainter LPainter(viewport());
  for (int LRow = LFirst; LRow <= LLast; ++LRow) {
    const QModelIndex LIndex = IndexOf(LRow);
    LOption.rect = visualRect(LIndex);
    LOption.state = LState;
    if (LSelection && LSelection->isSelected(LIndex)) LOption.state |= QStyle::State_Selected;
    if (LEnabled) {
      QPalette::ColorGroup LGroup = QPalette::Normal;
      if ((model()->flags(LIndex) & Qt::ItemIsEnabled) == 0) {
        LOption.state &= ~QStyle::State_Enabled;
        LGroup = QPalette::Disabled;
      }
      LOption.palette.setCurrentColorGroup(LGroup);
    }
    if (LFocus && LCurrent == LIndex) {
      LOption.state |= QStyle::State_HasFocus;
      if (state() == EditingState) LOption.state |= QStyle::State_Editing;
    }
    LOption.state.setFlag(QStyle::State_MouseOver, FHover.isValid() && LIndex == FHover);
    if (alternatingRowColors()) {
      // The background of an alternate row; the delegate paints the rest.
      LOption.features.setFlag(QStyleOptionViewItem::Alternate, (LRow & 1) != 0);
      const QStyle::State LOld = LOption.state;
      LOption.state &= ~QStyle::State_Selected;
      style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &LOption, &LPainter, this);
      LOption.state = LOld;
    }
    itemDelegateForIndex(LIndex)->paint(&LPainter, LOption, LIndex);
  }
}

}  // namespace ZEL
