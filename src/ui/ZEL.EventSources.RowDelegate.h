#pragma once
// Paints one row of the Devices view: a header's text, or an entity's name, description,
// coloured state word and time text.

#include <QStyledItemDelegate>

namespace ZEL {

class TEventSourcesRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  static constexpr int cRowHeight = 60;
  static constexpr int cHeaderHeight = 28;

  explicit TEventSourcesRowDelegate(QObject* AParent = nullptr);

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
};

}  // namespace ZEL
