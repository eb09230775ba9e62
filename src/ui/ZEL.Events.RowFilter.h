#pragma once
// The filter between the Events view's rows and the list: the raw row filter (the alert
// test, which the view supplies) is asked first, then the search text.

#include "ZEL.Events.RowModel.h"

#include <QSortFilterProxyModel>

#include <functional>

namespace ZEL {

class TEventsRowFilter : public QSortFilterProxyModel {
  Q_OBJECT
public:
  using TRawFilter = std::function<bool(const TEventRow&)>;

  explicit TEventsRowFilter(TEventsRowModel* ASource, QObject* AParent = nullptr);

  // Empty switches the raw filter off. Filters again.
  void SetRawFilter(TRawFilter AFilter);
  bool HasRawFilter() const { return static_cast<bool>(FRawFilter); }
  // Rows whose caption, text or source contain the text, ignoring case; empty: all rows.
  void SetSearchText(const QString& AText);
  const QString& SearchText() const { return FSearch; }
  // Some filter is in force (the list shows "Filtered").
  bool Filtering() const { return HasRawFilter() || !FSearch.isEmpty(); }

  // The search predicate alone, for one row.
  static bool MatchesSearch(const TEventRow& ARow, const QString& AText);

protected:
  bool filterAcceptsRow(int ASourceRow, const QModelIndex& ASourceParent) const override;

private:
  TEventsRowModel* FRows;
  TRawFilter FRawFilter;
  QString FSearch;
};

}  // namespace ZEL
