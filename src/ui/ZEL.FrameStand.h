#pragma once
// Lays covering child widgets (frames) over a host window and keeps them covering it when
// the window is resized.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace ZEL {

class TFrameStand : public QObject {
  Q_OBJECT
public:
  explicit TFrameStand(QWidget* AHost);

  QWidget* Host() const { return FHost; }

  // The first frame of class F held by the stand, or none.
  template <class F>
  F* Find() const {
    for (const QPointer<QWidget>& LFrame : FFrames)
      if (F* LTyped = qobject_cast<F*>(LFrame.data())) return LTyped;
    return nullptr;
  }

  // Makes a new frame of class F inside the host, hidden until Show.
  template <class F>
  F* Create() {
    F* LFrame = new F(FHost);
    Adopt(LFrame);
    return LFrame;
  }

  // Covers the host with the frame, on top of its other children.
  void Show(QWidget* AFrame);
  // Hides the frame and releases it; the stand forgets it at once.
  void Close(QWidget* AFrame);

protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void Adopt(QWidget* AFrame);
  void Cover(QWidget* AFrame) const;

  QWidget* FHost;
  std::vector<QPointer<QWidget>> FFrames;
};

}  // namespace ZEL
