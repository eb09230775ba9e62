#include "ZEL.Forms.Placement.h"

#include "ZEL.View.Base.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ZEL::Forms::Placement {

QPoint CentredWithin(QSize AFrameSize, const QRect& AOver, const QRect& AScreen) {
  QPoint LTopLeft = AOver.topLeft() + QPoint((AOver.width() - AFrameSize.width()) / 2,
                                            (AOver.height() - AFrameSize.height()) / 2);
  if (AScreen.isEmpty()) return LTopLeft;
  LTopLeft.setX(std::max(AScreen.left(), std::min(LTopLeft.x(), AScreen.right() + 1 - AFrameSize.width())));
  LTopLeft.setY(std::max(AScreen.top(), std::min(LTopLeft.y(), AScreen.bottom() + 1 - AFrameSize.height())));
  return LTopLeft;
}

QWidget* OwnWindow(QWidget* AOver) {
  if (!AOver) return nullptr;
  QWidget* LWindow = AOver->window();
  if (LWindow->isVisible()) return LWindow;
  // A view lends its content to its host's window and stays hidden itself.
  if (auto* LView = qobject_cast<TBaseFormView*>(LWindow)) {
    QWidget* LContent = LView->FormContent();
    if (LContent && LContent->window() != LWindow && LContent->window()->isVisible()) return LContent->window();
    if (QWidget* LParent = LView->ParentControl(); LParent && LParent->window()->isVisible()) return LParent->window();
  }
  return LWindow;
}

void CentreOver(QWidget* AWindow, QWidget* AOver) {
  if (!AWindow) return;
  QWidget* LOver = OwnWindow(AOver);
  QScreen* LScreen = LOver ? LOver->screen() : QGuiApplication::primaryScreen();
  if (!LScreen) return;
  const QRect LArea = LScreen->availableGeometry();
  const QRect LOverRect = LOver ? LOver->frameGeometry() : LArea;
  // A window not yet shown has no frame: it gets the one of the window it opens over.
  QSize LFrame = AWindow->size();
  if (AWindow->isVisible())
    LFrame = AWindow->frameGeometry().size();
  else if (LOver)
    LFrame += LOver->frameGeometry().size() - LOver->size();
  AWindow->move(CentredWithin(LFrame, LOverRect, LArea));
}

}  // namespace ZEL::Forms::Placement
