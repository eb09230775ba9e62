#include "ZEL.Events.RowFilter.h"

#include <algorithm>
#include <vector>

namespace ZEL {

TEventsRowFilter::TEventsRowFilter(TEventsRowModel* ASource, QObject* AParent)
    : QAbstractProxyModel(AParent), FRows(ASource) {
  QAbstractProxyModel::setSourceModel(ASource);
  connect(ASource, &QAbstractItemModel::rowsInserted, this, &TEventsRowFilter::SourceRowsInserted);
  connect(ASource, &QAbstractItemModel::rowsAboutToBeRemoved, this, &TEventsRowFilter::SourceRowsAboutToBeRemoved);
  connect(ASource, &QAbstractItemModel::rowsRemoved, this, &TEventsRowFilter::SourceRowsRemoved);
  connect(ASource, &QAbstractItemModel::dataChanged, this, &TEventsRowFilter::SourceDataChanged);
  // A reset or a new order of the source is a reset here; the rows never move otherwise.
  const auto LBegin = [this] { beginResetModel(); };
  const auto LEnd = [this] {
    Rebuild();
    endResetModel();
  };
  connect(ASource, &QAbstractItemModel::modelAboutToBeReset, this, LBegin);
  connect(ASource, &QAbstractItemModel::modelReset, this, LEnd);
  connect(ASource, &QAbstractItemModel::layoutAboutToBeChanged, this, LBegin);
  connect(ASource, &QAbstractItemModel::layoutChanged, this, LEnd);
  connect(ASource, &QAbstractItemModel::rowsAboutToBeMoved, this, LBegin);
  connect(ASource, &QAbstractItemModel::rowsMoved, this, LEnd);
  Rebuild();
}

// A new filter is one reset of the rows shown, not an announcement per run of hidden rows:
// the list view would lay itself out again for each.
void TEventsRowFilter::SetRawFilter(TRawFilter AFilter) {
  beginResetModel();
  FRawFilter = std::move(AFilter);
  Rebuild();
  endResetModel();
}

void TEventsRowFilter::SetSearchText(const QString& AText) {
  if (AText == FSearch) return;
  beginResetModel();
  FSearch = AText;
  Rebuild();
  endResetModel();
}

bool TEventsRowFilter::MatchesSearch(const TEventRow& ARow, const QString& AText) {
  return AText.isEmpty() || ARow.Caption.contains(AText, Qt::CaseInsensitive) ||
         ARow.Text.contains(AText, Qt::CaseInsensitive) || ARow.Source.contains(AText, Qt::CaseInsensitive);
}

bool TEventsRowFilter::Accepts(int ASourceRow) const {
  const TEventRow& LRow = FRows->Row(ASourceRow);
  if (FRawFilter && !FRawFilter(LRow)) return false;
  return MatchesSearch(LRow, FSearch);
}

void TEventsRowFilter::Rebuild() {
  FShown.clear();
  FBase = 0;
  const int LCount = FRows->rowCount();
  for (int i = 0; i < LCount; ++i)
    if (Accepts(i)) FShown.push_back(i);
}

int TEventsRowFilter::LowerBound(int ASourceRow) const {
  return static_cast<int>(std::lower_bound(FShown.begin(), FShown.end(), ASourceRow + FBase) - FShown.begin());
}

void TEventsRowFilter::Shift(int ASourceRow, int ADelta) {
  const auto LFrom = FShown.begin() + LowerBound(ASourceRow);
  if (LFrom == FShown.begin()) {
    FBase -= ADelta;  // every row moves: the offset alone
    return;
  }
  for (auto LIt = LFrom; LIt != FShown.end(); ++LIt) *LIt += ADelta;
}

// --- the source's changes ------------------------------------------------------------------

void TEventsRowFilter::SourceRowsInserted(const QModelIndex& AParent, int AFirst, int ALast) {
  if (AParent.isValid()) return;
  Shift(AFirst, ALast - AFirst + 1);
  std::vector<qint64> LNew;
  for (int i = AFirst; i <= ALast; ++i)
    if (Accepts(i)) LNew.push_back(i + FBase);
  if (LNew.empty()) return;
  const int LAt = LowerBound(AFirst);
  beginInsertRows(QModelIndex(), LAt, LAt + static_cast<int>(LNew.size()) - 1);
  FShown.insert(FShown.begin() + LAt, LNew.begin(), LNew.end());
  endInsertRows();
}

void TEventsRowFilter::SourceRowsAboutToBeRemoved(const QModelIndex& AParent, int AFirst, int ALast) {
  if (AParent.isValid()) return;
  const int LFrom = LowerBound(AFirst);
  const int LTo = LowerBound(ALast + 1);
  if (LFrom == LTo) return;
  beginRemoveRows(QModelIndex(), LFrom, LTo - 1);
  FShown.erase(FShown.begin() + LFrom, FShown.begin() + LTo);
  endRemoveRows();
}

void TEventsRowFilter::SourceRowsRemoved(const QModelIndex& AParent, int AFirst, int ALast) {
  if (AParent.isValid()) return;
  Shift(ALast + 1, -(ALast - AFirst + 1));
}

// A changed row is tested again on its own: it may come into view or leave it.
void TEventsRowFilter::SourceDataChanged(const QModelIndex& ATopLeft, const QModelIndex& ABottomRight,
                                         const QList<int>& ARoles) {
  if (!ATopLeft.isValid() || ATopLeft.parent().isValid()) return;
  for (int LRow = ATopLeft.row(); LRow <= ABottomRight.row(); ++LRow) {
    const int LAt = LowerBound(LRow);
    const bool LShown = LAt < rowCount() && SourceRowOf(LAt) == LRow;
    const bool LAccepted = Accepts(LRow);
    if (LShown && !LAccepted) {
      beginRemoveRows(QModelIndex(), LAt, LAt);
      FShown.erase(FShown.begin() + LAt);
      endRemoveRows();
    } else if (!LShown && LAccepted) {
      beginInsertRows(QModelIndex(), LAt, LAt);
      FShown.insert(FShown.begin() + LAt, LRow + FBase);
      endInsertRows();
    } else if (LShown) {
      const QModelIndex LIndex = index(LAt, 0);
      emit dataChanged(LIndex, LIndex, ARoles);
    }
  }
}

// --- the proxy's shape: one flat column --------------------------------------------------------

QModelIndex TEventsRowFilter::mapToSource(const QModelIndex& AProxy) const {
  if (!AProxy.isValid() || AProxy.model() != this || AProxy.row() >= rowCount()) return {};
  return FRows->index(SourceRowOf(AProxy.row()), AProxy.column());
}

QModelIndex TEventsRowFilter::mapFromSource(const QModelIndex& ASource) const {
  if (!ASource.isValid() || ASource.model() != FRows || ASource.parent().isValid()) return {};
  const int LAt = LowerBound(ASource.row());
  if (LAt >= rowCount() || SourceRowOf(LAt) != ASource.row()) return {};
  return index(LAt, ASource.column());
}

QModelIndex TEventsRowFilter::index(int ARow, int AColumn, const QModelIndex& AParent) const {
  if (AParent.isValid() || ARow < 0 || ARow >= rowCount() || AColumn < 0 || AColumn >= columnCount()) return {};
  return createIndex(ARow, AColumn);
}

QModelIndex TEventsRowFilter::parent(const QModelIndex&) const { return {}; }

int TEventsRowFilter::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FShown.size());
}

int TEventsRowFilter::columnCount(const QModelIndex& AParent) const { return AParent.isValid() ? 0 : 1; }

bool TEventsRowFilter::hasChildren(const QModelIndex& AParent) const { return !AParent.isValid() && !FShown.empty(); }

}  // namespace ZEL
