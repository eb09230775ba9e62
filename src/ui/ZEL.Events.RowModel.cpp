#include "ZEL.Events.RowModel.h"

#include "ZEL.Events.Event.h"

namespace ZEL {

TEventsRowModel::TEventsRowModel(QObject* AParent) : QAbstractListModel(AParent) {}

namespace {

// At most cMaxRowText bytes of AText, cut at a character's start, with an ellipsis when cut:
// a row shows one line, and painting, searching and copying a row must not cost in
// proportion to what an edge chose to send.
QString Bounded(const std::string& AText) {
  constexpr std::size_t LMax = TEventsRowModel::cMaxRowText;
  if (AText.size() <= LMax) return QString::fromStdString(AText);
  std::size_t LCut = LMax;
  while (LCut > 0 && (static_cast<unsigned char>(AText[LCut]) & 0xC0) == 0x80) --LCut;
  return QString::fromUtf8(AText.data(), static_cast<qsizetype>(LCut)) + QChar(0x2026);
}

}  // namespace

TEventRow TEventsRowModel::RowOf(const TZELEvent& AEvent, std::string AOriginatorEdgeID) {
  TEventRow LRow;
  LRow.ID = AEvent.ID();
  LRow.Caption = Bounded(AEvent.Caption());
  LRow.Text = Bounded(AEvent.Text());
  LRow.Source = Bounded(AEvent.Originator().Name());
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
