#include "ZEL.Events.RowFilter.h"

namespace ZEL {

TEventsRowFilter::TEventsRowFilter(TEventsRowModel* ASource, QObject* AParent)
    : QSortFilterProxyModel(AParent), FRows(ASource) {
  // A changed row is tested again on its own, without filtering the whole list.
  setDynamicSortFilter(true);
  setSourceModel(ASource);
}

// A new filter is a reset, not a re-filter: on a long list the latter announces every run
// of hidden rows on its own, and the list view lays itself out again for each.
void TEventsRowFilter::SetRawFilter(TRawFilter AFilter) {
  beginResetModel();
  FRawFilter = std::move(AFilter);
  endResetModel();
}

void TEventsRowFilter::SetSearchText(const QString& AText) {
  if (AText == FSearch) return;
  beginResetModel();
  FSearch = AText;
  endResetModel();
}

bool TEventsRowFilter::MatchesSearch(const TEventRow& ARow, const QString& AText) {
  return AText.isEmpty() || ARow.Caption.contains(AText, Qt::CaseInsensitive) ||
         ARow.Text.contains(AText, Qt::CaseInsensitive) || ARow.Source.contains(AText, Qt::CaseInsensitive);
}

bool TEventsRowFilter::filterAcceptsRow(int ASourceRow, const QModelIndex&) const {
  if (ASourceRow < 0 || ASourceRow >= FRows->rowCount()) return false;
  const TEventRow& LRow = FRows->Row(ASourceRow);
  if (FRawFilter && !FRawFilter(LRow)) return false;
  return MatchesSearch(LRow, FSearch);
}

}  // namespace ZEL
