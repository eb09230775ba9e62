#pragma once
// The rows of the Devices view: per edge a header, "Conditions" and "Devices" headers, a row
// per condition and per device. A row keeps the entity's id and a snapshot of its state,
// never a pointer into the edge tree, which a new sync frees and builds again.

#include "IEdgeInterface.h"
#include "ZEL.Time.h"

#include <QAbstractListModel>
#include <QRgb>
#include <QString>

#include <string>
#include <vector>

namespace ZEL {

class IZELEdgeService;
class TZELConditionObject;
class TZELDeviceObject;

enum class TEventSourceRowKind { Header, Condition, Device };

struct TEventSourceRow {
  TEventSourceRowKind Kind = TEventSourceRowKind::Header;
  std::string ID;  // the entity's id (empty for headers)
  std::string EdgeID;  // conditions: the id of their edge (empty when it is not known)
  QString Name;    // the header's text for headers
  QString Description;
  // Conditions.
  TEdgeConditionState State = TEdgeConditionState::ecsDisabled;
  Time::TInstant InactiveDateTime = Time::MissingDate;
  Time::TInstant UnpauseDateTime = Time::MissingDate;
  // Devices.
  bool IsOnline = false;
  Time::TInstant LastSeen = Time::MissingDate;
};

// What a condition or device row shows besides its name: the state word in its colour and
// the time text. Headers show nothing here.
struct TEventSourceLook {
  QString StateText;
  QRgb Colour = 0;
  QString TimeText;
};

namespace EventSources {

inline constexpr QRgb cRed = 0xFFFF0000;
inline constexpr QRgb cGreen = 0xFF008000;
inline constexpr QRgb cGoldenrod = 0xFFDAA520;

TEventSourceRow HeaderRow(const std::string& AText);
TEventSourceRow ConditionRow(const TZELConditionObject& ACondition);
TEventSourceRow DeviceRow(const TZELDeviceObject& ADevice);
// Every row for every edge of the service, in list order.
std::vector<TEventSourceRow> RowsOf(IZELEdgeService& AEdges);
// The look at the program's clock now.
TEventSourceLook LookOf(const TEventSourceRow& ARow);
// Ids compare after upper-casing.
bool SameID(const std::string& A, const std::string& B);

}  // namespace EventSources

class TEventSourcesRowModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum TRole {
    NameRole = Qt::DisplayRole,
    DescriptionRole = Qt::UserRole + 1,
    KindRole,       // TEventSourceRowKind as int
    StateTextRole,  // "Enabled", "Online", ...
    ColourRole,     // QColor of the state word
    TimeTextRole,
    IDRole
  };

  explicit TEventSourcesRowModel(QObject* AParent = nullptr);

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex& AIndex, int ARole) const override;

  const TEventSourceRow& Row(int ARow) const { return FRows[static_cast<std::size_t>(ARow)]; }
  void Reset(std::vector<TEventSourceRow> ARows);
  // A condition changed: every condition row of its id takes the state of its own
  // condition (another edge may have one of the same id), looked up in AEdges when it is
  // not ACondition; how many rows were refreshed. Names and descriptions stay.
  int RefreshCondition(const TZELConditionObject& ACondition, IZELEdgeService* AEdges);

private:
  std::vector<TEventSourceRow> FRows;
};

}  // namespace ZEL
