#include "ZEL.Events.RowModel.h"

#include "ZEL.Events.Event.h"

namespace ZEL {

TEventsRowModel::TEventsRowModel(QObject* AParent) : QAbstractListModel(AParent) {}

TEventRow TEventsRowModel::RowOf(const TZELEvent& AEvent, std::string AOriginatorEdgeID) {
  TEventRow LRow;
  LRow.ID = AEvent.ID();
  LRow.Caption = QString::fromStdString(AEvent.Caption());
  LRow.Text = QString::fromStdString(AEvent.Text());
  LRow.Source = QString::fromStdString(AEvent.Originator().Name());
  LRow.Subject.OriginatorID = AEvent.Originator().ID();
  LRow.Subject.OriginatorEdgeID = std::move(AOriginatorEdgeID);
  LRow.Subject.DateTime = AEvent.DateTime();
  LRow.Subject.Active = AEvent.Active();
  LRow.Subject.Viewed = AEvent.Viewed();
  LRow.Subject.State = AEvent.State();
  return LRow;
}

int TEventsRowModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TEventsRowModel::data(const QModelIndex& AIndex, int ARole) const {
  if (!AIndex.isValid() || AIndex.row() < 0 || AIndex.row() >= rowCount()) return {};
  const TEventRow& LRow = Row(AIndex.row());
  switch (ARole) {
    case CaptionRole:
      return LRow.Caption;
    case TextRole:
      return LRow.Text;
    case SourceRole:
      return LRow.Source;
    case ReceivedAtRole:
      // Made when painted: only the rows in sight need it.
      return QString::fromStdString(Time::FormatLocalDisplay(LRow.Subject.DateTime));
    case StateRole:
      return static_cast<int>(LRow.Subject.State);
    case ActiveRole:
      return LRow.Subject.Active;
    case ViewedRole:
      return LRow.Subject.Viewed;
    case IDRole:
      return QString::fromStdString(LRow.ID);
    default:
      return {};
  }
}

int TEventsRowModel::IndexOf(const std::string& AID) const {
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].ID == AID) return static_cast<int>(i);
  return -1;
}

void TEventsRowModel::Reset(std::vector<TEventRow> ARows) {
  beginResetModel();
  FRows.assign(std::make_move_iterator(ARows.begin()), std::make_move_iterator(ARows.end()));
  endResetModel();
}

void TEventsRowModel::Add(TEventRow ARow, bool AToTop) {
  const int LAt = AToTop ? 0 : rowCount();
  beginInsertRows(QModelIndex(), LAt, LAt);
  if (AToTop)
    FRows.push_front(std::move(ARow));
  else
    FRows.push_back(std::move(ARow));
  endInsertRows();
}

bool TEventsRowModel::Remove(const std::string& AID) {
  const int LAt = IndexOf(AID);
  if (LAt < 0) return false;
  beginRemoveRows(QModelIndex(), LAt, LAt);
  FRows.erase(FRows.begin() + LAt);
  endRemoveRows();
  return true;
}

void TEventsRowModel::Update(int ARow, TEventRow AValue) {
  if (ARow < 0 || ARow >= rowCount()) return;
  FRows[static_cast<std::size_t>(ARow)] = std::move(AValue);
  const QModelIndex LIndex = index(ARow);
  emit dataChanged(LIndex, LIndex);
}

}  // namespace ZEL
