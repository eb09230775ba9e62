#include "ZEL.FrameStand.h"

#include <QEvent>

#include <algorithm>

namespace ZEL {

TFrameStand::TFrameStand(QWidget* AHost) : QObject(AHost), FHost(AHost) { AHost->installEventFilter(this); }

void TFrameStand::Adopt(QWidget* AFrame) {
  AFrame->hide();
  FFrames.emplace_back(AFrame);
}

void TFrameStand::Cover(QWidget* AFrame) const { AFrame->setGeometry(FHost->rect()); }

void TFrameStand::Show(QWidget* AFrame) {
  if (!AFrame) return;
  Cover(AFrame);
  AFrame->raise();
  AFrame->show();
}

void TFrameStand::Close(QWidget* AFrame) {
  if (!AFrame) return;
  FFrames.erase(std::remove(FFrames.begin(), FFrames.end(), QPointer<QWidget>(AFrame)), FFrames.end());
  AFrame->hide();
  // Later: the close may come from inside one of the frame's own events.
  AFrame->deleteLater();
}

bool TFrameStand::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FHost && AEvent->type() == QEvent::Resize) {
    for (const QPointer<QWidget>& LFrame : FFrames)
      if (LFrame) Cover(LFrame);
  }
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL
