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
  const auto it = FPlaces.find(AID);
  return it == FPlaces.end() ? -1 : static_cast<int>(it->second - FTopPlace);
}

void TEventsRowModel::RebuildPlaces() {
  FPlaces.clear();
  FPlaces.reserve(FRows.size());
  FTopPlace = 0;
  // The first row of an id wins, as a walk from the top would find it.
  for (std::size_t i = 0; i < FRows.size(); ++i) FPlaces.try_emplace(FRows[i].ID, static_cast<std::int64_t>(i));
}

void TEventsRowModel::Reset(std::vector<TEventRow> ARows) {
  beginResetModel();
  FRows.assign(std::make_move_iterator(ARows.begin()), std::make_move_iterator(ARows.end()));
  RebuildPlaces();
  endResetModel();
}

void TEventsRowModel::Add(TEventRow ARow, bool AToTop) {
  const int LAt = AToTop ? 0 : rowCount();
  beginInsertRows(QModelIndex(), LAt, LAt);
  if (AToTop) {
    --FTopPlace;
    FPlaces.insert_or_assign(ARow.ID, FTopPlace);
    FRows.push_front(std::move(ARow));
  } else {
    FPlaces.try_emplace(ARow.ID, FTopPlace + static_cast<std::int64_t>(FRows.size()));
    FRows.push_back(std::move(ARow));
  }
  endInsertRows();
}

bool TEventsRowModel::Remove(const std::string& AID) {
  const int LAt = IndexOf(AID);
  if (LAt < 0) return false;
  beginRemoveRows(QModelIndex(), LAt, LAt);
  FRows.erase(FRows.begin() + LAt);
  RebuildPlaces();
  endRemoveRows();
  return true;
}

void TEventsRowModel::Update(int ARow, TEventRow AValue) {
  if (ARow < 0 || ARow >= rowCount()) return;
  const bool LSameID = FRows[static_cast<std::size_t>(ARow)].ID == AValue.ID;
  FRows[static_cast<std::size_t>(ARow)] = std::move(AValue);
  if (!LSameID) RebuildPlaces();
  const QModelIndex LIndex = index(ARow);
  emit dataChanged(LIndex, LIndex);
}

}  // namespace ZEL
