#include "ZEL.Toast.Clearance.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>

#include <algorithm>
#include <cstdlib>

namespace ZEL::Toast::Clearance {

namespace {

// The part of AWidget that takes clicks, in its own coordinates; empty when none does.
QRect ClickableRect(QWidget* AWidget) {
  if (auto* LView = qobject_cast<QAbstractItemView*>(AWidget)) {
    // Rows that can be chosen act on a click; the empty space below them does not.
    if (LView->selectionMode() == QAbstractItemView::NoSelection || !LView->model()) return {};
    const int LRows = LView->model()->rowCount(LView->rootIndex());
    if (LRows == 0) return {};
    const QRect LLast = LView->visualRect(LView->model()->index(LRows - 1, 0, LView->rootIndex()));
    QWidget* LPort = LView->viewport();
    const int LBottom = LLast.isValid() ? std::min(LLast.bottom(), LPort->height() - 1) : LPort->height() - 1;
    if (LBottom < 0) return {};
    return QRect(LPort->mapTo(AWidget, QPoint(0, 0)), QSize(LPort->width(), LBottom + 1));
  }
  const bool LControl = qobject_cast<QAbstractButton*>(AWidget) || qobject_cast<QLineEdit*>(AWidget) ||
                        qobject_cast<QTextEdit*>(AWidget) || qobject_cast<QPlainTextEdit*>(AWidget) ||
                        qobject_cast<QComboBox*>(AWidget) || qobject_cast<QAbstractSpinBox*>(AWidget) ||
                        qobject_cast<QAbstractSlider*>(AWidget) || qobject_cast<QTabBar*>(AWidget) ||
                        (AWidget->testAttribute(Qt::WA_SetCursor) &&
                         AWidget->cursor().shape() == Qt::PointingHandCursor);
  return LControl ? AWidget->rect() : QRect();
}

// ARect of AWidget in AOwner's coordinates, cut to what its ancestors show.
QRect ShownPart(QWidget* AWidget, const QRect& ARect, QWidget* AOwner) {
  QRect LRect(AWidget->mapTo(AOwner, ARect.topLeft()), ARect.size());
  for (QWidget* LUp = AWidget->parentWidget(); LUp && LUp != AOwner; LUp = LUp->parentWidget())
    LRect &= QRect(LUp->mapTo(AOwner, QPoint(0, 0)), LUp->size());
  return LRect & AOwner->rect();
}

// Whether a widget stacked above AWidget or above one of its ancestors (below AOwner) covers
// AWidget whole, as a frame shown over a list does: what it covers cannot be clicked. The band's
// own container (AExcept) covers nothing.
bool CoveredWhole(QWidget* AWidget, QWidget* AOwner, const QWidget* AExcept) {
  const QRect LOwn(AWidget->mapTo(AOwner, QPoint(0, 0)), AWidget->size());
  for (QWidget* LLevel = AWidget; LLevel && LLevel != AOwner; LLevel = LLevel->parentWidget()) {
    QWidget* LParent = LLevel->parentWidget();
    if (!LParent) break;
    const QObjectList& LSiblings = LParent->children();
    // Children are kept in stacking order: the later ones are drawn, and take clicks, above.
    for (qsizetype LAt = LSiblings.indexOf(LLevel) + 1; LAt > 0 && LAt < LSiblings.size(); ++LAt) {
      auto* LAbove = qobject_cast<QWidget*>(LSiblings.at(LAt));
      if (!LAbove || LAbove == AExcept || LAbove->isWindow() || !LAbove->isVisibleTo(AOwner) ||
          LAbove->testAttribute(Qt::WA_TransparentForMouseEvents))
        continue;
      if (QRect(LAbove->mapTo(AOwner, QPoint(0, 0)), LAbove->size()).contains(LOwn)) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<QRect> ControlRects(QWidget* AOwner, const QWidget* AExcept) {
  std::vector<QRect> LRects;
  if (!AOwner) return LRects;
  for (QWidget* LWidget : AOwner->findChildren<QWidget*>()) {
    if (LWidget->isWindow() || !LWidget->isVisibleTo(AOwner) || !LWidget->isEnabled() ||
        LWidget->testAttribute(Qt::WA_TransparentForMouseEvents))
      continue;
    if (AExcept && (LWidget == AExcept || AExcept->isAncestorOf(LWidget))) continue;
    const QRect LOwn = ClickableRect(LWidget);
    if (LOwn.isEmpty() || CoveredWhole(LWidget, AOwner, AExcept)) continue;
    const QRect LShown = ShownPart(LWidget, LOwn, AOwner);
    if (!LShown.isEmpty()) LRects.push_back(LShown);
  }
  return LRects;
}

std::optional<int> ClearTop(const QRect& ABand, const std::vector<QRect>& AControls, int AMinTop, int AMaxBottom,
                            int AGap) {
  const auto LClear = [&](int ATop) {
    if (ATop < AMinTop || ATop + ABand.height() - 1 > AMaxBottom) return false;
    const QRect LBand(ABand.left(), ATop, ABand.width(), ABand.height());
    return std::none_of(AControls.begin(), AControls.end(), [&](const QRect& AControl) {
      return LBand.intersects(AControl.adjusted(0, -AGap, 0, AGap));
    });
  };
  // The band's own spot, or right above or below a control.
  std::vector<int> LCandidates{ABand.top()};
  for (const QRect& LControl : AControls) {
    LCandidates.push_back(LControl.top() - AGap - ABand.height());
    LCandidates.push_back(LControl.bottom() + 1 + AGap);
  }
  std::optional<int> LBest;
  for (const int LTop : LCandidates)
    if (LClear(LTop) && (!LBest || std::abs(LTop - ABand.top()) < std::abs(*LBest - ABand.top()))) LBest = LTop;
  return LBest;
}

QRect BetweenSideControls(const QRect& ABand, const std::vector<QRect>& AControls, int AGap) {
  int LLeft = ABand.left();
  int LRight = ABand.right();
  const int LThird = ABand.width() / 3;
  for (const QRect& LControl : AControls) {
    if (LControl.width() >= LThird) continue;
    if (LControl.left() >= ABand.right() + 1 - LThird && LControl.left() <= ABand.right())
      LRight = std::min(LRight, LControl.left() - AGap - 1);
    else if (LControl.right() < ABand.left() + LThird && LControl.right() >= ABand.left())
      LLeft = std::max(LLeft, LControl.right() + AGap + 1);
  }
  return QRect(QPoint(LLeft, ABand.top()), QPoint(std::max(LLeft, LRight), ABand.bottom()));
}

}  // namespace ZEL::Toast::Clearance
