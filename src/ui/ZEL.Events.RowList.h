#pragma once
// The list of the Events view: a list view whose rows are all one height, so that a row's
// place is computed from its number. The plain list view lays out every row again on each
// insert (on 100,000 rows, some milliseconds for one live alert); this one keeps no layout
// at all and touches only the rows in sight. It places, paints, hit-tests, scrolls and
// selects rows as the plain list view does in its top-to-bottom list mode with the same
// spacing, so rows look and behave as before. Only that mode: no icon mode, wrapping, hidden
// rows or rows of their own heights. One difference: scrolled away from the top, rows
// inserted above the rows in sight leave those where they are on the screen.

#include <QListView>
#include <QPersistentModelIndex>

namespace ZEL {

class TEventsRowList : public QListView {
  Q_OBJECT
public:
  explicit TEventsRowList(QWidget* AParent = nullptr);

  // The height of every row (the delegate's size hint of the first row).
  int RowHeight() const;
  // The distance from one row's top to the next one's.
  int RowStride() const { return RowHeight() + 2 * spacing(); }

  QRect visualRect(const QModelIndex& AIndex) const override;
  QModelIndex indexAt(const QPoint& APoint) const override;
  void scrollTo(const QModelIndex& AIndex, ScrollHint AHint = EnsureVisible) override;
  void doItemsLayout() override;
  void reset() override;

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  bool viewportEvent(QEvent* AEvent) override;
  void scrollContentsBy(int ADX, int ADY) override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex& AParent, int AStart, int AEnd) override;
  void rowsAboutToBeRemoved(const QModelIndex& AParent, int AStart, int AEnd) override;
  void dataChanged(const QModelIndex& ATopLeft, const QModelIndex& ABottomRight,
                   const QList<int>& ARoles = QList<int>()) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  QModelIndex moveCursor(CursorAction ACursorAction, Qt::KeyboardModifiers AModifiers) override;
  void setSelection(const QRect& ARect, QItemSelectionModel::SelectionFlags ACommand) override;
  QRegion visualRegionForSelection(const QItemSelection& ASelection) const override;

private:
  int RowCount() const;
  // The row whose span (its rectangle and the gap below it) holds the contents' y, or -1.
  int RowAtContentsY(int AY) const;
  // The row's rectangle in the contents' coordinates.
  QRect ContentsRect(int ARow) const;
  QModelIndex IndexOf(int ARow) const;

  mutable int FRowHeight = -1;  // asked of the delegate again after a reset or layout
  QPersistentModelIndex FHover;
};

}  // namespace ZEL
