#pragma once
// Paints one row of the Events view from its snapshot, and the three state pictures that
// every row shares.

#include "ZEL.Events.Types.h"

#include <QFont>
#include <QHash>
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
  // The measured texts of the rows lately painted. A live alert on top repaints every row in
  // sight although only one is new; measuring and cutting a text to its width is most of
  // what a row's paint costs.
  enum class TTextKind { Time, Caption, Text, Source };
  struct TTextKey {
    TTextKind Kind;
    int Width;
    QString Text;
    bool operator==(const TTextKey&) const = default;
    friend size_t qHash(const TTextKey& AKey, size_t ASeed = 0) {
      return qHashMulti(ASeed, static_cast<int>(AKey.Kind), AKey.Width, AKey.Text);
    }
  };
  // AText cut to AWidth in AFont, with an ellipsis when cut.
  QString Elided(TTextKind AKind, const QFont& AFont, const QString& AText, int AWidth) const;
  // The width of AText in AFont.
  int Advance(TTextKind AKind, const QFont& AFont, const QString& AText) const;
  // The texts measured in the fonts derived from this option's font.
  void UseFont(const QFont& AFont) const;

  mutable TEventStateBitmaps FBitmaps;
  mutable QHash<TTextKey, QString> FElided;
  mutable QHash<TTextKey, int> FAdvances;
  mutable QFont FMeasuredFont;
};

}  // namespace ZEL
