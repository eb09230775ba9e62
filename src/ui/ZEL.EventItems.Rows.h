#pragma once
// The rows of the alert timeline: the date line, the alert's bubble, the separator, then one
// row per history entry. Each row holds a copy of what it shows and the entry's id, never a
// pointer into the alert list, so a pull that frees the alert cannot leave a row reading it.
// The delegate paints them; every text is drawn as plain text.

#include "ZEL.EventItems.Decisions.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <deque>
#include <string>
#include <vector>

class QListView;

namespace ZEL {

struct TTimelineRow {
  enum class TKind { DateLine, Bubble, Separator, Item };
  TKind Kind = TKind::Item;
  std::string Text;                    // the date line's or the bubble's text
  EventItems::Decisions::TItemRow Item;  // for an item row
  // The row's tag: the entry's id, "VIEWONLY" for the rows above the entries.
  std::string Tag() const { return Kind == TKind::Item ? Item.ID : EventItems::Decisions::cViewOnly; }
};

class TTimelineRowModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum TRole { TagRole = Qt::UserRole + 1, KindRole };
  // Entries start below the date line, the bubble and the separator.
  static constexpr int cFirstItemRow = 3;

  explicit TTimelineRowModel(QObject* AParent = nullptr);

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex& AIndex, int ARole) const override;

  const TTimelineRow& Row(int ARow) const { return FRows[static_cast<std::size_t>(ARow)]; }
  // Replaces every row in one step.
  void Reset(std::vector<TTimelineRow> ARows);
  void Clear() { Reset({}); }
  // An entry's row below the separator (AToTop) or at the end.
  void AddItem(EventItems::Decisions::TItemRow ARow, bool AToTop);
  // The first entry row whose id equals AID ignoring letter case, or -1.
  int IndexOfItem(const std::string& AID) const;
  void UpdateItem(int ARow, EventItems::Decisions::TItemRow AValue);

private:
  std::deque<TTimelineRow> FRows;
};

class TTimelineRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  explicit TTimelineRowDelegate(QListView* AList);

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;

private:
  int RowWidth() const;
  QListView* FList;
};

}  // namespace ZEL
