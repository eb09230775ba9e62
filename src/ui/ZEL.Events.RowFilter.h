#pragma once
// The filter between the Events view's rows and the list: the raw row filter (the alert
// test, which the view supplies) is asked first, then the search text.
//
// The rows shown are kept as an ascending run of the rows' numbers plus one offset, so a
// row added on top of the list shifts every number by changing the offset alone: a live
// alert costs the same on 100,000 rows as on ten. Other changes (a row added in the middle,
// removed) move only the numbers after it.

#include "ZEL.Events.RowModel.h"

#include <QAbstractProxyModel>

#include <deque>
#include <functional>

namespace ZEL {

class TEventsRowFilter : public QAbstractProxyModel {
  Q_OBJECT
public:
  using TRawFilter = std::function<bool(const TEventRow&)>;

  explicit TEventsRowFilter(TEventsRowModel* ASource, QObject* AParent = nullptr);

  // Empty switches the raw filter off. Filters again (one reset of the rows shown).
  void SetRawFilter(TRawFilter AFilter);
  bool HasRawFilter() const { return static_cast<bool>(FRawFilter); }
  // Rows whose caption, text or source contain the text, ignoring case; empty: all rows.
  void SetSearchText(const QString& AText);
  const QString& SearchText() const { return FSearch; }
  // Some filter is in force (the list shows "Filtered").
  bool Filtering() const { return HasRawFilter() || !FSearch.isEmpty(); }

  // The search predicate alone, for one row.
  static bool MatchesSearch(const TEventRow& ARow, const QString& AText);

  QModelIndex mapToSource(const QModelIndex& AProxy) const override;
  QModelIndex mapFromSource(const QModelIndex& ASource) const override;
  QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& AChild) const override;
  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  int columnCount(const QModelIndex& AParent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& AParent = QModelIndex()) const override;

private:
  // The raw filter, then the search text, for one row of the source.
  bool Accepts(int ASourceRow) const;
  void Rebuild();
  // The first row shown whose source row is at or after ASourceRow.
  int LowerBound(int ASourceRow) const;
  int SourceRowOf(int AShown) const { return static_cast<int>(FShown[static_cast<std::size_t>(AShown)] - FBase); }
  // The rows shown whose source row is at or after ASourceRow move by ADelta.
  void Shift(int ASourceRow, int ADelta);
  void SourceRowsInserted(const QModelIndex& AParent, int AFirst, int ALast);
  void SourceRowsAboutToBeRemoved(const QModelIndex& AParent, int AFirst, int ALast);
  void SourceRowsRemoved(const QModelIndex& AParent, int AFirst, int ALast);
  void SourceDataChanged(const QModelIndex& ATopLeft, const QModelIndex& ABottomRight, const QList<int>& ARoles);

  TEventsRowModel* FRows;
  TRawFilter FRawFilter;
  QString FSearch;
  std::deque<qint64> FShown;  // per row shown: its source row + FBase, ascending
  qint64 FBase = 0;
};

}  // namespace ZEL
