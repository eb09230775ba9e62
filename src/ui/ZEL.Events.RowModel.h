#pragma once
// The rows of the Events view: each row holds a snapshot of what it shows and the alert's
// id, never a pointer into the alert list, so a pull that replaces the list cannot leave a
// row reading a freed alert.

#include "ZEL.Events.Filter.h"

#include <QAbstractListModel>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace ZEL {

class TZELEvent;

// One row: what it shows and what the filter reads.
struct TEventRow {
  std::string ID;
  QString Caption;
  QString Text;
  QString Source;  // the originator's name
  TFilterSubject Subject;
};

class TEventsRowModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum TRole {
    CaptionRole = Qt::DisplayRole,
    TextRole = Qt::UserRole + 1,
    SourceRole,
    ReceivedAtRole,  // the alert's time in the user's format
    StateRole,       // TEventAlertState as int
    ActiveRole,
    ViewedRole,
    IDRole
  };

  // The longest caption, text or source a row keeps (bytes of UTF-8); longer ones are cut.
  static constexpr std::size_t cMaxRowText = 512;

  explicit TEventsRowModel(QObject* AParent = nullptr);

  // A row filled from an alert; AOriginatorEdgeID is the edge its originator belongs to.
  static TEventRow RowOf(const TZELEvent& AEvent, std::string AOriginatorEdgeID);

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex& AIndex, int ARole) const override;

  const TEventRow& Row(int ARow) const { return FRows[static_cast<std::size_t>(ARow)]; }
  // The first row with the alert id, or -1.
  int IndexOf(const std::string& AID) const;

  // Replaces every row in one step.
  void Reset(std::vector<TEventRow> ARows);
  void Add(TEventRow ARow, bool AToTop);
  // Removes the first row with the id; false when there is none.
  bool Remove(const std::string& AID);
  void Update(int ARow, TEventRow AValue);

private:
  void RebuildPlaces();

  std::deque<TEventRow> FRows;  // a live alert goes to the top in constant time
  // Where each id's first row is, as a number that stays put while rows are added at either
  // end: row i carries FTopPlace + i. A history entry or a state change finds its row in
  // constant time, also on 100,000 rows; a removal numbers the rows again.
  std::unordered_map<std::string, std::int64_t> FPlaces;
  std::int64_t FTopPlace = 0;
};

}  // namespace ZEL
