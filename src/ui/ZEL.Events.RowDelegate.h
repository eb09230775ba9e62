#pragma once
// Paints one row of the Events view from its snapshot, and the three state pictures that
// every row shares.

#include "ZEL.Events.Types.h"

#include <QPixmap>
#include <QSize>
#include <QStyledItemDelegate>

#include <map>

namespace ZEL {

// One picture per alert state for one size; drawn again only when the size changes.
class TEventStateBitmaps {
public:
  // The picture of AState at ASize, drawn when missing or of another size.
  const QPixmap& For(TEventAlertState AState, QSizeF ASize);
  // How many pictures were drawn so far.
  int Drawn() const { return FDrawn; }

private:
  void Create(QSizeF ASize);
  std::map<TEventAlertState, QPixmap> FBitmaps;
  int FDrawn = 0;
};

class TEventsRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  static constexpr int cRowHeight = 60;
  static constexpr QSize cStateImageSize{36, 23};

  explicit TEventsRowDelegate(QObject* AParent = nullptr);

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;

  TEventStateBitmaps& StateBitmaps() const { return FBitmaps; }

private:
  mutable TEventStateBitmaps FBitmaps;
};

}  // namespace ZEL
