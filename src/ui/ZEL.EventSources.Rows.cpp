#include "ZEL.EventSources.Rows.h"

#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Utils.h"

#include <QColor>

#include <cctype>

namespace ZEL {

namespace {

QString Text(const std::string& AText) { return QString::fromStdString(AText); }

std::string Upper(std::string AText) {
  for (char& c : AText) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return AText;
}

}  // namespace

namespace EventSources {

bool SameID(const std::string& A, const std::string& B) { return Upper(A) == Upper(B); }

TEventSourceRow HeaderRow(const std::string& AText) {
  TEventSourceRow LRow;
  LRow.Name = Text(AText);
  return LRow;
}

TEventSourceRow ConditionRow(const TZELConditionObject& ACondition) {
  TEventSourceRow LRow;
  LRow.Kind = TEventSourceRowKind::Condition;
  LRow.ID = ACondition.ID();
  if (const TZELEdgeObject* LEdge = ACondition.Edge()) LRow.EdgeID = LEdge->ID();
  LRow.Name = Text(ACondition.Name());
  LRow.Description = Text(ACondition.Description());
  LRow.State = ACondition.State();
  // Only the dates the look of the state reads (the model logs a missing one).
  if (LRow.State == TEdgeConditionState::ecsDisabled) LRow.InactiveDateTime = ACondition.InactiveDateTime();
  if (LRow.State == TEdgeConditionState::ecsPaused) LRow.UnpauseDateTime = ACondition.UnpauseDateTime();
  return LRow;
}

TEventSourceRow DeviceRow(const TZELDeviceObject& ADevice) {
  TEventSourceRow LRow;
  LRow.Kind = TEventSourceRowKind::Device;
  LRow.ID = ADevice.ID();
  LRow.Name = Text(ADevice.Name());
  LRow.Description = Text(ADevice.Description());
  LRow.IsOnline = ADevice.IsOnline();
  LRow.LastSeen = ADevice.LastSeen();
  return LRow;
}

std::vector<TEventSourceRow> RowsOf(IZELEdgeService& AEdges) {
  std::vector<TEventSourceRow> LRows;
  const std::int32_t LCount = AEdges.EdgeCount();
  for (std::int32_t i = 0; i < LCount; ++i) {
    TZELEdgeObject* LEdge = AEdges.GetEdge(i);
    if (!LEdge) continue;
    LRows.push_back(HeaderRow(LEdge->Name()));
    LRows.push_back(HeaderRow("Conditions"));
    for (TZELConditionObject* LCondition : LEdge->Conditions())
      if (LCondition) LRows.push_back(ConditionRow(*LCondition));
    LRows.push_back(HeaderRow("Devices"));
    for (TZELProviderObject* LProvider : LEdge->Providers()) {
      if (!LProvider) continue;
      for (TZELDeviceObject* LDevice : LProvider->Devices())
        if (LDevice) LRows.push_back(DeviceRow(*LDevice));
    }
  }
  return LRows;
}

TEventSourceLook LookOf(const TEventSourceRow& ARow) {
  TEventSourceLook LLook;
  switch (ARow.Kind) {
    case TEventSourceRowKind::Header: break;
    case TEventSourceRowKind::Condition:
      switch (ARow.State) {
        case TEdgeConditionState::ecsDisabled:
          LLook = {QStringLiteral("Disabled"), cRed,
                   QStringLiteral("When: ") + Text(Utils::DateToReadableLastSeen(ARow.InactiveDateTime, true))};
          break;
        case TEdgeConditionState::ecsActive: LLook = {QStringLiteral("Enabled"), cGreen, QString()}; break;
        case TEdgeConditionState::ecsPaused:
          LLook = {QStringLiteral("Paused"), cGoldenrod,
                   QStringLiteral("For ") + Text(Utils::DateToReadableUnpause(ARow.UnpauseDateTime, true))};
          break;
      }
      break;
    case TEventSourceRowKind::Device:
      LLook.StateText = ARow.IsOnline ? QStringLiteral("Online") : QStringLiteral("Offline");
      LLook.Colour = ARow.IsOnline ? cGreen : cRed;
      LLook.TimeText = QStringLiteral("Seen: ") + Text(Utils::DateToReadableLastSeen(ARow.LastSeen, true));
      break;
  }
  return LLook;
}

}  // namespace EventSources

TEventSourcesRowModel::TEventSourcesRowModel(QObject* AParent) : QAbstractListModel(AParent) {}

int TEventSourcesRowModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TEventSourcesRowModel::data(const QModelIndex& AIndex, int ARole) const {
  if (!AIndex.isValid() || AIndex.row() < 0 || AIndex.row() >= rowCount()) return {};
  const TEventSourceRow& LRow = Row(AIndex.row());
  switch (ARole) {
    case NameRole: return LRow.Name;
    case DescriptionRole: return LRow.Description;
    case KindRole: return static_cast<int>(LRow.Kind);
    case IDRole: return QString::fromStdString(LRow.ID);
    case StateTextRole: return EventSources::LookOf(LRow).StateText;
    case ColourRole: return QColor::fromRgba(EventSources::LookOf(LRow).Colour);
    case TimeTextRole: return EventSources::LookOf(LRow).TimeText;
    default: return {};
  }
}

void TEventSourcesRowModel::Reset(std::vector<TEventSourceRow> ARows) {
  beginResetModel();
  FRows = std::move(ARows);
  endResetModel();
}

int TEventSourcesRowModel::RefreshCondition(const TZELConditionObject& ACondition, IZELEdgeService* AEdges) {
  const std::string LChangedEdge = ACondition.Edge() ? ACondition.Edge()->ID() : std::string();
  // The row's own condition: the changed one when the row is of its edge, else the one of
  // that id on the row's edge; none when that edge is gone.
  const auto LOwnOf = [&](const TEventSourceRow& ARow) -> const TZELConditionObject* {
    // A row that knows no edge follows the message, as it always did.
    if (ARow.EdgeID.empty() || EventSources::SameID(ARow.EdgeID, LChangedEdge)) return &ACondition;
    const std::int32_t LCount = AEdges ? AEdges->EdgeCount() : 0;
    for (std::int32_t e = 0; e < LCount; ++e) {
      const TZELEdgeObject* LEdge = AEdges->GetEdge(e);
      TZELConditionObject* LOwn = nullptr;
      if (LEdge && EventSources::SameID(LEdge->ID(), ARow.EdgeID)) return LEdge->HasCondition(ARow.ID, LOwn) ? LOwn : nullptr;
    }
    return nullptr;
  };
  int LChanged = 0;
  for (std::size_t i = 0; i < FRows.size(); ++i) {
    TEventSourceRow& LRow = FRows[i];
    if (LRow.Kind != TEventSourceRowKind::Condition || !EventSources::SameID(LRow.ID, ACondition.ID())) continue;
    const TZELConditionObject* LOwn = LOwnOf(LRow);
    if (!LOwn) continue;
    // Only what the state word and the time text read.
    const TEventSourceRow LFresh = EventSources::ConditionRow(*LOwn);
    LRow.State = LFresh.State;
    LRow.InactiveDateTime = LFresh.InactiveDateTime;
    LRow.UnpauseDateTime = LFresh.UnpauseDateTime;
    const QModelIndex LAt = index(static_cast<int>(i), 0);
    emit dataChanged(LAt, LAt);
    ++LChanged;
  }
  return LChanged;
}

}  // namespace ZEL
